// The query object every statement of the program goes through.
//
// Statement text is built line by line (sql()), the lines joined by "\n".
// Parameters are named in the text as ":Name" (letters, digits, '_'); they
// are found on the client, skipping string literals ('...' and "...") and
// comments, and one name may appear several times. Setting a parameter that
// the text does not name throws, and so does opening while a parameter the
// text names has no value (setNull() gives it a null).
//
// open() prepares the statement (once per attachment and text), executes it
// and fetches the whole result into memory, so that first(), last(), next()
// and prior() move freely and no cursor or transaction stays open. The query
// then stays "active" until close() or the next open().
//
// A result too large to keep is read forward only (setUnidirectional()):
// open() then positions on the first row with the cursor left open, and each
// next() fetches one row into the same buffer. The cursor closes as soon as
// the last row is read, at close(), when the query is destroyed, when an
// error happens, and when its transaction ends or the database detaches (see
// the REQUIRES below). Rows picked on the way can be kept for a later pass
// (retainRow(), useRetainedRows()).
//
// Reading columns: fieldByName() finds a column without regard to letter
// case and gives a Field (field.h) to read it with.
//
// Stopping: Database::cancel(), from another thread, stops a running open()
// or next() (a fetch ahead included) with a DatabaseError whose cancelled()
// is true; the query is then closed.
//
// Errors: methods that are not noexcept may throw DatabaseError (message of
// the database plus the statement's first line) or ConversionError.
#pragma once

#include <QString>
#include <QStringList>
#include <cstddef>
#include <functional>
#include <memory>

#include "framework/datetime.h"
#include "framework/db/database.h"
#include "framework/db/field.h"

namespace margivo {

namespace detail {
struct QueryImpl;
}

class Query {
 public:
  // REQUIRES: database (when given) outlives the query.
  explicit Query(Database* database = nullptr);
  ~Query();
  Query(const Query&) = delete;
  Query& operator=(const Query&) = delete;

  void setDatabase(Database* database);
  Database* database() const noexcept;
  // Runs in `transaction` instead of the attachment's current one or a short
  // one of its own; nullptr goes back to that default.
  void setTransaction(Transaction* transaction) noexcept;

  // The statement's lines. Changing them takes effect at the next open().
  QStringList& sql() noexcept;
  const QStringList& sql() const noexcept;

  // Parameters, by name without the colon, compared without regard to case.
  // Values are converted to the type the database describes for the
  // parameter (text to a date with parseDate(), a date to text with
  // formatDate(), and so on). Values stay set until the text changes. A
  // text is never cut: open() throws DatabaseError naming the parameter
  // when it is longer than its column (blanks aside) or than the 32,765
  // bytes a text parameter carries.
  void setString(const QString& name, const QString& value);
  void setFloat(const QString& name, double value);
  void setInteger(const QString& name, qint64 value);
  void setDate(const QString& name, TDateTime value);
  void setNull(const QString& name);

  // Whether ":Name" marks parameters (default true). Off, the text is sent
  // as it is - as a procedural block needs, whose ":Name" are its own
  // variables - and each '?' is a parameter named by its position: "1",
  // "2"... Takes effect at the next open(); the values set are dropped.
  void setParamCheck(bool paramCheck) noexcept;

  // Prepares, executes and fetches all rows; positions on the first row.
  // Reading forward only: executes and fetches the first row.
  void open();
  // Executes a statement without result set. REQUIRES: a ReadWrite
  // transaction (setTransaction) - the program itself never writes.
  void execSQL();
  void close() noexcept;
  bool active() const noexcept;

  // Forward-only reading (default false), from the next open() on.
  // REQUIRES: while its cursor is open, the transaction the query reads in
  // (setTransaction(), or the attachment's current one) stays active; ending
  // it closes the cursor and the query reads as if past its last row.
  void setUnidirectional(bool unidirectional) noexcept;
  bool unidirectional() const noexcept;
  // Reading forward only, fetch the next rows on a thread of their own while
  // the caller works on the current one (default false; from the next
  // open() on). Worth it when the caller does real work per row: a caller
  // that only reads the rows gains nothing and pays the hand-over. A result
  // with blob columns is always fetched row by row.
  void setReadAhead(bool readAhead) noexcept;
  // Calls `observer` with each row of the result as it is fetched, in order
  // and before the reader can reach it, from the next open() on: when rows
  // are fetched ahead (setReadAhead), on a thread of its own between the
  // fetching one and the reader, otherwise on the caller's, within open() or
  // next(). Work done there on every row overlaps with the reader's and
  // with the fetch. An exception it throws is the fetch's: the
  // reader gets it after the rows before. REQUIRES: it touches nothing the
  // reader uses meanwhile, and no Query but through the FetchedRow.
  using RowObserver = std::function<void(const FetchedRow&)>;
  void setRowObserver(RowObserver observer);

  bool isEmpty() const noexcept;
  // Rows of the result; reading forward only, the rows fetched so far.
  int recordCount() const noexcept;
  // Reading forward only, first() is a no-op on the first row and last()
  // and prior() do nothing. REQUIRES: not reading forward only, except
  // first() on the first row.
  void first() noexcept;
  void last() noexcept;
  // Reading forward only, fetches the next row; a failed fetch closes the
  // query and throws DatabaseError. Otherwise never throws.
  void next();
  void prior() noexcept;
  bool eof() const noexcept;  // past the last row (or empty)
  bool bof() const noexcept;

  // Copies the current row (blob contents included) to be read again after
  // the last one. REQUIRES: reading forward only, on a row (otherwise does
  // nothing).
  void retainRow();
  // Turns the query into an ordinary in-memory result of the retained rows,
  // in the order they were retained, positioned on the first; forward-only
  // reading is off until set again. REQUIRES: reading forward only and past
  // the last row (before the end, the rows not read are dropped; when not
  // reading forward only, does nothing).
  void useRetainedRows() noexcept;

  int fieldCount() const noexcept;
  QString fieldName(int index) const;
  bool hasField(const QString& name) const noexcept;
  bool hasField(QLatin1StringView name) const noexcept;
  // Throws DatabaseError naming the column and the statement's first line
  // when the result has no such column.
  Field fieldByName(const QString& name) const;
  // The same without building a QString. Look-ups of one name from one place
  // in the code (a string literal) are remembered by the address of its
  // characters for as long as the result keeps its columns.
  Field fieldByName(QLatin1StringView name) const;
  // A string literal goes the Latin-1 way; one with characters outside
  // ASCII is read as UTF-8, as QString reads it.
  template <std::size_t N>
  Field fieldByName(const char (&name)[N]) const {
    return fieldByLiteral(name);
  }
  template <std::size_t N>
  bool hasField(const char (&name)[N]) const noexcept {
    return hasLiteralField(name);
  }
  // The column's index for field(), or -1 when the result has none.
  int fieldIndex(QLatin1StringView name) const noexcept;
  // Column `index` (0-based, in the order of the select list). Throws
  // DatabaseError when there is no such column.
  Field field(int index) const;

  // The statement's first line, as errors quote it.
  QString firstLine() const;

  detail::QueryImpl* impl() const noexcept { return impl_.get(); }

 private:
  Field fieldByLiteral(const char* name) const;
  bool hasLiteralField(const char* name) const noexcept;
  std::unique_ptr<detail::QueryImpl> impl_;
};

}  // namespace margivo
