// One column of a query's current row (Query::fieldByName, Query::field).
//
// A null column, or any column when there is no current row (empty result,
// or after the last row), reads as 0, empty text or the zero date. Text
// columns are decoded as UTF-8 when the bytes are valid UTF-8 and as
// Windows-1252 otherwise; CHAR columns lose their padding blanks.
//
// Errors: conversions of text that does not read as a number or a date
// throw ConversionError naming the text.
#pragma once

#include <QString>

#include "framework/datetime.h"

namespace margivo {

class Query;

// One column of the query's current row. Cheap to copy; valid while the
// query is not reopened or closed.
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
  Field(const Query* query, int index) : query_(query), index_(index) {}
  const Query* query_;
  int index_;
};

}  // namespace margivo
