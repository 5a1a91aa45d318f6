// The private Firebird configuration root: what it writes and links, when it
// stays out of the way, and that the embedded engine really reads it.
//
// The client library reads its configuration once per process, at its first
// use: only the last test here touches the library.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "framework/db/database.h"
#include "framework/db/query.h"
#include "framework/firebirdroot.h"
#include "tests/support/testdb.h"
#include "tests/support/testenv.h"

namespace margivo {
namespace {

// A stand-in for the system's root: a firebird.conf, a message file, a
// plugins folder and a link that leads nowhere.
class RaizDoSistema {
 public:
  RaizDoSistema() {
    test::writeFileBytes(path() + "/firebird.conf", "RemoteBindAddress = localhost\n");
    test::writeFileBytes(path() + "/firebird.msg", "mensagens");
    test::writeFileBytes(path() + "/plugins/libEngine12.so", "motor");
    QFile::link(path() + "/nada", path() + "/quebrado");
  }
  QString path() const { return dir_.path(); }

 private:
  QTemporaryDir dir_;
};

TEST(PrivateFirebirdRoot, IncluiAConfiguracaoDoSistemaEReduzOCacheDeOrdenacao) {
  const test::ScopedEnv semRaiz("FIREBIRD", QByteArray());
  const RaizDoSistema sistema;
  QString pasta;
  {
    const PrivateFirebirdRoot raiz(sistema.path());
    ASSERT_TRUE(raiz.active());
    pasta = raiz.path();
    EXPECT_EQ(qgetenv("FIREBIRD"), QFile::encodeName(pasta));
    EXPECT_NE(QFileInfo(pasta).canonicalFilePath(), QFileInfo(sistema.path()).canonicalFilePath());

    // The system's file first, the smaller sort cache last (the last value
    // of a setting wins).
    const QStringList linhas =
        QString::fromUtf8(test::readFileBytes(pasta + "/firebird.conf")).split('\n');
    EXPECT_TRUE(linhas.contains("include " + sistema.path() + "/firebird.conf"))
        << linhas.join('|').toStdString();
    EXPECT_EQ(linhas.value(linhas.size() - 2), QStringLiteral("TempCacheLimit = 4M"));
    EXPECT_TRUE(linhas.last().isEmpty());

    // Everything else of the system's root is reached through links.
    for (const char* nome : {"firebird.msg", "plugins"}) {
      const QFileInfo link(pasta + '/' + nome);
      EXPECT_TRUE(link.isSymLink()) << nome;
      EXPECT_EQ(link.symLinkTarget(), QFileInfo(sistema.path() + '/' + nome).absoluteFilePath())
          << nome;
    }
    EXPECT_EQ(test::readFileBytes(pasta + "/plugins/libEngine12.so"), QByteArray("motor"));
    // The system's own file is left as it was.
    EXPECT_EQ(test::readFileBytes(sistema.path() + "/firebird.conf"),
              QByteArray("RemoteBindAddress = localhost\n"));
  }
  // Gone with the object, and FIREBIRD with it.
  EXPECT_FALSE(QFileInfo::exists(pasta));
  EXPECT_FALSE(qEnvironmentVariableIsSet("FIREBIRD"));
}

// A root the user chose, or no system root to include: the library is left
// to its own configuration.
TEST(PrivateFirebirdRoot, NaoSubstituiOutraRaiz) {
  const RaizDoSistema sistema;
  {
    const test::ScopedEnv doUsuario("FIREBIRD", "/opt/firebird-do-usuario");
    const PrivateFirebirdRoot raiz(sistema.path());
    EXPECT_FALSE(raiz.active());
    EXPECT_TRUE(raiz.path().isEmpty());
    EXPECT_EQ(qgetenv("FIREBIRD"), QByteArray("/opt/firebird-do-usuario"));
  }
  const test::ScopedEnv semRaiz("FIREBIRD", QByteArray());
  const QTemporaryDir vazia;
  for (const QString& semConf : {vazia.path(), QString()}) {
    const PrivateFirebirdRoot raiz(semConf);
    EXPECT_FALSE(raiz.active()) << semConf.toStdString();
    EXPECT_FALSE(qEnvironmentVariableIsSet("FIREBIRD"));
  }
}

// The engine started on the private root reads its firebird.conf and through
// it the included one, and finds its plugins and character sets through the
// links: a "system" root that links the real one and sets the page cache
// shows its value in the attachment, and a sort larger than the lowered
// sort cache gives its rows.
TEST(PrivateFirebirdRoot, OMotorEmbutidoLeARaizPrivada) {
  ASSERT_FALSE(PrivateFirebirdRoot::systemRoot().isEmpty())
      << "the build found no Firebird configuration root";
  const test::ScopedEnv semRaiz("FIREBIRD", QByteArray());
  const QTemporaryDir sistema;
  const QDir real(PrivateFirebirdRoot::systemRoot());
  for (const QFileInfo& entrada : real.entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot)) {
    if (entrada.fileName() != QLatin1String("firebird.conf"))
      QFile::link(entrada.absoluteFilePath(), sistema.path() + '/' + entrada.fileName());
  }
  test::writeFileBytes(sistema.path() + "/firebird.conf",
                       "include " + QFile::encodeName(real.filePath("firebird.conf")) +
                           "\nDefaultDbCachePages = 777\n");
  const PrivateFirebirdRoot raiz(sistema.path());
  ASSERT_TRUE(raiz.active());

  test::TestDatabase db;
  Query paginas(&db.database());
  paginas.sql() << "SELECT MON$PAGE_BUFFERS AS PAGINAS FROM MON$DATABASE";
  paginas.open();
  EXPECT_EQ(paginas.fieldByName("PAGINAS").asInteger(), 777);

  // About 250 000 keys of 60 bytes sorted: more than the 4 MB the engine
  // may keep in memory.
  Query ordenada(&db.database());
  ordenada.sql() << "SELECT COUNT(*) AS LINHAS,"
                 << " COUNT(DISTINCT A.RDB$FIELD_NAME || B.RDB$FIELD_NAME || C.N) AS DISTINTAS"
                 << " FROM RDB$FIELDS A CROSS JOIN RDB$FIELDS B"
                 << " CROSS JOIN (SELECT 1 N FROM RDB$DATABASE UNION ALL SELECT 2 FROM"
                 << " RDB$DATABASE) C";
  ordenada.open();
  const qint64 linhas = ordenada.fieldByName("LINHAS").asInteger();
  EXPECT_GT(linhas, 100000);
  EXPECT_EQ(ordenada.fieldByName("DISTINTAS").asInteger(), linhas);
}

}  // namespace
}  // namespace margivo
