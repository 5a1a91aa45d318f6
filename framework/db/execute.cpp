#include <utility>

#include "framework/db/database_p.h"
#include "framework/db/query_p.h"
#include "framework/db/readahead_p.h"

namespace margivo::detail {

namespace {

// Closes a cursor that an error left open.
struct CursorGuard {
  Firebird::IResultSet* cursor = nullptr;
  ~CursorGuard() {
    if (!cursor) return;
    try {
      Status status;
      cursor->close(&status);
    } catch (...) {
      cursor->release();
    }
  }
};

// Rolls back a short transaction that an error left open.
struct OwnTransactionGuard {
  Firebird::ITransaction* transaction = nullptr;
  ~OwnTransactionGuard() { rollbackQuietly(transaction); }
};

}  // namespace

void QueryImpl::run(bool wantRows, bool stream) {
  const ParsedText& p = parse();
  if (!database || !database->attached()) {
    throwDatabaseError(QStringLiteral("the query has no attached database"), p.text);
  }
  DatabaseImpl& db = *database->impl();

  Firebird::ITransaction* tra = nullptr;
  OwnTransactionGuard own;
  if (transaction) {
    if (&transaction->database() != database || !transaction->active()) {
      throwDatabaseError(QStringLiteral("the query's transaction is not active on its database"),
                         p.text);
    }
    tra = transaction->impl()->transaction;
  } else if (!wantRows) {
    throwDatabaseError(
        QStringLiteral("a statement that writes needs an explicit read-write transaction"), p.text);
  } else if (Transaction* current = database->currentTransaction(); current && current->active()) {
    tra = current->impl()->transaction;
  } else {
    own.transaction = db.startTransaction(TransactionKind::ReadCommitted);
    tra = own.transaction;
  }

  // Held until the run ends: without reuse, letting it go frees it.
  const std::shared_ptr<PreparedStatement> prepared = db.prepare(tra, p.sql, p.text);
  PreparedStatement& statement = *prepared;
  if (statement.parameters.size() != p.positions.size()) {
    throwDatabaseError(QStringLiteral("the statement has %1 parameters, its text names %2")
                           .arg(statement.parameters.size())
                           .arg(p.positions.size()),
                       p.text);
  }
  std::vector<char> input;
  Firebird::IMessageMetadata* inputMetadata = nullptr;
  if (!p.positions.empty()) inputMetadata = bindParameters(p, values, statement, input);
  void* inputBuffer = input.empty() ? nullptr : input.data();

  layout = statement.layout;
  message.resize(layout->messageLength);
  rows.reset(layout.get());
  blobs.clear();
  try {
    Status status;
    if (statement.hasCursor) {
      if (!wantRows) {
        throwDatabaseError(QStringLiteral("the statement returns rows: open it instead"), p.text);
      }
      if (stream) {
        // The cursor stays open between rows, in its transaction; a short
        // transaction of the query's own ends with it.
        streaming = true;
        fetched = 0;
        retained.reset(layout.get());
        if (!fetchStatus) fetchStatus = std::make_unique<Status>();
        cursor.statement = prepared;
        prepared->inUse = true;
        cursor.transaction = tra;
        cursor.own = std::exchange(own.transaction, nullptr);
        cursor.database = &db;
        cursor.cursor = statement.statement->openCursor(&status, tra, inputMetadata, inputBuffer,
                                                        statement.outputMetadata, 0);
        cursor.attach(&db);
        ++db.stats.executions;
        // Blob contents are read through the attachment as each row
        // arrives, so a result with blobs is fetched row by row here.
        if (readAhead && !layout->hasBlobs) {
          std::function<void(const char*)> observer;
          if (rowObserver) observer = [this](const char* row) { observe(row); };
          cursor.ahead = std::make_unique<ReadAhead>(cursor.cursor, layout->messageLength,
                                                     std::move(observer));
        }
        fetchStreamRow();
        return;
      }
      CursorGuard guard;
      guard.cursor = statement.statement->openCursor(&status, tra, inputMetadata, inputBuffer,
                                                     statement.outputMetadata, 0);
      ++db.stats.executions;
      char* row = message.data();
      while (guard.cursor->fetchNext(&status, row) == Firebird::IStatus::RESULT_OK) {
        if (layout->hasBlobs) readBlobs(row, db.attachment, tra);
        observe(row);
        rows.append(row);
      }
      guard.cursor->close(&status);
      guard.cursor = nullptr;
    } else {
      // EXECUTE PROCEDURE and RETURNING give at most one row.
      const bool output = !layout->columns.empty();
      char* row = output ? message.data() : nullptr;
      statement.statement->execute(&status, tra, inputMetadata, inputBuffer,
                                   output ? statement.outputMetadata : nullptr, row);
      ++db.stats.executions;
      if (output && layout->hasBlobs) readBlobs(row, db.attachment, tra);
      if (output && wantRows) rows.append(row);
    }
    db.stats.rowsFetched += rows.count();
    if (own.transaction) {
      own.transaction->commit(&status);  // releases the interface on success
      own.transaction = nullptr;
    }
  } catch (const Firebird::FbException& error) {
    endStream();
    rows.clear();
    blobs.clear();
    layout.reset();
    throwDatabaseError(error, p.text);
  } catch (...) {
    endStream();
    rows.clear();
    blobs.clear();
    layout.reset();
    throw;
  }
}

void QueryImpl::readBlobs(char* row, Firebird::IAttachment* attachment,
                          Firebird::ITransaction* transaction) {
  // Blob contents are read while the transaction is still open; the row
  // keeps an index into `blobs` where the database had put the blob's id.
  for (const Column& c : layout->columns) {
    if (c.type != SQL_BLOB || readAt<short>(row, c.nullOffset) != 0) continue;
    ISC_QUAD id = readAt<ISC_QUAD>(row, c.offset);
    Status status;
    Firebird::IBlob* blob = attachment->openBlob(&status, transaction, &id, 0, nullptr);
    QByteArray content;
    try {
      char segment[16384];
      for (;;) {
        unsigned length = 0;
        const int result = blob->getSegment(&status, sizeof segment, segment, &length);
        if (result == Firebird::IStatus::RESULT_NO_DATA) break;
        content.append(segment, qsizetype(length));
      }
      blob->close(&status);
    } catch (...) {
      blob->release();
      throw;
    }
    writeAt<std::uint64_t>(row, c.offset, blobs.size());
    blobs.push_back(std::move(content));
  }
}

}  // namespace margivo::detail
