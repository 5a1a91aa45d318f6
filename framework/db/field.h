// One column of a query's current row (Query::fieldByName, Query::field), or
// of a row as it is fetched (FetchedRow, for Query::setRowObserver).
//
// A null column, or any column when there is no current row (empty result,
// or after the last row), reads as 0, empty text or the zero date. Text
// columns are decoded as UTF-8 when the bytes are valid UTF-8 and as
// Windows-1252 otherwise; CHAR columns lose their padding blanks.
//
// Errors: conversions of text that does not read as a number or a date
// throw ConversionError naming the text.
#pragma once

#include <QLatin1StringView>
#include <QString>

#include "framework/datetime.h"

namespace margivo {

class Query;
namespace detail {
struct QueryImpl;
}

// One column of the query's current row (or of a fetched row). Cheap to
// copy; valid while the query is not reopened or closed (a fetched row's,
// while its observer runs).
class Field {
 public:
  bool isNull() const;
  QString asString() const;      // dates as formatDateTime(), numbers as text
  double asFloat() const;        // text is converted with textToFloat()
  qint64 asInteger() const;      // floats are rounded to the nearest integer
  TDateTime asDateTime() const;  // text is converted with parseDate()
  QString name() const;

 private:
  friend class Query;
  friend class FetchedRow;
  Field(const detail::QueryImpl* query, int index, const char* row = nullptr)
      : query_(query), index_(index), row_(row) {}
  const detail::QueryImpl* query_;
  int index_;
  const char* row_;  // a fetched row, read instead of the current one
};

// A row of a result as it is fetched, before the reader reaches it: what a
// row observer (Query::setRowObserver) is given. Its columns read as those of
// the current row do. Only the result's description is shared with the
// reader, so it can be read on the read-ahead's own thread.
class FetchedRow {
 public:
  // The column's index for field(), or -1 when the result has none.
  int fieldIndex(QLatin1StringView name) const noexcept;
  // Column `index` of this row. Throws DatabaseError when there is none.
  Field field(int index) const;
  // Throws DatabaseError naming the column when the result has none.
  Field fieldByName(QLatin1StringView name) const;

 private:
  friend struct detail::QueryImpl;
  FetchedRow(const detail::QueryImpl* query, const char* row) : query_(query), row_(row) {}
  const detail::QueryImpl* query_;
  const char* row_;
};

}  // namespace margivo
