// The quote path of the per-item calculation and the cost of a quote's
// payment terms.
//
// A quote (OrcCabe) is priced before it is sold: its discount is spread over
// its lines in proportion to their value, its commission comes whole from
// the caller, and it may be paid under two payment terms, each costed on its
// own (an agreement, a financing plan or the store's own receivables).
#include <exception>

#include "engine/aritmetica_p.h"
#include "engine/calculo_p.h"
#include "framework/db/query.h"
#include "framework/funcoes.h"

namespace margivo {

using calculo::CustoValorPresente;
using calculo::Dividir;
using calculo::TaxaDiaria;

namespace {

// Runs `passo`; when it fails in any way (a division by zero, a failing
// look-up) the figure takes `substituto` and the calculation goes on.
template <typename Passo>
double ouEmErro(double substituto, Passo passo) {
  try {
    return passo();
  } catch (const std::exception&) {
    return substituto;
  }
}

}  // namespace

// ---------------------------------------------------------------------------
// The installments of a quote's first payment term.

void TdmRentabilidade::ParcelasDoOrcamento(const Query& qryOrcCabe,
                                           std::vector<double>& VfVlrParcelas,
                                           std::vector<TDateTime>& VfDtParcelas) {
  VfVlrParcelas.assign(kNumParcelas, 0.0);
  VfDtParcelas.assign(kNumParcelas, 0.0);
  const bool temData = qryOrcCabe.hasField(QStringLiteral("DataOrcamento"));
  const TDateTime dataOrcamento =
      temData ? qryOrcCabe.fieldByName("DataOrcamento").asDateTime() : 0.0;
  for (int k = 0; k < 6; ++k) {
    const QString n = StrZero(QString::number(k + 1), 2);
    const double valor = qryOrcCabe.fieldByName(QStringLiteral("Vlrparc") + n).asFloat();
    if (!(valor > 0)) continue;
    VfVlrParcelas[k] = valor;
    // An installment without a due date is taken as paid on the quote's day.
    const QString vencimento = QStringLiteral("VencParc") + n;
    const bool temVencimento =
        qryOrcCabe.hasField(vencimento) && !qryOrcCabe.fieldByName(vencimento).isNull();
    VfDtParcelas[k] =
        temVencimento ? qryOrcCabe.fieldByName(vencimento).asDateTime() : dataOrcamento;
  }
}

// ---------------------------------------------------------------------------
// Quote path.

double TCalculoRentabilidade::valorDaTrocaOrcamento() {
  const QString codTroca = cabecTexto("ORCVENDATROCA");
  if (codTroca.isEmpty()) return 0;
  return dm.SelecionaValorDaTroca(cabecTexto("CodEmpresa"), codTroca);
}

void TCalculoRentabilidade::calculaOrcamento() {
  etapa = QStringLiteral("cabeçalho do orçamento");
  const bool comTroca = !cabecTexto("ORCVENDATROCA").isEmpty();
  const double totalOrcamento = cabecFloat("TotalOrcamento");

  // The line's cost price and net sale value, by the kind of line.
  if (VfOpcaoDeCalculo == QLatin1String("Produto")) {
    etapa = QStringLiteral("custo de aquisição");
    MAquisicao = dm.FPrecoCusto(cabecTexto("CodEmpresa"), itemTexto("CodProd"),
                                itemTexto("CodGrade"), cabecData("DataOrcamento"));

    etapa = QStringLiteral("custo operacional do produto");
    MCustoOpProd = consultas.custoOperacionalProduto(itemTexto("CodProd"));

    etapa = QStringLiteral("valor da venda");
    MValorDaVenda = (itemFloat("PrecoUnit") - itemFloat("DescontoVlr")) * itemFloat("Quantidade");

    // The quote stores its net total: its gross value is rebuilt from it,
    // the trade-in given as part payment and both discounts.
    etapa = QStringLiteral("valor bruto do orçamento");
    const double descontoValor = cabecFloat("DescontoValor");
    const double descontoPerc = cabecFloat("DescontoPerc");
    MValorOrcamento = ouEmErro(0.0, [&] {
      return Dividir((totalOrcamento + valorDaTrocaOrcamento() + descontoValor) * 100,
                     100 - descontoPerc);
    });
    MDescontoValor = descontoValor + descontoPerc * MValorOrcamento / 100;

    // The quote's whole discount is shared by its lines in proportion to
    // their value.
    etapa = QStringLiteral("rateio do desconto");
    MValorDaVenda = MValorDaVenda - Dividir(MDescontoValor, MValorOrcamento) * MValorDaVenda;

    MTotValorDaVenda += MValorDaVenda;
    MQtdeVendida = itemFloat("Quantidade");
  } else if (VfOpcaoDeCalculo == QLatin1String("Frete")) {
    etapa = QStringLiteral("frete");
    MAquisicao = cabecFloat("Frete");
    MValorDaVenda = MAquisicao;
    MTotValorDaVenda += MValorDaVenda;
    MQtdeVendida = cabecFloat("QtdFrete01") + cabecFloat("QtdFrete02") + cabecFloat("QtdFrete03");
    // The freight's cost per unit shipped.
    MAquisicao = Dividir(MAquisicao, MQtdeVendida);
  } else if (VfOpcaoDeCalculo == QLatin1String("TaxaServico")) {
    etapa = QStringLiteral("taxa de serviço");
    MAquisicao = cabecFloat("TaxaServico");
    MValorDaVenda = MAquisicao;
    MTotValorDaVenda += MValorDaVenda;
    MQtdeVendida = 1;
  }

  // Operating cost per unit, and the unit cost with it.
  custoOperacionalPorUnidade();

  // The quote's commission, spread over the lines by their net value.
  etapa = QStringLiteral("comissão");
  MComissao = 0;
  if (dm.FIncluiComissaoRentabilidade()) {
    const double base = totalOrcamento + valorDaTrocaOrcamento();
    if (base != 0) MComissao = MTotComissao / base * MValorDaVenda;
  }

  // The line's partial cost: acquisition and operating cost of its units.
  MCustoParcVd = MCustoAcumulado * MQtdeVendida;
  MTotCustoParcVd += MCustoParcVd;

  // Taxes, a share of the sale value.
  MImpostos = MValorDaVenda * VfCustoVd / 100;
  MTotImpostos += MImpostos;

  // The payment-terms state starts afresh; the first term has as many
  // installments as the caller passed.
  MNumParelas = 0;
  dm.MVlrTxRentencao = 0;
  for (MIndice = 5; MIndice >= 0; --MIndice)
    if (VfVlrParcelas[MIndice] > 0) ++MNumParelas;

  // What the quote's header says the first term's installments add up to.
  MTotParcelas = 0;
  for (const char* coluna :
       {"Vlrparc01", "Vlrparc02", "Vlrparc03", "Vlrparc04", "Vlrparc05", "Vlrparc06"})
    MTotParcelas += cabecFloat(coluna);

  // Each payment term is costed on its own, with its own boleto fee.
  etapa = QStringLiteral("custo financeiro das condições de pagamento");
  MTxEmissaoBoleto = 0;
  dm.MPreValorPresente = 0;
  MPVParcial = FTrataValorPrezenteTxEmiBoletoOrc(cabecTexto("CodPrazo"), QStringLiteral("1"));
  MTxEmiBoleto1 = MTxEmissaoBoleto;
  MTxEmiBoleto2 = 0;
  const QString codPrazo2 = cabecTexto("CodPrazo2");
  if (!codPrazo2.isEmpty()) {
    MTxEmissaoBoleto = 0;
    dm.MPreValorPresente = 0;
    MPVParcial = MPVParcial + FTrataValorPrezenteTxEmiBoletoOrc(codPrazo2, QStringLiteral("2"));
    MTxEmiBoleto2 = MTxEmissaoBoleto;
  }

  // Financing ratio: the terms' cost over what the customer pays in
  // installments (and in trade-in). Installments that add up to nothing
  // give no ratio, and the line then carries no present-value discount.
  etapa = QStringLiteral("razão do custo financeiro");
  const double parcela2 = cabecFloat("Vlrparc01_2");
  MValorPresente = ouEmErro(0.0, [&] {
    const double recebido = MTotParcelas + parcela2 + (comTroca ? valorDaTrocaOrcamento() : 0.0);
    return Dividir(MPVParcial, recebido);
  });

  // The line's share of both terms' boleto fees.
  etapa = QStringLiteral("rateio da taxa de emissão de boletos");
  MTxEmissaoBoleto = ouEmErro(0.0, [&] {
    const double base = totalOrcamento + (comTroca ? valorDaTrocaOrcamento() : 0.0);
    return Dividir(MTxEmiBoleto1 + MTxEmiBoleto2, base) * MValorDaVenda;
  });
  MTotTxEmissaoBoleto += MTxEmissaoBoleto;

  // Present-value discount, other costs, total cost and both margins.
  custosEMargens();

  // The profitability percentages; a percentage over a zero value is 0.
  MPercLucroBrt = ouEmErro(0.0, [&] { return Dividir(MMargemBrtLcr * 100, MValorDaVenda); });
  MTotPercLucroBrt = ouEmErro(0.0, [&] { return Dividir(MTotMargemBrtLcr * 100, totalOrcamento); });
  MPercLucroOpe = ouEmErro(0.0, [&] { return Dividir(MMargemOpLcr * 100, MValorDaVenda); });
  MTotPercLucroOpe = ouEmErro(0.0, [&] { return Dividir(MTotMargemOpLcr * 100, totalOrcamento); });
}

double TCalculoRentabilidade::FTrataValorPrezenteTxEmiBoletoOrc(const QString& VfCodPrazo,
                                                                const QString& VfPrazoUmOuDois) {
  const QString empresa = empresaConfigurada();
  const QString codOrc = cabecTexto("CodOrc");
  const int numParc = static_cast<int>(cabecFloat("NumParc"));
  const double parcela2 = cabecFloat("Vlrparc01_2");

  // Quotes are costed at the store's cheque rate.
  const double MTxCondPag = consultas.txJurosCh();
  QString MCodFinanceira;

  // The term's boleto fee: a financed term's carnet, or the receivables the
  // store settles one by one. A financed term also names its plan.
  if (dm.fbAbreDadosFinanc(VfCodPrazo)) {
    const double txEmissaoBoleto = dm.condPagAberta_->TxEmissaoBoleto;
    const TFinanciamentoOrc financiamento = consultas.financiamentoOrcamento(empresa, codOrc);
    MCodFinanceira = financiamento.CodFinanceira;
    MCodPlano = financiamento.CodPlano;
    MDescFormaPgto = financiamento.DescFormaPgto;
    // A carnet is a booklet of boletos, one per installment of the quote.
    if (MDescFormaPgto == QLatin1String("Carnet")) MTxEmissaoBoleto = numParc * txEmissaoBoleto;
  } else {
    const TCondPag& condicao = *dm.condPagAberta_;
    // Boletos are issued for installments the store settles one by one.
    if (condicao.TipoIntegracao == 3 && condicao.TipoVenda == 1)
      MTxEmissaoBoleto = condicao.TxEmissaoBoleto * MNumParelas;
  }

  const double MTxJurosDia = TaxaDiaria(MTxCondPag);

  // The term's condition, opened again: it decides how the term is paid.
  const bool financiado = dm.fbAbreDadosFinanc(VfCodPrazo);
  const TCondPag condicao = *dm.condPagAberta_;
  const QString vendaTroca = cabecTexto("VENDATROCA");
  const QString orcVendaTroca = cabecTexto("ORCVENDATROCA");

  // PreCalculoValorPresente reads the quote's first installment from
  // qrySelecaoOrc.
  auto reabreOrcamento = [&] { consultas.abreOrcamento(cabecTexto("CodEmpresa"), codOrc); };

  if (condicao.UtilizaConvenio == QLatin1String("S")) {
    // Paid through a card/agreement operator, which pays after its days.
    etapa = QStringLiteral("convênio do orçamento");
    const QString MCartCon = consultas.convenioOrcamento(empresa, codOrc, VfPrazoUmOuDois);
    const TCartConOrc convenio = consultas.cartConOrcamento(MCartCon);
    reabreOrcamento();
    dm.MPreValorPresente = dm.PreCalculoValorPresente(
        QStringLiteral("Orc"), VfVlrParcelas, vendaTroca, orcVendaTroca, VfPrazoUmOuDois,
        condicao.TipoIntegracaoTexto, QStringLiteral("C"), 0, convenio.PercDesc, parcela2,
        MTxJurosDia, convenio.DiasCompensacao, 0, numParc, QString());
  } else if (financiado) {
    // A financing company's plan.
    etapa = QStringLiteral("financiamento do orçamento");
    const TPlanoOrc plano = consultas.planoOrcamento(MCodFinanceira, MCodPlano, MDescFormaPgto);
    reabreOrcamento();
    dm.MPreValorPresente = dm.PreCalculoValorPresente(
        QStringLiteral("Orc"), VfVlrParcelas, vendaTroca, orcVendaTroca, VfPrazoUmOuDois,
        condicao.TipoIntegracaoTexto, QStringLiteral("F"), 0, plano.TaxaRetencao, parcela2,
        MTxJurosDia, plano.DiasCompensacao, cabecFloat("VlrParc"), numParc, plano.Entrada);
  } else {
    // The store's own receivables, costed from the quote's day.
    etapa = QStringLiteral("contas a receber do orçamento");
    const TDateTime dataOrcamento = cabecData("DataOrcamento");
    if (VfPrazoUmOuDois == QLatin1String("1")) {
      for (MIndice = 0; MIndice <= 5; ++MIndice) {
        if (!(VfVlrParcelas[MIndice] > 0)) continue;
        // An installment passed without a due date (0) is taken as paid on
        // the quote's day, never as due a century before it.
        const TDateTime vencimento =
            VfDtParcelas[MIndice] == 0 ? dataOrcamento : VfDtParcelas[MIndice];
        dm.MPreValorPresente +=
            CustoValorPresente(VfVlrParcelas[MIndice], vencimento - dataOrcamento, MTxJurosDia);
      }
    } else if (parcela2 > 0) {
      // An installment without a due date is taken as paid on the quote's day.
      const bool semVencimento = qryVendasCabec.fieldByName("VencParc01_2").isNull();
      const TDateTime vencimento = semVencimento ? dataOrcamento : cabecData("VencParc01_2");
      dm.MPreValorPresente += CustoValorPresente(parcela2, vencimento - dataOrcamento, MTxJurosDia);
    }
  }
  etapa = QStringLiteral("custo financeiro das condições de pagamento");
  return dm.MPreValorPresente;
}

}  // namespace margivo
