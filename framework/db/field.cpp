#include "framework/db/field.h"

#include <cmath>

#include "framework/db/conversion_p.h"
#include "framework/db/encoding_p.h"
#include "framework/db/query.h"
#include "framework/db/query_p.h"
#include "framework/db/sqltext_p.h"
#include "framework/regional.h"

namespace margivo {

using detail::floatToText;
using detail::readAt;
using detail::scaled;

// ---------------------------------------------------------------------------
// Finding a column of the result

namespace {

int columnCount(const detail::QueryImpl& q) { return q.layout ? int(q.layout->columns.size()) : 0; }

[[noreturn]] void throwNoColumnNumber(const detail::QueryImpl& q, int index) {
  detail::throwDatabaseError(QStringLiteral("the result has no column number %1").arg(index),
                             q.sql.join(u'\n'));
}

}  // namespace

int Query::fieldCount() const noexcept { return columnCount(*impl_); }

QString Query::fieldName(int index) const {
  if (index < 0 || index >= fieldCount()) {
    detail::throwDatabaseError(QStringLiteral("the result has no column number %1").arg(index),
                               impl_->parsed.text);
  }
  return impl_->column(index).name;
}

namespace {

[[noreturn]] void throwMissingColumn(const detail::QueryImpl& q, const QString& name) {
  const QString text = q.sql.join(u'\n');
  if (!q.active) {
    detail::throwDatabaseError(
        QStringLiteral("column %1 asked of a query that is not open").arg(name), text);
  }
  detail::throwDatabaseError(QStringLiteral("the result has no column %1").arg(name), text);
}

}  // namespace

bool Query::hasField(const QString& name) const noexcept { return impl_->findColumn(name) >= 0; }

bool Query::hasField(QLatin1StringView name) const noexcept { return impl_->findColumn(name) >= 0; }

int Query::fieldIndex(QLatin1StringView name) const noexcept { return impl_->findColumn(name); }

Field Query::fieldByName(const QString& name) const {
  const int index = impl_->findColumn(name);
  if (index < 0) throwMissingColumn(*impl_, name);
  return Field(impl_.get(), index);
}

Field Query::fieldByName(QLatin1StringView name) const {
  const int index = impl_->findColumn(name);
  if (index < 0) throwMissingColumn(*impl_, name);
  return Field(impl_.get(), index);
}

Field Query::field(int index) const {
  if (index < 0 || index >= fieldCount()) throwNoColumnNumber(*impl_, index);
  return Field(impl_.get(), index);
}

namespace {

bool isAscii(const char* text) {
  for (; *text; ++text) {
    if (static_cast<unsigned char>(*text) >= 0x80) return false;
  }
  return true;
}

}  // namespace

Field Query::fieldByLiteral(const char* name) const {
  if (isAscii(name)) return fieldByName(QLatin1StringView(name));
  return fieldByName(QString::fromUtf8(name));
}

bool Query::hasLiteralField(const char* name) const noexcept {
  if (isAscii(name)) return hasField(QLatin1StringView(name));
  return hasField(QString::fromUtf8(name));
}

QString Query::firstLine() const { return detail::firstLineOf(impl_->sql.join(u'\n')); }

// ---------------------------------------------------------------------------
// Reading a column of the current row

namespace {

// The bytes of a text column, without copying them.
QByteArrayView textBytes(const detail::QueryImpl& q, const detail::Column& c, const char* data) {
  switch (c.type) {
    case SQL_TEXT: {
      // CHAR columns come padded with blanks.
      qsizetype size = qsizetype(c.length);
      while (size > 0 && data[size - 1] == ' ') --size;
      return QByteArrayView(data, size);
    }
    case SQL_VARYING:
      return QByteArrayView(data + 2, readAt<unsigned short>(data, 0));
    case SQL_BLOB:
      return QByteArrayView(q.blobs[readAt<std::uint64_t>(data, 0)]);
    default:
      return QByteArrayView();
  }
}

qint64 integerOf(const detail::Column& c, const char* data) {
  switch (c.type) {
    case SQL_SHORT:
      return readAt<qint16>(data, 0);
    case SQL_LONG:
      return readAt<qint32>(data, 0);
    default:
      return readAt<qint64>(data, 0);
  }
}

TDateTime dateOf(const detail::Column& c, const char* data) {
  switch (c.type) {
    case SQL_TIMESTAMP: {
      const auto stamp = readAt<ISC_TIMESTAMP>(data, 0);
      return detail::fromIsc(stamp.timestamp_date, stamp.timestamp_time);
    }
    case SQL_TYPE_DATE:
      return detail::fromIsc(readAt<ISC_DATE>(data, 0), 0);
    default:
      return detail::fromIscTime(readAt<ISC_TIME>(data, 0));
  }
}

// One column of the current row: `data` is nullptr when it reads as null.
struct Cell {
  const detail::QueryImpl& query;
  const detail::Column& column;
  const char* data;
};

// A Field kept past close() or a reopen with fewer columns reads as null
// rather than reaching into a result that is gone.
Cell cellOf(const detail::QueryImpl* query, int index, const char* row) {
  static const detail::Column none;
  const detail::QueryImpl& q = *query;
  if (index < 0 || index >= columnCount(q)) return Cell{q, none, nullptr};
  if (!row) return Cell{q, q.column(index), q.data(index)};
  const detail::Column& c = q.column(index);
  return Cell{q, c, readAt<short>(row, c.nullOffset) != 0 ? nullptr : row + c.offset};
}

}  // namespace

int FetchedRow::fieldIndex(QLatin1StringView name) const noexcept {
  // The reader's memo of names is not touched: it may be using it.
  return query_->layout ? query_->layout->find(name) : -1;
}

Field FetchedRow::fieldByName(QLatin1StringView name) const {
  const int index = fieldIndex(name);
  if (index < 0) throwMissingColumn(*query_, name);
  return Field(query_, index, row_);
}

Field FetchedRow::field(int index) const {
  if (index < 0 || index >= columnCount(*query_)) throwNoColumnNumber(*query_, index);
  return Field(query_, index, row_);
}

bool Field::isNull() const { return cellOf(query_, index_, row_).data == nullptr; }

QString Field::name() const { return cellOf(query_, index_, row_).column.name; }

QString Field::asString() const {
  const auto [q, c, data] = cellOf(query_, index_, row_);
  if (!data) return QString();
  switch (c.type) {
    case SQL_TEXT:
    case SQL_VARYING:
    case SQL_BLOB: {
      const QByteArrayView bytes = textBytes(q, c, data);
      return detail::decodeText(bytes.data(), std::size_t(bytes.size()));
    }
    case SQL_SHORT:
    case SQL_LONG:
    case SQL_INT64:
      if (c.scale == 0) return QString::number(integerOf(c, data));
      return floatToText(scaled(integerOf(c, data), c.scale));
    case SQL_FLOAT:
      return floatToText(readAt<float>(data, 0));
    case SQL_DOUBLE:
    case SQL_D_FLOAT:
      return floatToText(readAt<double>(data, 0));
    case SQL_TIMESTAMP:
    case SQL_TYPE_DATE:
      return formatDateTime(dateOf(c, data));
    case SQL_TYPE_TIME:
      return detail::iscTimeText(readAt<ISC_TIME>(data, 0));
    case SQL_BOOLEAN:
      return readAt<unsigned char>(data, 0) ? QStringLiteral("True") : QStringLiteral("False");
    default:
      return QString();
  }
}

double Field::asFloat() const {
  const auto [q, c, data] = cellOf(query_, index_, row_);
  if (!data) return 0;
  switch (c.type) {
    case SQL_SHORT:
    case SQL_LONG:
    case SQL_INT64:
      return scaled(integerOf(c, data), c.scale);
    case SQL_FLOAT:
      return readAt<float>(data, 0);
    case SQL_DOUBLE:
    case SQL_D_FLOAT:
      return readAt<double>(data, 0);
    case SQL_TIMESTAMP:
    case SQL_TYPE_DATE:
    case SQL_TYPE_TIME:
      return dateOf(c, data);
    case SQL_BOOLEAN:
      return readAt<unsigned char>(data, 0) ? 1 : 0;
    case SQL_TEXT:
    case SQL_VARYING:
    case SQL_BLOB:
      return textToFloat(asString().trimmed());
    default:
      return 0;
  }
}

qint64 Field::asInteger() const {
  const auto [q, c, data] = cellOf(query_, index_, row_);
  if (!data) return 0;
  switch (c.type) {
    case SQL_SHORT:
    case SQL_LONG:
    case SQL_INT64:
      if (c.scale == 0) return integerOf(c, data);
      return std::llround(scaled(integerOf(c, data), c.scale));
    case SQL_TEXT:
    case SQL_VARYING:
    case SQL_BLOB: {
      const QString text = asString().trimmed();
      if (text.isEmpty()) return 0;
      bool ok = false;
      const qint64 value = text.toLongLong(&ok);
      if (!ok) {
        throw ConversionError(QStringLiteral("\"%1\" is not a whole number (column %2)")
                                  .arg(text, c.name)
                                  .toStdString());
      }
      return value;
    }
    default:
      return std::llround(asFloat());
  }
}

TDateTime Field::asDateTime() const {
  const auto [q, c, data] = cellOf(query_, index_, row_);
  if (!data) return 0;
  switch (c.type) {
    case SQL_TEXT:
    case SQL_VARYING:
    case SQL_BLOB: {
      const QString text = asString().trimmed();
      return text.isEmpty() ? 0 : parseDate(text);
    }
    default:
      return asFloat();
  }
}

}  // namespace margivo
