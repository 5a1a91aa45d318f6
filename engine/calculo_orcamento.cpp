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
#include "framework/funcoes.h"
#include "framework/query.h"

namespace margivo {

using calculo::CustoValorPresente;
using calculo::Dividir;
using calculo::TaxaDiaria;

namespace {

// The quote-side look-ups, on the data module's query the quote screen of
// the ERP runs them on (qryTemp), left open there.
void Prepara(Query& q, std::initializer_list<QString> linhas) {
  q.close();
  q.sql().clear();
  for (const QString& linha : linhas) q.sql().append(linha);
}

struct TFinanciamentoOrc {
  QString CodPlano, DescFormaPgto, CodFinanceira;
};

TFinanciamentoOrc FinanciamentoDoOrcamento(Query& q, const QString& CodEmpresa,
                                           const QString& CodOrc) {
  Prepara(q, {QStringLiteral("Select CodPlano, DescFormaPgto, CodFinanceira From Financiamento "),
              QStringLiteral(" Where CodVenda   = :NumOrcamento"),
              QStringLiteral("   and CodEmpresa = :CodEmpresa")});
  q.setString(QStringLiteral("CodEmpresa"), CodEmpresa);
  q.setString(QStringLiteral("NumOrcamento"), CodOrc);
  q.open();
  return {q.fieldByName("CodPlano").asString(), q.fieldByName("DescFormaPgto").asString(),
          q.fieldByName("CodFinanceira").asString()};
}

QString ConvenioDoOrcamento(Query& q, const QString& CodEmpresa, const QString& CodOrc,
                            const QString& Sequencia) {
  Prepara(q, {QStringLiteral("SELECT ORCCONVENIO.* "), QStringLiteral("  FROM ORCCONVENIO"),
              QStringLiteral(" WHERE CODEMPRESA = :PCODEMPRESA AND CODORC = :PCODORC"),
              QStringLiteral("   AND SEQUENCIA  = :PSEQ")});
  q.setString(QStringLiteral("PCODEMPRESA"), CodEmpresa);
  q.setString(QStringLiteral("PSEQ"), Sequencia);
  q.setString(QStringLiteral("PCODORC"), CodOrc);
  q.open();
  return q.fieldByName("CODCONVENIO").asString();
}

struct TConvenioOrc {
  double DiasCompensacao = 0, PercDesc = 0;
};

TConvenioOrc CartConDoOrcamento(Query& q, const QString& Codigo) {
  Prepara(q,
          {QStringLiteral("SELECT CODIGO, NOME, DIASCOMPENSACAO, PERCDESC "),
           QStringLiteral("  FROM CARTCON"), QStringLiteral(" WHERE CARTCON.CODIGO = :PCODIGO")});
  q.setString(QStringLiteral("PCODIGO"), Codigo);
  q.open();
  return {q.fieldByName("DIASCOMPENSACAO").asFloat(), q.fieldByName("PERCDESC").asFloat()};
}

struct TPlanoOrc {
  double DiasCompensacao = 0, TaxaRetencao = 0;
  QString Entrada;
};

TPlanoOrc PlanoDoOrcamento(Query& q, const QString& CodFinanceira, const QString& CodPlano,
                           const QString& DescFormaPgto) {
  Prepara(q, {QStringLiteral("Select Financeira.DiasCompensacao, PlanosFinanc.TaxaRetencao, "
                             "Planosfinanc.Entrada"),
              QStringLiteral("  From Financeira inner join PlanosFinanc on "
                             "(Financeira.CodFinanceira = PlanosFinanc.CodFinanceira)"),
              QStringLiteral(" Where Financeira.CodFinanceira   = :CodFinanceira"),
              QStringLiteral("   and PlanosFinanc.CodPlano      = :CodPlano"),
              QStringLiteral("   and PlanosFinanc.DescFormaPgto = :DescFormaPgto")});
  q.setString(QStringLiteral("CodFinanceira"), CodFinanceira);
  q.setString(QStringLiteral("CodPlano"), CodPlano);
  q.setString(QStringLiteral("DescFormaPgto"), DescFormaPgto);
  q.open();
  return {q.fieldByName("DiasCompensacao").asFloat(), q.fieldByName("TaxaRetencao").asFloat(),
          q.fieldByName("Entrada").asString()};
}

// Runs `passo`; when it fails in any way (a division by zero, a failing
// look-up) the figure takes `substituto` and the calculation goes on.
template <typename Passo>
double OuEmErro(double substituto, Passo passo) {
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

double TCalculoRentabilidade::ValorDaTrocaOrcamento() {
  const QString codTroca = CabecTexto("ORCVENDATROCA");
  if (codTroca.isEmpty()) return 0;
  return dm.SelecionaValorDaTroca(CabecTexto("CodEmpresa"), codTroca);
}

void TCalculoRentabilidade::CalculaOrcamento() {
  etapa = QStringLiteral("cabeçalho do orçamento");
  const bool comTroca = !CabecTexto("ORCVENDATROCA").isEmpty();
  const double totalOrcamento = CabecFloat("TotalOrcamento");

  // The line's cost price and net sale value, by the kind of line.
  if (VfOpcaoDeCalculo == QLatin1String("Produto")) {
    etapa = QStringLiteral("custo de aquisição");
    MAquisicao = dm.FPrecoCusto(CabecTexto("CodEmpresa"), ItemTexto("CodProd"),
                                ItemTexto("CodGrade"), CabecData("DataOrcamento"));

    etapa = QStringLiteral("custo operacional do produto");
    MCustoOpProd = consultas.CustoOperacionalProduto(ItemTexto("CodProd"));

    etapa = QStringLiteral("valor da venda");
    MValorDaVenda = (ItemFloat("PrecoUnit") - ItemFloat("DescontoVlr")) * ItemFloat("Quantidade");

    // The quote stores its net total: its gross value is rebuilt from it,
    // the trade-in given as part payment and both discounts.
    etapa = QStringLiteral("valor bruto do orçamento");
    const double descontoValor = CabecFloat("DescontoValor");
    const double descontoPerc = CabecFloat("DescontoPerc");
    MValorOrcamento = OuEmErro(0.0, [&] {
      return Dividir((totalOrcamento + ValorDaTrocaOrcamento() + descontoValor) * 100,
                     100 - descontoPerc);
    });
    MDescontoValor = descontoValor + descontoPerc * MValorOrcamento / 100;

    // The quote's whole discount is shared by its lines in proportion to
    // their value.
    etapa = QStringLiteral("rateio do desconto");
    MValorDaVenda = MValorDaVenda - Dividir(MDescontoValor, MValorOrcamento) * MValorDaVenda;

    MTotValorDaVenda += MValorDaVenda;
    MQtdeVendida = ItemFloat("Quantidade");
  } else if (VfOpcaoDeCalculo == QLatin1String("Frete")) {
    etapa = QStringLiteral("frete");
    MAquisicao = CabecFloat("Frete");
    MValorDaVenda = MAquisicao;
    MTotValorDaVenda += MValorDaVenda;
    MQtdeVendida = CabecFloat("QtdFrete01") + CabecFloat("QtdFrete02") + CabecFloat("QtdFrete03");
    // The freight's cost per unit shipped.
    MAquisicao = Dividir(MAquisicao, MQtdeVendida);
  } else if (VfOpcaoDeCalculo == QLatin1String("TaxaServico")) {
    etapa = QStringLiteral("taxa de serviço");
    MAquisicao = CabecFloat("TaxaServico");
    MValorDaVenda = MAquisicao;
    MTotValorDaVenda += MValorDaVenda;
    MQtdeVendida = 1;
  }

  // Operating cost per unit, and the unit cost with it.
  CustoOperacionalPorUnidade();

  // The quote's commission, spread over the lines by their net value.
  etapa = QStringLiteral("comissão");
  MComissao = 0;
  if (dm.FIncluiComissaoRentabilidade()) {
    const double base = totalOrcamento + ValorDaTrocaOrcamento();
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
    MTotParcelas += CabecFloat(coluna);

  // Each payment term is costed on its own, with its own boleto fee.
  etapa = QStringLiteral("custo financeiro das condições de pagamento");
  MTxEmissaoBoleto = 0;
  dm.MPreValorPresente = 0;
  MPVParcial = FTrataValorPrezenteTxEmiBoletoOrc(CabecTexto("CodPrazo"), QStringLiteral("1"));
  MTxEmiBoleto1 = MTxEmissaoBoleto;
  MTxEmiBoleto2 = 0;
  const QString codPrazo2 = CabecTexto("CodPrazo2");
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
  const double parcela2 = CabecFloat("Vlrparc01_2");
  MValorPresente = OuEmErro(0.0, [&] {
    const double recebido = MTotParcelas + parcela2 + (comTroca ? ValorDaTrocaOrcamento() : 0.0);
    return Dividir(MPVParcial, recebido);
  });

  // The line's share of both terms' boleto fees.
  etapa = QStringLiteral("rateio da taxa de emissão de boletos");
  MTxEmissaoBoleto = OuEmErro(0.0, [&] {
    const double base = totalOrcamento + (comTroca ? ValorDaTrocaOrcamento() : 0.0);
    return Dividir(MTxEmiBoleto1 + MTxEmiBoleto2, base) * MValorDaVenda;
  });
  MTotTxEmissaoBoleto += MTxEmissaoBoleto;

  // Present-value discount, other costs, total cost and both margins.
  CustosEMargens();

  // The profitability percentages; a percentage over a zero value is 0.
  MPercLucroBrt = OuEmErro(0.0, [&] { return Dividir(MMargemBrtLcr * 100, MValorDaVenda); });
  MTotPercLucroBrt = OuEmErro(0.0, [&] { return Dividir(MTotMargemBrtLcr * 100, totalOrcamento); });
  MPercLucroOpe = OuEmErro(0.0, [&] { return Dividir(MMargemOpLcr * 100, MValorDaVenda); });
  MTotPercLucroOpe = OuEmErro(0.0, [&] { return Dividir(MTotMargemOpLcr * 100, totalOrcamento); });
}

double TCalculoRentabilidade::FTrataValorPrezenteTxEmiBoletoOrc(const QString& VfCodPrazo,
                                                                const QString& VfPrazoUmOuDois) {
  const QString empresa = EmpresaConfigurada();
  const QString codOrc = CabecTexto("CodOrc");
  const int numParc = static_cast<int>(CabecFloat("NumParc"));
  const double parcela2 = CabecFloat("Vlrparc01_2");

  // Quotes are costed at the store's cheque rate.
  const double MTxCondPag = consultas.TxJurosCh();
  QString MCodFinanceira;

  // The term's boleto fee: a financed term's carnet, or the receivables the
  // store settles one by one. A financed term also names its plan.
  if (dm.fbAbreDadosFinanc(VfCodPrazo)) {
    const double txEmissaoBoleto = dm.condPagAberta_->TxEmissaoBoleto;
    const TFinanciamentoOrc financiamento = FinanciamentoDoOrcamento(dm.qryTemp, empresa, codOrc);
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
  const QString vendaTroca = CabecTexto("VENDATROCA");
  const QString orcVendaTroca = CabecTexto("ORCVENDATROCA");

  // PreCalculoValorPresente reads the quote's first installment from
  // qrySelecaoOrc.
  auto reabreOrcamento = [&] {
    dm.qrySelecaoOrc.close();
    dm.qrySelecaoOrc.setString(QStringLiteral("CodOrc"), codOrc);
    dm.qrySelecaoOrc.setString(QStringLiteral("CodEmpresa"), CabecTexto("CodEmpresa"));
    dm.qrySelecaoOrc.open();
  };

  if (condicao.UtilizaConvenio == QLatin1String("S")) {
    // Paid through a card/agreement operator, which pays after its days.
    etapa = QStringLiteral("convênio do orçamento");
    const QString MCartCon = ConvenioDoOrcamento(dm.qryTemp, empresa, codOrc, VfPrazoUmOuDois);
    const TConvenioOrc convenio = CartConDoOrcamento(dm.qryTemp, MCartCon);
    reabreOrcamento();
    dm.MPreValorPresente = dm.PreCalculoValorPresente(
        QStringLiteral("Orc"), VfVlrParcelas, vendaTroca, orcVendaTroca, VfPrazoUmOuDois,
        condicao.TipoIntegracaoTexto, QStringLiteral("C"), 0, convenio.PercDesc, parcela2,
        MTxJurosDia, convenio.DiasCompensacao, 0, numParc, QString());
  } else if (financiado) {
    // A financing company's plan.
    etapa = QStringLiteral("financiamento do orçamento");
    const TPlanoOrc plano = PlanoDoOrcamento(dm.qryTemp, MCodFinanceira, MCodPlano, MDescFormaPgto);
    reabreOrcamento();
    dm.MPreValorPresente = dm.PreCalculoValorPresente(
        QStringLiteral("Orc"), VfVlrParcelas, vendaTroca, orcVendaTroca, VfPrazoUmOuDois,
        condicao.TipoIntegracaoTexto, QStringLiteral("F"), 0, plano.TaxaRetencao, parcela2,
        MTxJurosDia, plano.DiasCompensacao, CabecFloat("VlrParc"), numParc, plano.Entrada);
  } else {
    // The store's own receivables, costed from the quote's day.
    etapa = QStringLiteral("contas a receber do orçamento");
    const TDateTime dataOrcamento = CabecData("DataOrcamento");
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
      const TDateTime vencimento = semVencimento ? dataOrcamento : CabecData("VencParc01_2");
      dm.MPreValorPresente += CustoValorPresente(parcela2, vencimento - dataOrcamento, MTxJurosDia);
    }
  }
  etapa = QStringLiteral("custo financeiro das condições de pagamento");
  return dm.MPreValorPresente;
}

}  // namespace margivo
