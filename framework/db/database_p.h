// Internal: what an attachment and its transactions hold. Not part of the
// public interface; only the layer itself and its white-box tests include it.
#pragma once

#include <firebird/Interface.h>

#include <QByteArray>
#include <QString>
#include <memory>
#include <mutex>
#include <unordered_set>

#include "framework/db/database.h"
#include "framework/db/statement_p.h"

namespace margivo::detail {

struct OpenCursor;

struct TransactionImpl {
  DatabaseImpl* database = nullptr;
  Firebird::ITransaction* transaction = nullptr;
};

struct DatabaseImpl {
  Firebird::IProvider* provider = nullptr;
  // Set and cleared by the thread that owns the Database, under
  // `attachmentMutex`; Database::cancel() reads it under the same lock from
  // any thread.
  Firebird::IAttachment* attachment = nullptr;
  std::mutex attachmentMutex;
  QString name;
  DatabaseStats stats;
  Transaction* current = nullptr;
  // Transactions started on this attachment and not yet ended; detaching
  // rolls them back.
  std::unordered_set<TransactionImpl*> transactions;
  // Cursors left open by forward-only reading.
  std::unordered_set<OpenCursor*> cursors;
  // Prepared statements kept by text (see Database::setReusesStatements).
  bool reusesStatements = true;
  StatementCache statements;

  // The statement for `sql` (final text, parameters as '?'): the cached one,
  // or one prepared now in `transaction` (and cached when statements are
  // reused). `display` is the text errors quote.
  std::shared_ptr<PreparedStatement> prepare(Firebird::ITransaction* transaction,
                                             const QByteArray& sql, const QString& display);
  // Closes the open cursors that read in `transaction`, or all of them when
  // it is nullptr.
  void closeCursors(Firebird::ITransaction* transaction) noexcept;
  // Starts a transaction of `kind` (explicit parameters, never the
  // library's defaults). REQUIRES: attached.
  Firebird::ITransaction* startTransaction(TransactionKind kind);
};

}  // namespace margivo::detail
