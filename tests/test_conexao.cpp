// TConexao on real database files: the database name built from the
// settings, connecting through the embedded engine and through the local
// server (scripts/fbserver.sh; coordinates in server.env of
// $MARGIVO_FBSERVER_DIR, default /tmp/margivo-fbserver), bounded retries,
// reconnecting, and local mode holding the file only while it is in use
// (another process opens it in between).
#include "framework/conexao.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "framework/db/database.h"
#include "framework/db/query.h"
#include "framework/shutdown.h"
#include "tests/support/fbserver.h"
#include "tests/support/testdb.h"

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

// One look-up, as the program makes them: the connection in use for it.
QString nomeDaFilial(TConexao& conexao) {
  const ScopedAttachment emUso(conexao);
  Query query(&emUso.database());
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
  ASSERT_NO_THROW(conexao.conectarBanco());
  EXPECT_TRUE(conexao.local());
  EXPECT_FALSE(conexao.conectado()) << "local mode lets the file go until it is used";
  EXPECT_EQ(conexao.tentativasUltimaConexao(), 1);
  EXPECT_EQ(conexao.nomeBanco(), file.path());
  EXPECT_EQ(conexao.getTransaction(), nullptr);  // nothing open between uses
  EXPECT_EQ(nomeDaFilial(conexao), "Matriz");
  {
    const ScopedAttachment emUso(conexao);
    EXPECT_TRUE(conexao.conectado());
    EXPECT_EQ(conexao.getBancoDados()->name(), file.path()) << "the embedded engine";
    ReadScope scope(emUso.database());
    ASSERT_NE(conexao.getTransaction(), nullptr);
    EXPECT_EQ(conexao.getTransaction()->kind(), TransactionKind::Snapshot);
  }
  EXPECT_EQ(conexao.getTransaction(), nullptr);
}

// conectarBanco fails after exactly kTentativas attempts: the pauses between
// them really happen and the whole is bounded (a generous upper limit, so
// that a slow machine does not make this flaky). The error it throws is the
// database's own for that attach, as an attach of our own gets it.
void expectBoundedFailure(TConexao& conexao, const QString& user, const QString& password) {
  QElapsedTimer timer;
  timer.start();
  QString message;
  try {
    conexao.conectarBanco();
    ADD_FAILURE() << "connected";
  } catch (const DatabaseError& error) {
    message = error.message();
    EXPECT_FALSE(error.cancelled());
  }
  const qint64 elapsed = timer.elapsed();
  EXPECT_FALSE(conexao.conectado());
  EXPECT_EQ(conexao.tentativasUltimaConexao(), TConexao::kTentativas);
  const qint64 pauses = (TConexao::kTentativas - 1) * TConexao::kPausaEntreTentativasMs;
  EXPECT_GE(elapsed, pauses);
  EXPECT_LT(elapsed, pauses + 30000);

  QString expected;
  try {
    Database probe;
    probe.attach(conexao.nomeBanco(), user, password);
  } catch (const DatabaseError& error) {
    expected = error.message();
  }
  EXPECT_FALSE(expected.isEmpty());
  EXPECT_EQ(message, expected);
  EXPECT_NE(message.indexOf(conexao.nomeBanco()), -1) << message.toStdString();
}

TEST(TConexao, AMissingFileFailsAfterTheBoundedAttempts) {
  QTemporaryDir dir;
  TConexao conexao;
  conexao.setConfiguracao("", "", "", dir.filePath("nao-existe.fdb"), "SYSDBA", "x");
  expectBoundedFailure(conexao, "SYSDBA", "x");
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
  expectBoundedFailure(conexao, server.user, server.password + "x");

  // The right password through the same name works, and reads the data.
  conexao.setConfiguracao("R", "0", server.servidor(), path, server.user, server.password);
  ASSERT_NO_THROW(conexao.conectarBanco());
  EXPECT_EQ(conexao.nomeBanco(), server.servidor() + u':' + path);
  EXPECT_EQ(nomeDaFilial(conexao), "Filial remota");
  conexao.getBancoDados()->detach();
  owner.drop();
}

// Remote mode keeps one attachment from use to use, as the server shares the
// file with everyone anyway: its statements stay prepared.
TEST(TConexao, RemoteModeKeepsItsAttachmentBetweenUses) {
  const FbServer server = FbServer::fromStateFile();
  ASSERT_TRUE(server.error.isEmpty()) << server.error.toStdString();
  const QString path = QStringLiteral("%1/conexao_remota_%2.fdb")
                           .arg(server.dataDir)
                           .arg(QCoreApplication::applicationPid());
  Database owner;
  owner.create(server.servidor() + u':' + path, server.user, server.password);
  owner.executeScript(
      QStringLiteral("CREATE TABLE FILIAIS (CODEMPRESA VARCHAR(3), NOMEEMPRESA VARCHAR(40));"
                     "INSERT INTO FILIAIS VALUES ('01', 'Filial remota');"));
  {
    TConexao conexao;
    conexao.setConfiguracao("R", "0", server.servidor(), path, server.user, server.password);
    ASSERT_NO_THROW(conexao.conectarBanco());
    EXPECT_FALSE(conexao.local());
    EXPECT_TRUE(conexao.conectado());
    EXPECT_EQ(nomeDaFilial(conexao), "Filial remota");
    EXPECT_TRUE(conexao.conectado()) << "the use ended, the attachment stays";
    EXPECT_EQ(nomeDaFilial(conexao), "Filial remota");
    EXPECT_EQ(conexao.getBancoDados()->stats().prepares, 1u) << "one attachment, one prepare";
  }
  owner.drop();
}

// Local mode on a file a server holds open: the embedded engine is refused,
// and the local server on the client's default port (which is not the test
// server's) does not let this program in either. The error names both ways
// tried; the name reached through a server is "localhost:" and the path.
TEST(TConexao, AFileAServerHoldsIsTriedThroughTheLocalServer) {
  EXPECT_EQ(NomeBancoServidorLocal("/dados/erp.fdb"), "localhost:/dados/erp.fdb");
  const FbServer server = FbServer::fromStateFile();
  ASSERT_TRUE(server.error.isEmpty()) << server.error.toStdString();
  const QString path = QStringLiteral("%1/conexao_servidor_local_%2.fdb")
                           .arg(server.dataDir)
                           .arg(QCoreApplication::applicationPid());
  Database owner;  // the server holds the file while this attachment lasts
  owner.create(server.servidor() + u':' + path, server.user, server.password);
  {
    TConexao conexao;
    conexao.setConfiguracao("L", "", "", path, server.user, server.password);
    try {
      const ScopedAttachment emUso(conexao);
      ADD_FAILURE() << "attached as " << conexao.getBancoDados()->name().toStdString();
    } catch (const DatabaseError& erro) {
      EXPECT_TRUE(erro.message().contains("Database already opened with engine instance"))
          << erro.what();
      EXPECT_TRUE(erro.message().contains(NomeBancoServidorLocal(path))) << erro.what();
      EXPECT_EQ(conexao.tentativasUltimaConexao(), TConexao::kTentativas);
    }
  }
  owner.drop();
}

// Local mode: between uses the file is not held, so another process (the
// ERP, a backup, isql-fb) opens it; while a use lasts, the embedded engine
// keeps it to this process, and nested uses share that one attachment.
TEST(TConexao, LocalModeHoldsTheFileOnlyWhileInUse) {
  LocalFile file;
  const QString leitura = QStringLiteral("SELECT NOMEEMPRESA FROM FILIAIS;\n");
  TConexao conexao;
  conexao.setConfiguracao("L", "", "", file.path(), "SYSDBA", "masterkey");
  ASSERT_NO_THROW(conexao.conectarBanco());
  {
    const test::OtherProcessRun outro = test::runInAnotherProcess(file.path(), leitura);
    EXPECT_TRUE(outro.succeeded()) << "after the connection: " << outro.output.toStdString();
    EXPECT_TRUE(outro.output.contains("Matriz")) << outro.output.toStdString();
  }
  {
    const ScopedAttachment emUso(conexao);
    EXPECT_EQ(nomeDaFilial(conexao), "Matriz");  // a use inside a use
    EXPECT_TRUE(conexao.conectado()) << "the inner use ended, the outer one holds the file";
    const test::OtherProcessRun outro = test::runInAnotherProcess(file.path(), leitura);
    EXPECT_FALSE(outro.succeeded()) << "while in use: " << outro.output.toStdString();
  }
  EXPECT_FALSE(conexao.conectado());
  const test::OtherProcessRun outro = test::runInAnotherProcess(file.path(), leitura);
  EXPECT_TRUE(outro.succeeded()) << "after the use: " << outro.output.toStdString();
  EXPECT_TRUE(outro.output.contains("Matriz")) << outro.output.toStdString();
  EXPECT_EQ(nomeDaFilial(conexao), "Matriz") << "and the next use attaches again";
}

// Each use of local mode opens the file anew: one replaced between two uses
// is read as it is now, one removed fails the next use with the
// database's error naming the file, as any connection that cannot be made.
TEST(TConexao, AFileReplacedOrRemovedBetweenUsesIsMetAtTheNextUse) {
  LocalFile file;
  LocalFile outra;
  {
    Database database;
    database.attach(outra.path(), "SYSDBA", "");
    database.executeImmediate(QStringLiteral("UPDATE FILIAIS SET NOMEEMPRESA = 'Substituta'"));
  }
  TConexao conexao;
  conexao.setConfiguracao("", "", "", file.path(), "SYSDBA", "");
  ASSERT_NO_THROW(conexao.conectarBanco());
  EXPECT_EQ(nomeDaFilial(conexao), "Matriz");

  ASSERT_TRUE(QFile::remove(file.path()));
  ASSERT_TRUE(QFile::copy(outra.path(), file.path()));
  EXPECT_EQ(nomeDaFilial(conexao), "Substituta");

  ASSERT_TRUE(QFile::remove(file.path()));
  try {
    nomeDaFilial(conexao);
    ADD_FAILURE() << "a removed file was read";
  } catch (const DatabaseError& erro) {
    EXPECT_TRUE(erro.message().contains(file.path())) << erro.what();
    EXPECT_EQ(conexao.tentativasUltimaConexao(), TConexao::kTentativas);
  }
  EXPECT_FALSE(conexao.conectado());
}

// The attempts end as soon as they are told to: by interrupt() from another
// thread or by the end of the program, asked for from anywhere (a signal
// handler). The missing file fails every attempt at once, so the call would
// otherwise spend its two pauses.
TEST(TConexao, AttemptsStopWhenInterruptedOrWhenTheProgramEnds) {
  QTemporaryDir dir;
  const struct {
    const char* name;
    std::function<void(TConexao&)> stop;  // called 300 ms into the first pause
  } cases[] = {
      {"interrupted from another thread", [](TConexao& c) { c.interrupt(); }},
      {"the end of the program asked for", [](TConexao&) { requestShutdown(); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TConexao conexao;
    conexao.setConfiguracao("", "", "", dir.filePath("nao-existe.fdb"), "SYSDBA", "x");
    std::thread stopper([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
      c.stop(conexao);
    });
    bool stopped = false;
    try {
      conexao.conectarBanco();
    } catch (const DatabaseError& e) {
      stopped = e.cancelled();
    }
    stopper.join();
    clearShutdownRequest();
    EXPECT_TRUE(stopped) << "not stopped, or stopped as a failure of its own";
    // The first attempt failed; no other started.
    EXPECT_EQ(conexao.tentativasUltimaConexao(), 1);
  }

  // Asked for before a use: no attempt at all, and the use fails as stopped.
  LocalFile file;
  TConexao conexao;
  conexao.setConfiguracao("", "", "", file.path(), "SYSDBA", "");
  requestShutdown();
  bool stopped = false;
  try {
    const ScopedAttachment emUso(conexao);
  } catch (const DatabaseError& e) {
    stopped = e.cancelled();
  }
  clearShutdownRequest();
  EXPECT_TRUE(stopped);
  EXPECT_EQ(conexao.tentativasUltimaConexao(), 0);

  // An interruption holds for the attach it stopped only.
  conexao.interrupt();
  EXPECT_NO_THROW(conexao.conectarBanco());
  EXPECT_EQ(nomeDaFilial(conexao), "Matriz");
}

// interrupt() stops the statement running on the attachment, and the
// attachment goes on working.
TEST(TConexao, InterruptStopsTheRunningStatement) {
  LocalFile file;
  TConexao conexao;
  conexao.setConfiguracao("", "", "", file.path(), "SYSDBA", "");
  const ScopedAttachment emUso(conexao);
  Query longa(&emUso.database());
  // Tens of millions of rows: many seconds, unless stopped.
  longa.sql() << QStringLiteral("SELECT COUNT(*) FROM RDB$FIELDS A, RDB$FIELDS B, RDB$FIELDS C");
  std::atomic<bool> done{false};
  std::thread stopper([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    // A stop that falls before the statement runs stops nothing: again
    // until it has ended.
    while (!done) {
      conexao.interrupt();
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  });
  QElapsedTimer timer;
  timer.start();
  bool stopped = false;
  try {
    longa.open();
  } catch (const DatabaseError& e) {
    stopped = e.cancelled();
  }
  done = true;
  stopper.join();
  EXPECT_TRUE(stopped) << "ran to its end in " << timer.elapsed() << " ms";
  longa.close();
  EXPECT_TRUE(conexao.conectado());
  EXPECT_EQ(nomeDaFilial(conexao), "Matriz");
}

// A server may go on with a large sort before it looks at a cancel request;
// abandoning the connection stops the statement at once all the same.
TEST(TConexao, AbandoningStopsAStatementTheServerWouldGoOnWith) {
  const FbServer server = FbServer::fromStateFile();
  ASSERT_TRUE(server.error.isEmpty()) << server.error.toStdString();
  const QString path = QStringLiteral("%1/abandono_%2.fdb")
                           .arg(server.dataDir)
                           .arg(QCoreApplication::applicationPid());
  Database owner;
  owner.create(server.servidor() + u':' + path, server.user, server.password);

  TConexao conexao;
  conexao.setConfiguracao("R", "0", server.servidor(), path, server.user, server.password);
  ASSERT_NO_THROW(conexao.conectarBanco());
  Query longa(conexao.getBancoDados());
  // Millions of rows to sort: tens of seconds on the server.
  longa.sql() << QStringLiteral(
      "SELECT COUNT(*) FROM (SELECT A.RDB$FIELD_NAME N FROM RDB$FIELDS A, RDB$FIELDS B, "
      "(SELECT FIRST 40 RDB$FIELD_NAME FROM RDB$FIELDS) C ORDER BY 1)");
  std::thread stopper([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    conexao.interrupt(true);
  });
  QElapsedTimer timer;
  timer.start();
  bool stopped = false;
  try {
    longa.open();
  } catch (const DatabaseError&) {
    stopped = true;
  }
  stopper.join();
  EXPECT_TRUE(stopped) << "ran to its end in " << timer.elapsed() << " ms";
  longa.close();

  // The next connection works.
  ASSERT_NO_THROW(conexao.conectarBanco());
  conexao.getBancoDados()->detach();
  owner.drop();
}

TEST(TConexao, AnUnknownProtocolNeverReusesTheOldName) {
  LocalFile file;
  TConexao conexao;
  conexao.setConfiguracao("", "", "", file.path(), "SYSDBA", "");
  ASSERT_NO_THROW(conexao.conectarBanco());
  // Same path, now "remote" with a protocol this program does not know.
  conexao.setConfiguracao("R", "5", "srv", file.path(), "SYSDBA", "");
  try {
    conexao.conectarBanco();
    ADD_FAILURE() << "connected with an unknown protocol";
  } catch (const DatabaseError& error) {
    EXPECT_NE(error.message().indexOf(QStringLiteral("\"5\" (Protocolo)")), -1) << error.what();
  }
  EXPECT_FALSE(conexao.conectado());
  EXPECT_EQ(conexao.tentativasUltimaConexao(), 0);
  EXPECT_EQ(conexao.nomeBanco(), QString());
}

TEST(TConexao, NoDatabasePathFailsAtOnceNamingTheSetting) {
  LocalFile file;
  TConexao conexao;
  conexao.setConfiguracao("", "", "", file.path(), "SYSDBA", "");
  ASSERT_NO_THROW(conexao.conectarBanco());
  conexao.setConfiguracao("L", "0", "srv", QString(), "SYSDBA", "");
  try {
    conexao.conectarBanco();
    ADD_FAILURE() << "connected without a path";
  } catch (const DatabaseError& error) {
    EXPECT_NE(error.message().indexOf(QStringLiteral("CaminhoBanco")), -1) << error.what();
  }
  EXPECT_FALSE(conexao.conectado()) << "the old attachment is gone";
  EXPECT_EQ(conexao.tentativasUltimaConexao(), 0);
}

TEST(TConexao, ReconnectingStartsAfreshAndDropsPreparedStatements) {
  LocalFile file;
  TConexao conexao;
  conexao.setConfiguracao("", "", "", file.path(), "SYSDBA", "");
  ASSERT_NO_THROW(conexao.conectarBanco());
  // A use that lasts the whole test: the file stays attached, and the
  // look-ups inside it share the attachment and its statements.
  const ScopedAttachment emUso(conexao);
  Database& database = emUso.database();
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

  ASSERT_NO_THROW(conexao.conectarBanco());
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
    ASSERT_NO_THROW(conexao.conectarBanco());
    EXPECT_EQ(nomeDaFilial(conexao), "Matriz");
  }
  // No attachment is left: dropping the file needs it to be the only one.
  Database database;
  database.attach(file.path(), "SYSDBA", "");
  EXPECT_NO_THROW(database.drop());
}

}  // namespace
}  // namespace margivo
