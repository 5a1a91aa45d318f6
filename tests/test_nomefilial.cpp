// NomeFilial: the branch name through an attachment of its own, made from the
// database section of the settings file, on a real database file.
#include <gtest/gtest.h>

#include "framework/db/database.h"
#include "framework/db/query.h"
#include "framework/funcoes.h"
#include "tests/support/testdb.h"
#include "tests/support/testenv.h"

namespace margivo {
namespace {

const char* const kFiliais =
    "INSERT INTO FILIAIS (CODEMPRESA, NOMEEMPRESA) VALUES ('01', 'Loja Centro');"
    "INSERT INTO FILIAIS (CODEMPRESA, NOMEEMPRESA) VALUES ('02', 'Filial São João');"
    "INSERT INTO FILIAIS (CODEMPRESA, NOMEEMPRESA) VALUES ('03', NULL);"
    "INSERT INTO FILIAIS (CODEMPRESA, NOMEEMPRESA) VALUES ('04', '');";

// Settings that point the database section at `path` through the embedded
// engine (a local file).
QString settingsFor(const QString& path) {
  return QStringLiteral(
             "[Configuracoes]\r\nLocRem=L\r\nServidor=\r\nProtocolo=0\r\nCaminhoBanco=%1\r\n"
             "Usuario=SYSDBA\r\nSenha=masterkey\r\n\r\n[Trovesk]\r\nEmpresa=01\r\n")
      .arg(path);
}

// Attachments to the database other than the one asking, as the engine's
// monitoring tables show them.
qint64 otherAttachments(Database& database) {
  Query query(&database);
  query.sql() << QStringLiteral("SELECT COUNT(*) AS N FROM MON$ATTACHMENTS")
              << QStringLiteral(" WHERE MON$ATTACHMENT_ID <> CURRENT_CONNECTION")
              << QStringLiteral("   AND MON$SYSTEM_FLAG = 0");
  query.open();
  return query.fieldByName(QStringLiteral("N")).asInteger();
}

class NomeFilialTest : public ::testing::Test {
 protected:
  NomeFilialTest() : db_(QString::fromUtf8(kFiliais)) {
    home_.writeIniText(settingsFor(db_.path()));
  }

  test::TestConfigHome home_;
  test::TestDatabase db_;
};

TEST_F(NomeFilialTest, NameOfTheBranchOrEmpty) {
  const struct {
    const char* codigo;
    const char* expected;
    const char* why;
  } cases[] = {
      {"01", "Loja Centro", "branch found"},
      {"02", "Filial São João", "accented name"},
      {"99", "", "no such branch: no row reads as an empty column"},
      {"1", "", "the code is compared as text: '1' is not '01'"},
      {"03", "", "null name"},
      {"04", "", "empty name"},
      {"", "", "empty code"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(NomeFilial(QString::fromUtf8(c.codigo)), QString::fromUtf8(c.expected))
        << "NomeFilial('" << c.codigo << "'): " << c.why;
  }
}

TEST_F(NomeFilialTest, ReadsTheSettingsFileAnewOnEveryCall) {
  EXPECT_EQ(NomeFilial(QStringLiteral("01")), QStringLiteral("Loja Centro"));
  test::TestDatabase other(
      QStringLiteral("INSERT INTO FILIAIS (CODEMPRESA, NOMEEMPRESA) VALUES ('01', 'Outra Loja')"));
  home_.writeIniText(settingsFor(other.path()));
  EXPECT_EQ(NomeFilial(QStringLiteral("01")), QStringLiteral("Outra Loja"));
}

TEST_F(NomeFilialTest, LeavesNoAttachmentBehindAfterSuccessOrError) {
  const qint64 before = otherAttachments(db_.database());
  // The count does see a second attachment, so a leak would show.
  {
    Database second;
    second.attach(db_.path(), QStringLiteral("SYSDBA"), QStringLiteral("masterkey"));
    ASSERT_EQ(otherAttachments(db_.database()), before + 1);
  }
  ASSERT_EQ(otherAttachments(db_.database()), before);

  EXPECT_EQ(NomeFilial(QStringLiteral("01")), QStringLiteral("Loja Centro"));
  // Fatal: a leaked attachment would hold the table and make the DROP below
  // wait for it.
  ASSERT_EQ(otherAttachments(db_.database()), before) << "after a branch was found";

  // A failing query: the error reaches the caller and the attachment is
  // released all the same.
  db_.exec(QStringLiteral("DROP TABLE FILIAIS"));
  try {
    NomeFilial(QStringLiteral("01"));
    ADD_FAILURE() << "no error without the FILIAIS table";
  } catch (const DatabaseError& error) {
    EXPECT_NE(error.message().indexOf(QStringLiteral("SELECT NOMEEMPRESA FROM FILIAIS")), -1)
        << error.what();
  }
  EXPECT_EQ(otherAttachments(db_.database()), before) << "after the query failed";
}

TEST(NomeFilial, ConnectionThatCannotBeMadeNamesTheDatabase) {
  test::TestConfigHome home;
  const QString missing = home.dir() + QStringLiteral("/nao-existe.fdb");
  home.writeIniText(settingsFor(missing));
  try {
    NomeFilial(QStringLiteral("01"));
    ADD_FAILURE() << "no error for a database file that does not exist";
  } catch (const DatabaseError& error) {
    EXPECT_NE(error.message().indexOf(missing), -1) << error.what();
    EXPECT_NE(error.message().indexOf(QStringLiteral("branch 01")), -1) << error.what();
  }
}

TEST(NomeFilial, SettingsWithoutADatabaseFail) {
  test::TestConfigHome home;
  // No settings file at all, then a file whose database section names an
  // unknown remote protocol: no database to connect to either way.
  try {
    NomeFilial(QStringLiteral("01"));
    ADD_FAILURE() << "no error without a settings file";
  } catch (const DatabaseError& error) {
    EXPECT_NE(error.message().indexOf(QStringLiteral("CaminhoBanco")), -1) << error.what();
  }
  home.writeIniText(QStringLiteral(
      "[Configuracoes]\nLocRem=R\nServidor=localhost\nProtocolo=9\nCaminhoBanco=/x.fdb\n"));
  try {
    NomeFilial(QStringLiteral("01"));
    ADD_FAILURE() << "no error for an unknown protocol";
  } catch (const DatabaseError& error) {
    EXPECT_NE(error.message().indexOf(QStringLiteral("\"9\"")), -1) << error.what();
  }
}

}  // namespace
}  // namespace margivo
