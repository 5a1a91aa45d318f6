#include "framework/db/database.h"

#include <QFile>
#include <array>
#include <atomic>
#include <csignal>
#include <vector>

#include "framework/db/cursor_p.h"
#include "framework/db/database_p.h"
#include "framework/db/encoding_p.h"
#include "framework/db/firebird_p.h"
#include "framework/db/sqltext_p.h"

namespace margivo {

using detail::Status;

namespace detail {

std::shared_ptr<PreparedStatement> DatabaseImpl::prepare(Firebird::ITransaction* transaction,
                                                         const QByteArray& sql,
                                                         const QString& display) {
  bool cache = reusesStatements;
  if (cache) {
    if (std::shared_ptr<PreparedStatement> found = statements.find(sql)) {
      if (!found->inUse) return found;
      cache = false;  // its cursor is open: this run gets a statement of its own
    }
  }
  std::shared_ptr<PreparedStatement> prepared =
      PreparedStatement::prepare(attachment, transaction, sql, display);
  ++stats.prepares;
  if (cache) statements.insert(sql, prepared);
  return prepared;
}

void DatabaseImpl::closeCursors(Firebird::ITransaction* transaction) noexcept {
  std::vector<OpenCursor*> closing;
  for (OpenCursor* cursor : cursors) {
    if (!transaction || cursor->transaction == transaction) closing.push_back(cursor);
  }
  for (OpenCursor* cursor : closing) cursor->close();
}

}  // namespace detail

namespace {

QByteArray parameterBlock(const QString& user, const QString& password, bool creating) {
  Status status;
  Firebird::IXpbBuilder* dpb =
      detail::util()->getXpbBuilder(&status, Firebird::IXpbBuilder::DPB, nullptr, 0);
  QByteArray bytes;
  try {
    dpb->insertString(&status, isc_dpb_user_name, user.toLocal8Bit().constData());
    dpb->insertString(&status, isc_dpb_password, password.toLocal8Bit().constData());
    if (creating) {
      // The ERP's dialect. Files made here are tests and samples that can
      // be made again, so they are written without forced writes.
      dpb->insertInt(&status, isc_dpb_sql_dialect, int(detail::kSqlDialect));
      dpb->insertInt(&status, isc_dpb_force_write, 0);
    }
    bytes = QByteArray(reinterpret_cast<const char*>(dpb->getBuffer(&status)),
                       qsizetype(dpb->getBufferLength(&status)));
  } catch (...) {
    dpb->dispose();
    throw;
  }
  dpb->dispose();
  return bytes;
}

// Ends what is open on the attachment before it goes away: transactions
// (open cursors first, then transactions, rolled back), then prepared
// statements.
void endEverything(detail::DatabaseImpl& impl) noexcept {
  impl.closeCursors(nullptr);
  for (detail::TransactionImpl* transaction : impl.transactions) {
    detail::rollbackQuietly(transaction->transaction);
  }
  impl.transactions.clear();
  impl.current = nullptr;
  impl.statements.clear();
}

#ifndef _WIN32
// The client library installs handlers of SIGINT and SIGTERM the first time
// it is used, and they shut every attachment down from a thread of the
// library's own, while the program's threads go on using them and while the
// program ends (which crashes it). The program decides how it ends: the
// dispositions there were before the library's first use are put back.
class KeepSignalHandlers {
 public:
  KeepSignalHandlers() {
    if (done_) return;
    for (std::size_t i = 0; i < kSignals.size(); ++i) ::sigaction(kSignals[i], nullptr, &saved_[i]);
  }
  ~KeepSignalHandlers() {
    if (done_.exchange(true)) return;
    for (std::size_t i = 0; i < kSignals.size(); ++i) ::sigaction(kSignals[i], &saved_[i], nullptr);
  }
  KeepSignalHandlers(const KeepSignalHandlers&) = delete;
  KeepSignalHandlers& operator=(const KeepSignalHandlers&) = delete;

 private:
  static constexpr std::array<int, 2> kSignals = {SIGINT, SIGTERM};
  // Only the first attach of the process needs this: the library installs
  // its handlers once.
  static inline std::atomic<bool> done_{false};
  std::array<struct sigaction, 2> saved_{};
};
#else
// Nothing to keep: the client installs no signal handlers here. (A
// user-provided constructor: the guard's variable is not an unused one.)
struct KeepSignalHandlers {
  KeepSignalHandlers() {}
};
#endif

// Takes the attachment away from cancel(): once this returns, no other
// thread uses the interface.
Firebird::IAttachment* takeAttachment(detail::DatabaseImpl& impl) noexcept {
  const std::lock_guard lock(impl.attachmentMutex);
  Firebird::IAttachment* attachment = impl.attachment;
  impl.attachment = nullptr;
  return attachment;
}

}  // namespace

Database::Database() : impl_(std::make_unique<detail::DatabaseImpl>()) {
  impl_->provider = detail::master()->getDispatcher();
}

Database::~Database() {
  detach();
  impl_->provider->release();
}

void Database::attach(const QString& name, const QString& user, const QString& password) {
  open(name, user, password, false);
}

void Database::create(const QString& path, const QString& user, const QString& password) {
  open(path, user, password, true);
}

void Database::open(const QString& name, const QString& user, const QString& password,
                    bool creating) {
  detach();
  const QByteArray dpb = parameterBlock(user, password, creating);
  const QByteArray file = QFile::encodeName(name);
  const auto* bytes = reinterpret_cast<const unsigned char*>(dpb.constData());
  Firebird::IAttachment* attachment = nullptr;
  try {
    const KeepSignalHandlers keep;
    Status status;
    attachment = creating ? impl_->provider->createDatabase(&status, file.constData(),
                                                            unsigned(dpb.size()), bytes)
                          : impl_->provider->attachDatabase(&status, file.constData(),
                                                            unsigned(dpb.size()), bytes);
  } catch (const Firebird::FbException& error) {
    // A server holds the file, which the embedded engine then cannot open.
    const DatabaseError::Kind kind = detail::hasErrorCode(error.getStatus(), isc_already_opened)
                                         ? DatabaseError::Kind::FileInUse
                                         : DatabaseError::Kind::Failure;
    throw DatabaseError(QStringLiteral("cannot %1 database %2: %3")
                            .arg(creating ? QStringLiteral("create") : QStringLiteral("attach to"),
                                 name, detail::statusMessage(error.getStatus())),
                        kind);
  }
  const std::lock_guard lock(impl_->attachmentMutex);
  impl_->attachment = attachment;
  impl_->name = name;
}

void Database::detach() noexcept {
  if (!impl_->attachment) return;
  endEverything(*impl_);
  Firebird::IAttachment* attachment = takeAttachment(*impl_);
  try {
    Status status;
    attachment->detach(&status);  // releases the interface on success
  } catch (...) {
    attachment->release();
  }
}

void Database::drop() {
  if (!impl_->attachment) {
    throw DatabaseError(QStringLiteral("cannot drop database %1: not attached").arg(impl_->name));
  }
  endEverything(*impl_);
  Firebird::IAttachment* attachment = takeAttachment(*impl_);
  try {
    Status status;
    attachment->dropDatabase(&status);  // releases the interface on success
  } catch (const Firebird::FbException& error) {
    const QString message = detail::statusMessage(error.getStatus());
    try {
      Status status;
      attachment->detach(&status);
    } catch (...) {
      attachment->release();
    }
    throw DatabaseError(QStringLiteral("cannot drop database %1: %2").arg(impl_->name, message));
  }
}

bool Database::attached() const noexcept { return impl_->attachment != nullptr; }

QString Database::name() const { return impl_->name; }

namespace {

void cancelOperation(detail::DatabaseImpl& impl, int option) noexcept {
  const std::lock_guard lock(impl.attachmentMutex);
  if (!impl.attachment) return;
  try {
    Status status;
    impl.attachment->cancelOperation(&status, option);
  } catch (...) {
    // Nothing was running, or the attachment is already gone: nothing to
    // stop.
  }
}

}  // namespace

void Database::cancel() noexcept { cancelOperation(*impl_, fb_cancel_raise); }

void Database::abort() noexcept { cancelOperation(*impl_, fb_cancel_abort); }

void Database::executeImmediate(const QString& sql) {
  if (impl_->attachment && detail::changesMetadata(sql)) impl_->statements.clear();
  Transaction transaction(*this, TransactionKind::ReadWrite);
  const QByteArray bytes = detail::encodeText(sql);
  try {
    Status status;
    impl_->attachment->execute(&status, transaction.impl()->transaction, unsigned(bytes.size()),
                               bytes.constData(), detail::kSqlDialect, nullptr, nullptr, nullptr,
                               nullptr);
    ++impl_->stats.executions;
  } catch (const Firebird::FbException& error) {
    detail::throwDatabaseError(error, sql);
  }
  try {
    transaction.commit();
  } catch (const DatabaseError& error) {
    detail::throwDatabaseError(error.message(), sql, error.kind());
  }
}

void Database::executeScript(const QString& script) {
  for (const QString& statement : detail::splitScript(script)) executeImmediate(statement);
}

Transaction* Database::currentTransaction() const noexcept { return impl_->current; }

void Database::setCurrentTransaction(Transaction* transaction) noexcept {
  impl_->current = transaction;
}

DatabaseStats Database::stats() const noexcept { return impl_->stats; }

void Database::setReusesStatements(bool reuse) noexcept {
  impl_->reusesStatements = reuse;
  if (!reuse) impl_->statements.clear();
}

bool Database::reusesStatements() const noexcept { return impl_->reusesStatements; }

}  // namespace margivo
