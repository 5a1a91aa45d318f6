// The query layer on real database files, each test run twice: on a file
// opened by the embedded engine and on a file served by the local server
// (scripts/fbserver.sh; its coordinates are read from server.env in
// $MARGIVO_FBSERVER_DIR, default /tmp/margivo-fbserver).
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <stdexcept>
#include <thread>
#include <vector>

#include "framework/db/columns_p.h"
#include "framework/db/database.h"
#include "framework/db/encoding_p.h"
#include "framework/db/query.h"
#include "framework/regional.h"
#include "tests/support/fbserver.h"

namespace margivo {
namespace {

using test::FbServer;

enum class Engine { Embedded, Server };

std::string engineName(const testing::TestParamInfo<Engine>& info) {
  return info.param == Engine::Embedded ? "Embedded" : "Server";
}

// A fresh dialect 1 database file for one test, removed at the end.
class ScratchDatabase {
 public:
  explicit ScratchDatabase(Engine engine) : engine_(engine) {
    static std::atomic<int> counter{0};
    if (engine == Engine::Embedded) {
      name_ = dir_.filePath(QStringLiteral("scratch.fdb"));
      user_ = QStringLiteral("SYSDBA");
    } else {
      const FbServer server = FbServer::fromStateFile();
      if (!server.error.isEmpty()) {
        ADD_FAILURE() << server.error.toStdString();
        return;
      }
      name_ = server.databaseName(
          QStringLiteral("query_%1_%2.fdb").arg(QCoreApplication::applicationPid()).arg(counter++));
      user_ = server.user;
      password_ = server.password;
    }
    try {
      Database creator;
      creator.create(name_, user_, password_);
    } catch (const DatabaseError& error) {
      ADD_FAILURE() << error.what();
      name_.clear();
    }
  }
  ~ScratchDatabase() {
    if (name_.isEmpty()) return;
    try {
      Database database;
      database.attach(name_, user_, password_);
      database.drop();
    } catch (const DatabaseError& error) {
      ADD_FAILURE() << "cannot remove " << name_.toStdString() << ": " << error.what();
    }
  }
  ScratchDatabase(const ScratchDatabase&) = delete;
  ScratchDatabase& operator=(const ScratchDatabase&) = delete;

  bool valid() const { return !name_.isEmpty(); }
  void attach(Database& database) const { database.attach(name_, user_, password_); }

 private:
  Engine engine_;
  QTemporaryDir dir_;
  QString name_, user_, password_;
};

// Rows that show one behaviour each; the column types are the ERP's kinds
// in dialect 1 (DATE holds a time of day, NUMERIC(15,2) is a double).
const char* const kSchema = R"sql(
CREATE TABLE ITENS (
  ID       INTEGER NOT NULL PRIMARY KEY,
  CODIGO   CHAR(10),
  NOME     VARCHAR(60),
  FATURADO CHAR(1),
  VALOR    NUMERIC(9,2),
  PESO     NUMERIC(4,1),
  TAXA     NUMERIC(9,4),
  GRANDE   NUMERIC(15,2),
  PRECO    DOUBLE PRECISION,
  QTD      INTEGER,
  DATA     DATE,
  OBS      BLOB SUB_TYPE 1
);
INSERT INTO ITENS (ID, CODIGO, NOME, FATURADO, VALOR, PESO, TAXA, GRANDE, PRECO, QTD, DATA)
  VALUES (1, 'AB', 'Primeiro', 'S', 12.34, 2.5, 1.2345, 1234567.89, 0.1, 7, '2024-03-15 10:30:00');
INSERT INTO ITENS (ID, CODIGO, NOME, FATURADO, VALOR, PESO, TAXA, GRANDE, PRECO, QTD, DATA)
  VALUES (2, ' AB', 'Segundo; com ponto e virgula', 'X', -0.05, -2.5, 0, -7.5, -1.5, -3, '2024-03-15');
INSERT INTO ITENS (ID) VALUES (3);
/* the ERP's Windows-1252 bytes: "Café€" and "–" */
INSERT INTO ITENS (ID, NOME, CODIGO) VALUES (4, x'436166E980', x'96');
-- a text blob
UPDATE ITENS SET OBS = 'observação longa' WHERE ID = 1;
)sql";

class QueryTest : public testing::TestWithParam<Engine> {
 protected:
  void SetUp() override {
    setRegionalSettings(RegionalSettings::brazilian());
    if (!scratch_.valid()) FAIL() << "no database file (see the failure above)";
    scratch_.attach(database_);
    database_.executeScript(QString::fromUtf8(kSchema));
  }

  // Opens `lines` as one statement and returns the query, or fails.
  std::unique_ptr<Query> open(const QStringList& lines) {
    auto query = std::make_unique<Query>(&database_);
    query->sql() = lines;
    query->open();
    return query;
  }

  ScratchDatabase scratch_{GetParam()};
  Database database_;
};

TEST_P(QueryTest, DoubleQuotedStringsAreConstantsAndDivisionIsReal) {
  auto query = open({QStringLiteral("SELECT COUNT(*) AS N, 1/4 AS QUARTO, \"S\" AS K"),
                     QStringLiteral("FROM ITENS"),
                     QStringLiteral("WHERE COALESCE(ITENS.FATURADO, \"X\") <> \"X\"")});
  EXPECT_EQ(query->fieldByName("N").asInteger(), 1);
  EXPECT_DOUBLE_EQ(query->fieldByName("QUARTO").asFloat(), 0.25);
  EXPECT_EQ(query->fieldByName("K").asString(), "S");
  auto dialect = open({QStringLiteral("SELECT MON$SQL_DIALECT AS D FROM MON$DATABASE")});
  EXPECT_EQ(dialect->fieldByName("D").asInteger(), 1) << "the file itself is dialect 1";
}

TEST_P(QueryTest, NamedParametersRepeatIgnoreCaseAndSkipLiteralsAndComments) {
  Query query(&database_);
  query.sql() << QStringLiteral("SELECT ID, ':Nao' AS A, \":Nao\" AS B  -- :Nao")
              << QStringLiteral("FROM ITENS /* :Nao */")
              << QStringLiteral("WHERE (ID = :Id OR QTD = :id) AND NOME <> 'x:y'")
              << QStringLiteral("ORDER BY ID");
  EXPECT_THROW(query.setString("Nao", "1"), DatabaseError);
  // Unset parameters are an error, never a silent null.
  EXPECT_THROW(query.open(), DatabaseError);
  query.setInteger("ID", 2);
  query.open();
  ASSERT_EQ(query.recordCount(), 1);
  EXPECT_EQ(query.fieldByName("ID").asInteger(), 2);
  EXPECT_EQ(query.fieldByName("A").asString(), ":Nao");
  EXPECT_EQ(query.fieldByName("B").asString(), ":Nao");

  // The repeated name carries one value to both places: QTD = 7 is row 1.
  query.setString("id", "7");
  query.open();
  ASSERT_EQ(query.recordCount(), 1);
  EXPECT_EQ(query.fieldByName("ID").asInteger(), 1);

  // A new text drops the old values.
  query.sql().last() = QStringLiteral("ORDER BY ID DESC");
  EXPECT_THROW(query.open(), DatabaseError);
}

TEST_P(QueryTest, WithoutParamCheckABlockKeepsItsVariablesAndQuestionMarksArePositional) {
  Query query(&database_);
  query.setParamCheck(false);
  query.sql() << QStringLiteral("EXECUTE BLOCK (MINIMO INTEGER = ?, SUFIXO VARCHAR(10) = ?)")
              << QStringLiteral("RETURNS (ID INTEGER, ROTULO VARCHAR(20)) AS")
              << QStringLiteral("BEGIN")
              << QStringLiteral("  FOR SELECT ID FROM ITENS WHERE ID >= :MINIMO ORDER BY ID")
              << QStringLiteral("    INTO :ID DO")
              << QStringLiteral("  BEGIN ROTULO = '?' || :SUFIXO; SUSPEND; END")
              << QStringLiteral("END");
  // A name is no parameter here, and a '?' in a literal is text.
  EXPECT_THROW(query.setInteger("MINIMO", 1), DatabaseError);
  EXPECT_THROW(query.setString("3", "x"), DatabaseError);
  query.setInteger("1", 2);
  EXPECT_THROW(query.open(), DatabaseError);  // "2" has no value
  query.setString("2", ":x");
  query.open();
  ASSERT_GE(query.recordCount(), 1);
  EXPECT_EQ(query.fieldByName("ID").asInteger(), 2);
  EXPECT_EQ(query.fieldByName("ROTULO").asString(), "?:x");

  // Back on, ":Name" marks parameters again and the values set are gone.
  query.setParamCheck(true);
  query.sql().clear();
  query.sql() << QStringLiteral("SELECT ID FROM ITENS WHERE ID = :Id");
  EXPECT_THROW(query.setInteger("1", 2), DatabaseError);
  query.setInteger("Id", 1);
  query.open();
  ASSERT_EQ(query.recordCount(), 1);
  EXPECT_EQ(query.fieldByName("ID").asInteger(), 1);
}

TEST_P(QueryTest, ParameterValuesAreConvertedToTheDescribedType) {
  struct Case {
    const char* name;
    const char* where;
    std::function<void(Query&)> set;
    qint64 expectedId;
  };
  const std::vector<Case> cases = {
      {"text to numeric, regional separator", "VALOR = :P",
       [](Query& q) { q.setString("P", "12,34"); }, 1},
      {"float to numeric", "VALOR = :P", [](Query& q) { q.setFloat("P", -0.05); }, 2},
      {"integer to text", "NOME = :P || 'eiro'", [](Query& q) { q.setInteger("P", 0); }, -1},
      {"text to date", "DATA = :P", [](Query& q) { q.setString("P", "15/03/2024"); }, 2},
      {"date with time", "DATA = :P", [](Query& q) { q.setDate("P", 45366.4375); }, 1},
      {"date range inclusive", "DATA BETWEEN :P AND :Q AND ID = 1",
       [](Query& q) {
         q.setDate("P", 45366);
         q.setDate("Q", 45366.4375);
       },
       1},
      {"char compared with text", "CODIGO = :P", [](Query& q) { q.setString("P", "AB"); }, 1},
      {"untyped ? IS NULL, null", "(:P IS NULL AND ID = 3)", [](Query& q) { q.setNull("P"); }, 3},
      {"untyped ? IS NULL, value", "(:P IS NULL OR ID = 2)",
       [](Query& q) { q.setString("P", "x"); }, 2},
      {"cast parameter", "CAST(:P AS INTEGER) = QTD", [](Query& q) { q.setString("P", "-3"); }, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Query query(&database_);
    query.sql() << QStringLiteral("SELECT ID FROM ITENS") << QStringLiteral("WHERE ") + c.where;
    c.set(query);
    try {
      query.open();
    } catch (const std::exception& error) {
      ADD_FAILURE() << error.what();
      continue;
    }
    if (c.expectedId < 0) {
      EXPECT_TRUE(query.isEmpty());
    } else {
      ASSERT_EQ(query.recordCount(), 1);
      EXPECT_EQ(query.fieldByName("ID").asInteger(), c.expectedId);
    }
  }
}

TEST_P(QueryTest, ColumnsAreFoundWithoutRegardToCase) {
  auto query = open({QStringLiteral("SELECT SUM(QTD), ID AS MeuId, ITENS.NOME FROM ITENS"),
                     QStringLiteral("WHERE ID = 1 GROUP BY ID, ITENS.NOME")});
  EXPECT_EQ(query->fieldByName("sum").asInteger(), 7);
  EXPECT_EQ(query->fieldByName("MEUID").asInteger(), 1);
  EXPECT_EQ(query->fieldByName("meuid").name(), "MEUID");
  EXPECT_EQ(query->fieldByName("Nome").asString(), "Primeiro");
  EXPECT_TRUE(query->hasField("nOmE"));
  EXPECT_FALSE(query->hasField("CODIGO"));
  try {
    query->fieldByName("CodProd");
    ADD_FAILURE() << "a missing column must throw";
  } catch (const DatabaseError& error) {
    const std::string message = error.what();
    EXPECT_NE(message.find("CodProd"), std::string::npos) << message;
    EXPECT_NE(message.find("SELECT SUM(QTD), ID AS MeuId, ITENS.NOME FROM ITENS"),
              std::string::npos)
        << message;
  }
}

TEST_P(QueryTest, ColumnLookUpsByLatin1NameAndByIndex) {
  Query q(&database_);
  q.sql() << QStringLiteral("SELECT A.ID, B.ID, A.NOME AS Nome_A, A.QTD FROM ITENS A")
          << QStringLiteral("JOIN ITENS B ON B.ID = A.ID + 1 WHERE A.ID = 1");
  q.open();
  ASSERT_EQ(q.recordCount(), 1);
  // Equal names: the first column wins, as in the select list.
  EXPECT_EQ(q.fieldIndex(QLatin1StringView("id")), 0);
  EXPECT_EQ(q.fieldByName(QLatin1StringView("ID")).asInteger(), 1);
  EXPECT_EQ(q.fieldByName(QStringLiteral("Id")).asInteger(), 1);
  EXPECT_EQ(q.field(1).asInteger(), 2);
  EXPECT_EQ(q.field(1).name(), "ID");
  EXPECT_EQ(q.fieldIndex(QLatin1StringView("nome_a")), 2);
  EXPECT_EQ(q.fieldIndex(QLatin1StringView("NOME")), -1);
  EXPECT_EQ(q.fieldByName("Qtd").asInteger(), 7);
  EXPECT_TRUE(q.hasField(QLatin1StringView("qtd")));
  EXPECT_FALSE(q.hasField(QLatin1StringView("QTDE")));
  EXPECT_THROW(q.field(4), DatabaseError);
  EXPECT_THROW(q.field(-1), DatabaseError);
  try {
    q.fieldByName(QLatin1StringView("CodProd"));
    ADD_FAILURE() << "a missing column must throw";
  } catch (const DatabaseError& error) {
    const std::string message = error.what();
    EXPECT_NE(message.find("the result has no column CodProd"), std::string::npos) << message;
    EXPECT_NE(message.find("SELECT A.ID, B.ID"), std::string::npos) << message;
  }

  // One buffer holding other names at the same address: each look-up
  // answers for the text it holds now.
  char name[16];
  for (const char* text : {"QTD", "ID", "NOME_A", "QTDX", "QTD"}) {
    SCOPED_TRACE(text);
    std::strcpy(name, text);
    EXPECT_EQ(q.fieldIndex(QLatin1StringView(name)), q.fieldIndex(QLatin1StringView(text)));
    EXPECT_EQ(q.hasField(name), q.fieldIndex(QLatin1StringView(text)) >= 0);
  }

  // The same query reopened on other columns: remembered look-ups do not
  // carry over to the new result.
  const Field before = q.fieldByName("QTD");
  EXPECT_EQ(before.asInteger(), 7);
  q.sql().clear();
  q.sql() << QStringLiteral("SELECT ID AS QTD, QTD AS ID FROM ITENS WHERE ID = 2");
  q.open();
  EXPECT_EQ(q.fieldByName("QTD").asInteger(), 2);
  EXPECT_EQ(q.fieldByName("ID").asInteger(), -3);
  EXPECT_EQ(q.fieldIndex(QLatin1StringView("NOME_A")), -1);
  q.close();
  EXPECT_EQ(q.fieldIndex(QLatin1StringView("QTD")), -1);
  try {
    q.fieldByName("QTD");
    ADD_FAILURE() << "a closed query has no columns";
  } catch (const DatabaseError& error) {
    EXPECT_NE(std::string(error.what()).find("column QTD asked of a query that is not open"),
              std::string::npos)
        << error.what();
  }
}

TEST_P(QueryTest, NullColumnsAndMissingRowsReadAsZero) {
  Query q(&database_);
  q.sql() << QStringLiteral("SELECT * FROM ITENS WHERE ID = :Id");
  const QStringList columns = {"CODIGO", "NOME", "VALOR", "PESO", "GRANDE",
                               "PRECO",  "QTD",  "DATA",  "OBS"};
  auto expectZeros = [&](const char* situation) {
    SCOPED_TRACE(situation);
    for (const QString& column : columns) {
      SCOPED_TRACE(column.toStdString());
      const Field field = q.fieldByName(column);
      EXPECT_TRUE(field.isNull());
      EXPECT_EQ(field.asString(), QString());
      EXPECT_EQ(field.asFloat(), 0.0);
      EXPECT_EQ(field.asInteger(), 0);
      EXPECT_EQ(field.asDateTime(), 0.0);
    }
  };
  q.setInteger("Id", 3);
  q.open();
  ASSERT_EQ(q.recordCount(), 1);
  EXPECT_FALSE(q.fieldByName("ID").isNull());
  expectZeros("null columns");

  q.next();
  EXPECT_TRUE(q.eof());
  expectZeros("after the last row");

  q.setInteger("Id", 99);
  q.open();
  EXPECT_TRUE(q.isEmpty());
  EXPECT_TRUE(q.eof());
  EXPECT_TRUE(q.bof());
  EXPECT_EQ(q.fieldByName("ID").asInteger(), 0);
  expectZeros("no row");
}

TEST_P(QueryTest, NavigationOverAFetchedResult) {
  auto query = open({QStringLiteral("SELECT ID FROM ITENS ORDER BY ID")});
  Query& q = *query;
  ASSERT_EQ(q.recordCount(), 4);
  EXPECT_TRUE(q.bof());
  EXPECT_FALSE(q.eof());
  std::vector<qint64> ids;
  for (q.first(); !q.eof(); q.next()) ids.push_back(q.fieldByName("ID").asInteger());
  EXPECT_EQ(ids, (std::vector<qint64>{1, 2, 3, 4}));
  q.last();
  EXPECT_EQ(q.fieldByName("ID").asInteger(), 4);
  EXPECT_FALSE(q.eof());
  q.prior();
  EXPECT_EQ(q.fieldByName("ID").asInteger(), 3);
  EXPECT_FALSE(q.bof());
  q.first();
  q.prior();
  EXPECT_TRUE(q.bof());
  EXPECT_EQ(q.fieldByName("ID").asInteger(), 1);
  const Field kept = q.fieldByName("ID");
  q.close();
  EXPECT_FALSE(q.active());
  EXPECT_EQ(q.recordCount(), 0);
  EXPECT_TRUE(kept.isNull());
  EXPECT_THROW(q.fieldByName("ID"), DatabaseError);
}

TEST_P(QueryTest, RowsReadTheSameInAnyOrder) {
  // Every column of every row, read forwards and then backwards: each row
  // comes back whole whichever row was read before it.
  auto query = open({QStringLiteral("SELECT * FROM ITENS ORDER BY ID")});
  Query& q = *query;
  auto text = [&] {
    QStringList values;
    for (int i = 0; i < q.fieldCount(); ++i) {
      const Field f = q.field(i);
      values << (f.isNull() ? QStringLiteral("<null>") : QLatin1Char('[') + f.asString() + ']');
    }
    return values.join(u'|');
  };
  QStringList forwards;
  for (q.first(); !q.eof(); q.next()) forwards << text();
  ASSERT_EQ(forwards.size(), 4);
  EXPECT_TRUE(
      forwards[1].startsWith(QStringLiteral("[2]|[ AB]|[Segundo; com ponto e virgula]|[X]")))
      << forwards[1].toStdString();
  QStringList backwards;
  for (q.last(); !q.bof(); q.prior()) backwards.prepend(text());
  EXPECT_EQ(backwards, forwards);
}

TEST_P(QueryTest, NumbersKeepTheirScale) {
  auto query = open({QStringLiteral("SELECT * FROM ITENS WHERE ID IN (1, 2) ORDER BY ID")});
  Query& q = *query;
  EXPECT_DOUBLE_EQ(q.fieldByName("VALOR").asFloat(), 12.34);
  EXPECT_DOUBLE_EQ(q.fieldByName("PESO").asFloat(), 2.5);
  EXPECT_DOUBLE_EQ(q.fieldByName("TAXA").asFloat(), 1.2345);
  EXPECT_DOUBLE_EQ(q.fieldByName("GRANDE").asFloat(), 1234567.89);
  EXPECT_DOUBLE_EQ(q.fieldByName("PRECO").asFloat(), 0.1);
  EXPECT_EQ(q.fieldByName("PESO").asInteger(), 3);  // halves away from zero
  EXPECT_EQ(q.fieldByName("VALOR").asString(), "12,34");
  EXPECT_EQ(q.fieldByName("QTD").asString(), "7");
  q.next();
  EXPECT_DOUBLE_EQ(q.fieldByName("VALOR").asFloat(), -0.05);
  EXPECT_DOUBLE_EQ(q.fieldByName("PESO").asFloat(), -2.5);
  EXPECT_EQ(q.fieldByName("PESO").asInteger(), -3);
  EXPECT_DOUBLE_EQ(q.fieldByName("GRANDE").asFloat(), -7.5);
  EXPECT_EQ(q.fieldByName("QTD").asInteger(), -3);
  EXPECT_EQ(q.fieldByName("TAXA").asFloat(), 0.0);
  EXPECT_FALSE(q.fieldByName("TAXA").isNull());
}

TEST_P(QueryTest, DatesCarryTheTimeOfDay) {
  auto query = open({QStringLiteral("SELECT ID, DATA FROM ITENS WHERE ID IN (1, 2) ORDER BY ID")});
  Query& q = *query;
  // 15/03/2024 is day 45366 counted from 30/12/1899; 10:30 is 0.4375 of a day.
  EXPECT_DOUBLE_EQ(q.fieldByName("DATA").asDateTime(), 45366.4375);
  EXPECT_EQ(q.fieldByName("DATA").asString(), "15/03/2024 10:30:00");
  q.next();
  EXPECT_DOUBLE_EQ(q.fieldByName("DATA").asDateTime(), 45366.0);
  EXPECT_EQ(q.fieldByName("DATA").asString(), "15/03/2024");

  // Dates written through parameters read back as they were given,
  // the epochs of both sides included.
  Transaction write(database_, TransactionKind::ReadWrite);
  Query insert(&database_);
  insert.setTransaction(&write);
  insert.sql() << QStringLiteral("INSERT INTO ITENS (ID, DATA) VALUES (:Id, :Data)");
  struct Case {
    TDateTime value;
    int day;  // yyyymmdd as the database sees it
    int hour;
  };
  const std::vector<Case> cases = {
      {0.0, 18991230, 0},
      {1.5, 18991231, 12},
      {45366.999988426, 20240315, 23},
      {-15018.0, 18581117, 0},
      {2.0 + 1.0 / 86400, 19000101, 0},
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    insert.setInteger("Id", qint64(100 + i));
    insert.setDate("Data", cases[i].value);
    insert.execSQL();
  }
  write.commit();
  auto back =
      open({QStringLiteral("SELECT ID, DATA, EXTRACT(HOUR FROM DATA) AS HORA,"),
            QStringLiteral("  EXTRACT(YEAR FROM DATA) * 10000 + EXTRACT(MONTH FROM DATA) * 100"),
            QStringLiteral("  + EXTRACT(DAY FROM DATA) AS DIA"),
            QStringLiteral("FROM ITENS WHERE ID >= 100 ORDER BY ID")});
  ASSERT_EQ(back->recordCount(), int(cases.size()));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    EXPECT_NEAR(back->fieldByName("DATA").asDateTime(), c.value, 0.5 / 86400000);
    EXPECT_EQ(back->fieldByName("DIA").asInteger(), c.day);
    EXPECT_EQ(back->fieldByName("HORA").asInteger(), c.hour);
    back->next();
  }
}

TEST_P(QueryTest, TextIsDecodedAndCharPaddingTrimmed) {
  auto query = open({QStringLiteral("SELECT ID, CODIGO, NOME, OBS FROM ITENS ORDER BY ID")});
  Query& q = *query;
  EXPECT_EQ(q.fieldByName("CODIGO").asString(), "AB");
  EXPECT_EQ(q.fieldByName("OBS").asString(), QString::fromUtf8("observação longa"));
  q.next();
  EXPECT_EQ(q.fieldByName("CODIGO").asString(), " AB");  // leading blanks are data
  EXPECT_EQ(q.fieldByName("NOME").asString(), "Segundo; com ponto e virgula");
  q.last();
  EXPECT_EQ(q.fieldByName("NOME").asString(), QString::fromUtf8("Café€"));
  EXPECT_EQ(q.fieldByName("CODIGO").asString(), QString::fromUtf8("–"));
}

TEST_P(QueryTest, TextParametersTravelAsWindows1252WhenTheyCan) {
  struct Case {
    const char* name;
    QString text;
    int storedBytes;
  };
  const std::vector<Case> cases = {
      {"Windows-1252", QString::fromUtf8("Ação “boa” – 5€"), 15},
      {"outside Windows-1252, kept as UTF-8", QString::fromUtf8("Ωmega 日本"), 13},
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(c.name);
    Transaction write(database_, TransactionKind::ReadWrite);
    Query insert(&database_);
    insert.setTransaction(&write);
    insert.sql() << QStringLiteral("INSERT INTO ITENS (ID, NOME) VALUES (:Id, :Nome)");
    insert.setInteger("Id", qint64(200 + i));
    insert.setString("Nome", c.text);
    insert.execSQL();
    write.commit();

    Query q(&database_);
    q.sql() << QStringLiteral(
        "SELECT NOME, OCTET_LENGTH(NOME) AS BYTES FROM ITENS WHERE NOME = :Nome");
    q.setString("Nome", c.text);
    q.open();
    ASSERT_EQ(q.recordCount(), 1);
    EXPECT_EQ(q.fieldByName("NOME").asString(), c.text);
    EXPECT_EQ(q.fieldByName("BYTES").asInteger(), c.storedBytes);
  }
  // The Windows-1252 bytes are the ERP's: the row matches a hex literal.
  auto query = open({QStringLiteral("SELECT COUNT(*) FROM ITENS WHERE NOME = x'41E7E36F'")});
  EXPECT_EQ(query->fieldByName("COUNT").asInteger(), 0);
  Transaction write(database_, TransactionKind::ReadWrite);
  Query insert(&database_);
  insert.setTransaction(&write);
  insert.sql() << QStringLiteral("INSERT INTO ITENS (ID, NOME) VALUES (300, :Nome)");
  insert.setString("Nome", QString::fromUtf8("Ação"));
  insert.execSQL();
  write.commit();
  query->open();
  EXPECT_EQ(query->fieldByName("COUNT").asInteger(), 1);
}

TEST_P(QueryTest, ErrorsQuoteTheDatabaseAndTheStatementsFirstLine) {
  Query q(&database_);
  q.sql() << QStringLiteral("SELECT NAOEXISTE          ") << QStringLiteral("FROM ITENS");
  try {
    q.open();
    ADD_FAILURE() << "an unknown column must fail";
  } catch (const DatabaseError& error) {
    const std::string message = error.what();
    EXPECT_NE(message.find("Column unknown"), std::string::npos) << message;
    EXPECT_NE(message.find("NAOEXISTE"), std::string::npos) << message;
    EXPECT_NE(message.find("SELECT NAOEXISTE"), std::string::npos) << message;
  }
  EXPECT_FALSE(q.active());
  EXPECT_EQ(q.firstLine(), "SELECT NAOEXISTE");

  // Numbers the regional settings cannot read fail before the database.
  Query p(&database_);
  p.sql() << QStringLiteral("SELECT ID FROM ITENS WHERE VALOR = :V");
  p.setString("V", "doze");
  EXPECT_THROW(p.open(), ConversionError);
}

TEST_P(QueryTest, TheProgramCannotWriteWithoutAReadWriteTransaction) {
  Query q(&database_);
  q.sql() << QStringLiteral("DELETE FROM ITENS");
  EXPECT_THROW(q.execSQL(), DatabaseError);
  EXPECT_THROW(q.open(), DatabaseError);  // runs read-only: the database refuses
  Transaction look(database_, TransactionKind::ReadCommitted);
  q.setTransaction(&look);
  EXPECT_THROW(q.execSQL(), DatabaseError);
  look.commit();
  auto count = open({QStringLiteral("SELECT COUNT(*) FROM ITENS")});
  EXPECT_EQ(count->fieldByName("COUNT").asInteger(), 4);
}

TEST_P(QueryTest, TransactionsAreExplicitAndNeverLeftOpen) {
  // The transaction the statement itself runs in, as the database sees it.
  const QStringList mine = {
      QStringLiteral(
          "SELECT MON$READ_ONLY AS RO, MON$ISOLATION_MODE AS ISO, MON$LOCK_TIMEOUT AS ESPERA,"),
      QStringLiteral("  (SELECT COUNT(*) FROM MON$TRANSACTIONS T"),
      QStringLiteral("    WHERE T.MON$ATTACHMENT_ID = CURRENT_CONNECTION) AS ABERTAS"),
      QStringLiteral("FROM MON$TRANSACTIONS WHERE MON$TRANSACTION_ID = CURRENT_TRANSACTION")};
  for (int i = 0; i < 3; ++i) {
    auto q = open(mine);
    ASSERT_EQ(q->recordCount(), 1);
    EXPECT_EQ(q->fieldByName("RO").asInteger(), 1);
    EXPECT_EQ(q->fieldByName("ISO").asInteger(), 2);      // read committed, record version
    EXPECT_EQ(q->fieldByName("ESPERA").asInteger(), 0);   // no wait
    EXPECT_EQ(q->fieldByName("ABERTAS").asInteger(), 1);  // only its own
  }
  {
    ReadScope scope(database_);
    auto q = open(mine);
    EXPECT_EQ(q->fieldByName("RO").asInteger(), 1);
    EXPECT_EQ(q->fieldByName("ISO").asInteger(), 1);  // snapshot
    EXPECT_EQ(q->fieldByName("ABERTAS").asInteger(), 1);
    EXPECT_EQ(database_.currentTransaction()->kind(), TransactionKind::Snapshot);
  }
  EXPECT_EQ(database_.currentTransaction(), nullptr);
  auto q = open(mine);
  EXPECT_EQ(q->fieldByName("ISO").asInteger(), 2);
  EXPECT_EQ(q->fieldByName("ABERTAS").asInteger(), 1);
}

TEST_P(QueryTest, AReadScopeSeesOneSnapshotWhileShortQueriesSeeNewRows) {
  Database writer;
  scratch_.attach(writer);
  Database other;
  scratch_.attach(other);
  const QStringList count = {QStringLiteral("SELECT COUNT(*) AS N FROM ITENS")};
  auto countOn = [&](Database& database) {
    Query q(&database);
    q.sql() = count;
    q.open();
    return q.fieldByName("N").asInteger();
  };
  {
    ReadScope scope(database_);
    EXPECT_EQ(countOn(database_), 4);
    writer.executeImmediate(QStringLiteral("INSERT INTO ITENS (ID) VALUES (50)"));
    EXPECT_EQ(countOn(database_), 4);  // the refresh's snapshot
    EXPECT_EQ(countOn(other), 5);      // a look-up of its own
  }
  EXPECT_EQ(countOn(database_), 5);
  // The writer deletes the row while no scope is open: nothing of ours
  // holds a transaction that would make it wait.
  writer.executeImmediate(QStringLiteral("DELETE FROM ITENS WHERE ID = 50"));
  EXPECT_EQ(countOn(database_), 4);
}

TEST_P(QueryTest, StatementsArePreparedOncePerText) {
  const DatabaseStats before = database_.stats();
  Query q(&database_);
  q.sql() << QStringLiteral("SELECT NOME FROM ITENS WHERE ID = :Id");
  for (qint64 id = 1; id <= 4; ++id) {
    q.setInteger("Id", id);
    q.open();
  }
  Query other(&database_);
  other.sql() = q.sql();
  other.setInteger("Id", 1);
  other.open();
  EXPECT_EQ(other.fieldByName("NOME").asString(), "Primeiro");
  const DatabaseStats after = database_.stats();
  EXPECT_EQ(after.prepares - before.prepares, 1u);
  EXPECT_EQ(after.executions - before.executions, 5u);
  EXPECT_EQ(after.rowsFetched - before.rowsFetched, 5u);
}

TEST_P(QueryTest, WithoutReuseEveryRunPreparesItsStatement) {
  EXPECT_TRUE(database_.reusesStatements());
  // The statements the attachment holds prepared, as the database sees them
  // (the monitoring statement itself included).
  auto prepared = [&] {
    Query q(&database_);
    q.sql() << QStringLiteral("SELECT COUNT(*) AS N FROM MON$STATEMENTS")
            << QStringLiteral("WHERE MON$ATTACHMENT_ID = CURRENT_CONNECTION");
    q.open();
    return q.fieldByName("N").asInteger();
  };
  for (const bool reuse : {true, false}) {
    SCOPED_TRACE(reuse ? "reused" : "prepared every run");
    database_.setReusesStatements(reuse);
    EXPECT_EQ(database_.reusesStatements(), reuse);
    const qint64 before = prepared();
    const DatabaseStats start = database_.stats();
    Query q(&database_);
    q.sql() << QStringLiteral("SELECT NOME FROM ITENS WHERE ID = :Id");
    QStringList names;
    for (qint64 id = 1; id <= 4; ++id) {
      q.setInteger("Id", id);
      q.open();
      names << q.fieldByName("NOME").asString();
    }
    EXPECT_EQ(names, (QStringList{"Primeiro", "Segundo; com ponto e virgula", "",
                                  QString::fromUtf8("Café€")}));
    const DatabaseStats end = database_.stats();
    EXPECT_EQ(end.prepares - start.prepares, reuse ? 1u : 4u);
    EXPECT_EQ(end.executions - start.executions, 4u);
    // Without reuse nothing stays prepared after the runs.
    EXPECT_EQ(prepared() - before, reuse ? 1 : 0);
  }
}

TEST_P(QueryTest, ALargeResultIsFetchedWhole) {
  // 250 x 250 rows from a cross join of a generated table.
  database_.executeImmediate(QStringLiteral("CREATE TABLE NUMEROS (N INTEGER, NOME VARCHAR(20))"));
  {
    Transaction write(database_, TransactionKind::ReadWrite);
    Query insert(&database_);
    insert.setTransaction(&write);
    insert.sql() << QStringLiteral("INSERT INTO NUMEROS VALUES (:N, 'n' || :N)");
    for (qint64 n = 0; n < 250; ++n) {
      insert.setInteger("N", n);
      insert.execSQL();
    }
    write.commit();
  }
  auto q =
      open({QStringLiteral("SELECT A.N AS A, B.N AS B, B.NOME FROM NUMEROS A CROSS JOIN NUMEROS B"),
            QStringLiteral("ORDER BY A.N, B.N")});
  ASSERT_EQ(q->recordCount(), 62500);
  qint64 sum = 0;
  for (q->first(); !q->eof(); q->next())
    sum += q->fieldByName("a").asInteger() * 1000 + q->fieldByName("b").asInteger();
  EXPECT_EQ(sum, 250LL * 1000 * (249 * 250 / 2) + 250LL * (249 * 250 / 2));
  q->last();
  EXPECT_EQ(q->fieldByName("NOME").asString(), "n249");
}

// Forward-only reading over a few thousand rows: N, a text, a null every
// 5th row and a text blob every 7th.
class StreamTest : public QueryTest {
 protected:
  static constexpr int kRows = 3000;

  void SetUp() override {
    QueryTest::SetUp();
    if (HasFatalFailure()) return;
    database_.executeImmediate(
        QStringLiteral("CREATE TABLE LINHAS (N INTEGER, NOME VARCHAR(200), VALOR NUMERIC(15,2), "
                       "OBS BLOB SUB_TYPE 1)"));
    Transaction write(database_, TransactionKind::ReadWrite);
    Query insert(&database_);
    insert.setTransaction(&write);
    insert.sql() << QStringLiteral("INSERT INTO LINHAS VALUES (:N, :Nome, :Valor, :Obs)");
    for (int n = 0; n < kRows; ++n) {
      insert.setInteger("N", n);
      insert.setString("Nome", QString::fromUtf8("linha ção %1").arg(n));
      if (n % 5 == 0) {
        insert.setNull("Valor");
      } else {
        insert.setFloat("Valor", n * 1.25);
      }
      if (n % 7 == 0) {
        insert.setString("Obs", QStringLiteral("obs %1 ").arg(n).repeated(n % 50 + 1));
      } else {
        insert.setNull("Obs");
      }
      insert.execSQL();
    }
    write.commit();
  }

  // One row as text, every column read.
  static QString rowText(const Query& q) {
    return QStringLiteral("%1|%2|%3|%4|%5")
        .arg(q.fieldByName("N").asInteger())
        .arg(q.fieldByName("NOME").asString())
        .arg(q.fieldByName("VALOR").asFloat())
        .arg(q.fieldByName("VALOR").isNull())
        .arg(q.fieldByName("OBS").asString());
  }

  // Cursors of this attachment left open and not being fetched, as the
  // database sees them (a transaction of its own: the monitoring tables
  // keep what a transaction saw first).
  qint64 openCursors() {
    Transaction look(database_, TransactionKind::ReadCommitted);
    Query q(&database_);
    q.setTransaction(&look);
    q.sql() << QStringLiteral("SELECT COUNT(*) AS N FROM MON$STATEMENTS")
            << QStringLiteral("WHERE MON$ATTACHMENT_ID = CURRENT_CONNECTION AND MON$STATE = 2");
    q.open();
    return q.fieldByName("N").asInteger();
  }

  // Reads `q` with an observer that fails on the `n`th row it sees: the
  // reader must get the observer's error. Returns the rows read before it.
  static int leAteOObservadorFalhar(Query& q, int n) {
    int observadas = 0;
    q.setRowObserver([&observadas, n](const FetchedRow&) {
      if (++observadas == n) throw std::runtime_error("observador");
    });
    int lidas = 0;
    try {
      for (q.open(); !q.eof(); q.next()) ++lidas;
      ADD_FAILURE() << "the observer's error must reach the reader";
    } catch (const std::runtime_error& error) {
      EXPECT_STREQ(error.what(), "observador");
    }
    q.setRowObserver({});
    return lidas;
  }

  const QStringList select_ = {QStringLiteral("SELECT N, NOME, VALOR, OBS FROM LINHAS"),
                               QStringLiteral("ORDER BY N")};
};

TEST_P(StreamTest, GivesTheRowsOfAnInMemoryResultAndKeepsRetainedOnes) {
  auto whole = open(select_);
  ASSERT_EQ(whole->recordCount(), kRows);
  QStringList expected;
  for (; !whole->eof(); whole->next()) expected << rowText(*whole);

  ReadScope scope(database_);
  Query q(&database_);
  q.sql() = select_;
  q.setUnidirectional(true);
  EXPECT_TRUE(q.unidirectional());
  const DatabaseStats before = database_.stats();
  q.open();
  EXPECT_EQ(q.recordCount(), 1);
  EXPECT_TRUE(q.bof());
  EXPECT_EQ(openCursors(), 1);
  q.first();  // on the first row: nothing to do
  QStringList streamed;
  QStringList retainedExpected;
  for (; !q.eof(); q.next()) {
    streamed << rowText(q);
    EXPECT_EQ(q.recordCount(), streamed.size());
    if (q.fieldByName("N").asInteger() % 7 == 3 || streamed.size() == kRows) {
      q.retainRow();
      retainedExpected << streamed.last();
    }
    if (streamed.size() == 2) {
      EXPECT_FALSE(q.bof());
      // Going back is not possible: these leave the position alone.
      q.first();
      q.prior();
      q.last();
      EXPECT_EQ(rowText(q), streamed.last());
    }
  }
  EXPECT_EQ(streamed, expected);
  EXPECT_EQ(q.recordCount(), kRows);
  // The rows, and the row of the look-up of open cursors.
  EXPECT_EQ(database_.stats().rowsFetched - before.rowsFetched, std::uint64_t(kRows) + 1);
  EXPECT_EQ(openCursors(), 0) << "the cursor closes after the last row";
  EXPECT_TRUE(q.fieldByName("N").isNull()) << "no current row past the end";
  q.next();
  EXPECT_TRUE(q.eof());

  q.useRetainedRows();
  EXPECT_FALSE(q.unidirectional());
  ASSERT_EQ(q.recordCount(), retainedExpected.size());
  QStringList retained;
  for (q.first(); !q.eof(); q.next()) retained << rowText(q);
  EXPECT_EQ(retained, retainedExpected);
  q.last();
  EXPECT_EQ(rowText(q), expected.last());
  q.prior();
  EXPECT_EQ(rowText(q), retainedExpected[retainedExpected.size() - 2]);

  // Set again, the next open reads forward only once more; an empty result
  // is at its end at once.
  q.setUnidirectional(true);
  q.sql() = QStringList{QStringLiteral("SELECT N FROM LINHAS WHERE N < 0")};
  q.open();
  EXPECT_TRUE(q.eof());
  EXPECT_TRUE(q.isEmpty());
  q.retainRow();
  q.useRetainedRows();
  EXPECT_TRUE(q.isEmpty());
  EXPECT_EQ(openCursors(), 0);
}

TEST_P(StreamTest, StoppingMidStreamLeavesNoCursor) {
  struct Case {
    const char* name;
    std::function<void(std::unique_ptr<Query>&)> stop;
  };
  const std::vector<Case> cases = {
      {"close()", [](std::unique_ptr<Query>& q) { q->close(); }},
      {"destroyed", [](std::unique_ptr<Query>& q) { q.reset(); }},
      {"reopened", [](std::unique_ptr<Query>& q) { q->open(); }},
      {"retained rows taken before the end",
       [](std::unique_ptr<Query>& q) {
         q->useRetainedRows();
         EXPECT_EQ(q->recordCount(), 1);
         EXPECT_EQ(q->fieldByName("N").asInteger(), 0);
       }},
  };
  for (const bool own : {false, true}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.name) + (own ? ", own transaction" : ", explicit transaction"));
      auto transaction =
          own ? nullptr : std::make_unique<Transaction>(database_, TransactionKind::Snapshot);
      auto q = std::make_unique<Query>(&database_);
      q->setTransaction(transaction.get());
      q->sql() = select_;
      q->setUnidirectional(true);
      q->open();
      q->retainRow();
      q->next();
      EXPECT_EQ(q->fieldByName("N").asInteger(), 1);
      c.stop(q);
      if (std::string(c.name) == "reopened") {
        EXPECT_EQ(q->fieldByName("N").asInteger(), 0);
        q.reset();
      }
      EXPECT_EQ(openCursors(), 0);
      // A later statement in the same transaction, then its end.
      Query later(&database_);
      later.setTransaction(transaction.get());
      later.sql() << QStringLiteral("SELECT COUNT(*) AS N FROM LINHAS");
      later.open();
      EXPECT_EQ(later.fieldByName("N").asInteger(), kRows);
      if (transaction) {
        EXPECT_NO_THROW(transaction->commit());
      }
    }
  }
  // Only the monitoring statement's own transaction is left.
  Query q(&database_);
  q.sql() << QStringLiteral("SELECT COUNT(*) AS N FROM MON$TRANSACTIONS")
          << QStringLiteral("WHERE MON$ATTACHMENT_ID = CURRENT_CONNECTION");
  q.open();
  EXPECT_EQ(q.fieldByName("N").asInteger(), 1);
}

TEST_P(StreamTest, EndingTheTransactionOrDetachingClosesTheCursor) {
  {
    Transaction transaction(database_, TransactionKind::Snapshot);
    Query q(&database_);
    q.setTransaction(&transaction);
    q.sql() = select_;
    q.setUnidirectional(true);
    q.open();
    q.next();
    transaction.commit();
    EXPECT_EQ(openCursors(), 0);
    q.next();  // the cursor is gone: the query is past its end
    EXPECT_TRUE(q.eof());
  }
  Query q(&database_);
  q.sql() = select_;
  q.setUnidirectional(true);
  q.open();
  database_.detach();
  q.next();
  EXPECT_TRUE(q.eof());
  q.close();
}

// A result without blobs can be fetched ahead on a thread of its own: its rows
// still come in order and whole while the reader runs other statements on
// the same attachment, and stopping early, or ending the transaction under
// it, stops the fetching and leaves no cursor.
TEST_P(StreamTest, RowsFetchedAheadComeInOrderBetweenOtherStatements) {
  const QStringList semBlob = {QStringLiteral("SELECT N, NOME, VALOR FROM LINHAS ORDER BY N")};
  const auto texto = [](const Query& q) {
    return QStringLiteral("%1|%2|%3|%4")
        .arg(q.fieldByName("N").asInteger())
        .arg(q.fieldByName("NOME").asString())
        .arg(q.fieldByName("VALOR").asFloat())
        .arg(q.fieldByName("VALOR").isNull());
  };
  Transaction transaction(database_, TransactionKind::Snapshot);
  QStringList esperadas;
  {
    Query whole(&database_);
    whole.setTransaction(&transaction);
    whole.sql() = semBlob;
    for (whole.open(); !whole.eof(); whole.next()) esperadas << texto(whole);
  }
  ASSERT_EQ(esperadas.size(), kRows);

  Query q(&database_);
  q.setTransaction(&transaction);
  q.setUnidirectional(true);
  q.setReadAhead(true);
  q.sql() = semBlob;
  Query other(&database_);
  other.setTransaction(&transaction);
  other.sql() << QStringLiteral("SELECT NOME FROM LINHAS WHERE N = :N");
  QStringList lidas;
  for (q.open(); !q.eof(); q.next()) {
    lidas << texto(q);
    if (lidas.size() % 97 == 0) {
      other.setInteger("N", kRows - lidas.size());
      other.open();
      EXPECT_EQ(other.fieldByName("NOME").asString(),
                QString::fromUtf8("linha ção %1").arg(kRows - lidas.size()));
    }
  }
  EXPECT_EQ(lidas, esperadas);
  EXPECT_FALSE(q.active() && !q.eof());

  // Stopped after a few rows, while the thread may still be fetching.
  for (int depois : {1, 200}) {
    q.open();
    for (int n = 1; n < depois; ++n) q.next();
    EXPECT_EQ(texto(q), esperadas[depois - 1]);
    q.close();
    EXPECT_EQ(openCursors(), 0);
  }
  // The transaction ends under an open cursor, then the attachment.
  q.open();
  q.next();
  EXPECT_NO_THROW(transaction.commit());
  EXPECT_EQ(openCursors(), 0);
  q.next();  // the cursor is gone: the query is past its end
  EXPECT_TRUE(q.eof());
  Query semTransacao(&database_);
  semTransacao.sql() = semBlob;
  semTransacao.setUnidirectional(true);
  semTransacao.setReadAhead(true);
  semTransacao.open();
  database_.detach();
  semTransacao.next();
  EXPECT_TRUE(semTransacao.eof());
}

// An observer sees every row once, in order, as it is fetched and before the
// reader reaches it; its columns read as the reader's do. Rows fetched ahead
// are observed on a thread other than the reader's, others on the reader's.
// An exception from the observer reaches the reader after the rows before
// it.
TEST_P(StreamTest, AnObserverSeesEachRowAsFetchedBeforeTheReader) {
  const QStringList semBlob = {QStringLiteral("SELECT N, NOME, VALOR FROM LINHAS ORDER BY N")};
  const QStringList comBlob = {QStringLiteral("SELECT N, NOME, VALOR, OBS FROM LINHAS ORDER BY N")};
  struct Caso {
    const char* nome;
    bool unidirectional, readAhead, blob;
    bool outraThread;
  };
  for (const Caso& caso :
       {Caso{"whole", false, false, true, false}, Caso{"row by row", true, false, true, false},
        Caso{"fetched ahead", true, true, false, true},
        Caso{"ahead asked, blobs", true, true, true, false}}) {
    SCOPED_TRACE(caso.nome);
    const auto texto = [&caso](auto campo) {
      QString t = QStringLiteral("%1|%2|%3|%4")
                      .arg(campo("N").asInteger())
                      .arg(campo("NOME").asString())
                      .arg(campo("VALOR").asFloat())
                      .arg(campo("VALOR").isNull());
      if (caso.blob) t += u'|' + campo("OBS").asString();
      return t;
    };
    Transaction transaction(database_, TransactionKind::Snapshot);
    Query q(&database_);
    q.setTransaction(&transaction);
    q.setUnidirectional(caso.unidirectional);
    q.setReadAhead(caso.readAhead);
    q.sql() = caso.blob ? comBlob : semBlob;
    std::atomic<int> lidas{0};  // rows the reader has reached
    QStringList vistas;
    int vistasAntes = 0;  // rows seen before the reader reached them
    bool outraThread = false;
    const auto leitor = std::this_thread::get_id();
    q.setRowObserver([&](const FetchedRow& row) {
      const int valor = row.fieldIndex(QLatin1StringView("VALOR"));
      vistas << texto([&](const char* nome) {
        return QLatin1StringView(nome) == QLatin1StringView("VALOR")
                   ? row.field(valor)
                   : row.fieldByName(QLatin1StringView(nome));
      });
      if (lidas.load() < vistas.size()) ++vistasAntes;
      outraThread = outraThread || std::this_thread::get_id() != leitor;
    });
    QStringList lidasTexto;
    for (q.open(); !q.eof(); q.next()) {
      ++lidas;
      lidasTexto << texto(
          [&q](const char* nome) { return q.fieldByName(QLatin1StringView(nome)); });
    }
    ASSERT_EQ(lidasTexto.size(), kRows);
    EXPECT_EQ(vistas, lidasTexto);
    EXPECT_EQ(vistasAntes, kRows);
    EXPECT_EQ(outraThread, caso.outraThread);

    // A column the result does not have is named.
    q.setRowObserver([](const FetchedRow& row) { row.fieldByName(QLatin1StringView("NAO_HA")); });
    try {
      q.open();
      ADD_FAILURE() << "the missing column must fail";
    } catch (const DatabaseError& error) {
      EXPECT_NE(std::string(error.what()).find("NAO_HA"), std::string::npos) << error.what();
    }
    EXPECT_EQ(openCursors(), 0);

    // The observer fails on row 1500 (the 1501st): the reader gets the rows
    // before it.
    EXPECT_EQ(leAteOObservadorFalhar(q, 1501), caso.unidirectional ? 1500 : 0);
    EXPECT_EQ(openCursors(), 0);
    q.close();
    EXPECT_NO_THROW(transaction.commit());
  }
}

// More rows than are fetched ahead, with an observer: the fetching thread
// waits for the reader, and every way out of it still ends cleanly. The
// rows are read whole, the observer fails partway, and the reader stops
// while the fetching thread is held back.
TEST_P(StreamTest, MoreRowsThanFetchedAheadWithAnObserver) {
  constexpr int kTotal = 40000;
  const QStringList select = {
      QStringLiteral("SELECT FIRST %1 A.N * %2 + B.N AS K FROM LINHAS A CROSS JOIN LINHAS B")
          .arg(kTotal)
          .arg(kRows)};
  Transaction transaction(database_, TransactionKind::Snapshot);
  Query q(&database_);
  q.setTransaction(&transaction);
  q.setUnidirectional(true);
  q.setReadAhead(true);
  q.sql() = select;

  // Whole: the observer sees the reader's rows, in its order, each before it.
  std::vector<qint64> vistas;
  std::atomic<int> lidas{0};
  int vistasAntes = 0;
  q.setRowObserver([&](const FetchedRow& row) {
    vistas.push_back(row.fieldByName(QLatin1StringView("K")).asInteger());
    if (lidas.load() < static_cast<int>(vistas.size())) ++vistasAntes;
  });
  std::vector<qint64> lidasK;
  for (q.open(); !q.eof(); q.next()) {
    ++lidas;
    lidasK.push_back(q.fieldByName("K").asInteger());
  }
  ASSERT_EQ(lidasK.size(), std::size_t(kTotal));
  EXPECT_EQ(vistas, lidasK);
  EXPECT_EQ(vistasAntes, kTotal);
  EXPECT_EQ(openCursors(), 0);

  // The observer fails on the 30 000th row: the reader has the rows before.
  EXPECT_EQ(leAteOObservadorFalhar(q, 30000), 29999);
  EXPECT_EQ(openCursors(), 0);

  // A fetch that fails reaches the reader after the rows before it, through
  // the observer.
  Query falha(&database_);
  falha.setTransaction(&transaction);
  falha.setUnidirectional(true);
  falha.setReadAhead(true);
  falha.sql() << QStringLiteral(
                     "SELECT FIRST %1 CAST(CASE WHEN A.N = 9 AND B.N = 5 THEN 'x' ELSE '1' END "
                     "AS INTEGER) AS X FROM LINHAS A CROSS JOIN LINHAS B")
                     .arg(kTotal);
  int observadasAntesDaFalha = 0;
  falha.setRowObserver([&](const FetchedRow&) { ++observadasAntesDaFalha; });
  int lidasAntesDaFalha = 0;
  try {
    for (falha.open(); !falha.eof(); falha.next()) ++lidasAntesDaFalha;
    ADD_FAILURE() << "the conversion must fail";
  } catch (const DatabaseError& error) {
    EXPECT_NE(std::string(error.what()).find("CAST"), std::string::npos) << error.what();
  }
  EXPECT_EQ(lidasAntesDaFalha, observadasAntesDaFalha);
  EXPECT_GT(lidasAntesDaFalha, 0);
  EXPECT_EQ(openCursors(), 0);

  // The reader stops after a few rows, once the fetching thread is well
  // ahead (and held back before the last row).
  std::atomic<int> vistasAgora{0};
  q.setRowObserver([&vistasAgora](const FetchedRow&) { ++vistasAgora; });
  q.open();
  for (int i = 0; i < 10; ++i) q.next();
  for (int espera = 0; vistasAgora.load() < 5000 && espera < 3000; ++espera)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_GE(vistasAgora.load(), 5000);
  EXPECT_LT(vistasAgora.load(), kTotal);
  q.close();
  EXPECT_EQ(openCursors(), 0);
  EXPECT_NO_THROW(transaction.commit());
}

TEST_P(StreamTest, AFailedFetchLeavesNoCursor) {
  // The conversion fails on row `bad`: on the first row, at open(). Read
  // row by row and fetched ahead.
  for (const auto& [bad, readAhead] :
       {std::pair{0, false}, std::pair{2500, false}, std::pair{0, true}, std::pair{2500, true}}) {
    SCOPED_TRACE(bad);
    SCOPED_TRACE(readAhead);
    Transaction transaction(database_, TransactionKind::Snapshot);
    Query q(&database_);
    q.setTransaction(&transaction);
    q.sql() << QStringLiteral("SELECT N, CAST(CASE WHEN N = %1 THEN 'x' ELSE '1' END AS INTEGER)")
                   .arg(bad)
            << QStringLiteral("  AS X FROM LINHAS");
    q.setUnidirectional(true);
    q.setReadAhead(readAhead);
    int read = 0;
    try {
      for (q.open(); !q.eof(); q.next()) ++read;
      ADD_FAILURE() << "the conversion must fail";
    } catch (const DatabaseError& error) {
      EXPECT_NE(std::string(error.what()).find("SELECT N, CAST"), std::string::npos)
          << error.what();
    }
    EXPECT_LE(read, bad);
    EXPECT_FALSE(q.active());
    EXPECT_EQ(openCursors(), 0);
    Query later(&database_);
    later.setTransaction(&transaction);
    later.sql() << QStringLiteral("SELECT COUNT(*) AS N FROM LINHAS");
    later.open();
    EXPECT_EQ(later.fieldByName("N").asInteger(), kRows);
    EXPECT_NO_THROW(transaction.commit());
  }
}

INSTANTIATE_TEST_SUITE_P(Engines, StreamTest, testing::Values(Engine::Embedded, Engine::Server),
                         engineName);

INSTANTIATE_TEST_SUITE_P(Engines, QueryTest, testing::Values(Engine::Embedded, Engine::Server),
                         engineName);

// The look-up table of a result's column names finds what a plain
// case-insensitive compare over the columns would, names outside ASCII and
// equal names included.
TEST(ColumnNames, FoundAsACaseInsensitiveCompareFinds) {
  const QStringList names = {
      "ID", "Nome", "ID", "SUM", "MeuId", QString::fromUtf8("AÇÃO"), QString::fromUtf8("\u212A"),
      "K",  "",     "x1", "X1",  "DIVIDE"};
  detail::Layout layout;
  for (const QString& name : names) {
    detail::Column column;
    column.name = name;
    layout.columns.push_back(column);
  }
  layout.indexNames();
  const QStringList asked = {"id",
                             "ID",
                             "nome",
                             "NOME ",
                             "sum",
                             "meuid",
                             "k",
                             "K",
                             "",
                             "X1",
                             "x1",
                             QString::fromUtf8("ação"),
                             "Ação",
                             "divide",
                             "DIV",
                             "zz",
                             QString::fromUtf8("\u212A")};
  for (const QString& name : asked) {
    SCOPED_TRACE(name.toStdString());
    int expected = -1;
    for (int i = 0; i < names.size(); ++i) {
      if (names[i].compare(name, Qt::CaseInsensitive) == 0) {
        expected = i;
        break;
      }
    }
    EXPECT_EQ(layout.find(QStringView(name)), expected);
    const QByteArray latin1 = name.toLatin1();
    if (QString::fromLatin1(latin1) == name) {
      EXPECT_EQ(layout.find(QLatin1StringView(latin1)), expected);
    }
  }
}

// Text from the database: ASCII, UTF-8 or Windows-1252, wherever in the
// value the first byte outside ASCII falls (text is scanned in blocks).
TEST(TextDecoding, Utf8WhenValidOtherwiseWindows1252) {
  struct Case {
    const char* name;
    QByteArray bytes;
    QString expected;
  };
  const std::vector<Case> cases = {
      {"empty", "", ""},
      {"short ASCII", "AB", "AB"},
      {"long ASCII", "PRODUTO DE TESTE 0123456789", "PRODUTO DE TESTE 0123456789"},
      {"UTF-8 after 8 ASCII bytes", "ABCDEFGH\xC3\xA7\xC3\xA3o", QString::fromUtf8("ABCDEFGHção")},
      {"UTF-8 at the start",
       "\xC3\xA7"
       "ABCDEFGHIJ",
       QString::fromUtf8("çABCDEFGHIJ")},
      {"Windows-1252 after 9 ASCII bytes", "ABCDEFGHI\xE9\x80", QString::fromUtf8("ABCDEFGHIé€")},
      {"Windows-1252 at the end of a block", "ABCDEFG\x96", QString::fromUtf8("ABCDEFG–")},
      {"UTF-8 lead byte cut off at the end", "ABCDEFGHIJ\xC3", QString::fromUtf8("ABCDEFGHIJÃ")},
      {"NUL is ASCII", QByteArray("A\0B", 3), QStringView(u"A\0B", 3).toString()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(detail::decodeText(c.bytes.constData(), std::size_t(c.bytes.size())), c.expected);
  }
}

// Statement splitting of scripts: ';' inside literals and comments stays.
// Tools and tests change the schema on an attachment that has run queries.
TEST(DatabaseScript, MetadataChangesAfterQueriesOnTheSameAttachment) {
  QTemporaryDir dir;
  Database database;
  database.create(dir.filePath("ddl.fdb"), "SYSDBA", QString());
  database.executeScript(QStringLiteral("CREATE TABLE X (A INTEGER); INSERT INTO X VALUES (1);"));
  Query q(&database);
  q.sql() << QStringLiteral("SELECT A FROM X");
  q.open();
  EXPECT_EQ(q.fieldByName("A").asInteger(), 1);
  EXPECT_NO_THROW(database.executeImmediate(QStringLiteral("/* gone */ DROP TABLE X")));
  database.executeScript(
      QStringLiteral("CREATE TABLE X (A VARCHAR(5)); INSERT INTO X VALUES ('um');"));
  q.open();
  EXPECT_EQ(q.fieldByName("A").asString(), "um");
}

TEST(DatabaseScript, SplitsOnlyOutsideLiteralsAndComments) {
  QTemporaryDir dir;
  Database database;
  database.create(dir.filePath("script.fdb"), "SYSDBA", QString());
  database.executeScript(
      QStringLiteral("CREATE TABLE T (S VARCHAR(40));\n"
                     "-- a comment; with a semicolon\n"
                     "INSERT INTO T VALUES ('a;b');\n"
                     "/* block; comment */ INSERT INTO T VALUES (\"c;\"\"d\");\n"
                     "INSERT INTO T VALUES ('it''s; fine');;\n"
                     "  -- trailing comment only\n"));
  Query q(&database);
  q.sql() << QStringLiteral("SELECT S FROM T ORDER BY S");
  q.open();
  QStringList values;
  for (; !q.eof(); q.next()) values << q.fieldByName("S").asString();
  EXPECT_EQ(values, (QStringList{"a;b", "c;\"d", "it's; fine"}));
  try {
    database.executeScript(
        QStringLiteral("INSERT INTO T VALUES ('ok');\n\n  INSERT INTO NADA\n VALUES (1);"));
    ADD_FAILURE() << "a failing statement must throw";
  } catch (const DatabaseError& error) {
    EXPECT_NE(std::string(error.what()).find("INSERT INTO NADA"), std::string::npos)
        << error.what();
  }
}

}  // namespace
}  // namespace margivo
