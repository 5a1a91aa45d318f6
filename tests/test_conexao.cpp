// TConexao on real database files: the database name built from the
// settings, connecting through the embedded engine and through the local
// server (scripts/fbserver.sh; coordinates in server.env of
// $MARGIVO_FBSERVER_DIR, default /tmp/margivo-fbserver), bounded retries,
// and reconnecting.
#include "framework/conexao.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include "framework/db/database.h"
#include "framework/db/query.h"
#include "tests/support/fbserver.h"

namespace margivo {
namespace {

using test::FbServer;

TEST(NomeBancoDados, FollowsTheSettings) {
  struct Case {
    const char* name;
    QString locRem, protocolo, servidor, caminho;
    std::optional<QString> expected;
  };
  const std::vector<Case> cases = {
      {"local ignores server and protocol", "", "1", "srv", "C:\\ERP\\DADOS.FDB",
       "C:\\ERP\\DADOS.FDB"},
      {"lower-case r is local", "r", "0", "srv", "/dados/erp.fdb", "/dados/erp.fdb"},
      {"L is local", "L", "9", "srv", "/dados/erp.fdb", "/dados/erp.fdb"},
      {"TCP/IP keeps the drive colon", "R", "0", "srv", "C:\\ERP\\DADOS.FDB",
       "srv:C:\\ERP\\DADOS.FDB"},
      {"TCP/IP with a port", "R", "0", "127.0.0.1/3059", "/d/e.fdb", "127.0.0.1/3059:/d/e.fdb"},
      {"named pipe", "R", "1", "srv", "C:\\ERP\\DADOS.FDB", "\\\\srv\\C:\\ERP\\DADOS.FDB"},
      {"SPX", "R", "2", "srv", "C:\\ERP\\DADOS.FDB", "srv@C:\\ERP\\DADOS.FDB"},
      {"unknown protocol", "R", "3", "srv", "C:\\ERP\\DADOS.FDB", std::nullopt},
      {"empty protocol", "R", "", "srv", "C:\\ERP\\DADOS.FDB", std::nullopt},
      {"protocol with a blank", "R", "0 ", "srv", "C:\\ERP\\DADOS.FDB", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(NomeBancoDados(c.locRem, c.protocolo, c.servidor, c.caminho), c.expected);
  }
}

// A dialect 1 file for the embedded engine with one table of branches.
class LocalFile {
 public:
  LocalFile() : path_(dir_.filePath(QStringLiteral("erp.fdb"))) {
    Database database;
    database.create(path_, QStringLiteral("SYSDBA"), QString());
    database.executeScript(
        QStringLiteral("CREATE TABLE FILIAIS (CODEMPRESA VARCHAR(3), NOMEEMPRESA VARCHAR(40));"
                       "INSERT INTO FILIAIS VALUES ('01', 'Matriz');"));
  }
  QString path() const { return path_; }
  QString dir() const { return dir_.path(); }

 private:
  QTemporaryDir dir_;
  QString path_;
};

QString nomeDaFilial(TConexao& conexao) {
  Query query(conexao.getBancoDados());
  query.sql() << QStringLiteral("SELECT NOMEEMPRESA FROM FILIAIS      ")
              << QStringLiteral("WHERE FILIAIS.CODEMPRESA = :CodFilial");
  query.setString("CodFilial", "01");
  query.open();
  return query.fieldByName("NOMEEMPRESA").asString();
}

TEST(TConexao, ConnectsToALocalFileAtTheFirstAttempt) {
  LocalFile file;
  TConexao conexao;
  EXPECT_FALSE(conexao.conectado());
  EXPECT_EQ(conexao.nomeBanco(), QString());
  conexao.setConfiguracao("", "0", "ignorado", file.path(), "SYSDBA", "qualquer");
  ASSERT_TRUE(conexao.conectarBanco());
  EXPECT_TRUE(conexao.conectado());
  EXPECT_EQ(conexao.tentativasUltimaConexao(), 1);
  EXPECT_EQ(conexao.nomeBanco(), file.path());
  EXPECT_EQ(conexao.getTransaction(), nullptr);  // nothing open between uses
  EXPECT_EQ(nomeDaFilial(conexao), "Matriz");
  {
    ReadScope scope(*conexao.getBancoDados());
    ASSERT_NE(conexao.getTransaction(), nullptr);
    EXPECT_EQ(conexao.getTransaction()->kind(), TransactionKind::Snapshot);
  }
  EXPECT_EQ(conexao.getTransaction(), nullptr);
}

// conectarBanco fails after exactly kTentativas attempts: the pauses between
// them really happen and the whole is bounded (a generous upper limit, so
// that a slow machine does not make this flaky).
void expectBoundedFailure(TConexao& conexao) {
  QElapsedTimer timer;
  timer.start();
  EXPECT_FALSE(conexao.conectarBanco());
  const qint64 elapsed = timer.elapsed();
  EXPECT_FALSE(conexao.conectado());
  EXPECT_EQ(conexao.tentativasUltimaConexao(), TConexao::kTentativas);
  const qint64 pauses = (TConexao::kTentativas - 1) * TConexao::kPausaEntreTentativasMs;
  EXPECT_GE(elapsed, pauses);
  EXPECT_LT(elapsed, pauses + 30000);
}

TEST(TConexao, AMissingFileFailsAfterTheBoundedAttempts) {
  QTemporaryDir dir;
  TConexao conexao;
  conexao.setConfiguracao("", "", "", dir.filePath("nao-existe.fdb"), "SYSDBA", "x");
  expectBoundedFailure(conexao);
}

TEST(TConexao, AWrongPasswordOnTheServerFails) {
  const FbServer server = FbServer::fromStateFile();
  ASSERT_TRUE(server.error.isEmpty()) << server.error.toStdString();
  const QString path = QStringLiteral("%1/conexao_%2.fdb")
                           .arg(server.dataDir)
                           .arg(QCoreApplication::applicationPid());
  Database owner;
  owner.create(server.servidor() + u':' + path, server.user, server.password);
  owner.executeScript(
      QStringLiteral("CREATE TABLE FILIAIS (CODEMPRESA VARCHAR(3), NOMEEMPRESA VARCHAR(40));"
                     "INSERT INTO FILIAIS VALUES ('01', 'Filial remota');"));

  TConexao conexao;
  conexao.setConfiguracao("R", "0", server.servidor(), path, server.user, server.password + "x");
  expectBoundedFailure(conexao);

  // The right password through the same name works, and reads the data.
  conexao.setConfiguracao("R", "0", server.servidor(), path, server.user, server.password);
  ASSERT_TRUE(conexao.conectarBanco());
  EXPECT_EQ(conexao.nomeBanco(), server.servidor() + u':' + path);
  EXPECT_EQ(nomeDaFilial(conexao), "Filial remota");
  conexao.getBancoDados()->detach();
  owner.drop();
}

TEST(TConexao, AnUnknownProtocolNeverReusesTheOldName) {
  LocalFile file;
  TConexao conexao;
  conexao.setConfiguracao("", "", "", file.path(), "SYSDBA", "");
  ASSERT_TRUE(conexao.conectarBanco());
  // Same path, now "remote" with a protocol this program does not know.
  conexao.setConfiguracao("R", "5", "srv", file.path(), "SYSDBA", "");
  EXPECT_FALSE(conexao.conectarBanco());
  EXPECT_FALSE(conexao.conectado());
  EXPECT_EQ(conexao.tentativasUltimaConexao(), 0);
  EXPECT_EQ(conexao.nomeBanco(), QString());
}

TEST(TConexao, ReconnectingStartsAfreshAndDropsPreparedStatements) {
  LocalFile file;
  TConexao conexao;
  conexao.setConfiguracao("", "", "", file.path(), "SYSDBA", "");
  ASSERT_TRUE(conexao.conectarBanco());
  Database& database = *conexao.getBancoDados();
  EXPECT_EQ(nomeDaFilial(conexao), "Matriz");
  EXPECT_EQ(nomeDaFilial(conexao), "Matriz");
  EXPECT_EQ(database.stats().prepares, 1u);

  // A refresh's scope open while the settings are saved: reconnecting ends
  // it, and the scope's own end afterwards is harmless.
  auto scope = std::make_unique<ReadScope>(database);
  ASSERT_NE(conexao.getTransaction(), nullptr);

  // Newer data, written by someone else while connected.
  Database writer;
  writer.attach(file.path(), "SYSDBA", "");
  writer.executeImmediate(QStringLiteral("UPDATE FILIAIS SET NOMEEMPRESA = 'Matriz Nova'"));
  writer.detach();

  ASSERT_TRUE(conexao.conectarBanco());
  EXPECT_TRUE(conexao.conectado());
  EXPECT_EQ(conexao.getBancoDados(), &database);
  EXPECT_EQ(conexao.getTransaction(), nullptr);
  EXPECT_NO_THROW(scope.reset());
  EXPECT_EQ(nomeDaFilial(conexao), "Matriz Nova");
  EXPECT_EQ(database.stats().prepares, 2u);  // the old attachment's statement was not reused
}

TEST(TConexao, TheDestructorDetaches) {
  LocalFile file;
  {
    TConexao conexao;
    conexao.setConfiguracao("", "", "", file.path(), "SYSDBA", "");
    ASSERT_TRUE(conexao.conectarBanco());
    EXPECT_EQ(nomeDaFilial(conexao), "Matriz");
  }
  // No attachment is left: dropping the file needs it to be the only one.
  Database database;
  database.attach(file.path(), "SYSDBA", "");
  EXPECT_NO_THROW(database.drop());
}

}  // namespace
}  // namespace margivo
