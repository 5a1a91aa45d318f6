// Fresh sample ERP databases for tests: one file per test, created from the
// schema plus a few lines of fixture data, removed at the end.
#pragma once

#include <QString>
#include <QTemporaryDir>
#include <memory>

#include "framework/db/database.h"

namespace margivo::test {

class TestDatabase {
 public:
  // Creates the file (embedded engine) and runs `fixture` (statements
  // separated by ';') on it. Fails the test with the database's message when
  // a statement fails.
  explicit TestDatabase(const QString& fixture = QString());
  ~TestDatabase();

  // Path of the database file, for settings and TConexao.
  QString path() const;
  // An attachment of the test's own, for more fixture statements.
  Database& database();
  // Runs statements separated by ';', each committed.
  void exec(const QString& statements);

 private:
  QTemporaryDir dir_;
  QString path_;
  std::unique_ptr<Database> database_;
};

// What another process printed after it opened a database file with the
// embedded engine of its own (isql-fb) and ran statements in it.
struct OtherProcessRun {
  int exitCode = -1;  // -1: it did not start or did not end
  QString output;     // its stdout and stderr
  bool succeeded() const { return exitCode == 0; }
};

// Runs `sql` (statements, each ending in ';') in database file `path` in a
// process of its own (isql-fb, user SYSDBA), as the ERP or a backup would
// open the file beside this program, and waits for it.
OtherProcessRun runInAnotherProcess(const QString& path, const QString& sql);

}  // namespace margivo::test
