#include "sampledb/sampledb.h"

#include <QFile>

#include "framework/db/database.h"

namespace margivo::sampledb {

QString schemaScript() {
  // Embedded by qt_add_resources; the static library's resource object is
  // linked into every program through the target's usage requirements.
  QFile file(QStringLiteral(":/sampledb/schema.sql"));
  if (!file.open(QIODevice::ReadOnly)) {
    throw DatabaseError(
        QStringLiteral("Esquema do banco de exemplo não encontrado (%1)").arg(file.fileName()));
  }
  return QString::fromUtf8(file.readAll());
}

void createDatabase(Database& database, const QString& path, const QString& user,
                    const QString& password) {
  const QString script = schemaScript();
  database.create(path, user, password);
  database.executeScript(script);
}

}  // namespace margivo::sampledb
