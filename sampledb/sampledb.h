// The sample ERP database kit: a stand-in for the ERP's own Firebird database
// (which is not ours), holding every table and column the program reads.
//
// Errors: DatabaseError from the database layer.
#pragma once

#include <QDate>
#include <QString>
#include <cstdint>

namespace margivo {

class Database;

namespace sampledb {

// The schema script (dialect 1), statements separated by ';'.
QString schemaScript();

// Creates a dialect 1 database file at `path` holding the schema, and leaves
// `database` attached to it. The file must not exist.
void createDatabase(Database& database, const QString& path, const QString& user = "SYSDBA",
                    const QString& password = "masterkey");

struct DemoOptions {
  std::uint32_t seed = 1;
  // Roughly the number of order items over the year; the demo has a few
  // thousand, the benchmark size about 250 000.
  int items = 3000;
  // Orders are dated over the calendar year of `today`, up to `today`.
  QDate today = QDate::currentDate();
};

// Fills a database created by createDatabase with deterministic demo data:
// the same options always give the same rows.
void generateDemoData(Database& database, const DemoOptions& options);

}  // namespace sampledb
}  // namespace margivo
