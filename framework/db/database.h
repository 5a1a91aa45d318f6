// One attachment to a Firebird database, and its transactions.
//
// Every statement is prepared in SQL dialect 1, the ERP's dialect: string
// constants are written in double quotes ("S") and DATE holds a date and a
// time of day. The attachment asks for no character set, so text travels as
// the bytes the database stores (see query.h for how they are decoded).
//
// Threads. A Database and everything on it (transactions, queries) belong to
// the thread that uses them; only cancel() may be called from another one.
//
// Transactions. Nothing stays open between uses. A query that is given no
// transaction runs in the attachment's current read scope when one is open
// (a refresh reads through one consistent snapshot), and otherwise in a short
// read-only read-committed transaction of its own that ends as soon as the
// rows are fetched. The program never writes to the ERP database: writing
// needs an explicit Transaction of kind ReadWrite, which only the sample
// database tools and the tests use.
//
// Statements are prepared once per attachment: Database keeps them by text
// and reuses them until it detaches (unless told otherwise, see
// setReusesStatements()).
//
// Errors: every method that is not noexcept may throw DatabaseError, whose
// message holds the database's own message and, where a statement failed,
// that statement's first line. An operation stopped by cancel() throws one
// whose cancelled() is true.
#pragma once

#include <QString>
#include <cstdint>
#include <memory>
#include <stdexcept>

namespace margivo {

class DatabaseError : public std::runtime_error {
 public:
  enum class Kind {
    Failure,    // the database refused or failed the operation
    Cancelled,  // Database::cancel() stopped it
    // attach(): the file is open in another engine that keeps it to itself,
    // as a Firebird server does with the files it serves; the embedded
    // engine can then reach it only through that server.
    FileInUse,
  };
  explicit DatabaseError(const QString& message, Kind kind = Kind::Failure);
  QString message() const { return QString::fromUtf8(what()); }
  Kind kind() const noexcept { return kind_; }
  bool cancelled() const noexcept { return kind_ == Kind::Cancelled; }

 private:
  Kind kind_;
};

class Database;
namespace detail {
struct DatabaseImpl;
struct TransactionImpl;
}  // namespace detail

enum class TransactionKind {
  // read, read_committed, rec_version, nowait: single look-ups.
  ReadCommitted,
  // read, concurrency (snapshot), nowait: one consistent view for a refresh.
  Snapshot,
  // write, concurrency, wait: the sample database tools and tests only.
  ReadWrite,
};

// A started transaction; rolled back when destroyed without commit().
// REQUIRES: the Database outlives it.
class Transaction {
 public:
  Transaction(Database& database, TransactionKind kind);
  ~Transaction();
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;

  void commit();
  void rollback() noexcept;
  bool active() const noexcept;
  TransactionKind kind() const noexcept;
  Database& database() const noexcept;
  detail::TransactionImpl* impl() const noexcept { return impl_.get(); }

 private:
  Database& database_;
  TransactionKind kind_;
  std::unique_ptr<detail::TransactionImpl> impl_;
};

// Counters of the work done on an attachment, for benchmarks and diagnostics.
struct DatabaseStats {
  std::uint64_t prepares = 0;    // statements prepared (cache misses, or every run without reuse)
  std::uint64_t executions = 0;  // statements executed
  std::uint64_t rowsFetched = 0;
  std::uint64_t transactions = 0;  // transactions started (short ones included)
};

class Database {
 public:
  Database();
  ~Database();  // detaches
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  // Attaches to `name` ("/path/file.fdb" for the embedded engine,
  // "host:/path" or "host/port:/path" through a server) with exactly the user
  // name and password in the parameter block.
  void attach(const QString& name, const QString& user, const QString& password);
  // Frees the prepared statements, rolls back what is still open, detaches.
  void detach() noexcept;
  bool attached() const noexcept;
  QString name() const;

  // Stops the operation running on the attachment now, from any thread
  // (another thread, a close handler on the GUI thread; not a POSIX signal
  // handler). The open(), next(), execSQL() or commit running on the owning
  // thread ends with a DatabaseError whose cancelled() is true, and so does
  // the next() of a forward-only query whose rows a thread of its own was
  // fetching ahead. The attachment, its transactions and its prepared
  // statements stay usable. When nothing runs at that moment nothing is
  // stopped, and the next operation runs as usual: a caller that wants a
  // whole piece of work to end tells the work so too, and may cancel again
  // until it has. Does nothing when not attached.
  void cancel() noexcept;
  // Ends the attachment's connection now, from any thread but a signal
  // handler: the operation under way on the owning thread fails at once,
  // and so does every later one until detach(). For a program that is
  // ending, when a cancel() was not enough (a server may go on with a large
  // sort before it looks at the cancel request).
  void abort() noexcept;

  // Creates a new dialect 1 database file (no default character set) and
  // leaves this object attached to it. Tools and tests only.
  void create(const QString& path, const QString& user, const QString& password);
  // Deletes the attached database file and detaches. Tests only (a file
  // that a server serves can only be removed through it).
  void drop();

  // Runs one statement (DDL or DML) in its own ReadWrite transaction and
  // commits it. Tools and tests only.
  void executeImmediate(const QString& sql);
  // Runs a script of statements separated by ';' (outside string literals and
  // comments), committing after each one. Tools and tests only.
  void executeScript(const QString& script);

  // The transaction that queries without one of their own use; nullptr when
  // none is set. See ReadScope.
  Transaction* currentTransaction() const noexcept;
  void setCurrentTransaction(Transaction* transaction) noexcept;

  // Whether statements are kept prepared by text and reused by every query
  // of the attachment (default true). When false, every statement run is
  // prepared anew and freed when done (for forward-only reading, when its
  // cursor closes), as a program that sets a query's text and opens it each
  // time works; the statements kept so far are freed (those with an open
  // cursor when it closes).
  void setReusesStatements(bool reuse) noexcept;
  bool reusesStatements() const noexcept;

  DatabaseStats stats() const noexcept;
  detail::DatabaseImpl* impl() const noexcept { return impl_.get(); }

 private:
  void open(const QString& name, const QString& user, const QString& password, bool creating);
  std::unique_ptr<detail::DatabaseImpl> impl_;
};

// Opens a read-only snapshot transaction and makes it the attachment's
// current one for its lifetime; commits it when destroyed (or at end()).
// Used around a whole refresh so every look-up sees the same data.
class ReadScope {
 public:
  explicit ReadScope(Database& database);
  ~ReadScope();
  ReadScope(const ReadScope&) = delete;
  ReadScope& operator=(const ReadScope&) = delete;
  void end();  // commits now; may throw DatabaseError

 private:
  Database& database_;
  Transaction* previous_;
  std::unique_ptr<Transaction> transaction_;
};

}  // namespace margivo
