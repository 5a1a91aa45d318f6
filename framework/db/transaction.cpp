#include "framework/db/database_p.h"
#include "framework/db/firebird_p.h"

namespace margivo {

using detail::Status;

namespace detail {

Firebird::ITransaction* DatabaseImpl::startTransaction(TransactionKind kind) {
  // Explicit parameters every time: an empty block would mean a read-write
  // snapshot that waits on locks, and a snapshot left open holds back the
  // ERP's garbage collection.
  static const unsigned char readCommitted[] = {
      isc_tpb_version3, isc_tpb_read, isc_tpb_read_committed, isc_tpb_rec_version, isc_tpb_nowait};
  static const unsigned char snapshot[] = {isc_tpb_version3, isc_tpb_read, isc_tpb_concurrency,
                                           isc_tpb_nowait};
  static const unsigned char readWrite[] = {isc_tpb_version3, isc_tpb_write, isc_tpb_concurrency,
                                            isc_tpb_wait};
  const unsigned char* tpb = readCommitted;
  unsigned length = sizeof readCommitted;
  if (kind == TransactionKind::Snapshot) {
    tpb = snapshot;
    length = sizeof snapshot;
  } else if (kind == TransactionKind::ReadWrite) {
    tpb = readWrite;
    length = sizeof readWrite;
  }
  if (!attachment) throwDatabaseError(QStringLiteral("the database is not attached"), QString());
  try {
    Status status;
    Firebird::ITransaction* transaction = attachment->startTransaction(&status, length, tpb);
    ++stats.transactions;
    return transaction;
  } catch (const Firebird::FbException& error) {
    throwDatabaseError(error, QString());
  }
}

}  // namespace detail

// ---------------------------------------------------------------------------
// Transaction

Transaction::Transaction(Database& database, TransactionKind kind)
    : database_(database), kind_(kind), impl_(std::make_unique<detail::TransactionImpl>()) {
  detail::DatabaseImpl* db = database.impl();
  impl_->database = db;
  impl_->transaction = db->startTransaction(kind);
  db->transactions.insert(impl_.get());
}

Transaction::~Transaction() {
  rollback();
  if (database_.currentTransaction() == this) database_.setCurrentTransaction(nullptr);
}

void Transaction::commit() {
  if (!impl_->transaction) {
    throw DatabaseError(QStringLiteral("cannot commit: the transaction has already ended"));
  }
  impl_->database->closeCursors(impl_->transaction);
  try {
    Status status;
    impl_->transaction->commit(&status);  // releases the interface on success
    impl_->transaction = nullptr;
    impl_->database->transactions.erase(impl_.get());
  } catch (const Firebird::FbException& error) {
    rollback();
    detail::throwDatabaseError(error, QString());
  }
}

void Transaction::rollback() noexcept {
  if (!impl_->transaction) return;
  impl_->database->closeCursors(impl_->transaction);
  detail::rollbackQuietly(impl_->transaction);
  impl_->database->transactions.erase(impl_.get());
}

bool Transaction::active() const noexcept { return impl_->transaction != nullptr; }

TransactionKind Transaction::kind() const noexcept { return kind_; }

Database& Transaction::database() const noexcept { return database_; }

// ---------------------------------------------------------------------------
// ReadScope

ReadScope::ReadScope(Database& database)
    : database_(database),
      previous_(database.currentTransaction()),
      transaction_(std::make_unique<Transaction>(database, TransactionKind::Snapshot)) {
  database_.setCurrentTransaction(transaction_.get());
}

ReadScope::~ReadScope() {
  try {
    end();
  } catch (...) {
    // Only reads ran in the snapshot: ending it without a commit loses
    // nothing; the transaction rolled itself back.
  }
}

void ReadScope::end() {
  if (!transaction_) return;
  // Put the previous transaction back first, so that a failed commit leaves
  // no dead transaction as the attachment's current one.
  if (database_.currentTransaction() == transaction_.get()) {
    database_.setCurrentTransaction(previous_);
  }
  std::unique_ptr<Transaction> transaction = std::move(transaction_);
  if (transaction->active()) transaction->commit();
}

}  // namespace margivo
