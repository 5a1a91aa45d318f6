// The financial cost of an order's payment terms and its boleto fees, seen
// through the per-item calculation. Every order here has one line whose
// value is the order total, without freight, so the line carries the
// order's whole cost (MDescontoPV) and fee (MTxEmissaoBoleto).
#include <gtest/gtest.h>

#include "tests/test_engine_comum.h"

namespace margivo::test {
namespace {

// Order `cod` of branch 01, type V: one line of P1 worth `total`.
QString Pedido(const char* cod, double total, const char* codPrazo = "",
               const char* data = "2024-03-01", const char* entrega = nullptr) {
  return QStringLiteral(
             "INSERT INTO PEDIDOC (CODEMPRESA, TIPOPEDIDO, CODPEDIDO, DATAPEDIDO, DATAENTREGA,"
             " CODPRAZO, TOTALPEDIDO, FRETE, VLRACRESCIMO) VALUES ('01', 'V', '%1', '%2', %3, '%4',"
             " %5, 0, 0);"
             "INSERT INTO PEDIDOI VALUES ('01', 'V', '%1', 1, 'P1', 'A', 1, %5, 0);")
      .arg(QString::fromLatin1(cod), QString::fromLatin1(data),
           entrega ? QStringLiteral("'%1'").arg(QString::fromLatin1(entrega))
                   : QStringLiteral("NULL"),
           QString::fromLatin1(codPrazo))
      .arg(total);
}

// The closing record of order `cod`: how it was paid.
QString EnceFat(const char* cod, double receber, double convenio, double financ, double chPreDatado,
                double dinheiro) {
  return QStringLiteral(
             "INSERT INTO ENCEFAT (CODEMPRESA, TIPOPEDIDO, CODPEDIDO, VLRRECEBER, VLRCONVENIO,"
             " VLRFINANC, VLRCHPREDATADO, VLRCHEQUE, VLRDINHEIRO, VLRDESCONTO, VLRTROCO)"
             " VALUES ('01', 'V', '%1', %2, %3, %4, %5, 0, %6, 0, 0);")
      .arg(QString::fromLatin1(cod))
      .arg(receber)
      .arg(convenio)
      .arg(financ)
      .arg(chPreDatado)
      .arg(dinheiro);
}

const QString kBase = QStringLiteral(
    "INSERT INTO PRODUTO (CODPROD, DESCRICAO, CUSTOOPERC) VALUES ('P1', 'Produto', 0);"
    "INSERT INTO CONDPAG (CODPRAZO, TIPOVENDA, TIPOINTEGRACAO, PRAZO1) VALUES ('30', 1, 0, 30);"
    "INSERT INTO CONDPAG (CODPRAZO, TIPOVENDA, TIPOINTEGRACAO, PRAZO1) VALUES ('AVISTA', 1, 0, 0);"
    "INSERT INTO CONDPAG (CODPRAZO, TIPOVENDA, TIPOINTEGRACAO, PRAZO1, PRAZO2, PRAZO3,"
    " TXEMISSAOBOLETO) VALUES ('BOL', 1, 3, 30, 60, 90, 2.5);"
    "INSERT INTO CONDPAG (CODPRAZO, TIPOVENDA, TIPOINTEGRACAO, PRAZO1, PRAZO2, PRAZO3,"
    " TXEMISSAOBOLETO) VALUES ('BOL2', 2, 3, 30, 60, 90, 2.5);");

// The present value the engine reached for the order, and the line's figures.
struct Resultado {
  double custo;  // MPreValorPresente after the call
  Figuras f;
};

Resultado CalculaPedido(AmbienteEngine& amb, const char* cod) {
  auto dm = amb.novoModulo();
  auto qry = amb.itens(cod);
  Resultado r{};
  Calcula(*dm, "Ped", "Produto", *qry, r.f);
  r.custo = dm->MPreValorPresente;
  return r;
}

TEST(PaymentTerms, OwnReceivablesThroughACondition) {
  AmbienteEngine amb(kBase + Pedido("400", 1000) + EnceFat("400", 0, 0, 0, 0, 1000) +
                     Pedido("401", 1000, "30") + EnceFat("401", 1000, 0, 0, 0, 0) +
                     Pedido("402", 1000, "AVISTA") + EnceFat("402", 1000, 0, 0, 0, 0) +
                     Pedido("403", 1000, "BOL") + EnceFat("403", 1000, 0, 0, 0, 0) +
                     Pedido("404", 1000, "BOL2") + EnceFat("404", 1000, 0, 0, 0, 0));
  struct Caso {
    const char* nome;
    const char* pedido;
    double custo;
    double descontoPV;
    double taxaBoleto;
  };
  const Caso casos[] = {
      {"cash only", "400", 0, 0, 0},
      // 1000 - 1000 / 1.03 = 29.126...
      {"one installment at 30 days", "401", CustoEsperado(1000, 30, 0.03), 29.13, 0},
      {"an installment due on the order date", "402", 0, 0, 0},
      // Three boletos of 2.50 for a condition settled installment by installment.
      {"boletos per installment", "403",
       CustoEsperado(333.33, 30, 0.03) + CustoEsperado(333.33, 60, 0.03) +
           CustoEsperado(333.34, 90, 0.03),
       57.13, 7.5},
      {"no boleto fee unless the store receives", "404",
       CustoEsperado(333.33, 30, 0.03) + CustoEsperado(333.33, 60, 0.03) +
           CustoEsperado(333.34, 90, 0.03),
       57.13, 0},
  };
  for (const Caso& c : casos) {
    SCOPED_TRACE(c.nome);
    const Resultado r = CalculaPedido(amb, c.pedido);
    EXPECT_NEAR(r.custo, c.custo, 1e-9);
    EXPECT_DOUBLE_EQ(r.f.MDescontoPV, c.descontoPV);
    EXPECT_DOUBLE_EQ(r.f.MTxEmissaoBoleto, c.taxaBoleto);
  }
}

TEST(PaymentTerms, InstallmentsOfTheOrderItselfStopAtTheFirstEmptyOne) {
  AmbienteEngine amb(
      kBase + Pedido("410", 600) + EnceFat("410", 600, 0, 0, 0, 0) +
      "INSERT INTO PARCPEDC (CODEMPRESA, TIPOPEDIDO, CODPEDIDO, VLRPARC01, VENCPARC01, VLRPARC02,"
      " VENCPARC02, VLRPARC03, VENCPARC03, VLRPARC04, VENCPARC04, VLRPARC05, VENCPARC05) VALUES"
      " ('01', 'V', '410', 100, '2024-03-31', 200, '2024-04-30', 300, '2024-05-30', 0, NULL,"
      " 500, '2024-06-29');");
  const Resultado r = CalculaPedido(amb, "410");
  EXPECT_NEAR(
      r.custo,
      CustoEsperado(100, 30, 0.03) + CustoEsperado(200, 60, 0.03) + CustoEsperado(300, 90, 0.03),
      1e-9);
}

TEST(PaymentTerms, PreDatedChequesAreCostedFromTheOrderDate) {
  const QString fixture =
      kBase + Pedido("420", 1000) + EnceFat("420", 0, 0, 0, 1000, 0) +
      "INSERT INTO PRETERC (CODEMPRESA, NUMDOCORIG, SEQUENCIA, VLRCHEQUE, DT_ENTRADA)"
      " VALUES ('01', 'V420', 1, 400, '2024-03-31');"
      "INSERT INTO PRETERC (CODEMPRESA, NUMDOCORIG, SEQUENCIA, VLRCHEQUE, DT_ENTRADA)"
      " VALUES ('01', 'V420', 2, 600, '2024-04-30');"
      // A cheque of another order and one of another branch.
      "INSERT INTO PRETERC (CODEMPRESA, NUMDOCORIG, SEQUENCIA, VLRCHEQUE, DT_ENTRADA)"
      " VALUES ('01', 'V42', 1, 9999, '2024-12-31');"
      "INSERT INTO PRETERC (CODEMPRESA, NUMDOCORIG, SEQUENCIA, VLRCHEQUE, DT_ENTRADA)"
      " VALUES ('02', 'V420', 1, 9999, '2024-12-31');";
  const double esperado = CustoEsperado(400, 30, 0.03) + CustoEsperado(600, 60, 0.03);
  {
    AmbienteEngine amb(fixture);
    EXPECT_NEAR(CalculaPedido(amb, "420").custo, esperado, 1e-9);
  }
  {
    // Without a configured branch the order's own branch keys the cheques.
    AmbienteEngine amb(fixture);
    amb.Config()->Empresa.clear();
    EXPECT_NEAR(CalculaPedido(amb, "420").custo, esperado, 1e-9);
  }
}

// Financing companies: F1 pays in 30 days under condition FIN (scheme 3, a
// boleto costs 2.50); F2 under FIN4 (scheme 4).
const QString kFinanceiras = QStringLiteral(
    "INSERT INTO CONDPAG (CODPRAZO, TIPOVENDA, TIPOINTEGRACAO, TXEMISSAOBOLETO)"
    " VALUES ('FIN', 2, 3, 2.5);"
    "INSERT INTO CONDPAG (CODPRAZO, TIPOVENDA, TIPOINTEGRACAO, TXEMISSAOBOLETO)"
    " VALUES ('FIN4', 2, 4, 2.5);"
    "INSERT INTO FINANCEIRA VALUES ('F1', 'Financeira 1', 30, 'FIN');"
    "INSERT INTO FINANCEIRA VALUES ('F2', 'Financeira 2', 30, 'FIN4');"
    "INSERT INTO PLANOSFINANC (CODFINANCEIRA, CODPLANO, DESCFORMAPGTO, TAXARETENCAO, NUMPARC,"
    " ENTRADA) VALUES ('F1', 'PL', 'Carnet', 2, 10, 'N');"
    "INSERT INTO PLANOSFINANC (CODFINANCEIRA, CODPLANO, DESCFORMAPGTO, TAXARETENCAO, NUMPARC,"
    " ENTRADA) VALUES ('F1', 'PL', 'Boleto', 2, 10, 'S');"
    "INSERT INTO PLANOSFINANC (CODFINANCEIRA, CODPLANO, DESCFORMAPGTO, TAXARETENCAO, NUMPARC,"
    " ENTRADA) VALUES ('F2', 'P4', 'Carnet', 1, 12, 'N');");

QString Financiamento(int id, const char* cod, const char* financeira, const char* plano,
                      const char* forma, double mensalidade) {
  return QStringLiteral(
             "INSERT INTO FINANCIAMENTO (CODFINANCIAMENTO, CODEMPRESA, CODVENDA, CODFINANCEIRA,"
             " CODPLANO, DESCFORMAPGTO, VALORMENSALIDADE) VALUES (%1, '01', '%2', '%3', '%4', '%5',"
             " %6);")
      .arg(id)
      .arg(QString::fromLatin1(cod), QString::fromLatin1(financeira), QString::fromLatin1(plano),
           QString::fromLatin1(forma))
      .arg(mensalidade);
}

TEST(PaymentTerms, FinancingPlans) {
  AmbienteEngine amb(kBase + kFinanceiras + Pedido("430", 1000) + EnceFat("430", 0, 0, 1000, 0, 0) +
                     Financiamento(1, "430", "F1", "PL", "Carnet", 100) + Pedido("431", 1000) +
                     EnceFat("431", 0, 0, 1000, 0, 0) +
                     Financiamento(2, "431", "F1", "PL", "Boleto", 100) + Pedido("432", 1200) +
                     EnceFat("432", 0, 0, 1200, 0, 0) +
                     Financiamento(3, "432", "F2", "P4", "Carnet", 100) +
                     // Financed, but the plan named does not exist: it costs nothing.
                     Pedido("433", 1000) + EnceFat("433", 0, 0, 1000, 0, 0) +
                     Financiamento(4, "433", "F9", "XX", "Carnet", 100));
  // Scheme 3, ten installments of 100 less a retention of 2 % of 1000.
  double carnet = 0, entrada = 0;
  for (int k = 1; k <= 10; ++k) {
    carnet += CustoEsperado(98, 30 * k, 0.03);
    entrada += CustoEsperado(98, 30 * (k - 1), 0.03);
  }
  struct Caso {
    const char* nome;
    const char* pedido;
    double custo;
    double taxaBoleto;
    double retencao;  // MVlrTxRentencao
  };
  const Caso casos[] = {
      // A carnet is a booklet of ten boletos of 2.50.
      {"carnet, scheme 3", "430", carnet, 25, 20},
      {"down payment moves the first installment to the day", "431", entrada, 0, 20},
      // The financing company pays 1200 less 1 % of 12 x 100 after 30 days.
      {"scheme 4", "432", CustoEsperado(1188, 30, 0.03), 30, 12},
      {"unknown plan", "433", 0, 0, 0},
  };
  for (const Caso& c : casos) {
    SCOPED_TRACE(c.nome);
    auto dm = amb.novoModulo();
    auto qry = amb.itens(c.pedido);
    Figuras f;
    Calcula(*dm, "Ped", "Produto", *qry, f);
    EXPECT_NEAR(dm->MPreValorPresente, c.custo, 1e-9);
    EXPECT_DOUBLE_EQ(f.MTxEmissaoBoleto, c.taxaBoleto);
    EXPECT_NEAR(dm->MVlrTxRentencao, c.retencao, 1e-12);
  }
}

// Agreements: A discounts 2 % and anticipates at 5 % a month, B 1 % at 4 %.
const QString kConvenios = QStringLiteral(
    "INSERT INTO CONDPAG (CODPRAZO, TIPOVENDA, TIPOINTEGRACAO) VALUES ('CA', 1, 4);"
    "INSERT INTO CARTCON VALUES ('A', 'Cartao A', 30, 2, 'CA', 0.05);"
    "INSERT INTO CARTCON VALUES ('B', 'Cartao B', 30, 1, 'CA', 0.04);");

QString Convenio(const char* cod, int seq, const char* convenio) {
  return QStringLiteral(
             "INSERT INTO CONVENCEFAT (CODEMPRESA, TIPOPEDIDO, CODPEDIDO, SEQUENCIA, CONVENIO)"
             " VALUES ('01', 'V', '%1', %2, %3);")
      .arg(QString::fromLatin1(cod))
      .arg(seq)
      .arg(convenio ? QStringLiteral("'%1'").arg(QString::fromLatin1(convenio))
                    : QStringLiteral("NULL"));
}

QString Documento(const char* cod, int n, const char* emissao, const char* vencimento,
                  double valor) {
  return QStringLiteral(
             "INSERT INTO DOCUREC (CODEMPRESA, NUMDOCTO, NUMDOCORIG, DT_EMISSAO, DT_VENCIMENTO,"
             " VALORDOCTO) VALUES ('01', 'D%1-%2', 'V%1', '%3', '%4', %5);")
      .arg(QString::fromLatin1(cod))
      .arg(n)
      .arg(QString::fromLatin1(emissao), QString::fromLatin1(vencimento))
      .arg(valor);
}

TEST(PaymentTerms, AgreementDocuments) {
  AmbienteEngine amb(
      kBase + kConvenios +
      // Issued and due on the same day: the discount fee alone.
      Pedido("440", 1000) + EnceFat("440", 0, 1000, 0, 0, 0) + Convenio("440", 1, "A") +
      Documento("440", 1, "2024-03-01", "2024-03-01", 1000) +
      // Issued with a time of day: 29 whole days.
      Pedido("441", 1000) + EnceFat("441", 0, 1000, 0, 0, 0) + Convenio("441", 1, "A") +
      Documento("441", 1, "2024-03-01 10:00:00", "2024-03-31", 1000) +
      // Two agreement records and three documents: six pairs.
      Pedido("442", 600) + EnceFat("442", 0, 600, 0, 0, 0) + Convenio("442", 1, "A") +
      Convenio("442", 2, "B") + Documento("442", 1, "2024-03-01", "2024-03-01", 100) +
      Documento("442", 2, "2024-03-01", "2024-03-01", 200) +
      Documento("442", 3, "2024-03-01", "2024-03-01", 300) +
      // A record without agreement code has nothing to cost the document with.
      Pedido("443", 1000) + EnceFat("443", 0, 1000, 0, 0, 0) + Convenio("443", 1, nullptr) +
      Documento("443", 1, "2024-03-01", "2024-03-31", 1000));
  struct Caso {
    const char* nome;
    const char* pedido;
    double custo;
  };
  const Caso casos[] = {
      {"same day", "440", 20},
      {"29 days at the agreement's anticipation rate", "441", CustoEsperado(980, 29, 0.05) + 20},
      {"each document under each agreement", "442", 18},
      {"no agreement code", "443", 0},
  };
  for (const Caso& c : casos) {
    SCOPED_TRACE(c.nome);
    EXPECT_NEAR(CalculaPedido(amb, c.pedido).custo, c.custo, 1e-9);
  }
}

// Index reads of CARTCON made so far by the engine's attachment: one per
// agreement loaded (a primary-key look-up).
qint64 LeiturasCartCon(AmbienteEngine& amb) {
  Query q(&amb.banco());
  q.sql() << "SELECT R.MON$RECORD_IDX_READS FROM MON$TABLE_STATS T"
          << " JOIN MON$RECORD_STATS R ON R.MON$STAT_ID = T.MON$RECORD_STAT_ID"
          << " JOIN MON$ATTACHMENTS A ON A.MON$STAT_ID = T.MON$STAT_ID"
          << " WHERE A.MON$ATTACHMENT_ID = CURRENT_CONNECTION"
          << " AND TRIM(T.MON$TABLE_NAME) = 'CARTCON'";
  q.open();
  return q.fieldByName("MON$RECORD_IDX_READS").asInteger();
}

TEST(PaymentTerms, ConsecutiveDocumentsOfOneAgreementReadItOnce) {
  AmbienteEngine amb(kBase + kConvenios +
                     // A, A: one agreement record, two documents.
                     Pedido("450", 1000) + EnceFat("450", 0, 1000, 0, 0, 0) +
                     Convenio("450", 1, "A") +
                     Documento("450", 1, "2024-03-01", "2024-03-31", 500) +
                     Documento("450", 2, "2024-03-01", "2024-04-30", 500) +
                     // A, B, A: three agreement records, one document.
                     Pedido("451", 1000) + EnceFat("451", 0, 1000, 0, 0, 0) +
                     Convenio("451", 1, "A") + Convenio("451", 2, "B") + Convenio("451", 3, "A") +
                     Documento("451", 1, "2024-03-01", "2024-03-31", 1000));
  struct Caso {
    const char* pedido;
    QString sequencia;  // agreements of the rows, in the order the engine meets them
    qint64 leituras;
  };
  const Caso casos[] = {{"450", "AA", 1}, {"451", "ABA", 3}};
  for (const Caso& c : casos) {
    SCOPED_TRACE(c.pedido);
    auto dm = amb.novoModulo();
    auto qry = amb.itens(c.pedido);
    Figuras f;
    const qint64 antes = LeiturasCartCon(amb);
    Calcula(*dm, "Ped", "Produto", *qry, f);
    const qint64 leituras = LeiturasCartCon(amb) - antes;
    // The rows come in the order the engine's own query left in qryAux.
    QString sequencia;
    for (dm->qryAux.first(); !dm->qryAux.eof(); dm->qryAux.next())
      sequencia += dm->qryAux.fieldByName("Convenio").asString();
    ASSERT_EQ(sequencia, c.sequencia);
    EXPECT_EQ(leituras, c.leituras);
  }
}

TEST(PaymentTerms, BaseDateOfTheReceivables) {
  // Ordered on 01/01/2024, delivered on 11/01, 1000 due 30 days after the
  // base date.
  AmbienteEngine amb(kBase + Pedido("460", 1000, "30", "2024-01-01", "2024-01-11") +
                     EnceFat("460", 1000, 0, 0, 0, 0) + Pedido("461", 1000, "30", "2024-01-01") +
                     EnceFat("461", 1000, 0, 0, 0, 0));
  struct Caso {
    const char* nome;
    const char* entrega;  // PARATLM.GerarRecDataEntrega
    const char* fatura;   // PARATLM.GerarRecDataFatura
    const char* pedido;
    QDate hoje;
    double dias;
  };
  const Caso casos[] = {
      {"from the order date", "N", "N", "460", QDate(2024, 3, 1), 30},
      {"from the delivery date", "S", "N", "460", QDate(2024, 3, 1), 40},
      {"no delivery date: from the order date", "S", "N", "461", QDate(2024, 3, 1), 30},
      {"from the day of the calculation", "N", "S", "460", QDate(2024, 3, 1), 90},
      {"the day of the calculation moves the cost", "N", "S", "460", QDate(2024, 2, 1), 61},
      {"the invoicing day wins over delivery", "S", "S", "460", QDate(2024, 2, 1), 61},
  };
  for (const Caso& c : casos) {
    SCOPED_TRACE(c.nome);
    amb.db().exec(QStringLiteral("UPDATE PARATLM SET GERARRECDATAENTREGA = '%1',"
                                 " GERARRECDATAFATURA = '%2'")
                      .arg(QString::fromLatin1(c.entrega), QString::fromLatin1(c.fatura)));
    amb.setHoje(c.hoje);
    EXPECT_NEAR(CalculaPedido(amb, c.pedido).custo, CustoEsperado(1000, c.dias, 0.03), 1e-9);
  }
}

}  // namespace
}  // namespace margivo::test
