#include "framework/database.h"

#include <QFile>
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <vector>

#include "framework/db/fbclient.h"
#include "framework/firebird_p.h"
#include "framework/windows1252.h"

namespace margivo {

using detail::Status;

namespace detail {

Firebird::IMaster* master() {
  static Firebird::IMaster* const instance = firebirdMaster();
  return instance;
}

Firebird::IUtil* util() {
  static Firebird::IUtil* const instance = master()->getUtilInterface();
  return instance;
}

QString statusMessage(Firebird::IStatus* status) {
  std::array<char, 4096> buffer{};
  const unsigned length = util()->formatStatus(buffer.data(), buffer.size(), status);
  QString text =
      decodeText(buffer.data(), std::min<std::size_t>(length, std::strlen(buffer.data())));
  return text.trimmed();
}

void throwDatabaseError(const QString& message, const QString& statement) {
  const QString line = firstLineOf(statement);
  if (line.isEmpty()) throw DatabaseError(message);
  throw DatabaseError(message + QStringLiteral("\nin statement: ") + line);
}

void throwDatabaseError(const Firebird::FbException& error, const QString& statement) {
  throwDatabaseError(statusMessage(error.getStatus()), statement);
}

QString firstLineOf(const QString& statement) {
  for (const QStringView line : QStringView(statement).split(u'\n')) {
    const QStringView trimmed = line.trimmed();
    if (!trimmed.isEmpty()) return trimmed.toString();
  }
  return QString();
}

qsizetype skipLiteralOrComment(const QString& text, qsizetype i) {
  const qsizetype n = text.size();
  if (i >= n) return i;
  const QChar c = text[i];
  if (c == u'\'' || c == u'"') {
    qsizetype j = i + 1;
    while (j < n) {
      if (text[j] == c) {
        if (j + 1 < n && text[j + 1] == c) {  // a doubled quote is one quote
          j += 2;
          continue;
        }
        return j + 1;
      }
      ++j;
    }
    return n;
  }
  if (c == u'-' && i + 1 < n && text[i + 1] == u'-') {
    const qsizetype j = text.indexOf(u'\n', i);
    return j < 0 ? n : j;
  }
  if (c == u'/' && i + 1 < n && text[i + 1] == u'*') {
    const qsizetype j = text.indexOf(QStringLiteral("*/"), i + 2);
    return j < 0 ? n : j + 2;
  }
  return i;
}

namespace {

// How many bytes at the start of `p` are ASCII, eight at a time.
std::size_t asciiPrefix(const unsigned char* p, std::size_t size) {
  std::size_t i = 0;
  for (; i + 8 <= size; i += 8) {
    std::uint64_t word;
    std::memcpy(&word, p + i, sizeof word);
    if (word & 0x8080808080808080ull) break;
  }
  while (i < size && p[i] < 0x80) ++i;
  return i;
}

bool isValidUtf8(const unsigned char* p, std::size_t size) {
  std::size_t i = 0;
  while (i < size) {
    const unsigned char c = p[i];
    if (c < 0x80) {
      ++i;
      continue;
    }
    std::size_t extra;
    std::uint32_t code;
    if (c >= 0xC2 && c <= 0xDF) {
      extra = 1;
      code = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
      extra = 2;
      code = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      extra = 3;
      code = c & 0x07;
    } else {
      return false;
    }
    if (i + extra >= size) return false;
    for (std::size_t k = 1; k <= extra; ++k) {
      if ((p[i + k] & 0xC0) != 0x80) return false;
      code = (code << 6) | (p[i + k] & 0x3F);
    }
    // Overlong forms, surrogates and code points past U+10FFFF.
    if ((extra == 2 && code < 0x800) || (extra == 3 && (code < 0x10000 || code > 0x10FFFF)) ||
        (code >= 0xD800 && code <= 0xDFFF)) {
      return false;
    }
    i += extra + 1;
  }
  return true;
}

}  // namespace

QByteArray encodeText(const QString& text) {
  QByteArray bytes;
  if (toWindows1252(text, &bytes)) return bytes;
  return text.toUtf8();
}

QString decodeText(const char* bytes, std::size_t size) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes);
  // Most of the ERP's text is plain ASCII, which reads the same in every
  // encoding here: Latin-1 is the cheapest way to widen it.
  const std::size_t ascii = asciiPrefix(p, size);
  if (ascii == size) return QString::fromLatin1(bytes, qsizetype(size));
  if (isValidUtf8(p + ascii, size - ascii)) return QString::fromUtf8(bytes, qsizetype(size));
  return fromWindows1252(QByteArrayView(bytes, qsizetype(size)));
}

void rollbackQuietly(Firebird::ITransaction*& transaction) noexcept {
  if (!transaction) return;
  try {
    Status status;
    transaction->rollback(&status);  // releases the interface on success
  } catch (...) {
    transaction->release();
  }
  transaction = nullptr;
}

void PreparedStatement::free() noexcept {
  inputShapes.clear();
  if (inputMetadata) inputMetadata->release();
  if (outputMetadata) outputMetadata->release();
  inputMetadata = outputMetadata = nullptr;
  if (statement) {
    try {
      Status status;
      statement->free(&status);  // releases the interface on success
    } catch (...) {
      statement->release();
    }
    statement = nullptr;
  }
}

namespace {

std::shared_ptr<const Layout> describeOutput(Firebird::IMessageMetadata* meta) {
  Status status;
  auto layout = std::make_shared<Layout>();
  const unsigned count = meta->getCount(&status);
  layout->messageLength = meta->getMessageLength(&status);
  layout->columns.reserve(count);
  for (unsigned i = 0; i < count; ++i) {
    Column column;
    QByteArray name = meta->getAlias(&status, i);
    if (name.isEmpty()) name = meta->getField(&status, i);
    column.name = decodeText(name.constData(), std::size_t(name.size()));
    column.type = meta->getType(&status, i) & ~1u;
    column.subType = meta->getSubType(&status, i);
    column.scale = meta->getScale(&status, i);
    column.length = meta->getLength(&status, i);
    column.offset = meta->getOffset(&status, i);
    column.nullOffset = meta->getNullOffset(&status, i);
    if (column.type == SQL_BLOB) layout->hasBlobs = true;
    layout->columns.push_back(std::move(column));
  }
  layout->indexNames();
  return layout;
}

std::vector<Parameter> describeInput(Firebird::IMessageMetadata* meta) {
  Status status;
  std::vector<Parameter> parameters(meta->getCount(&status));
  for (unsigned i = 0; i < parameters.size(); ++i) {
    parameters[i].type = meta->getType(&status, i) & ~1u;
    parameters[i].subType = meta->getSubType(&status, i);
    parameters[i].scale = meta->getScale(&status, i);
    parameters[i].length = meta->getLength(&status, i);
    parameters[i].charSet = meta->getCharSet(&status, i);
  }
  return parameters;
}

}  // namespace

std::shared_ptr<PreparedStatement> DatabaseImpl::prepare(Firebird::ITransaction* transaction,
                                                         const QByteArray& sql,
                                                         const QString& display) {
  bool cache = reusesStatements;
  if (cache) {
    if (const auto found = statementIndex.constFind(sql); found != statementIndex.cend()) {
      statements.splice(statements.end(), statements, found.value());
      if (!found.value()->second->inUse) return found.value()->second;
      cache = false;  // its cursor is open: this run gets a statement of its own
    }
  }
  auto prepared = std::make_shared<PreparedStatement>();
  try {
    Status status;
    prepared->statement =
        attachment->prepare(&status, transaction, unsigned(sql.size()), sql.constData(),
                            kSqlDialect, Firebird::IStatement::PREPARE_PREFETCH_METADATA);
    ++stats.prepares;
    prepared->inputMetadata = prepared->statement->getInputMetadata(&status);
    prepared->outputMetadata = prepared->statement->getOutputMetadata(&status);
    prepared->parameters = describeInput(prepared->inputMetadata);
    prepared->layout = describeOutput(prepared->outputMetadata);
    prepared->hasCursor =
        (prepared->statement->getFlags(&status) & Firebird::IStatement::FLAG_HAS_CURSOR) != 0;
  } catch (const Firebird::FbException& error) {
    throwDatabaseError(error, display);
  }
  if (!cache) return prepared;
  // A statement dropped from the cache while its cursor is open lives on
  // with the cursor.
  while (statements.size() >= kStatementCacheSize) {
    statementIndex.remove(statements.front().first);
    statements.pop_front();
  }
  statements.emplace_back(sql, prepared);
  statementIndex.insert(sql, std::prev(statements.end()));
  return prepared;
}

void DatabaseImpl::freeStatements() noexcept {
  statementIndex.clear();
  statements.clear();  // each frees its statement unless a cursor still holds it
}

void DatabaseImpl::closeCursors(Firebird::ITransaction* transaction) noexcept {
  std::vector<OpenCursor*> closing;
  for (OpenCursor* cursor : cursors) {
    if (!transaction || cursor->transaction == transaction) closing.push_back(cursor);
  }
  for (OpenCursor* cursor : closing) cursor->close();
}

void OpenCursor::attach(DatabaseImpl* db) {
  database = db;
  db->cursors.insert(this);
}

ReadAhead::ReadAhead(Firebird::IResultSet* cursor, unsigned messageLength)
    : cursor_(cursor), messageLength_(messageLength) {
  thread_ = std::thread([this] { fetch(); });
}

ReadAhead::~ReadAhead() {
  {
    const std::lock_guard lock(mutex_);
    stop_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

void ReadAhead::fetch() noexcept {
  try {
    Status status;
    for (;;) {
      Batch batch;
      {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return stop_ || ready_.size() < kBatchesAhead; });
        if (stop_) return;
        if (!free_.empty()) {
          batch = std::move(free_.back());
          free_.pop_back();
        }
      }
      batch.rows.resize(kRowsPerBatch * messageLength_);
      batch.count = 0;
      bool end = false;
      std::exception_ptr error;
      try {
        while (batch.count < kRowsPerBatch) {
          char* row = batch.rows.data() + batch.count * messageLength_;
          if (cursor_->fetchNext(&status, row) != Firebird::IStatus::RESULT_OK) {
            end = true;
            break;
          }
          ++batch.count;
        }
      } catch (...) {
        error = std::current_exception();
      }
      {
        const std::lock_guard lock(mutex_);
        if (batch.count > 0) ready_.push_back(std::move(batch));
        end_ = end || error;
        error_ = error;
      }
      changed_.notify_all();
      if (end || error) return;
    }
  } catch (...) {
    // Out of memory for a status or a batch: the reader gets the error
    // after the rows fetched before it.
    const std::lock_guard lock(mutex_);
    error_ = std::current_exception();
    end_ = true;
    changed_.notify_all();
  }
}

bool ReadAhead::next(char* message) {
  if (position_ == reading_.count) {
    std::unique_lock lock(mutex_);
    if (reading_.count > 0) {
      free_.push_back(std::move(reading_));
      reading_ = Batch();
      position_ = 0;
      changed_.notify_all();
    }
    changed_.wait(lock, [this] { return !ready_.empty() || end_; });
    if (ready_.empty()) {
      if (error_) std::rethrow_exception(error_);
      return false;
    }
    reading_ = std::move(ready_.front());
    ready_.pop_front();
    position_ = 0;
    changed_.notify_all();
  }
  std::memcpy(message, reading_.rows.data() + position_ * messageLength_, messageLength_);
  ++position_;
  return true;
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

DatabaseError::DatabaseError(const QString& message) : std::runtime_error(message.toStdString()) {}

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
// Database

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

// Splits a script on ';' outside string literals and comments; drops pieces
// that hold only blanks and comments.
QStringList splitScript(const QString& script) {
  QStringList statements;
  QString current;
  bool meaningful = false;
  const qsizetype n = script.size();
  for (qsizetype i = 0; i < n;) {
    if (const qsizetype end = detail::skipLiteralOrComment(script, i); end != i) {
      const QChar c = script[i];
      if (c == u'\'' || c == u'"') meaningful = true;
      current += QStringView(script).mid(i, end - i);
      i = end;
      continue;
    }
    const QChar c = script[i++];
    if (c == u';') {
      if (meaningful) statements.append(current);
      current.clear();
      meaningful = false;
      continue;
    }
    if (!c.isSpace()) meaningful = true;
    current += c;
  }
  if (meaningful) statements.append(current);
  return statements;
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
  try {
    Status status;
    impl_->attachment = creating ? impl_->provider->createDatabase(&status, file.constData(),
                                                                   unsigned(dpb.size()), bytes)
                                 : impl_->provider->attachDatabase(&status, file.constData(),
                                                                   unsigned(dpb.size()), bytes);
  } catch (const Firebird::FbException& error) {
    throw DatabaseError(QStringLiteral("cannot %1 database %2: %3")
                            .arg(creating ? QStringLiteral("create") : QStringLiteral("attach to"),
                                 name, detail::statusMessage(error.getStatus())));
  }
  impl_->name = name;
}

namespace {

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
  impl.freeStatements();
}

}  // namespace

void Database::detach() noexcept {
  if (!impl_->attachment) return;
  endEverything(*impl_);
  try {
    Status status;
    impl_->attachment->detach(&status);  // releases the interface on success
  } catch (...) {
    impl_->attachment->release();
  }
  impl_->attachment = nullptr;
}

void Database::drop() {
  if (!impl_->attachment) {
    throw DatabaseError(QStringLiteral("cannot drop database %1: not attached").arg(impl_->name));
  }
  endEverything(*impl_);
  try {
    Status status;
    impl_->attachment->dropDatabase(&status);  // releases the interface on success
    impl_->attachment = nullptr;
  } catch (const Firebird::FbException& error) {
    const QString message = detail::statusMessage(error.getStatus());
    detach();
    throw DatabaseError(QStringLiteral("cannot drop database %1: %2").arg(impl_->name, message));
  }
}

bool Database::attached() const noexcept { return impl_->attachment != nullptr; }

QString Database::name() const { return impl_->name; }

namespace {

// True for statements that change metadata. A prepared statement keeps the
// tables it reads in use, and the engine refuses to drop or recreate a table
// in use, even by the same attachment.
bool changesMetadata(const QString& sql) {
  qsizetype i = 0;
  while (i < sql.size()) {
    if (sql[i].isSpace()) {
      ++i;
    } else if (const qsizetype end = detail::skipLiteralOrComment(sql, i); end != i) {
      i = end;
    } else {
      break;
    }
  }
  qsizetype j = i;
  while (j < sql.size() && sql[j].isLetter()) ++j;
  static const QStringList ddl = {"CREATE",  "ALTER", "DROP",   "RECREATE", "DECLARE",
                                  "COMMENT", "GRANT", "REVOKE", "SET"};
  return ddl.contains(sql.mid(i, j - i), Qt::CaseInsensitive);
}

}  // namespace

void Database::executeImmediate(const QString& sql) {
  if (impl_->attachment && changesMetadata(sql)) impl_->freeStatements();
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
    detail::throwDatabaseError(error.message(), sql);
  }
}

void Database::executeScript(const QString& script) {
  for (const QString& statement : splitScript(script)) executeImmediate(statement);
}

Transaction* Database::currentTransaction() const noexcept { return impl_->current; }

void Database::setCurrentTransaction(Transaction* transaction) noexcept {
  impl_->current = transaction;
}

DatabaseStats Database::stats() const noexcept { return impl_->stats; }

void Database::setReusesStatements(bool reuse) noexcept {
  impl_->reusesStatements = reuse;
  if (!reuse) impl_->freeStatements();
}

bool Database::reusesStatements() const noexcept { return impl_->reusesStatements; }

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
