// Internal header of the database layer: what database.cpp and query.cpp
// share about Firebird's C++ interface. Not part of the public interface;
// only the layer itself and its white-box tests include it.
#pragma once

#include <firebird/Interface.h>

#include <QByteArray>
#include <QHash>
#include <QString>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_set>
#include <vector>

#include "framework/database.h"

namespace margivo::detail {

// Every statement of the program is prepared in the ERP's dialect.
constexpr unsigned kSqlDialect = 1;
// Prepared statements kept per attachment. The engine uses a few dozen
// distinct texts, plus one per product code in the day-of-sale cost
// look-ups, which write their codes into the text.
constexpr std::size_t kStatementCacheSize = 256;

Firebird::IMaster* master();
Firebird::IUtil* util();

// A status vector that throws Firebird::FbException on error; pass &status.
class Status : public Firebird::ThrowStatusWrapper {
 public:
  Status() : Firebird::ThrowStatusWrapper(master()->getStatus()) {}
  ~Status() { status->dispose(); }
  Status(const Status&) = delete;
  Status& operator=(const Status&) = delete;
};

// The database's own message for a failed call, several lines joined by
// "\n" (IUtil::formatStatus).
QString statusMessage(Firebird::IStatus* status);

// Throws DatabaseError with the database's message and, when `statement` is
// not empty, the statement's first line.
[[noreturn]] void throwDatabaseError(const Firebird::FbException& error, const QString& statement);
[[noreturn]] void throwDatabaseError(const QString& message, const QString& statement);

// The first line of a statement that is not blank, without its padding
// blanks: how errors name the statement.
QString firstLineOf(const QString& statement);

// When `text` has a string literal ('...' or, in dialect 1, "...") or a
// comment (-- to the end of the line, /* ... */) starting at `i`, the index
// just past it; otherwise `i`. An unterminated one runs to the end.
qsizetype skipLiteralOrComment(const QString& text, qsizetype i);

// Text as the ERP stores it: Windows-1252 bytes when every character has
// one, otherwise UTF-8 (the database then keeps what it is given).
QByteArray encodeText(const QString& text);
// Bytes from the database: UTF-8 when they are valid UTF-8 (plain ASCII
// included), otherwise Windows-1252.
QString decodeText(const char* bytes, std::size_t size);

// One column of a result: where it lies in the output message and how to
// read it. A plain copy of the database's description, so that fetched rows
// stay readable after the statement is freed.
struct Column {
  QString name;    // alias, or field name when the column has none
  QByteArray key;  // the name in upper case when it is plain ASCII
  bool asciiName = true;
  unsigned type = 0;  // SQL_* without the nullable bit
  int subType = 0;
  int scale = 0;
  unsigned length = 0;
  unsigned offset = 0;
  unsigned nullOffset = 0;
};

struct Layout {
  std::vector<Column> columns;
  unsigned messageLength = 0;
  bool hasBlobs = false;

  // Columns by name without regard to case, as QString::compare with
  // Qt::CaseInsensitive finds them, the first of equal names winning. The
  // engine looks columns up dozens of times per row, so ASCII names (all of
  // the ERP's) are found through a hash of their upper-case form; the rare
  // other name is compared the slow way.
  std::vector<int> nameTable;   // open addressing, power-of-two size; -1 empty
  std::vector<int> otherNames;  // columns whose names are not plain ASCII, ascending

  // Fills `key`, `asciiName` and the tables above from the column names.
  void indexNames();
  // The index of the column called `name`, or -1.
  int find(QStringView name) const;
  int find(QLatin1StringView name) const;
  // True when column `index` has the ASCII name `name` (any letter case).
  bool hasAsciiName(int index, QLatin1StringView name) const noexcept;
};

// One input parameter as the database describes it.
struct Parameter {
  unsigned type = 0;
  int subType = 0;
  int scale = 0;
  unsigned length = 0;
  unsigned charSet = 0;
};

// The layout of one input message as it is sent.
struct InputShape {
  Firebird::IMessageMetadata* metadata = nullptr;
  std::vector<unsigned> offsets;
  std::vector<unsigned> nullOffsets;
  unsigned length = 0;

  InputShape() = default;
  InputShape(const InputShape&) = delete;
  InputShape& operator=(const InputShape&) = delete;
  ~InputShape() {
    if (metadata) metadata->release();
  }
};

// A statement prepared on an attachment. Shared by the attachment's cache
// and whoever runs it; freed when the last of them lets it go.
struct PreparedStatement {
  Firebird::IStatement* statement = nullptr;
  Firebird::IMessageMetadata* inputMetadata = nullptr;
  Firebird::IMessageMetadata* outputMetadata = nullptr;
  std::vector<Parameter> parameters;
  std::shared_ptr<const Layout> layout;
  bool hasCursor = false;
  // Input messages reshaped for the values given (text lengths, numbers
  // sent as int64 or double), by a signature of the value kinds. Small and
  // bounded: the same call site sends the same kinds every time.
  std::map<QByteArray, std::unique_ptr<InputShape>> inputShapes;
  // A cursor of it is open (forward-only reading): a statement has one
  // cursor at a time, so the same text then runs on a statement of its own.
  bool inUse = false;

  PreparedStatement() = default;
  PreparedStatement(const PreparedStatement&) = delete;
  PreparedStatement& operator=(const PreparedStatement&) = delete;
  ~PreparedStatement() { free(); }
  // Frees the statement and releases its metadata. REQUIRES: the
  // attachment is still attached, or already gone (then only releases).
  void free() noexcept;
};

// Fetches a cursor's rows on a thread of its own, a few batches ahead of
// the reader, so that the engine's work on the next rows overlaps with
// whatever the reader does with the current one. The client library
// serializes the calls made on one attachment, so the other statements the
// reader runs meanwhile are safe. Only fetchNext() runs on the thread; the
// rows come out in order, and a failed fetch comes out after the rows read
// before it.
class ReadAhead {
 public:
  // Starts fetching `messageLength`-byte rows from `cursor`.
  ReadAhead(Firebird::IResultSet* cursor, unsigned messageLength);
  // Stops the thread (after its current fetch) and waits for it.
  ~ReadAhead();
  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;

  // Copies the next row into `message`; false at the end. Rethrows the
  // error of a failed fetch (Firebird::FbException).
  bool next(char* message);

 private:
  struct Batch {
    std::vector<char> rows;  // `count` messages back to back
    std::size_t count = 0;
  };
  static constexpr std::size_t kRowsPerBatch = 64;
  static constexpr std::size_t kBatchesAhead = 8;

  void fetch() noexcept;

  Firebird::IResultSet* const cursor_;
  const unsigned messageLength_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Batch> ready_;   // fetched, not yet read
  std::vector<Batch> free_;   // read, to be filled again
  bool end_ = false;          // the thread has fetched its last row
  bool stop_ = false;         // the reader is gone
  std::exception_ptr error_;  // the failed fetch, after the rows before it
  Batch reading_;             // the batch the reader is on
  std::size_t position_ = 0;  // its next row
  std::thread thread_;
};

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

struct TransactionImpl {
  DatabaseImpl* database = nullptr;
  Firebird::ITransaction* transaction = nullptr;
};

struct DatabaseImpl {
  Firebird::IProvider* provider = nullptr;
  Firebird::IAttachment* attachment = nullptr;
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
  // Least recently used statement first.
  std::list<std::pair<QByteArray, std::shared_ptr<PreparedStatement>>> statements;
  QHash<QByteArray, decltype(statements)::iterator> statementIndex;

  // The statement for `sql` (final text, parameters as '?'): the cached one,
  // or one prepared now in `transaction` (and cached when statements are
  // reused). `display` is the text errors quote.
  std::shared_ptr<PreparedStatement> prepare(Firebird::ITransaction* transaction,
                                             const QByteArray& sql, const QString& display);
  void freeStatements() noexcept;
  // Closes the open cursors that read in `transaction`, or all of them when
  // it is nullptr.
  void closeCursors(Firebird::ITransaction* transaction) noexcept;

  // Starts a transaction of `kind` (explicit parameters, never the
  // library's defaults). REQUIRES: attached.
  Firebird::ITransaction* startTransaction(TransactionKind kind);
};

// Ends a transaction and releases its interface, whether or not the end
// succeeds. Used on paths that must not throw.
void rollbackQuietly(Firebird::ITransaction*& transaction) noexcept;

}  // namespace margivo::detail
