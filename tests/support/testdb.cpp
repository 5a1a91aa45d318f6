#include "tests/support/testdb.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>

#include "sampledb/sampledb.h"

namespace margivo::test {

namespace {

const QString kUser = QStringLiteral("SYSDBA");
const QString kPassword = QStringLiteral("masterkey");

// A database file holding only the schema, made once per test program.
// Creating the schema commits each of its statements and takes a few hundred
// milliseconds; a copy of the detached file is the same empty database and
// takes a few. Empty when it could not be made; `error` then says why.
const QString& schemaTemplate(QString& error) {
  static QTemporaryDir dir;
  static QString failure;
  static const QString path = []() -> QString {
    if (!dir.isValid()) {
      failure = QStringLiteral("cannot create a temporary directory: %1").arg(dir.errorString());
      return QString();
    }
    const QString file = dir.filePath(QStringLiteral("schema.fdb"));
    try {
      Database database;
      sampledb::createDatabase(database, file, kUser, kPassword);
      database.detach();
    } catch (const DatabaseError& e) {
      failure = QStringLiteral("cannot create the test database schema: %1").arg(e.message());
      return QString();
    }
    return file;
  }();
  error = failure;
  return path;
}

}  // namespace

TestDatabase::TestDatabase(const QString& fixture) : database_(std::make_unique<Database>()) {
  QString error;
  const QString& schema = schemaTemplate(error);
  if (schema.isEmpty()) {
    ADD_FAILURE() << error.toStdString();
    return;
  }
  if (!dir_.isValid()) {
    ADD_FAILURE() << "cannot create a temporary directory: " << dir_.errorString().toStdString();
    return;
  }
  path_ = dir_.filePath(QStringLiteral("erp.fdb"));
  if (!QFile::copy(schema, path_)) {
    ADD_FAILURE() << "cannot copy " << schema.toStdString() << " to " << path_.toStdString();
    return;
  }
  try {
    database_->attach(path_, kUser, kPassword);
  } catch (const DatabaseError& e) {
    ADD_FAILURE() << "cannot open the test database: " << e.what();
    return;
  }
  if (!fixture.isEmpty()) exec(fixture);
}

TestDatabase::~TestDatabase() {
  // The file is removed with the directory; the engine must let go of it
  // first.
  database_->detach();
}

QString TestDatabase::path() const { return path_; }

Database& TestDatabase::database() { return *database_; }

void TestDatabase::exec(const QString& statements) {
  try {
    database_->executeScript(statements);
  } catch (const DatabaseError& error) {
    // The database's message names the statement; the statements after it
    // are not run, so the test does not go on with a partial fixture
    // unnoticed.
    ADD_FAILURE() << "fixture statement failed: " << error.what();
  }
}

OtherProcessRun runInAnotherProcess(const QString& path, const QString& sql) {
  OtherProcessRun run;
  QProcess isql;
  isql.setProcessChannelMode(QProcess::MergedChannels);
  // -b: stop at the first error with exit status 1, a refused attach too.
  isql.start(QStringLiteral("isql-fb"),
             {QStringLiteral("-b"), QStringLiteral("-q"), QStringLiteral("-user"), kUser,
              QStringLiteral("-password"), kPassword, path});
  if (!isql.waitForStarted(10000)) {
    run.output = QStringLiteral("isql-fb did not start: %1").arg(isql.errorString());
    return run;
  }
  isql.write(sql.toUtf8());
  isql.closeWriteChannel();
  if (!isql.waitForFinished(60000)) {
    isql.kill();
    isql.waitForFinished();
    run.output = QStringLiteral("isql-fb did not finish");
    return run;
  }
  run.output = QString::fromUtf8(isql.readAll());
  if (isql.exitStatus() == QProcess::NormalExit) run.exitCode = isql.exitCode();
  return run;
}

}  // namespace margivo::test
