// Internal: a cursor left open between calls, for forward-only reading.
#pragma once

#include <firebird/Interface.h>

#include <memory>

#include "framework/db/readahead_p.h"
#include "framework/db/statement_p.h"

namespace margivo::detail {

struct DatabaseImpl;

// A cursor left open between calls (forward-only reading). Registered with
// its attachment while open, so that ending its transaction or detaching
// closes it first and no cursor outlives what it reads in.
struct OpenCursor {
  DatabaseImpl* database = nullptr;
  Firebird::IResultSet* cursor = nullptr;
  Firebird::ITransaction* transaction = nullptr;  // the one it reads in
  Firebird::ITransaction* own = nullptr;          // a short transaction of its own, ended with it
  std::shared_ptr<PreparedStatement> statement;
  // The thread fetching its rows ahead, when asked (Query::setReadAhead).
  std::unique_ptr<ReadAhead> ahead;

  OpenCursor() = default;
  OpenCursor(const OpenCursor&) = delete;
  OpenCursor& operator=(const OpenCursor&) = delete;
  ~OpenCursor() { close(); }
  bool open() const noexcept { return cursor != nullptr; }
  // Registers the cursor with `database`. REQUIRES: `cursor` was just set.
  void attach(DatabaseImpl* database);
  // Closes the cursor (stopping the fetching thread first), ends `own`,
  // lets the statement go and unregisters; safe on a partly set up or
  // already closed one.
  void close() noexcept;
};

}  // namespace margivo::detail
