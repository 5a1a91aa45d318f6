// The per-item calculation of a quote ("Orc"): the quote's header and item
// rows stand in OrcCabe and OrcItem of a sample database, and the first
// payment term's installments come from the header through
// ParcelasDoOrcamento, as a quote screen would pass them.
#include <gtest/gtest.h>

#include "tests/test_engine_comum.h"

namespace margivo::test {
namespace {

// Product P1 costs 100 at branch 01. Conditions: AVISTA (own receivables,
// no fee), BOL (own receivables settled per installment, boleto 2.50), CONV
// (an agreement), FIN (financed, boleto 2.50). Financing company F1 pays
// after 30 days; plan PL with no retention and no down payment.
const QString kBase = QStringLiteral(
    "INSERT INTO PRODUTO (CODPROD, DESCRICAO, CUSTOOPERC) VALUES ('P1', 'Produto', 0);"
    "INSERT INTO COMPPROD (CODPROD, CODEMPRESA, PRECOCUSTO) VALUES ('P1', '01', 100);"
    "INSERT INTO CONDPAG (CODPRAZO, TIPOVENDA, TIPOINTEGRACAO, PRAZO1) VALUES ('AVISTA', 1, 0, 0);"
    "INSERT INTO CONDPAG (CODPRAZO, TIPOVENDA, TIPOINTEGRACAO, TXEMISSAOBOLETO)"
    " VALUES ('BOL', 1, 3, 2.5);"
    "INSERT INTO CONDPAG (CODPRAZO, TIPOVENDA, TIPOINTEGRACAO, UTILIZACONVENIO)"
    " VALUES ('CONV', 1, 3, 'S');"
    "INSERT INTO CONDPAG (CODPRAZO, TIPOVENDA, TIPOINTEGRACAO, TXEMISSAOBOLETO)"
    " VALUES ('FIN', 2, 3, 2.5);"
    "INSERT INTO FINANCEIRA VALUES ('F1', 'Financeira 1', 30, 'FIN');"
    "INSERT INTO PLANOSFINANC (CODFINANCEIRA, CODPLANO, DESCFORMAPGTO, TAXARETENCAO, NUMPARC,"
    " ENTRADA) VALUES ('F1', 'PL', 'Carnet', 0, 2, 'N');"
    "INSERT INTO PLANOSFINANC (CODFINANCEIRA, CODPLANO, DESCFORMAPGTO, TAXARETENCAO, NUMPARC,"
    " ENTRADA) VALUES ('F1', 'PL', 'Boleto', 0, 2, 'N');"
    "INSERT INTO CARTCON (CODIGO, NOME, DIASCOMPENSACAO, PERCDESC) VALUES ('C1', 'Cartão', 30, "
    "0);");

// Quote `cod` of branch 01, dated 2024-03-01, with the header columns given
// as "COLUMN, ..." / "value, ..." and one item line of P1.
QString Orcamento(const char* cod, const char* colunas, const char* valores, double preco = 250,
                  double quantidade = 1, double descontoItem = 0) {
  return QStringLiteral(
             "INSERT INTO ORCCABE (CODEMPRESA, CODORC, DATAORCAMENTO, %2) VALUES ('01', '%1',"
             " '2024-03-01', %3);"
             "INSERT INTO ORCITEM (CODEMPRESA, CODORC, ITEM, CODPROD, CODGRADE, QUANTIDADE,"
             " PRECOUNIT, DESCONTOVLR) VALUES ('01', '%1', 1, 'P1', 'A', %4, %5, %6);")
      .arg(QString::fromLatin1(cod), QString::fromLatin1(colunas), QString::fromLatin1(valores))
      .arg(quantidade)
      .arg(preco)
      .arg(descontoItem);
}

struct Resultado {
  Figuras f;
  double custo = 0;  // MPreValorPresente after the call: the last term's cost
};

// The calculation of option `opcao` of quote `cod`, its commission
// `totComissao`, with the first term's installments read from the header.
// With `doCabecalho` false the installments of `base` are passed as they are.
Resultado CalculaOrc(AmbienteEngine& amb, const char* cod, const char* opcao = "Produto",
                     double totComissao = 0, const Entradas& base = Entradas(),
                     bool doCabecalho = true) {
  auto dm = amb.novoModulo();
  Query cabec(&amb.banco());
  cabec.sql() << QStringLiteral("SELECT * FROM ORCCABE WHERE CODEMPRESA = '01' AND CODORC = :C");
  cabec.setString(QStringLiteral("C"), QString::fromLatin1(cod));
  cabec.open();
  EXPECT_FALSE(cabec.isEmpty()) << cod;
  Query item(&amb.banco());
  item.sql() << QStringLiteral("SELECT * FROM ORCITEM WHERE CODEMPRESA = '01' AND CODORC = :C");
  item.setString(QStringLiteral("C"), QString::fromLatin1(cod));
  item.open();
  Entradas e = base;
  if (doCabecalho) TdmRentabilidade::ParcelasDoOrcamento(cabec, e.VlrParcelas, e.DtParcelas);
  Resultado r;
  Figuras& f = r.f;
  f.MTotComissao = totComissao;
  dm->PCalculaValoresRentabilidade(
      QStringLiteral("Orc"), QString::fromLatin1(opcao), e.VfCustoOp, e.VfCustoVd, e.VfCustoFn,
      e.VlrParcelas, e.DtParcelas, item, cabec, f.MAquisicao, f.MValorDaVenda, f.MQtdeVendida,
      f.MOperacional, f.MCustoParcVd, f.MComissao, f.MImpostos, f.MDescontoPV, f.MTxEmissaoBoleto,
      f.MOutros, f.MCustoTotVd, f.MMargemBrtLcr, f.MMargemOpLcr, f.MPercLucroBrt, f.MPercLucroOpe,
      f.MTotCustoParcVd, f.MTotValorDaVenda, f.MTotComissao, f.MTotImpostos, f.MTotDescontoPV,
      f.MTotTxEmissaoBoleto, f.MTotOutros, f.MTotCustoTotVd, f.MTotMargemBrtLcr, f.MTotMargemOpLcr,
      f.MTotPercLucroBrt, f.MTotPercLucroOpe, e.MTotTroca);
  r.custo = dm->MPreValorPresente;
  return r;
}

double Arred(double v) { return std::round(v * 100) / 100; }

TEST(QuoteLines, DiscountTradeInAndCommissionSpreadOverTheLines) {
  const QString quotes =
      // Gross 900 / 0.9 = 1000, discount 100: a line of 250 ends at 225.
      Orcamento("1", "TOTALORCAMENTO, DESCONTOPERC, DESCONTOVALOR, CODPRAZO", "900, 10, 0, ''") +
      // The trade-in quote T1 (100) paid part: gross 800 + 100 + 100 = 1000.
      Orcamento("2", "TOTALORCAMENTO, DESCONTOVALOR, ORCVENDATROCA, CODPRAZO",
                "800, 100, 'T1', ''") +
      "INSERT INTO ORCCABE (CODEMPRESA, CODORC, TOTALORCAMENTO) VALUES ('01', 'T1', 100);" +
      // The trade-in quote does not exist: gross 900, the line 250 - 250/9.
      Orcamento("3", "TOTALORCAMENTO, DESCONTOVALOR, ORCVENDATROCA, CODPRAZO",
                "800, 100, 'T9', ''");
  struct Caso {
    const char* nome;
    const char* orc;
    bool comissao;  // PARAPDV includes the commission
    double valor, comissaoEsperada, percLucroBrt, totPercLucroBrt;
  };
  const Caso casos[] = {
      {"10 % off a net total of 900", "1", false, 225, 0, Arred(125.0 * 100 / 225),
       Arred(125.0 * 100 / 900)},
      {"commission off", "1", false, 225, 0, Arred(125.0 * 100 / 225), Arred(125.0 * 100 / 900)},
      // 90 over 900 of the quote: a tenth of the line's 225.
      {"commission on", "1", true, 225, 22.5, Arred(125.0 * 100 / 225), Arred(125.0 * 100 / 900)},
      // 90 over 800 + 100 of trade-in.
      {"trade-in found", "2", true, 225, 22.5, Arred(125.0 * 100 / 225), Arred(125.0 * 100 / 800)},
      {"trade-in not found", "3", true, Arred(250 - 250.0 / 9),
       Arred(90.0 / 800 * (250 - 250.0 / 9)), Arred((150 - 250.0 / 9) * 100 / (250 - 250.0 / 9)),
       Arred((150 - 250.0 / 9) * 100 / 800)},
  };
  for (const Caso& c : casos) {
    SCOPED_TRACE(c.nome);
    AmbienteEngine amb(kBase + quotes +
                       (c.comissao ? "UPDATE PARAPDV SET INCLUICOMISSAORENTABILIDADE = 'S';" : ""));
    const Resultado r = CalculaOrc(amb, c.orc, "Produto", 90);
    EXPECT_DOUBLE_EQ(r.f.MAquisicao, 100);
    EXPECT_DOUBLE_EQ(r.f.MQtdeVendida, 1);
    EXPECT_DOUBLE_EQ(r.f.MValorDaVenda, c.valor);
    EXPECT_DOUBLE_EQ(r.f.MTotValorDaVenda, c.valor);
    EXPECT_DOUBLE_EQ(r.f.MComissao, c.comissaoEsperada);
    EXPECT_DOUBLE_EQ(r.f.MTotComissao, 90);  // an input here, never added to
    EXPECT_DOUBLE_EQ(r.f.MPercLucroBrt, c.percLucroBrt);
    EXPECT_DOUBLE_EQ(r.f.MTotPercLucroBrt, c.totPercLucroBrt);
  }
}

TEST(QuoteLines, FreightAndServiceFee) {
  AmbienteEngine amb(kBase + Orcamento("10",
                                       "TOTALORCAMENTO, FRETE, QTDFRETE01, QTDFRETE02, QTDFRETE03,"
                                       " TAXASERVICO, CODPRAZO",
                                       "250, 30, 2, 0, NULL, 12, ''"));
  Entradas e;
  e.VfCustoOp = 10;  // operating cost only counts for products
  {
    SCOPED_TRACE("freight");
    const Resultado r = CalculaOrc(amb, "10", "Frete", 0, e);
    EXPECT_DOUBLE_EQ(r.f.MValorDaVenda, 30);
    EXPECT_DOUBLE_EQ(r.f.MQtdeVendida, 2);
    EXPECT_DOUBLE_EQ(r.f.MAquisicao, 15);
    EXPECT_DOUBLE_EQ(r.f.MOperacional, 0);
    EXPECT_DOUBLE_EQ(r.f.MCustoParcVd, 30);
  }
  {
    SCOPED_TRACE("service fee");
    const Resultado r = CalculaOrc(amb, "10", "TaxaServico", 0, e);
    EXPECT_DOUBLE_EQ(r.f.MValorDaVenda, 12);
    EXPECT_DOUBLE_EQ(r.f.MAquisicao, 12);
    EXPECT_DOUBLE_EQ(r.f.MQtdeVendida, 1);
    EXPECT_DOUBLE_EQ(r.f.MOperacional, 0);
    EXPECT_DOUBLE_EQ(r.f.MMargemBrtLcr, 0);
  }
  {
    SCOPED_TRACE("product line with operating cost");
    const Resultado r = CalculaOrc(amb, "10", "Produto", 0, e);
    EXPECT_DOUBLE_EQ(r.f.MValorDaVenda, 250);
    EXPECT_DOUBLE_EQ(r.f.MOperacional, 25);
  }
}

TEST(QuoteLines, ZeroAndNegativeSaleValues) {
  // A free line and a line whose discount exceeds its price, in a quote of 100.
  AmbienteEngine amb(kBase + Orcamento("20", "TOTALORCAMENTO, CODPRAZO", "100, ''", /*preco=*/0) +
                     Orcamento("21", "TOTALORCAMENTO, CODPRAZO", "100, ''", /*preco=*/0, 1, 10));
  const Resultado zero = CalculaOrc(amb, "20");
  EXPECT_DOUBLE_EQ(zero.f.MValorDaVenda, 0);
  EXPECT_DOUBLE_EQ(zero.f.MMargemBrtLcr, -100);
  EXPECT_DOUBLE_EQ(zero.f.MPercLucroBrt, 0);
  EXPECT_DOUBLE_EQ(zero.f.MPercLucroOpe, 0);
  EXPECT_DOUBLE_EQ(zero.f.MTotPercLucroBrt, -100);

  const Resultado negativo = CalculaOrc(amb, "21");
  EXPECT_DOUBLE_EQ(negativo.f.MValorDaVenda, -10);
  // -110 over -10: no positivity test on quotes.
  EXPECT_DOUBLE_EQ(negativo.f.MPercLucroBrt, 1100);
}

TEST(QuoteLines, UnguardedDivisionsNameTheQuoteProductAndStep) {
  AmbienteEngine amb(kBase +
                     // 100 % off: no gross value to spread the discount over.
                     Orcamento("30", "TOTALORCAMENTO, DESCONTOPERC, CODPRAZO", "0, 100, ''") +
                     // Freight without freight quantities.
                     Orcamento("31", "TOTALORCAMENTO, FRETE, CODPRAZO", "250, 30, ''") +
                     // A product line of quantity 0.
                     Orcamento("32", "TOTALORCAMENTO, CODPRAZO", "250, ''", 250, 0));
  struct Caso {
    const char* nome;
    const char* orc;
    const char* opcao;
    const char* etapa;
  };
  const Caso casos[] = {
      {"discount spread", "30", "Produto", "(rateio do desconto)"},
      {"freight per unit", "31", "Frete", "(frete)"},
      {"operating cost per unit", "32", "Produto", "(custo operacional por unidade)"},
  };
  for (const Caso& c : casos) {
    SCOPED_TRACE(c.nome);
    try {
      CalculaOrc(amb, c.orc, c.opcao);
      ADD_FAILURE() << "no error";
    } catch (const CalculationError& e) {
      EXPECT_EQ(e.kind(), CalculationError::Kind::Arithmetic);
      const QString esperado =
          QStringLiteral("orçamento CODEMPRESA=01 CODORC=%1, produto CODPROD=P1")
              .arg(QString::fromLatin1(c.orc));
      EXPECT_TRUE(e.message().contains(esperado)) << e.message().toStdString();
      EXPECT_TRUE(e.message().contains(QString::fromLatin1(c.etapa))) << e.message().toStdString();
    }
  }
}

TEST(QuotePaymentTerms, OneTermVersusTwoTerms) {
  // Term 1: 300 at 30 and 300 at 60 days under BOL (two boletos of 2.50);
  // term 2: 400 at 60 days, under BOL again (the fee counts term 1's
  // installments) or under AVISTA (no fee). One line worth the whole quote.
  const char* colunas =
      "TOTALORCAMENTO, CODPRAZO, VLRPARC01, VENCPARC01, VLRPARC02, VENCPARC02, CODPRAZO2,"
      " VLRPARC01_2, VENCPARC01_2";
  AmbienteEngine amb(
      kBase +
      Orcamento("40", colunas,
                "1000, 'BOL', 300, '2024-03-31', 300, '2024-04-30', '', 400, '2024-04-30'", 1000) +
      Orcamento("41", colunas,
                "1000, 'BOL', 300, '2024-03-31', 300, '2024-04-30', 'BOL', 400, '2024-04-30'",
                1000) +
      Orcamento("42", colunas,
                "1000, 'BOL', 300, '2024-03-31', 300, '2024-04-30', 'AVISTA', 400, '2024-04-30'",
                1000));
  const double termo1 = CustoEsperado(300, 30, 0.03) + CustoEsperado(300, 60, 0.03);
  const double termo2 = CustoEsperado(400, 60, 0.03);
  struct Caso {
    const char* nome;
    const char* orc;
    double custoUltimoTermo, descontoPV, taxaBoleto;
  };
  const Caso casos[] = {
      // Without a second condition its installment is not costed, but the
      // ratio still divides by all that is paid in installments.
      {"one term", "40", termo1, Arred(termo1 / 1000 * 1000), 5},
      {"two terms, both with boletos", "41", termo2, Arred(termo1 + termo2), 10},
      {"second term without boletos", "42", termo2, Arred(termo1 + termo2), 5},
  };
  for (const Caso& c : casos) {
    SCOPED_TRACE(c.nome);
    const Resultado r = CalculaOrc(amb, c.orc);
    EXPECT_NEAR(r.custo, c.custoUltimoTermo, 1e-9);
    EXPECT_DOUBLE_EQ(r.f.MDescontoPV, c.descontoPV);
    EXPECT_DOUBLE_EQ(r.f.MTxEmissaoBoleto, c.taxaBoleto);
    EXPECT_DOUBLE_EQ(r.f.MTotTxEmissaoBoleto, c.taxaBoleto);
  }
}

TEST(QuotePaymentTerms, SecondTermOwnReceivables) {
  // 500 due 60 days after the quote at 2 % a month: 500 - 500 / 1.02^2.
  AmbienteEngine amb(kBase + "UPDATE PARAPDV SET TXJUROSCH = 0.02;" +
                     Orcamento("50",
                               "TOTALORCAMENTO, CODPRAZO, CODPRAZO2, VLRPARC01_2, VENCPARC01_2",
                               "500, 'AVISTA', 'AVISTA', 500, '2024-04-30'", 500) +
                     // The same without a due date: paid on the quote's day.
                     Orcamento("51", "TOTALORCAMENTO, CODPRAZO, CODPRAZO2, VLRPARC01_2",
                               "500, 'AVISTA', 'AVISTA', 500", 500));
  const Resultado r = CalculaOrc(amb, "50");
  EXPECT_NEAR(r.custo, 500 - 500 / (1.02 * 1.02), 1e-9);
  EXPECT_NEAR(r.custo, 19.42, 0.005);
  EXPECT_DOUBLE_EQ(r.f.MDescontoPV, 19.42);
  const Resultado semVencimento = CalculaOrc(amb, "51");
  EXPECT_DOUBLE_EQ(semVencimento.custo, 0);
  EXPECT_DOUBLE_EQ(semVencimento.f.MDescontoPV, 0);
}

TEST(QuotePaymentTerms, FirstTermCostsTheInstallmentsAsPassed) {
  // The header records 300 at 30 days; the caller passes other installments.
  AmbienteEngine amb(kBase + Orcamento("55", "TOTALORCAMENTO, CODPRAZO, VLRPARC01, VENCPARC01",
                                       "600, 'AVISTA', 300, '2024-03-31'", 600));
  const TDateTime dia = toTDateTime(QDate(2024, 3, 1));
  struct Caso {
    const char* nome;
    std::vector<double> valores;
    std::vector<TDateTime> datas;
    double custo;
  };
  const Caso casos[] = {
      {"none passed", {}, {}, 0},
      {"two installments",
       {200, 400},
       {dia + 30, dia + 60},
       CustoEsperado(200, 30, 0.03) + CustoEsperado(400, 60, 0.03)},
      {"an installment without a due date is due on the quote's day",
       {200, 400},
       {dia + 30, 0},
       CustoEsperado(200, 30, 0.03)},
      // Only entries 0..5 count.
      {"a seventh installment", {0, 0, 0, 0, 0, 0, 500}, {0, 0, 0, 0, 0, 0, dia + 90}, 0},
  };
  for (const Caso& c : casos) {
    SCOPED_TRACE(c.nome);
    Entradas e;
    for (size_t k = 0; k < c.valores.size(); ++k) {
      e.VlrParcelas[k] = c.valores[k];
      e.DtParcelas[k] = c.datas[k];
    }
    EXPECT_NEAR(CalculaOrc(amb, "55", "Produto", 0, e, false).custo, c.custo, 1e-9);
  }
}

TEST(QuotePaymentTerms, AgreementTerms) {
  const char* colunas = "TOTALORCAMENTO, CODPRAZO, NUMPARC, VLRPARC01, VENCPARC01";
  AmbienteEngine amb(kBase + Orcamento("60", colunas, "500, 'CONV', 1, 500, '2024-03-31'", 500) +
                     // The agreement of term 1 is C1, which pays 30 days later.
                     Orcamento("61", colunas, "500, 'CONV', 1, 500, '2024-03-31'", 500) +
                     "INSERT INTO ORCCONVENIO (CODEMPRESA, CODORC, SEQUENCIA, CODCONVENIO)"
                     " VALUES ('01', '61', 1, 'C1');"
                     // C1 recorded for term 2 only: term 1 has no agreement row.
                     + Orcamento("62", colunas, "500, 'CONV', 1, 500, '2024-03-31'", 500) +
                     "INSERT INTO ORCCONVENIO (CODEMPRESA, CODORC, SEQUENCIA, CODCONVENIO)"
                     " VALUES ('01', '62', 2, 'C1');"
                     // Term 2 through C1: its single installment of 400 is paid 30 days later.
                     + Orcamento("63", "TOTALORCAMENTO, CODPRAZO, CODPRAZO2, VLRPARC01_2",
                                 "400, 'AVISTA', 'CONV', 400", 400) +
                     "INSERT INTO ORCCONVENIO (CODEMPRESA, CODORC, SEQUENCIA, CODCONVENIO)"
                     " VALUES ('01', '63', 2, 'C1');");
  EXPECT_DOUBLE_EQ(CalculaOrc(amb, "60").custo, 0);
  EXPECT_NEAR(CalculaOrc(amb, "61").custo, CustoEsperado(500, 30, 0.03), 1e-9);
  EXPECT_DOUBLE_EQ(CalculaOrc(amb, "62").custo, 0);
  const Resultado termo2 = CalculaOrc(amb, "63");
  EXPECT_NEAR(termo2.custo, CustoEsperado(400, 30, 0.03), 1e-9);
  EXPECT_DOUBLE_EQ(termo2.f.MDescontoPV, Arred(CustoEsperado(400, 30, 0.03)));
}

TEST(QuotePaymentTerms, FinancedTerms) {
  // Two installments of 100 paid by F1 30 and 60 days late; a carnet costs
  // the quote's NumParc boletos of 2.50.
  const char* colunas = "TOTALORCAMENTO, CODPRAZO, NUMPARC, VLRPARC, VLRPARC01, VLRPARC02";
  const QString fin = QStringLiteral(
      "INSERT INTO FINANCIAMENTO (CODFINANCIAMENTO, CODEMPRESA, CODVENDA, CODFINANCEIRA, CODPLANO,"
      " DESCFORMAPGTO) VALUES (%1, '01', '%2', 'F1', 'PL', '%3');");
  AmbienteEngine amb(kBase + Orcamento("70", colunas, "200, 'FIN', 2, 100, 100, 100", 200) +
                     fin.arg(1).arg(QStringLiteral("70"), QStringLiteral("Carnet")) +
                     Orcamento("71", colunas, "200, 'FIN', 2, 100, 100, 100", 200) +
                     fin.arg(2).arg(QStringLiteral("71"), QStringLiteral("Boleto")) +
                     // Financed, but the quote records no installments: no
                     // ratio to apply, no present-value discount.
                     Orcamento("72", colunas, "200, 'FIN', 2, 100, 0, 0", 200) +
                     fin.arg(3).arg(QStringLiteral("72"), QStringLiteral("Carnet")));
  const double custo = CustoEsperado(100, 30, 0.03) + CustoEsperado(100, 60, 0.03);
  struct Caso {
    const char* nome;
    const char* orc;
    double taxaBoleto, descontoPV;
  };
  const Caso casos[] = {
      {"carnet", "70", 5, Arred(custo)},
      {"not a carnet", "71", 0, Arred(custo)},
      {"installments adding up to 0", "72", 5, 0},
  };
  for (const Caso& c : casos) {
    SCOPED_TRACE(c.nome);
    const Resultado r = CalculaOrc(amb, c.orc);
    EXPECT_NEAR(r.custo, custo, 1e-9);
    EXPECT_DOUBLE_EQ(r.f.MTxEmissaoBoleto, c.taxaBoleto);
    EXPECT_DOUBLE_EQ(r.f.MDescontoPV, c.descontoPV);
  }
}

TEST(QuotePaymentTerms, FeeShareAndTotalPercentagesOverAZeroTotal) {
  // A freight line of a quote whose total is 0: the boleto fees and the
  // total percentages have no base and come out 0; the line's own
  // percentages stand.
  AmbienteEngine amb(kBase + Orcamento("80",
                                       "TOTALORCAMENTO, FRETE, QTDFRETE01, CODPRAZO, VLRPARC01,"
                                       " VENCPARC01",
                                       "0, 30, 1, 'BOL', 100, '2024-03-31'"));
  const Resultado r = CalculaOrc(amb, "80", "Frete");
  EXPECT_NEAR(r.custo, CustoEsperado(100, 30, 0.03), 1e-9);
  EXPECT_DOUBLE_EQ(r.f.MTxEmissaoBoleto, 0);
  EXPECT_DOUBLE_EQ(r.f.MTotPercLucroBrt, 0);
  EXPECT_DOUBLE_EQ(r.f.MTotPercLucroOpe, 0);
  // 30 of freight costing 30: no gross margin; the present value of the
  // line's share of the installments is its operating loss.
  const double descontoPV = CustoEsperado(100, 30, 0.03) / 100 * 30;
  EXPECT_DOUBLE_EQ(r.f.MPercLucroBrt, 0);
  EXPECT_DOUBLE_EQ(r.f.MDescontoPV, Arred(descontoPV));
  EXPECT_DOUBLE_EQ(r.f.MPercLucroOpe, Arred(-descontoPV * 100 / 30));
}

TEST(QuoteInstallments, ReadFromTheQuoteHeader) {
  AmbienteEngine amb(kBase + Orcamento("90",
                                       "TOTALORCAMENTO, VLRPARC01, VENCPARC01, VLRPARC02,"
                                       " VLRPARC03, VENCPARC03, VLRPARC06, VENCPARC06",
                                       "600, 100, '2024-03-31', 200, 0, '2024-05-30', 300,"
                                       " '2024-08-28'"));
  const TDateTime dia = toTDateTime(QDate(2024, 3, 1));
  struct Caso {
    const char* nome;
    const char* sql;
    std::vector<TDateTime> datas;
  };
  const Caso casos[] = {
      {"with due dates",
       "SELECT * FROM ORCCABE WHERE CODORC = '90'",
       {dia + 30, dia, 0, 0, 0, dia + 180, 0}},
      {"without the due-date columns",
       "SELECT DATAORCAMENTO, VLRPARC01, VLRPARC02, VLRPARC03, VLRPARC04, VLRPARC05, VLRPARC06"
       " FROM ORCCABE WHERE CODORC = '90'",
       {dia, dia, 0, 0, 0, dia, 0}},
  };
  for (const Caso& c : casos) {
    SCOPED_TRACE(c.nome);
    Query q(&amb.banco());
    q.sql() << QString::fromLatin1(c.sql);
    q.open();
    std::vector<double> valores{9, 9};
    std::vector<TDateTime> datas;
    TdmRentabilidade::ParcelasDoOrcamento(q, valores, datas);
    EXPECT_EQ(valores, (std::vector<double>{100, 200, 0, 0, 0, 300, 0}));
    EXPECT_EQ(datas, c.datas);
  }
}

}  // namespace
}  // namespace margivo::test
