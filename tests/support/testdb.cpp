#include "tests/support/testdb.h"

#include <gtest/gtest.h>

#include "sampledb/sampledb.h"

namespace margivo::test {

TestDatabase::TestDatabase(const QString& fixture) : database_(std::make_unique<Database>()) {
  if (!dir_.isValid()) {
    ADD_FAILURE() << "cannot create a temporary directory: " << dir_.errorString().toStdString();
    return;
  }
  path_ = dir_.filePath(QStringLiteral("erp.fdb"));
  try {
    sampledb::createDatabase(*database_, path_);
  } catch (const DatabaseError& error) {
    ADD_FAILURE() << "cannot create the test database " << path_.toStdString() << ": "
                  << error.what();
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

}  // namespace margivo::test
