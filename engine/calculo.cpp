// The order path of the per-item calculation and the steps nested in it.
#include "engine/calculo_p.h"

#include <cmath>

#include "engine/aritmetica_p.h"
#include "engine/contribuicao.h"
#include "framework/config.h"
#include "framework/db/query.h"
#include "framework/funcoes.h"
#include "framework/regional.h"

namespace margivo {

using calculo::custoTotalDaVenda;
using calculo::CustoValorPresente;
using calculo::Dividir;
using calculo::percentualDoItem;
using calculo::percentualTotal;
using calculo::TaxaDiaria;

double TCalculoRentabilidade::cabecFloat(const char* coluna) const {
  return qryVendasCabec.fieldByName(QLatin1StringView(coluna)).asFloat();
}
QString TCalculoRentabilidade::cabecTexto(const char* coluna) const {
  return qryVendasCabec.fieldByName(QLatin1StringView(coluna)).asString();
}
TDateTime TCalculoRentabilidade::cabecData(const char* coluna) const {
  return qryVendasCabec.fieldByName(QLatin1StringView(coluna)).asDateTime();
}
double TCalculoRentabilidade::itemFloat(const char* coluna) const {
  return qryItem.fieldByName(QLatin1StringView(coluna)).asFloat();
}
QString TCalculoRentabilidade::itemTexto(const char* coluna) const {
  return qryItem.fieldByName(QLatin1StringView(coluna)).asString();
}

QString TCalculoRentabilidade::contexto() const {
  // Never fails: a column the rows lack shows as empty.
  auto valor = [](const Query& q, const char* coluna) {
    const QString nome = QString::fromLatin1(coluna);
    if (!q.hasField(nome)) return QString();
    try {
      return q.fieldByName(nome).asString();
    } catch (const std::exception&) {
      return QString();
    }
  };
  QString documento;
  if (VfOrcamentoOuPedido == QLatin1String("Orc"))
    documento = QStringLiteral("orçamento CODEMPRESA=%1 CODORC=%2")
                    .arg(valor(qryVendasCabec, "CODEMPRESA"), valor(qryVendasCabec, "CODORC"));
  else
    documento = QStringLiteral("pedido CODEMPRESA=%1 TIPOPEDIDO=%2 CODPEDIDO=%3")
                    .arg(valor(qryVendasCabec, "CODEMPRESA"), valor(qryVendasCabec, "TIPOPEDIDO"),
                         valor(qryVendasCabec, "CODPEDIDO"));
  return documento + QStringLiteral(", produto CODPROD=") + valor(qryItem, "CODPROD");
}

QString TCalculoRentabilidade::empresaConfigurada() const {
  const QString empresa = dm.ggtRent->Config()->Empresa;
  return empresa.isEmpty() ? cabecTexto("CodEmpresa") : empresa;
}

// ---------------------------------------------------------------------------
// Order path.

void TCalculoRentabilidade::calculaPedido() {
  if (consultas.cacheAtivo())
    consultas.calculaPedido(cabecTexto("CodEmpresa"), cabecTexto("TipoPedido"),
                            cabecTexto("CodPedido"));

  // The line's cost price and net sale value, by the kind of line.
  if (VfOpcaoDeCalculo == QLatin1String("Produto")) {
    etapa = QStringLiteral("custo de aquisição");
    MAquisicao = dm.FPrecoCusto(cabecTexto("CodEmpresa"), itemTexto("CodProd"),
                                itemTexto("CodGrade"), cabecData("DataPedido"));

    etapa = QStringLiteral("custo operacional do produto");
    MCustoOpProd = consultas.custoOperacionalProduto(itemTexto("CodProd"));

    etapa = QStringLiteral("valor da venda");
    MValorDaVenda = (itemFloat("PrecoUnit") - itemFloat("DescontoVlr")) * itemFloat("Quantidade");

    etapa = QStringLiteral("fechamento do pedido");
    FBuscaValoresFinanciados();
    // A trade-in handed back by the customer was part of the closing discount.
    MDescontoValor = enceFatAtual.VlrDesconto - MTotTroca;

    // The closing discount is shared by the lines in proportion to their value.
    etapa = QStringLiteral("rateio do desconto");
    const double totalItens = dm.FCalculaTotalItensPed(qryVendasCabec);
    MValorDaVenda = MValorDaVenda - Dividir(MDescontoValor, totalItens) * MValorDaVenda;

    MTotValorDaVenda += MValorDaVenda;
    MQtdeVendida = itemFloat("Quantidade");
  } else if (VfOpcaoDeCalculo == QLatin1String("Frete")) {
    etapa = QStringLiteral("frete");
    MAquisicao = cabecFloat("Frete");
    MValorDaVenda = MAquisicao;
    MTotValorDaVenda += MValorDaVenda;
    MQtdeVendida = 1;
  }

  // Operating cost per unit, and the unit cost with it.
  custoOperacionalPorUnidade();

  // The line's commission; it is not added to MTotComissao.
  etapa = QStringLiteral("comissão");
  MComissao = FCalculaComissoesPDV();

  // The line's partial cost: acquisition and operating cost of its units.
  MCustoParcVd = MCustoAcumulado * MQtdeVendida;
  MTotCustoParcVd += MCustoParcVd;

  // Taxes, a share of the sale value.
  MImpostos = MValorDaVenda * VfCustoVd / 100;
  MTotImpostos += MImpostos;

  // The payment-terms state starts afresh for every line.
  MNumParelas = 0;
  dm.MVlrTxRentencao = 0;
  dm.MPreValorPresente = 0;
  MTxEmissaoBoleto = 0;

  // The present-value cost of the order's payment terms, and its boleto fees.
  etapa = QStringLiteral("custo financeiro das condições de pagamento");
  dm.MPreValorPresente =
      FTrataValorPrezenteTxEmiBoletoPed(cabecTexto("CodPrazo"), QStringLiteral("1"));

  // The payment-terms step reused qryTemp: read the closing record anew.
  etapa = QStringLiteral("fechamento do pedido");
  FBuscaValoresFinanciados();

  // Financing ratio: the payment terms' cost over the amount received.
  if (!enceFatAtual.TotalNulo && enceFatAtual.Total > 0)
    MValorPresente = dm.MPreValorPresente / enceFatAtual.Total;
  else
    MValorPresente = 0;

  // The order's boleto fees, spread by the line's share of the order's
  // net total including freight.
  etapa = QStringLiteral("rateio da taxa de emissão de boletos");
  const double totalPedido = cabecFloat("TotalPedido");
  const double frete = cabecFloat("Frete");
  if (totalPedido - enceFatAtual.VlrDesconto > 0)
    MTxEmissaoBoleto =
        Dividir(MTxEmissaoBoleto, totalPedido - enceFatAtual.VlrDesconto + frete) * MValorDaVenda;
  else
    MTxEmissaoBoleto = 0;
  MTotTxEmissaoBoleto += MTxEmissaoBoleto;

  // Present-value discount, other costs, total cost and both margins.
  custosEMargens();

  // The profitability percentages, each left as it was when its divisor is
  // not positive. The total ones relate the running margins to the total of
  // the current document; the divisor leaves the surcharge out although the
  // guard does not.
  const double vlrAcrescimo = cabecFloat("VlrAcrescimo");
  percentuaisDoItem = MValorDaVenda > 0;
  const TPercentuaisTotais totais = percentuaisTotaisDoPedido(totalPedido, frete, vlrAcrescimo);
  percentuaisTotais = totais.calcula;
  divisorTotal = totais.divisor;
  if (percentuaisDoItem) MPercLucroBrt = percentualDoItem(MMargemBrtLcr, MValorDaVenda);
  if (percentuaisTotais) {
    etapa = QStringLiteral("rentabilidade bruta total");
    MTotPercLucroBrt = percentualTotal(MTotMargemBrtLcr, divisorTotal);
  }
  if (percentuaisDoItem) MPercLucroOpe = percentualDoItem(MMargemOpLcr, MValorDaVenda);
  if (percentuaisTotais) {
    etapa = QStringLiteral("rentabilidade operacional total");
    MTotPercLucroOpe = percentualTotal(MTotMargemOpLcr, divisorTotal);
  }
}

void TCalculoRentabilidade::custoOperacionalPorUnidade() {
  // Operating cost per unit: the product's own percentage when it has one.
  etapa = QStringLiteral("custo operacional por unidade");
  if (VfOpcaoDeCalculo != QLatin1String("Produto"))
    MOperacional = 0;
  else if (MCustoOpProd > 0)
    MOperacional = Dividir(MCustoOpProd / 100 * MValorDaVenda, MQtdeVendida);
  else
    MOperacional = Dividir(VfCustoOp / 100 * MValorDaVenda, MQtdeVendida);
  MCustoAcumulado = MAquisicao + MOperacional;
}

void TCalculoRentabilidade::custosEMargens() {
  MDescontoPV = MValorDaVenda * MValorPresente;
  MTotDescontoPV += MDescontoPV;

  MOutros = VfCustoFn * MValorDaVenda / 100;
  MTotOutros += MOutros;

  MCustoTotVd =
      custoTotalDaVenda(MCustoParcVd, MComissao, MImpostos, MTxEmissaoBoleto, MDescontoPV, MOutros);
  MTotCustoTotVd += MCustoTotVd;

  MMargemBrtLcr = MValorDaVenda - MCustoParcVd;
  MTotMargemBrtLcr += MMargemBrtLcr;

  MMargemOpLcr = MValorDaVenda - MCustoTotVd;
  MTotMargemOpLcr += MMargemOpLcr;
}

void TCalculoRentabilidade::arredonda() {
  etapa = QStringLiteral("arredondamento");
  for (double* figura :
       {&MTotCustoParcVd,  &MTotValorDaVenda,    &MTotComissao,     &MTotImpostos,
        &MTotDescontoPV,   &MTotTxEmissaoBoleto, &MTotOutros,       &MTotCustoTotVd,
        &MTotMargemBrtLcr, &MTotMargemOpLcr,     &MTotPercLucroBrt, &MTotPercLucroOpe,
        &MCustoTotVd,      &MAquisicao,          &MValorDaVenda,    &MQtdeVendida,
        &MOperacional,     &MCustoParcVd,        &MComissao,        &MImpostos,
        &MDescontoPV,      &MTxEmissaoBoleto,    &MOutros,          &MMargemBrtLcr,
        &MMargemOpLcr,     &MPercLucroBrt,       &MPercLucroOpe})
    *figura = FRound(2, *figura);
}

// ---------------------------------------------------------------------------
// Steps nested in the calculation.

void TCalculoRentabilidade::FBuscaValoresFinanciados() {
  // Within one refresh's snapshot the record read again is the record read
  // before: with the look-ups remembered, the call reads it once.
  if (enceFatLido && consultas.cacheAtivo()) return;
  enceFatLido = true;
  enceFatAtual = consultas.enceFat(cabecTexto("CodEmpresa"), cabecTexto("TipoPedido"),
                                   cabecTexto("CodPedido"));
}

QString TCalculoRentabilidade::FDataReceber() {
  QString resultado = cabecTexto("DataPedido");
  const QString dataEntrega = cabecTexto("DataEntrega");
  if (consultas.gerarRecDataEntrega() == QLatin1String("S") && !dataEntrega.isEmpty())
    resultado = dataEntrega;
  // Receivables generated on invoicing fall due from the day of the
  // calculation; this rule wins over the delivery date.
  if (consultas.gerarRecDataFatura() == QLatin1String("S"))
    resultado = formatDate(toTDateTime(dm.ggtRent->Hoje()));
  return resultado;
}

double TCalculoRentabilidade::FTrataValorPrezenteTxEmiBoletoPed(const QString& VfCodPrazo,
                                                                const QString& VfPrazoUmOuDois) {
  Q_UNUSED(VfPrazoUmOuDois);  // the order has a single payment term
  double MTxJurosDia = 0;
  double MTxCondPag = 0;  // monthly cheque rate
  double MTxJurosAntecip = 0;
  const TDateTime DataPedido = cabecData("DataPedido");
  const QString empresa = empresaConfigurada();

  // Pre-dated cheques, each costed from the order date to its deposit.
  etapa = QStringLiteral("cheques pré-datados");
  const std::vector<TChequePreDatado> cheques =
      consultas.chequesPreDatados(empresa, cabecTexto("TipoPedido") + cabecTexto("CodPedido"));
  consultas.abreParaPDV();
  if (!cheques.empty()) {
    MTxCondPag = consultas.txJurosCh();
    MTxJurosDia = TaxaDiaria(MTxCondPag);
    for (const TChequePreDatado& cheque : cheques)
      MPVParcial +=
          CustoValorPresente(cheque.VlrCheque, cheque.Dt_Entrada - DataPedido, MTxJurosDia);
  }
  dm.MPreValorPresente += MPVParcial;

  // A financing company's plan.
  etapa = QStringLiteral("financiamento");
  FBuscaValoresFinanciados();
  if (enceFatAtual.VlrFinanc > 0) {
    const TFinanciamento financiamento = consultas.financiamento(empresa, cabecTexto("CodPedido"));
    const QString MCodFinanceira = financiamento.CodFinanceira;
    MCodPlano = financiamento.CodPlano;
    MDescFormaPgto = financiamento.DescFormaPgto;
    MVlrMensalidade = financiamento.ValorMensalidade;

    const TPlanoFinanc plano = consultas.planoFinanc(MCodFinanceira, MCodPlano, MDescFormaPgto);
    const double MTaxaRent = plano.TaxaRetencao;
    const double MDiasComp = plano.DiasCompensacao;
    const int MNumParc = plano.NumParc;
    const QString MPossuiEnt = plano.Entrada;

    dm.fbAbreDadosFinanc(plano.CodPrazo);
    const TCondPag& condicao = *dm.condPagAberta_;
    // A carnet is a booklet of boletos, one per installment of the plan.
    if (MDescFormaPgto == QLatin1String("Carnet"))
      MTxEmissaoBoleto = condicao.TxEmissaoBoleto * MNumParc;

    MTxCondPag = consultas.txJurosCh();
    MTxJurosDia = TaxaDiaria(MTxCondPag);

    FBuscaValoresFinanciados();
    MPVParcial = dm.PreCalculoValorPresente(
        QStringLiteral("Ped"), VfVlrParcelas, QString(), QString(), QString(),
        condicao.TipoIntegracaoTexto, QStringLiteral("F"), enceFatAtual.VlrFinanc, MTaxaRent, 0,
        MTxJurosDia, MDiasComp, MVlrMensalidade, MNumParc, MPossuiEnt);
    dm.MPreValorPresente += MPVParcial;
  }

  // Card/agreement documents, each costed over its own days at the
  // agreement's anticipation rate, discount fee included.
  etapa = QStringLiteral("documentos de convênio");
  FBuscaValoresFinanciados();
  if (enceFatAtual.VlrConvenio > 0) {
    const std::vector<TDocumentoConvenio> documentos = consultas.documentosConvenio(
        cabecTexto("CodEmpresa"), cabecTexto("TipoPedido"), cabecTexto("CodPedido"));
    QString MCartCon;
    TCartCon convenio;
    QString tipoIntegracao;
    for (const TDocumentoConvenio& documento : documentos) {
      // Consecutive documents of one agreement reuse the agreement loaded.
      if (documento.Convenio != MCartCon) {
        MCartCon = documento.Convenio;
        convenio = consultas.cartCon(MCartCon);
        dm.fbAbreDadosFinanc(convenio.CodPrazo);
        tipoIntegracao = dm.condPagAberta_->TipoIntegracaoTexto;
        MTxJurosAntecip = convenio.TaxaMensalAntecip;
        MTxJurosDia = TaxaDiaria(MTxJurosAntecip);
      }
      // A document without an agreement code has no agreement data to cost
      // it with: it costs nothing.
      if (documento.Convenio.isEmpty()) {
        MPVParcial = 0;
        continue;
      }
      // Whole days between issue and due date (half a millisecond absorbs
      // the rounding of times of day).
      const double MQuantidadeDias =
          std::trunc(std::fabs(documento.Dt_Vencimento - documento.Dt_Emissao) + 0.5 / 86400000.0);
      MPVParcial = dm.PreCalculoValorPresente(
          QStringLiteral("Ped"), VfVlrParcelas, QString(), QString(), QString(), tipoIntegracao,
          QStringLiteral("C"), documento.ValorDocto, convenio.PercDesc, 0, MTxJurosDia,
          MQuantidadeDias, 0, 0, QString());
      dm.MPreValorPresente += MPVParcial;
    }
  }

  // The store's own receivables.
  etapa = QStringLiteral("contas a receber");
  FBuscaValoresFinanciados();
  if (enceFatAtual.VlrReceber > 0) {
    MPVParcial = 0;
    if (!VfCodPrazo.isEmpty()) {
      dm.LimpaArray(VfVlrParcelas, VfDtParcelas);
      dm.fbAbreDadosFinanc(VfCodPrazo);
      dm.ColocaDadosNasParcelas(enceFatAtual.VlrReceber, VfVlrParcelas, VfDtParcelas, MNumParelas,
                                FDataReceber());
      const TCondPag& condicao = *dm.condPagAberta_;
      // Boletos are issued for installments settled one by one.
      if (condicao.TipoIntegracao == 3 && condicao.TipoVenda == 1)
        MTxEmissaoBoleto += condicao.TxEmissaoBoleto * MNumParelas;
      MTxCondPag = consultas.txJurosCh();
      MTxJurosDia = TaxaDiaria(MTxCondPag);
      for (MIndice = 0; MIndice <= 6; ++MIndice)
        if (VfVlrParcelas[MIndice] > 0)
          MPVParcial += CustoValorPresente(VfVlrParcelas[MIndice],
                                           VfDtParcelas[MIndice] - DataPedido, MTxJurosDia);
      dm.MPreValorPresente += MPVParcial;
    } else {
      // Without a condition the order carries its installments itself.
      const std::vector<TParcelaPedido> parcelas = consultas.parcelasPedido(
          cabecTexto("CodEmpresa"), cabecTexto("TipoPedido"), cabecTexto("CodPedido"));
      MTxJurosDia = TaxaDiaria(consultas.txJurosCh());
      for (const TParcelaPedido& parcela : parcelas)
        MPVParcial +=
            CustoValorPresente(parcela.VlrParc, parcela.VencParc - DataPedido, MTxJurosDia);
      dm.MPreValorPresente += MPVParcial;
    }
  }
  etapa = QStringLiteral("custo financeiro das condições de pagamento");
  return dm.MPreValorPresente;
}

double TCalculoRentabilidade::FCalculaComissoesPDV() {
  // The parameter row is read for every line: a change takes effect at once.
  const QString tipoComissao = consultas.tipoComissao();
  if (!dm.FIncluiComissaoRentabilidade()) return 0;

  // Each source counts only with a strictly positive percentage.
  double MComissaoVenda = 0, MComissaoVendedor = 0, MComissaoProduto = 0;
  const double percVenda = cabecFloat("Comissao");
  if (percVenda > 0) MComissaoVenda = percVenda * MValorDaVenda / 100;
  const double percVendedor = consultas.comissaoVendedor(cabecTexto("CodVendedor"));
  if (percVendedor > 0) MComissaoVendedor = percVendedor * MValorDaVenda / 100;
  const double percProduto = consultas.comissaoProduto(itemTexto("CodProd"));
  if (percProduto > 0) MComissaoProduto = percProduto * MValorDaVenda / 100;

  if (tipoComissao == QLatin1String("1")) {
    // The most specific percentage wins: product, then order, then seller.
    if (MComissaoProduto > 0) return MComissaoProduto;
    if (MComissaoVenda > 0) return MComissaoVenda;
    if (MComissaoVendedor > 0) return MComissaoVendedor;
    return 0;
  }
  if (tipoComissao == QLatin1String("3")) return MComissaoVendedor;
  if (tipoComissao == QLatin1String("2")) return MComissaoVenda;
  return 0;
}

}  // namespace margivo
