#include "framework/db/cursor_p.h"

#include "framework/db/database_p.h"

namespace margivo::detail {

void OpenCursor::attach(DatabaseImpl* db) {
  database = db;
  db->cursors.insert(this);
}

void OpenCursor::close() noexcept {
  ahead.reset();  // no fetch runs while the cursor closes
  if (cursor) {
    try {
      Status status;
      cursor->close(&status);  // releases the interface on success
    } catch (...) {
      cursor->release();
    }
    cursor = nullptr;
  }
  if (own) {
    try {
      Status status;
      own->commit(&status);  // releases the interface on success
      own = nullptr;
    } catch (...) {
      rollbackQuietly(own);
    }
  }
  if (statement) {
    statement->inUse = false;
    statement.reset();
  }
  if (database) database->cursors.erase(this);
  database = nullptr;
  transaction = nullptr;
}

}  // namespace margivo::detail
