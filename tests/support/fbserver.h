// Coordinates of the local Firebird server that scripts/fbserver.sh starts
// for the tests that connect through a server (CTest fixture "fbserver").
//
// The script writes KEY=value lines to server.env in its state directory,
// $MARGIVO_FBSERVER_DIR (default /tmp/margivo-fbserver), while the server is
// up. A database of the server is named "<host>/<port>:<dataDir>/<file>.fdb"
// and its file must lie in dataDir (owned by the server's user).
#pragma once

#include <QFile>
#include <QString>

namespace margivo::test {

struct FbServer {
  QString host, port, user, password, dataDir;
  QString error;  // why the server cannot be used; empty when it can

  // "host/port": the Servidor setting that reaches the server over TCP/IP.
  QString servidor() const { return host + u'/' + port; }
  // The name of database file `file` (a bare file name) on the server.
  QString databaseName(const QString& file) const {
    return servidor() + u':' + dataDir + u'/' + file;
  }

  static FbServer fromStateFile() {
    FbServer server;
    const QString dir = qEnvironmentVariableIsSet("MARGIVO_FBSERVER_DIR")
                            ? qEnvironmentVariable("MARGIVO_FBSERVER_DIR")
                            : QStringLiteral("/tmp/margivo-fbserver");
    QFile file(dir + QStringLiteral("/server.env"));
    if (!file.open(QIODevice::ReadOnly)) {
      server.error = QStringLiteral(
                         "the local Firebird server is not running (no %1); start it with "
                         "scripts/fbserver.sh start")
                         .arg(file.fileName());
      return server;
    }
    for (const QByteArray& line : file.readAll().split('\n')) {
      const qsizetype eq = line.indexOf('=');
      if (eq < 0) continue;
      const QByteArray key = line.left(eq);
      const QString value = QString::fromUtf8(line.mid(eq + 1)).trimmed();
      if (key == "MARGIVO_FBSERVER_HOST") server.host = value;
      if (key == "MARGIVO_FBSERVER_PORT") server.port = value;
      if (key == "MARGIVO_FBSERVER_USER") server.user = value;
      if (key == "MARGIVO_FBSERVER_PASSWORD") server.password = value;
      if (key == "MARGIVO_FBSERVER_DATA") server.dataDir = value;
    }
    if (server.host.isEmpty() || server.port.isEmpty() || server.dataDir.isEmpty()) {
      server.error = QStringLiteral("incomplete server coordinates in %1").arg(file.fileName());
    }
    return server;
  }
};

}  // namespace margivo::test
