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

}  // namespace margivo::test
