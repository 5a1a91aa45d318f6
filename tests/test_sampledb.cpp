// The sample ERP database kit: the schema holds what the program reads, in
// dialect 1; the demo data is deterministic, covers every way of paying and
// keeps the invariants a refresh relies on; the per-test database helper and
// the margivo-sampledb tool.
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <algorithm>

#include "framework/db/database.h"
#include "framework/db/query.h"
#include "sampledb/sampledb.h"
#include "tests/support/testdb.h"

namespace margivo {
namespace {

using sampledb::DemoOptions;
using sampledb::PaymentKind;
using test::TestDatabase;

const QDate kToday(2026, 6, 15);

// The first column of the first row of `sql`.
Field scalar(Query& query, const QString& sql) {
  query.close();
  query.sql().clear();
  query.sql() << sql;
  query.open();
  return query.fieldByName(query.fieldName(0));
}

qint64 count(Database& database, const QString& sql) {
  Query query(&database);
  return scalar(query, sql).asInteger();
}

DemoOptions smallDemo(int items) {
  DemoOptions options;
  options.items = items;
  options.today = kToday;
  options.seed = 42;
  return options;
}

// ---------------------------------------------------------------------------
// Schema

TEST(SampleSchema, CreatesADialect1DatabaseWhereDateHoldsTheTimeOfDay) {
  TestDatabase db(
      QStringLiteral("INSERT INTO PEDIDOC (CODEMPRESA, TIPOPEDIDO, CODPEDIDO, DATAPEDIDO) "
                     "VALUES ('01', 'V', '1', '2026-06-15 14:30:00')"));
  Query query(&db.database());
  EXPECT_EQ(scalar(query, "SELECT MON$SQL_DIALECT FROM MON$DATABASE").asInteger(), 1);
  // Double quotes delimit a string constant only in dialect 1.
  EXPECT_EQ(scalar(query, "SELECT \"S\" FROM RDB$DATABASE").asString(), "S");
  EXPECT_EQ(scalar(query, "SELECT DATAPEDIDO FROM PEDIDOC").asDateTime(),
            toTDateTime(QDateTime(kToday, QTime(14, 30))));
}

// Every table and column named by the program's statements, by table.
const std::vector<std::pair<const char*, QStringList>> kColumnsRead = {
    {"FILIAIS", {"CODEMPRESA", "NOMEEMPRESA", "FILIALATIVA"}},
    {"PEDIDOC",
     {"CODEMPRESA", "TIPOPEDIDO", "CODPEDIDO", "DATAPEDIDO", "DATAENTREGA", "FATURADO", "COMISSAO",
      "CODVENDEDOR", "FRETE", "CODPRAZO", "TOTALPEDIDO", "VLRACRESCIMO"}},
    {"PEDIDOI",
     {"CODEMPRESA", "TIPOPEDIDO", "CODPEDIDO", "CODPROD", "CODGRADE", "QUANTIDADE", "PRECOUNIT",
      "DESCONTOVLR"}},
    {"PRODUTO", {"CODPROD", "DESCRICAO", "CUSTOOPERC", "COMISSAO"}},
    {"PARARENTABILIDADE", {"TIPOCUSTO", "TIPOCOMISSAO"}},
    {"COMPPROD", {"CODPROD", "CODEMPRESA", "PRECOCUSTO", "PRECOMEDIO"}},
    {"CUSTOGERENCIAL", {"CODPROD", "CODEMPRESA", "CODGRADE", "PRECOCUSTO"}},
    {"MVGERAL",
     {"CODEMPRESA", "CODPROD", "CODGRADE", "DT_MOVIMENTO", "SEQUENCIA", "PRECOCUSTO",
      "PRECOMEDIO"}},
    {"ENCEFAT",
     {"CODEMPRESA", "TIPOPEDIDO", "CODPEDIDO", "VLRRECEBER", "VLRCONVENIO", "VLRFINANC",
      "VLRCHPREDATADO", "VLRCHEQUE", "VLRDINHEIRO", "VLRDESCONTO", "VLRTROCO"}},
    {"PARAPDV", {"TXJUROSCH", "INCLUICOMISSAORENTABILIDADE"}},
    {"PARATLM", {"GERARRECDATAENTREGA", "GERARRECDATAFATURA"}},
    {"VENDEND", {"CODVENDEDOR", "COMISSAO"}},
    {"CONDPAG",
     {"CODPRAZO", "TIPOVENDA", "PRAZO1", "PRAZO2", "PRAZO3", "PRAZO4", "PRAZO5", "PRAZO6", "PRAZO7",
      "PERCENT1", "PERCENT2", "PERCENT3", "PERCENT4", "PERCENT5", "PERCENT6", "PERCENT7",
      "TXEMISSAOBOLETO", "TIPOINTEGRACAO", "UTILIZACONVENIO"}},
    {"PRETERC", {"CODEMPRESA", "NUMDOCORIG", "VLRCHEQUE", "DT_ENTRADA"}},
    {"FINANCIAMENTO",
     {"CODVENDA", "CODEMPRESA", "CODPLANO", "DESCFORMAPGTO", "CODFINANCEIRA", "VALORMENSALIDADE"}},
    {"FINANCEIRA", {"CODFINANCEIRA", "DIASCOMPENSACAO", "CODPRAZO"}},
    {"PLANOSFINANC",
     {"CODFINANCEIRA", "CODPLANO", "DESCFORMAPGTO", "TAXARETENCAO", "NUMPARC", "ENTRADA"}},
    {"CONVENCEFAT", {"CODEMPRESA", "TIPOPEDIDO", "CODPEDIDO", "CONVENIO"}},
    {"DOCUREC",
     {"CODEMPRESA", "NUMDOCORIG", "DT_EMISSAO", "DT_VENCIMENTO", "VALORDOCTO", "VALORDESC",
      "VALORPAGO"}},
    {"CARTCON", {"CODIGO", "NOME", "DIASCOMPENSACAO", "PERCDESC", "CODPRAZO", "TAXAMENSALANTECIP"}},
    {"ORCCABE", {"CODORC",       "CODEMPRESA", "DATAORCAMENTO", "TOTALORCAMENTO", "DESCONTOVALOR",
                 "DESCONTOPERC", "FRETE",      "QTDFRETE01",    "QTDFRETE02",     "QTDFRETE03",
                 "TAXASERVICO",  "VENDATROCA", "ORCVENDATROCA", "CODPRAZO",       "CODPRAZO2",
                 "NUMPARC",      "VLRPARC",    "VLRPARC01",     "VLRPARC02",      "VLRPARC03",
                 "VLRPARC04",    "VLRPARC05",  "VLRPARC06",     "VENCPARC01",     "VENCPARC02",
                 "VENCPARC03",   "VENCPARC04", "VENCPARC05",    "VENCPARC06",     "VLRPARC01_2",
                 "VENCPARC01_2"}},
    {"ORCITEM",
     {"CODEMPRESA", "CODORC", "CODPROD", "CODGRADE", "PRECOUNIT", "DESCONTOVLR", "QUANTIDADE"}},
    {"ORCCONVENIO", {"CODEMPRESA", "CODORC", "SEQUENCIA", "CODCONVENIO"}},
};

TEST(SampleSchema, HoldsEveryColumnTheProgramReads) {
  TestDatabase db;
  Query query(&db.database());
  query.sql() << "SELECT TRIM(RDB$RELATION_NAME) || '.' || TRIM(RDB$FIELD_NAME) AS NOME"
              << "  FROM RDB$RELATION_FIELDS WHERE COALESCE(RDB$SYSTEM_FLAG, 0) = 0";
  query.open();
  QSet<QString> present;
  for (; !query.eof(); query.next()) present.insert(query.fieldByName("NOME").asString());

  QStringList expected;
  for (const auto& [table, columns] : kColumnsRead) {
    for (const QString& column : columns) expected << QLatin1String(table) + '.' + column;
  }
  for (int k = 1; k <= 24; ++k) {
    const QString n = QStringLiteral("%1").arg(k, 2, 10, QLatin1Char('0'));
    expected << "PARCPEDC.VLRPARC" + n << "PARCPEDC.VENCPARC" + n;
  }
  QStringList missing;
  for (const QString& name : expected) {
    if (!present.contains(name)) missing << name;
  }
  EXPECT_TRUE(missing.isEmpty()) << "missing: " << missing.join(", ").toStdString();
}

// Types the program's statements depend on: dates are timestamps, order
// types carry no padding (they are concatenated with the order number),
// money comes back as floating point.
TEST(SampleSchema, KeyColumnTypes) {
  TestDatabase db;
  struct Case {
    const char* column;
    int type;  // RDB$FIELD_TYPE
    int length;
  };
  const Case cases[] = {
      {"PEDIDOC.DATAPEDIDO", 35, 8},    {"MVGERAL.DT_MOVIMENTO", 35, 8},
      {"DOCUREC.DT_EMISSAO", 35, 8},    {"PEDIDOC.TIPOPEDIDO", 14, 1},
      {"PEDIDOC.CODPEDIDO", 37, 10},    {"PEDIDOI.PRECOUNIT", 27, 8},
      {"ENCEFAT.VLRTROCO", 27, 8},      {"PARAPDV.TXJUROSCH", 27, 8},
      {"CONDPAG.TIPOINTEGRACAO", 7, 2},
  };
  Query query(&db.database());
  for (const Case& c : cases) {
    const QStringList parts = QString::fromLatin1(c.column).split('.');
    query.close();
    query.sql().clear();
    query.sql() << "SELECT F.RDB$FIELD_TYPE AS TIPO, F.RDB$FIELD_LENGTH AS TAMANHO"
                << "  FROM RDB$RELATION_FIELDS R JOIN RDB$FIELDS F"
                << "    ON F.RDB$FIELD_NAME = R.RDB$FIELD_SOURCE"
                << " WHERE R.RDB$RELATION_NAME = :TABELA AND R.RDB$FIELD_NAME = :COLUNA";
    query.setString("TABELA", parts[0]);
    query.setString("COLUNA", parts[1]);
    query.open();
    ASSERT_FALSE(query.isEmpty()) << c.column;
    EXPECT_EQ(query.fieldByName("TIPO").asInteger(), c.type) << c.column;
    EXPECT_EQ(query.fieldByName("TAMANHO").asInteger(), c.length) << c.column;
  }
}

TEST(SampleSchema, CreateDatabaseRefusesAnExistingFile) {
  QTemporaryDir dir;
  const QString path = dir.filePath("erp.fdb");
  {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("not a database");
  }
  Database database;
  EXPECT_THROW(sampledb::createDatabase(database, path), DatabaseError);
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(file.readAll(), QByteArray("not a database"));
}

// ---------------------------------------------------------------------------
// Test database helper

TEST(TestDatabaseHelper, RunsTheFixtureAndRemovesTheFileAtTheEnd) {
  QString path;
  {
    TestDatabase db(
        QStringLiteral("INSERT INTO FILIAIS (CODEMPRESA, NOMEEMPRESA) VALUES ('01', 'LOJA');"
                       "INSERT INTO FILIAIS (CODEMPRESA, NOMEEMPRESA) VALUES ('02', 'A; B');"));
    path = db.path();
    EXPECT_TRUE(QFileInfo::exists(path));
    EXPECT_EQ(count(db.database(), "SELECT COUNT(*) FROM FILIAIS"), 2);
    db.exec("UPDATE FILIAIS SET FILIALATIVA = 'N' WHERE CODEMPRESA = '02'");
    EXPECT_EQ(count(db.database(), "SELECT COUNT(*) FROM FILIAIS WHERE FILIALATIVA = 'N'"), 1);
  }
  EXPECT_FALSE(QFileInfo::exists(path));
  EXPECT_FALSE(QFileInfo::exists(QFileInfo(path).path()));
}

TEST(TestDatabaseHelper, AFailingFixtureStatementFailsTheTestWithTheDatabaseMessage) {
  EXPECT_NONFATAL_FAILURE(TestDatabase("INSERT INTO FILIAIS (CODEMPRESA) VALUES ('01');\n"
                                       "INSERT INTO NAOEXISTE (X) VALUES (1)"),
                          "Table unknown");
  EXPECT_NONFATAL_FAILURE(TestDatabase("INSERT INTO FILIAIS (CODEMPRESA) VALUES ('0123456789')"),
                          "string right truncation");

  // The statements before the failing one stay; those after it do not run.
  static TestDatabase* db = nullptr;
  TestDatabase database;
  db = &database;
  EXPECT_NONFATAL_FAILURE(db->exec("INSERT INTO FILIAIS (CODEMPRESA) VALUES ('01');"
                                   "INSERT INTO FILIAIS (CODEMPRESA) VALUES ('01');"
                                   "INSERT INTO FILIAIS (CODEMPRESA) VALUES ('02');"),
                          "PRIMARY or UNIQUE KEY");
  EXPECT_EQ(count(database.database(), "SELECT COUNT(*) FROM FILIAIS"), 1);
  db = nullptr;
}

// ---------------------------------------------------------------------------
// Demo data

// Every row of every table, as sorted text, hashed.
QByteArray fingerprint(Database& database) {
  Query tables(&database);
  tables.sql() << "SELECT TRIM(RDB$RELATION_NAME) AS NOME FROM RDB$RELATIONS"
               << " WHERE COALESCE(RDB$SYSTEM_FLAG, 0) = 0 ORDER BY 1";
  tables.open();
  QCryptographicHash hash(QCryptographicHash::Sha256);
  for (; !tables.eof(); tables.next()) {
    const QString table = tables.fieldByName("NOME").asString();
    Query rows(&database);
    rows.sql() << "SELECT * FROM " + table;
    rows.open();
    QStringList lines;
    for (; !rows.eof(); rows.next()) {
      QStringList values;
      for (int i = 0; i < rows.fieldCount(); ++i) {
        const Field field = rows.fieldByName(rows.fieldName(i));
        values << (field.isNull() ? QStringLiteral("<null>") : field.asString());
      }
      lines << values.join('|');
    }
    std::sort(lines.begin(), lines.end());
    hash.addData(table.toUtf8());
    hash.addData(lines.join('\n').toUtf8());
  }
  return hash.result().toHex();
}

TEST(DemoData, TheSameOptionsGiveTheSameRowsAndAnotherSeedOthers) {
  const DemoOptions options = smallDemo(300);
  TestDatabase first;
  TestDatabase second;
  TestDatabase other;
  const sampledb::DemoSummary a = sampledb::generateDemoData(first.database(), options);
  const sampledb::DemoSummary b = sampledb::generateDemoData(second.database(), options);
  DemoOptions reseeded = options;
  reseeded.seed = 43;
  sampledb::generateDemoData(other.database(), reseeded);

  EXPECT_EQ(a.orders, b.orders);
  EXPECT_EQ(a.items, b.items);
  EXPECT_EQ(a.movements, b.movements);
  const QByteArray print = fingerprint(first.database());
  EXPECT_EQ(print, fingerprint(second.database()));
  EXPECT_NE(print, fingerprint(other.database()));
}

TEST(DemoData, SummaryCountsWhatWasWritten) {
  TestDatabase db;
  const sampledb::DemoSummary summary = sampledb::generateDemoData(db.database(), smallDemo(400));
  Database& d = db.database();
  EXPECT_EQ(summary.branches, count(d, "SELECT COUNT(*) FROM FILIAIS"));
  EXPECT_EQ(summary.orders, count(d, "SELECT COUNT(*) FROM PEDIDOC"));
  EXPECT_EQ(summary.items, count(d, "SELECT COUNT(*) FROM PEDIDOI"));
  EXPECT_EQ(summary.products, count(d, "SELECT COUNT(*) FROM PRODUTO"));
  EXPECT_EQ(summary.movements, count(d, "SELECT COUNT(*) FROM MVGERAL"));
  EXPECT_EQ(summary.quotes, count(d, "SELECT COUNT(*) FROM ORCCABE"));
  // The random orders hold about the items asked for; branch "01" adds its
  // fixed orders on top.
  EXPECT_GE(summary.items, 400);
  EXPECT_LE(summary.items, 400 + 5 * 30);
}

// Joins that pick out the orders of each way of paying, as the payment-terms
// steps find them.
const QString kOrderClosing =
    " FROM ENCEFAT E JOIN PEDIDOC P ON P.CODEMPRESA = E.CODEMPRESA"
    " AND P.TIPOPEDIDO = E.TIPOPEDIDO AND P.CODPEDIDO = E.CODPEDIDO ";
const QString kFinancing = "SELECT COUNT(*)" + kOrderClosing +
                           " JOIN FINANCIAMENTO F ON F.CODEMPRESA = P.CODEMPRESA"
                           "  AND F.CODVENDA = P.CODPEDIDO"
                           " JOIN FINANCEIRA FI ON FI.CODFINANCEIRA = F.CODFINANCEIRA"
                           " JOIN PLANOSFINANC PL ON PL.CODFINANCEIRA = F.CODFINANCEIRA"
                           "  AND PL.CODPLANO = F.CODPLANO AND PL.DESCFORMAPGTO = F.DESCFORMAPGTO"
                           " JOIN CONDPAG C ON C.CODPRAZO = FI.CODPRAZO"
                           " WHERE E.VLRFINANC > 0 AND C.TIPOVENDA >= 2 AND ";
const QString kOwnReceivables = "SELECT COUNT(*)" + kOrderClosing +
                                " JOIN CONDPAG C ON C.CODPRAZO = P.CODPRAZO"
                                " WHERE E.VLRRECEBER > 0 AND C.TIPOVENDA = 1 AND ";
const QString kCardDocuments =
    "SELECT COUNT(*) FROM CONVENCEFAT CF"
    " JOIN DOCUREC D ON D.CODEMPRESA = CF.CODEMPRESA"
    "  AND D.NUMDOCORIG = CF.TIPOPEDIDO || CF.CODPEDIDO"
    " JOIN ENCEFAT E ON E.CODEMPRESA = CF.CODEMPRESA AND E.TIPOPEDIDO = CF.TIPOPEDIDO"
    "  AND E.CODPEDIDO = CF.CODPEDIDO"
    " JOIN CARTCON K ON K.CODIGO = CF.CONVENIO"
    " WHERE E.VLRCONVENIO > 0 AND ";
const QString kInstallments = "SELECT COUNT(*)" + kOrderClosing +
                              " JOIN PARCPEDC X ON X.CODEMPRESA = P.CODEMPRESA"
                              "  AND X.TIPOPEDIDO = P.TIPOPEDIDO AND X.CODPEDIDO = P.CODPEDIDO"
                              " WHERE COALESCE(P.CODPRAZO, '') = '' AND E.VLRRECEBER > 0 AND ";
const QString kTodayAt01 = " FROM PEDIDOC WHERE CODEMPRESA = '01' AND DATAPEDIDO = '2026-06-15' ";

struct Coverage {
  const char* what;
  QString sql;  // counts the rows that show it
};
const std::vector<Coverage> kCoverage = {
    {"cash only",
     "SELECT COUNT(*) FROM ENCEFAT WHERE VLRDINHEIRO > 0 AND VLRRECEBER = 0 AND VLRCONVENIO = 0"
     " AND VLRFINANC = 0 AND VLRCHPREDATADO = 0 AND VLRCHEQUE = 0"},
    {"cheque on the spot", "SELECT COUNT(*) FROM ENCEFAT WHERE VLRCHEQUE > 0"},
    {"own receivables, no boleto fee", kOwnReceivables + "C.TIPOINTEGRACAO <> 3"},
    {"own receivables with a cash entry", kOwnReceivables + "E.VLRDINHEIRO > 0"},
    {"own receivables by percentage", kOwnReceivables + "C.PERCENT1 > 0"},
    {"a zero term between two others", kOwnReceivables + "C.PRAZO3 = 0 AND C.PRAZO4 > 0"},
    {"seven installments", kOwnReceivables + "C.PRAZO7 > 0"},
    {"boleto fee per installment",
     kOwnReceivables + "C.TIPOINTEGRACAO = 3 AND C.TXEMISSAOBOLETO > 0"},
    {"receivables of a delivery order",
     kOwnReceivables + "P.TIPOPEDIDO = 'E' AND P.DATAENTREGA > P.DATAPEDIDO"},
    {"financing, scheme 3", kFinancing + "C.TIPOINTEGRACAO = 3"},
    {"financing, scheme 4", kFinancing + "C.TIPOINTEGRACAO = 4"},
    {"financing with down payment", kFinancing + "PL.ENTRADA = 'S' AND PL.NUMPARC > 1"},
    {"financing, one installment with down payment",
     kFinancing + "PL.ENTRADA = 'S' AND PL.NUMPARC = 1"},
    {"financing without down payment", kFinancing + "PL.ENTRADA = 'N'"},
    {"financing by Carnet", kFinancing + "PL.DESCFORMAPGTO = 'Carnet' AND C.TXEMISSAOBOLETO > 0"},
    {"financing by another form", kFinancing + "PL.DESCFORMAPGTO <> 'Carnet'"},
    {"card documents", kCardDocuments + "K.TAXAMENSALANTECIP > 0 AND K.PERCDESC > 0"},
    {"card document due the day it was issued",
     kCardDocuments + "ABS(D.DT_VENCIMENTO - D.DT_EMISSAO) < 1"},
    {"card document issued with the time of day",
     kCardDocuments + "EXTRACT(HOUR FROM D.DT_EMISSAO) + EXTRACT(MINUTE FROM D.DT_EMISSAO) > 0"},
    {"two card operators on one order",
     "SELECT COUNT(*) FROM (SELECT CODEMPRESA, TIPOPEDIDO, CODPEDIDO FROM CONVENCEFAT"
     " GROUP BY 1, 2, 3 HAVING COUNT(*) > 1)"},
    {"pre-dated cheques", "SELECT COUNT(*)" + kOrderClosing +
                              " JOIN PRETERC T ON T.CODEMPRESA = P.CODEMPRESA"
                              "  AND T.NUMDOCORIG = P.TIPOPEDIDO || P.CODPEDIDO"
                              " WHERE E.VLRCHPREDATADO > 0 AND T.DT_ENTRADA > P.DATAPEDIDO"},
    {"ParcPedC installments", kInstallments + "X.VLRPARC01 > 0"},
    {"ParcPedC with 24 installments", kInstallments + "X.VLRPARC24 > 0"},
    {"ParcPedC with a zero installment", kInstallments + "X.VLRPARC03 = 0 AND X.VLRPARC04 > 0"},
    {"quote with a trade-in",
     "SELECT COUNT(*) FROM ORCCABE Q JOIN ORCCABE T ON T.CODEMPRESA = Q.CODEMPRESA"
     " AND T.CODORC = Q.ORCVENDATROCA WHERE Q.VENDATROCA = 'S' AND T.TOTALORCAMENTO > 0"},
    {"quote with two terms",
     "SELECT COUNT(*) FROM ORCCABE WHERE CODPRAZO2 IS NOT NULL AND VLRPARC01_2 > 0"},
    {"financed quote",
     "SELECT COUNT(*) FROM ORCCABE Q JOIN FINANCIAMENTO F ON F.CODEMPRESA = Q.CODEMPRESA"
     " AND F.CODVENDA = Q.CODORC WHERE Q.NUMPARC > 0 AND Q.VLRPARC > 0"},
    {"quote paid by card", "SELECT COUNT(*) FROM ORCCONVENIO WHERE SEQUENCIA = 1"},
    {"quote with freight and service fee",
     "SELECT COUNT(*) FROM ORCCABE WHERE FRETE > 0 AND QTDFRETE01 + QTDFRETE02 + QTDFRETE03 > 0"
     " AND TAXASERVICO > 0 AND DESCONTOPERC > 0 AND DESCONTOVALOR > 0"},
    {"quote items", "SELECT COUNT(*) FROM ORCITEM"},
    {"invoiced today at 01", "SELECT COUNT(*)" + kTodayAt01 + "AND FATURADO = 'S'"},
    {"recorded today at 01", "SELECT COUNT(*)" + kTodayAt01 + "AND FATURADO = 'N'"},
    {"cancelled today at 01", "SELECT COUNT(*)" + kTodayAt01 + "AND FATURADO = 'X'"},
    {"never closed today at 01", "SELECT COUNT(*)" + kTodayAt01 + "AND FATURADO IS NULL"},
    {"an order on the first day of the year",
     "SELECT COUNT(*) FROM PEDIDOC WHERE CODEMPRESA = '01' AND DATAPEDIDO = '2026-01-01'"},
    {"freight", "SELECT COUNT(*) FROM PEDIDOC WHERE FRETE > 0"},
    {"surcharge", "SELECT COUNT(*) FROM PEDIDOC WHERE VLRACRESCIMO > 0"},
    {"closing discount", "SELECT COUNT(*) FROM ENCEFAT WHERE VLRDESCONTO > 0"},
    {"two lines of the same product and grade",
     "SELECT COUNT(*) FROM (SELECT CODEMPRESA, TIPOPEDIDO, CODPEDIDO, CODPROD, CODGRADE"
     " FROM PEDIDOI GROUP BY 1, 2, 3, 4, 5 HAVING COUNT(*) > 1)"},
    {"a product code holding a quote", "SELECT COUNT(*) FROM PEDIDOI WHERE CODPROD = 'CX''12'"},
    {"a closed branch", "SELECT COUNT(*) FROM FILIAIS WHERE FILIALATIVA = 'N'"},
    {"several movements on one day",
     "SELECT COUNT(*) FROM (SELECT CODEMPRESA, CODPROD, CODGRADE, DT_MOVIMENTO FROM MVGERAL"
     " GROUP BY 1, 2, 3, 4 HAVING COUNT(*) > 1)"},
    {"a grade sold without movements (current cost)",
     "SELECT COUNT(*) FROM PEDIDOI I WHERE NOT EXISTS (SELECT 1 FROM MVGERAL M"
     " WHERE M.CODEMPRESA = I.CODEMPRESA AND M.CODPROD = I.CODPROD AND M.CODGRADE = I.CODGRADE)"},
    {"a grade without managerial cost",
     "SELECT COUNT(*) FROM MVGERAL M WHERE NOT EXISTS (SELECT 1 FROM CUSTOGERENCIAL G"
     " WHERE G.CODEMPRESA = M.CODEMPRESA AND G.CODPROD = M.CODPROD AND G.CODGRADE = M.CODGRADE)"},
};

// Even with no random orders at all (a tiny fixture), the fixed orders of
// branch "01" show every case.
class DemoCoverage : public testing::TestWithParam<int> {};

TEST_P(DemoCoverage, EveryWayOfPayingAndEveryCaseIsPresent) {
  TestDatabase db;
  sampledb::generateDemoData(db.database(), smallDemo(GetParam()));
  for (const Coverage& c : kCoverage) {
    EXPECT_GT(count(db.database(), c.sql), 0) << c.what;
  }
}

INSTANTIATE_TEST_SUITE_P(Sizes, DemoCoverage, testing::Values(0, 1500),
                         [](const testing::TestParamInfo<int>& info) {
                           return "Items" + std::to_string(info.param);
                         });

// What must never be found in an ordinary demo: it would end a refresh with
// a division by zero or show the generator's amounts do not add up.
const std::vector<Coverage> kNever = {
    {"item with quantity 0 or less", "SELECT COUNT(*) FROM PEDIDOI WHERE QUANTIDADE <= 0"},
    {"item discount not below its price",
     "SELECT COUNT(*) FROM PEDIDOI WHERE DESCONTOVLR >= PRECOUNIT"},
    {"order without items",
     "SELECT COUNT(*) FROM PEDIDOC P WHERE NOT EXISTS (SELECT 1 FROM PEDIDOI I"
     " WHERE I.CODEMPRESA = P.CODEMPRESA AND I.TIPOPEDIDO = P.TIPOPEDIDO"
     " AND I.CODPEDIDO = P.CODPEDIDO)"},
    {"order total minus surcharge plus freight not positive",
     "SELECT COUNT(*) FROM PEDIDOC WHERE TOTALPEDIDO + COALESCE(FRETE, 0)"
     " - COALESCE(VLRACRESCIMO, 0) <= 0"},
    {"closing discount not below the order total",
     "SELECT COUNT(*)" + kOrderClosing + " WHERE E.VLRDESCONTO >= P.TOTALPEDIDO"},
    {"closing amounts that do not add up to the amount due",
     "SELECT COUNT(*)" + kOrderClosing +
         " WHERE ABS(E.VLRCHEQUE + E.VLRRECEBER + E.VLRCONVENIO + E.VLRFINANC + E.VLRCHPREDATADO"
         " + (E.VLRDINHEIRO - E.VLRTROCO) - (P.TOTALPEDIDO - E.VLRDESCONTO"
         " + COALESCE(P.FRETE, 0))) > 0.005"},
    {"order dated after today or before December of last year",
     "SELECT COUNT(*) FROM PEDIDOC WHERE DATAPEDIDO > '2026-06-15' OR DATAPEDIDO < '2025-12-01'"},
    {"order date with a time of day",
     "SELECT COUNT(*) FROM PEDIDOC WHERE EXTRACT(HOUR FROM DATAPEDIDO) + EXTRACT(MINUTE FROM "
     "DATAPEDIDO)"
     " + EXTRACT(SECOND FROM DATAPEDIDO) > 0"},
    {"quote percentage discount of 100 or more",
     "SELECT COUNT(*) FROM ORCCABE WHERE DESCONTOPERC >= 100"},
    {"quote freight without freight quantities",
     "SELECT COUNT(*) FROM ORCCABE WHERE FRETE > 0 AND QTDFRETE01 + QTDFRETE02 + QTDFRETE03 <= 0"},
    {"quote total not positive", "SELECT COUNT(*) FROM ORCCABE WHERE TOTALORCAMENTO <= 0"},
    {"index with the statistics of an empty table (the optimizer would misread the period)",
     "SELECT COUNT(*) FROM RDB$INDICES WHERE COALESCE(RDB$SYSTEM_FLAG, 0) = 0"
     " AND COALESCE(RDB$STATISTICS, 0) = 0"},
    {"order of the closed branch dated this year",
     "SELECT COUNT(*) FROM PEDIDOC P JOIN FILIAIS F ON F.CODEMPRESA = P.CODEMPRESA"
     " WHERE F.FILIALATIVA = 'N' AND P.DATAPEDIDO >= '2026-01-01'"},
};

TEST(DemoData, KeepsTheInvariantsARefreshReliesOn) {
  TestDatabase db;
  sampledb::generateDemoData(db.database(), smallDemo(2000));
  for (const Coverage& c : kNever) {
    EXPECT_EQ(count(db.database(), c.sql), 0) << c.what;
  }
}

TEST(DemoData, BadOrdersHoldAnItemOfQuantityZero) {
  TestDatabase db;
  DemoOptions options = smallDemo(100);
  options.badOrders = 2;
  sampledb::generateDemoData(db.database(), options);
  EXPECT_EQ(count(db.database(),
                  "SELECT COUNT(*) FROM PEDIDOI I JOIN PEDIDOC P ON P.CODEMPRESA = I.CODEMPRESA"
                  " AND P.TIPOPEDIDO = I.TIPOPEDIDO AND P.CODPEDIDO = I.CODPEDIDO"
                  " WHERE I.QUANTIDADE = 0 AND P.CODEMPRESA = '01' AND P.FATURADO = 'S'"
                  " AND P.DATAPEDIDO = '2026-06-15'"),
            2);
  // Grouped by product and grade as the order-items query does, the zero
  // stays zero.
  EXPECT_EQ(count(db.database(),
                  "SELECT COUNT(*) FROM (SELECT CODEMPRESA, TIPOPEDIDO, CODPEDIDO, CODPROD,"
                  " CODGRADE FROM PEDIDOI GROUP BY 1, 2, 3, 4, 5 HAVING SUM(QUANTIDADE) = 0)"),
            2);
}

TEST(DemoData, OptionsReachTheParameterRowsAndThePayments) {
  TestDatabase db;
  DemoOptions options = smallDemo(600);
  options.branches = 1;
  options.tipoCusto = 5;
  options.tipoComissao = "3";
  options.incluiComissaoRentabilidade = "N";
  options.txJurosCh = 0.025;
  options.gerarRecDataFatura = "S";
  options.payments = {PaymentKind::Cash};
  sampledb::generateDemoData(db.database(), options);
  Database& d = db.database();
  Query query(&d);
  EXPECT_EQ(scalar(query, "SELECT TIPOCUSTO FROM PARARENTABILIDADE").asInteger(), 5);
  EXPECT_EQ(scalar(query, "SELECT TIPOCOMISSAO FROM PARARENTABILIDADE").asString(), "3");
  EXPECT_EQ(scalar(query, "SELECT INCLUICOMISSAORENTABILIDADE FROM PARAPDV").asString(), "N");
  EXPECT_DOUBLE_EQ(scalar(query, "SELECT TXJUROSCH FROM PARAPDV").asFloat(), 0.025);
  EXPECT_EQ(scalar(query, "SELECT GERARRECDATAFATURA FROM PARATLM").asString(), "S");
  // One active branch and the closed one.
  EXPECT_EQ(count(d, "SELECT COUNT(*) FROM FILIAIS WHERE FILIALATIVA = 'S'"), 1);
  EXPECT_EQ(count(d, "SELECT COUNT(*) FROM FILIAIS"), 2);
  // Cash and cheques on the spot only; quotes keep their own payment terms.
  EXPECT_EQ(count(d, "SELECT COUNT(*) FROM PEDIDOC WHERE COALESCE(CODPRAZO, '') <> '001'"), 0);
  EXPECT_EQ(count(d,
                  "SELECT COUNT(*) FROM ENCEFAT WHERE VLRRECEBER + VLRCONVENIO + VLRFINANC"
                  " + VLRCHPREDATADO <> 0"),
            0);
  EXPECT_EQ(count(d, "SELECT COUNT(*) FROM PRETERC"), 0);
  EXPECT_EQ(count(d, "SELECT COUNT(*) FROM CONVENCEFAT"), 0);
  EXPECT_EQ(count(d, "SELECT COUNT(*) FROM PARCPEDC"), 0);
  EXPECT_EQ(count(d,
                  "SELECT COUNT(*) FROM FINANCIAMENTO F JOIN PEDIDOC P"
                  " ON P.CODEMPRESA = F.CODEMPRESA AND P.CODPEDIDO = F.CODVENDA"),
            0);
}

// One round of an ERP user's changes: lines edited, an order added as a copy
// of another with its lines and closing record, an order deleted with every
// record of it; the same round twice on the same data makes the same changes,
// another round other ones.
TEST(DemoData, ChangesWriteOneRoundOfEdits) {
  TestDatabase db;
  sampledb::generateDemoData(db.database(), smallDemo(600));
  Database& d = db.database();
  const qint64 pedidos = count(d, "SELECT COUNT(*) FROM PEDIDOC");
  sampledb::ChangeOptions options;
  options.round = 1;
  options.today = kToday;
  const sampledb::ChangeSummary summary = sampledb::changeDemoData(d, options);
  EXPECT_EQ(summary.linesChanged, 3);
  EXPECT_EQ(summary.ordersAdded, 1);
  EXPECT_EQ(summary.ordersDeleted, 1);
  // One added and one deleted.
  EXPECT_EQ(count(d, "SELECT COUNT(*) FROM PEDIDOC"), pedidos);
  EXPECT_EQ(count(d, "SELECT COUNT(*) FROM PEDIDOC WHERE CODPEDIDO = 'N1'"), 1);
  EXPECT_GT(count(d, "SELECT COUNT(*) FROM PEDIDOI WHERE CODPEDIDO = 'N1'"), 0);
  EXPECT_EQ(count(d, "SELECT COUNT(*) FROM ENCEFAT WHERE CODPEDIDO = 'N1'"), 1);
  // No record is left of an order without header.
  for (const char* tabela : {"PEDIDOI", "ENCEFAT", "PARCPEDC", "CONVENCEFAT"}) {
    EXPECT_EQ(count(d, QStringLiteral("SELECT COUNT(*) FROM %1 T WHERE NOT EXISTS (SELECT 1 FROM"
                                      " PEDIDOC C WHERE C.CODEMPRESA = T.CODEMPRESA AND"
                                      " C.TIPOPEDIDO = T.TIPOPEDIDO AND C.CODPEDIDO ="
                                      " T.CODPEDIDO)")
                           .arg(QLatin1String(tabela))),
              0)
        << tabela;
  }
  TestDatabase outro;
  sampledb::generateDemoData(outro.database(), smallDemo(600));
  EXPECT_NE(fingerprint(outro.database()), fingerprint(d));
  sampledb::changeDemoData(outro.database(), options);
  EXPECT_EQ(fingerprint(outro.database()), fingerprint(d));
  options.round = 2;
  sampledb::changeDemoData(outro.database(), options);
  EXPECT_NE(fingerprint(outro.database()), fingerprint(d));
  options.round = -1;
  EXPECT_THROW(sampledb::changeDemoData(d, options), std::invalid_argument);
}

TEST(DemoData, RejectsOptionsThatMakeNoSense) {
  TestDatabase db;
  struct Case {
    const char* what;
    DemoOptions options;
  };
  std::vector<Case> cases(4, Case{"", smallDemo(10)});
  cases[0].what = "negative items";
  cases[0].options.items = -1;
  cases[1].what = "no branch";
  cases[1].options.branches = 0;
  cases[2].what = "invalid today";
  cases[2].options.today = QDate();
  cases[3].what = "negative bad orders";
  cases[3].options.badOrders = -1;
  for (const Case& c : cases) {
    EXPECT_THROW(sampledb::generateDemoData(db.database(), c.options), std::invalid_argument)
        << c.what;
  }
  EXPECT_EQ(count(db.database(), "SELECT COUNT(*) FROM FILIAIS"), 0);
}

// ---------------------------------------------------------------------------
// margivo-sampledb

struct ToolRun {
  int exitCode;
  QString output;
};

ToolRun runTool(const QStringList& arguments) {
  QProcess process;
  process.setProcessChannelMode(QProcess::MergedChannels);
  process.start(QString::fromUtf8(MARGIVO_SAMPLEDB_TOOL), arguments);
  if (!process.waitForFinished(120000)) return {-1, process.errorString()};
  return {process.exitCode(), QString::fromUtf8(process.readAll())};
}

TEST(SampleDbTool, CreatesRefusesToOverwriteAndReplacesWithForce) {
  QTemporaryDir dir;
  const QString path = dir.filePath("erp.fdb");
  const QStringList create = {"create", path, "--items", "50", "--today", "2026-06-15"};

  ToolRun run = runTool(create);
  ASSERT_EQ(run.exitCode, 0) << run.output.toStdString();
  EXPECT_TRUE(run.output.contains("pedidos")) << run.output.toStdString();
  {
    Database database;
    database.attach(path, "SYSDBA", "masterkey");
    EXPECT_GT(count(database, "SELECT COUNT(*) FROM PEDIDOI"), 50);
  }
  const QDateTime written = QFileInfo(path).lastModified();

  run = runTool(create);
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_TRUE(run.output.contains("--force")) << run.output.toStdString();
  EXPECT_EQ(QFileInfo(path).lastModified(), written);

  run = runTool(create + QStringList{"--force", "--empty"});
  ASSERT_EQ(run.exitCode, 0) << run.output.toStdString();
  Database database;
  database.attach(path, "SYSDBA", "masterkey");
  EXPECT_EQ(count(database, "SELECT COUNT(*) FROM PEDIDOC"), 0);
  EXPECT_EQ(
      count(database, "SELECT COUNT(*) FROM RDB$RELATIONS WHERE RDB$RELATION_NAME = 'PEDIDOC'"), 1);
}

TEST(SampleDbTool, RejectsInvalidArgumentsWithoutCreatingAFile) {
  QTemporaryDir dir;
  const QString path = dir.filePath("erp.fdb");
  const QStringList cases[] = {
      {"create", path, "--today", "15/06/2026"},
      {"create", path, "--items", "muitos"},
      {"create", path, "--payments", "Cash,Barter"},
      {"create"},
      {"drop", path},
  };
  for (const QStringList& arguments : cases) {
    const ToolRun run = runTool(arguments);
    EXPECT_EQ(run.exitCode, 1) << arguments.join(' ').toStdString() << ": "
                               << run.output.toStdString();
    EXPECT_FALSE(QFileInfo::exists(path)) << arguments.join(' ').toStdString();
  }
}

}  // namespace
}  // namespace margivo
