// Internal: the state behind a Query, and the steps that other files of the
// layer carry out on it (execution, forward-only reading, field access).
// Not part of the public interface.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "framework/db/columns_p.h"
#include "framework/db/cursor_p.h"
#include "framework/db/database.h"
#include "framework/db/field.h"
#include "framework/db/firebird_p.h"
#include "framework/db/message_p.h"
#include "framework/db/parameters_p.h"
#include "framework/db/rowstore_p.h"

namespace margivo::detail {

struct QueryImpl {
  // --- What the query runs, and where (set by the caller).
  Database* database = nullptr;
  Transaction* transaction = nullptr;  // nullptr: the attachment's current one, or a short one
  QStringList sql;
  bool paramCheck = true;       // ":Name" marks parameters
  bool unidirectional = false;  // read forward only from the next open()
  bool readAhead = false;       // fetch ahead on a thread, from the next open()
  std::function<void(const FetchedRow&)> rowObserver;  // told of each row fetched

  // --- The text as parsed for its parameters, and the values set for them
  // (by upper-case name). The values belong to the text they were set for.
  ParsedText parsed;
  bool parsedValid = false;
  QHash<QString, ParameterValue> values;

  // --- The result and the position in it.
  bool active = false;
  std::shared_ptr<const Layout> layout;
  RowStore rows;                  // every row, when the result is read whole
  std::vector<QByteArray> blobs;  // contents of blob columns, by index
  qsizetype current = 0;
  bool bof = true;

  // --- Reading forward only (execute.cpp opens, forward.cpp reads on).
  bool streaming = false;               // the current result is read forward-only
  OpenCursor cursor;                    // open while rows remain to be read
  std::vector<char> message;            // the current row as the cursor wrote it
  std::size_t fetched = 0;              // rows read so far
  std::unique_ptr<Status> fetchStatus;  // one for every row of the result
  RowStore retained;                    // rows kept by retainRow()
  std::vector<QByteArray> retainedBlobs;

  // --- Columns last found by a name given as Latin-1 text, by the address
  // of its characters: call sites pass string literals, whose addresses do
  // not change, so a repeated look-up costs a pointer compare and a check of
  // the name. Valid for `memoLayout` only.
  struct NameMemo {
    const char* name = nullptr;
    int index = -1;
  };
  mutable std::array<NameMemo, 64> memo{};
  mutable std::shared_ptr<const Layout> memoLayout;

  // Parameters (query.cpp). The parsed text, parsed again when the lines
  // changed (which drops the values set).
  const ParsedText& parse();
  // Throws DatabaseError when the text names no such parameter.
  void setValue(const QString& name, ParameterValue value);

  // Execution (execute.cpp). Runs the statement: with `wantRows` fetches its
  // rows (all of them, or with `stream` the first one, leaving the cursor
  // open); without, runs a statement that returns none. Throws
  // DatabaseError; the result is then empty.
  void run(bool wantRows, bool stream);
  // Reads the blob columns of `row` while its transaction is open, leaving
  // in each an index into `blobs`.
  void readBlobs(char* row, Firebird::IAttachment* attachment, Firebird::ITransaction* transaction);

  // Forward-only reading (forward.cpp). Reads the cursor's next row into
  // `message`; false at the end, where the cursor is closed. Throws
  // DatabaseError, the cursor then closed too.
  bool fetchStreamRow();
  void endStream() noexcept;

  // Tells the row observer (when there is one) of `row`, just fetched.
  void observe(const char* row) const {
    if (rowObserver) rowObserver(FetchedRow(this, row));
  }

  // Field access.
  int findColumn(QLatin1StringView name) const {
    if (!layout) return -1;
    if (memoLayout != layout) {
      memo.fill(NameMemo());
      memoLayout = layout;
    }
    const auto address = reinterpret_cast<std::uintptr_t>(name.data());
    NameMemo& entry = memo[((address >> 3) ^ (address >> 9)) & (memo.size() - 1)];
    // The name is checked too: the same address may hold other text later.
    if (entry.name == name.data() && layout->hasAsciiName(entry.index, name)) return entry.index;
    const int index = layout->find(name);
    if (index >= 0 && layout->hasAsciiName(index, name)) entry = NameMemo{name.data(), index};
    return index;
  }
  int findColumn(QStringView name) const { return layout ? layout->find(name) : -1; }

  const char* currentRow() const {
    if (!active || current < 0) return nullptr;
    if (streaming) return std::size_t(current) + 1 == fetched ? message.data() : nullptr;
    if (std::size_t(current) >= rows.count()) return nullptr;
    return rows.row(std::size_t(current));
  }

  const Column& column(int index) const { return layout->columns[std::size_t(index)]; }

  // The column's bytes in the current row, or nullptr when it reads as
  // null (null value, or no current row).
  const char* data(int index) const {
    const char* row = currentRow();
    if (!row) return nullptr;
    const Column& c = column(index);
    if (readAt<short>(row, c.nullOffset) != 0) return nullptr;
    return row + c.offset;
  }
};

}  // namespace margivo::detail
