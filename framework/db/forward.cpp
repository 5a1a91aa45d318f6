// Forward-only reading: a result too large to keep is read one row at a
// time from a cursor left open (its rows fetched on a thread of their own
// when asked), and the rows picked on the way are kept for a later pass.
#include "framework/db/database_p.h"
#include "framework/db/query.h"
#include "framework/db/query_p.h"

namespace margivo {

namespace detail {

bool QueryImpl::fetchStreamRow() {
  if (!cursor.open()) return false;
  try {
    blobs.clear();
    const bool row = cursor.ahead ? cursor.ahead->next(message.data())
                                  : cursor.cursor->fetchNext(fetchStatus.get(), message.data()) ==
                                        Firebird::IStatus::RESULT_OK;
    if (!row) {
      cursor.close();
      return false;
    }
    if (layout->hasBlobs)
      readBlobs(message.data(), cursor.database->attachment, cursor.transaction);
    // Rows fetched ahead were shown to the observer as they arrived.
    if (!cursor.ahead) observe(message.data());
  } catch (const Firebird::FbException& error) {
    cursor.close();
    throwDatabaseError(error, parsed.text);
  } catch (...) {
    cursor.close();
    throw;
  }
  ++fetched;
  ++cursor.database->stats.rowsFetched;
  return true;
}

void QueryImpl::endStream() noexcept {
  cursor.close();
  streaming = false;
  fetched = 0;
  retained.clear();
  retainedBlobs.clear();
}

}  // namespace detail

using detail::readAt;
using detail::writeAt;

void Query::retainRow() {
  detail::QueryImpl& q = *impl_;
  const char* row = q.currentRow();
  if (!q.streaming || !row) return;
  if (!q.layout->hasBlobs) {
    q.retained.append(row);
    return;
  }
  // The kept row points into the retained blob contents instead: the
  // current row is given their indexes while it is packed.
  char* message = q.message.data();
  std::vector<std::uint64_t> indexes;
  for (const detail::Column& c : q.layout->columns) {
    if (c.type != SQL_BLOB || readAt<short>(message, c.nullOffset) != 0) continue;
    const auto index = readAt<std::uint64_t>(message, c.offset);
    indexes.push_back(index);
    writeAt<std::uint64_t>(message, c.offset, q.retainedBlobs.size());
    q.retainedBlobs.push_back(q.blobs[index]);
  }
  q.retained.append(message);
  std::size_t k = 0;
  for (const detail::Column& c : q.layout->columns) {
    if (c.type != SQL_BLOB || readAt<short>(message, c.nullOffset) != 0) continue;
    writeAt<std::uint64_t>(message, c.offset, indexes[k++]);
  }
}

void Query::useRetainedRows() noexcept {
  detail::QueryImpl& q = *impl_;
  if (!q.active || !q.streaming) return;
  q.cursor.close();
  q.rows = std::move(q.retained);
  q.blobs = std::move(q.retainedBlobs);
  q.retained.clear();
  q.retainedBlobs.clear();
  q.streaming = false;
  q.unidirectional = false;
  q.fetched = 0;
  q.current = 0;
  q.bof = true;
}

}  // namespace margivo
