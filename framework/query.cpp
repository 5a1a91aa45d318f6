#include "framework/query.h"

#include <QSet>
#include <QTime>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <type_traits>
#include <utility>
#include <vector>

#include "framework/firebird_p.h"
#include "framework/regional.h"

namespace margivo {

using detail::Status;

namespace {

// ---------------------------------------------------------------------------
// Named parameters

bool isNameChar(QChar c) { return c.isLetterOrNumber() || c == u'_'; }

struct ParsedText {
  QStringList lines;               // the statement lines this was made from
  QString text;                    // the lines joined by "\n", as errors quote them
  QByteArray sql;                  // what is prepared: bytes, parameters as '?'
  std::vector<QString> positions;  // upper-case name of each '?', in order
  QSet<QString> names;
};

// Replaces every ":Name" outside string literals and comments by '?' and
// records the names in order. In dialect 1 double quotes delimit strings
// too, so a colon inside "..." is text.
// Without `paramCheck` the text goes as it is (a ":Name" in a procedural
// block is one of its variables) and each '?' is a parameter named by its
// position, "1", "2"...
void parseParameters(ParsedText& parsed, bool paramCheck) {
  const QString& text = parsed.text;
  QString out;
  out.reserve(text.size());
  const qsizetype n = text.size();
  qsizetype i = 0;
  while (i < n) {
    const QChar c = text[i];
    if (const qsizetype end = detail::skipLiteralOrComment(text, i); end != i) {
      out += QStringView(text).mid(i, end - i);
      i = end;
    } else if (!paramCheck) {
      if (c == u'?') {
        const QString name = QString::number(parsed.positions.size() + 1);
        parsed.positions.push_back(name);
        parsed.names.insert(name);
      }
      out += c;
      ++i;
    } else if (c == u':' && i + 1 < n && isNameChar(text[i + 1])) {
      qsizetype j = i + 1;
      while (j < n && isNameChar(text[j])) ++j;
      const QString name = text.mid(i + 1, j - i - 1).toUpper();
      parsed.positions.push_back(name);
      parsed.names.insert(name);
      out += u'?';
      i = j;
    } else {
      out += c;
      ++i;
    }
  }
  parsed.sql = detail::encodeText(out);
}

struct Value {
  enum class Kind { Null, Text, Float, Integer, Date } kind = Kind::Null;
  QString text;
  double number = 0;
  qint64 integer = 0;
};

// ---------------------------------------------------------------------------
// Dates: TDateTime counts days from 30/12/1899; the database counts them
// from 17/11/1858 and the time of day in units of 1/10000 s.

constexpr int kIscEpochOffset = 15018;
constexpr qint64 kMsPerDay = 86400000;
constexpr qint64 kIscTimeUnitsPerMs = 10;

// Before the epoch the day counts back and the time of day still counts
// forward: -1.25 is 29/12/1899 06:00.
TDateTime fromIsc(qint64 days, qint64 timeUnits) {
  const double fraction = double(timeUnits) / double(kMsPerDay * kIscTimeUnitsPerMs);
  const qint64 day = days - kIscEpochOffset;
  return day >= 0 ? double(day) + fraction : double(day) - fraction;
}

ISC_TIMESTAMP toIsc(TDateTime value) {
  if (!std::isfinite(value) || std::fabs(value) > 3.0e6) {
    throw ConversionError("date value out of range: " + std::to_string(value));
  }
  qint64 day = qint64(std::trunc(value));
  qint64 ms = std::llround(std::fabs(value - double(day)) * double(kMsPerDay));
  if (ms >= kMsPerDay) {
    ms -= kMsPerDay;
    day += value < 0 ? -1 : 1;
  }
  ISC_TIMESTAMP stamp;
  stamp.timestamp_date = ISC_DATE(day + kIscEpochOffset);
  stamp.timestamp_time = ISC_TIME(ms * kIscTimeUnitsPerMs);
  return stamp;
}

// Numbers written as text use the regional decimal separator, as the text
// the user sees and textToFloat() reads back.
QString floatToText(double value) {
  QString text = QString::number(value, 'g', 15);
  const QChar separator = regionalSettings().decimalSeparator;
  if (separator != u'.') text.replace(u'.', separator);
  return text;
}

template <typename T>
T readAt(const char* row, unsigned offset) {
  T value;
  std::memcpy(&value, row + offset, sizeof value);
  return value;
}

template <typename T>
void writeAt(char* buffer, unsigned offset, T value) {
  std::memcpy(buffer + offset, &value, sizeof value);
}

double powerOfTen(int exponent) {
  double result = 1;
  for (int i = 0; i < exponent; ++i) result *= 10;
  return result;
}

// ---------------------------------------------------------------------------
// Fetched rows. A row is kept packed: a null flag per column, then its
// value, a CHAR without its padding blanks and a VARCHAR with only the bytes
// it holds, so that a year of rows with wide text columns fits in little
// memory. The row being read is unpacked into a buffer laid out as the
// output message. Rows lie in chunks, so that a large result never needs
// one huge block or a copy while it grows.

class RowStore {
 public:
  // REQUIRES: `layout` outlives the rows (the query holds it).
  void reset(const detail::Layout* layout) {
    clear();
    layout_ = layout;
    maxPacked_ = layout->messageLength + 3 * layout->columns.size();
    message_.resize(layout->messageLength);
  }
  void clear() {
    chunks_.clear();
    starts_.clear();
    used_ = capacity_ = 0;
    unpacked_ = -1;
  }
  // Packs `message` (a row as the database wrote it) after the others.
  void append(const char* message) {
    // Most statements are look-ups of a row or a few: the first chunk is
    // small, and no chunk is cleared since every byte is written before it
    // is read.
    if (chunks_.empty() || used_ + maxPacked_ > capacity_) {
      capacity_ = std::max(chunks_.empty() ? kFirstChunkBytes : kChunkBytes, maxPacked_);
      chunks_.push_back(std::make_unique_for_overwrite<char[]>(capacity_));
      used_ = 0;
    }
    char* const start = chunks_.back().get() + used_;
    char* out = start;
    for (const detail::Column& c : layout_->columns) {
      const bool null = readAt<short>(message, c.nullOffset) != 0;
      *out++ = null ? 1 : 0;
      if (null) continue;
      const char* data = message + c.offset;
      if (c.type == SQL_VARYING || c.type == SQL_TEXT) {
        unsigned short size = 0;
        if (c.type == SQL_VARYING) {
          size = readAt<unsigned short>(data, 0);
          data += 2;
        } else {
          size = static_cast<unsigned short>(c.length);
          while (size > 0 && data[size - 1] == ' ') --size;
        }
        writeAt<unsigned short>(out, 0, size);
        std::memcpy(out + 2, data, size);
        out += 2 + size;
      } else {
        std::memcpy(out, data, c.length);
        out += c.length;
      }
    }
    starts_.push_back(start);
    used_ += std::size_t(out - start);
  }
  // Row `index` laid out as the output message; valid until the next call.
  const char* row(std::size_t index) const {
    if (unpacked_ != std::ptrdiff_t(index)) unpack(index);
    return message_.data();
  }
  std::size_t count() const { return starts_.size(); }

 private:
  static constexpr std::size_t kChunkBytes = 256 * 1024;
  static constexpr std::size_t kFirstChunkBytes = 4 * 1024;

  void unpack(std::size_t index) const {
    const char* in = starts_[index];
    char* message = message_.data();
    for (const detail::Column& c : layout_->columns) {
      const bool null = *in++ != 0;
      writeAt<short>(message, c.nullOffset, null ? -1 : 0);
      if (null) continue;
      char* data = message + c.offset;
      if (c.type == SQL_VARYING || c.type == SQL_TEXT) {
        const auto size = readAt<unsigned short>(in, 0);
        if (c.type == SQL_VARYING) {
          writeAt<unsigned short>(data, 0, size);
          data += 2;
        }
        std::memcpy(data, in + 2, size);
        if (c.type == SQL_TEXT) std::memset(data + size, ' ', c.length - size);
        in += 2 + size;
      } else {
        std::memcpy(data, in, c.length);
        in += c.length;
      }
    }
    unpacked_ = std::ptrdiff_t(index);
  }

  const detail::Layout* layout_ = nullptr;
  std::size_t maxPacked_ = 0;
  std::vector<std::unique_ptr<char[]>> chunks_;
  std::size_t used_ = 0;      // bytes used in the last chunk
  std::size_t capacity_ = 0;  // size of the last chunk
  std::vector<const char*> starts_;
  mutable std::vector<char> message_;
  mutable std::ptrdiff_t unpacked_ = -1;
};

// ---------------------------------------------------------------------------
// Column names

constexpr char16_t asciiUpper(char16_t c) { return c >= u'a' && c <= u'z' ? c - 32 : c; }

// FNV-1a of the upper-case form; false when `name` is not plain ASCII.
template <typename Char>
bool asciiHash(const Char* name, qsizetype size, std::uint32_t& hash) {
  std::uint32_t h = 2166136261u;
  for (qsizetype i = 0; i < size; ++i) {
    const auto c = char16_t(std::make_unsigned_t<Char>(name[i]));
    if (c >= 0x80) return false;
    h = (h ^ asciiUpper(c)) * 16777619u;
  }
  hash = h;
  return true;
}

template <typename Char>
bool keyEquals(const QByteArray& key, const Char* name, qsizetype size) {
  if (key.size() != size) return false;
  for (qsizetype i = 0; i < size; ++i) {
    if (char16_t(key[i]) != asciiUpper(char16_t(std::make_unsigned_t<Char>(name[i])))) return false;
  }
  return true;
}

template <typename Char, typename View>
int findAscii(const detail::Layout& layout, const Char* name, qsizetype size, std::uint32_t hash,
              View view) {
  int found = -1;
  if (!layout.nameTable.empty()) {
    const std::size_t mask = layout.nameTable.size() - 1;
    for (std::size_t s = hash & mask;; s = (s + 1) & mask) {
      const int i = layout.nameTable[s];
      if (i < 0) break;
      if (keyEquals(layout.columns[std::size_t(i)].key, name, size)) {
        found = i;
        break;
      }
    }
  }
  // Case folding lets a few other letters match ASCII ones (the Kelvin sign
  // matches "k"): such names are compared as the slow way would.
  for (const int i : layout.otherNames) {
    if (found >= 0 && i > found) break;
    if (layout.columns[std::size_t(i)].name.compare(view, Qt::CaseInsensitive) == 0) return i;
  }
  return found;
}

template <typename View>
int findSlowly(const detail::Layout& layout, View name) {
  for (std::size_t i = 0; i < layout.columns.size(); ++i) {
    if (layout.columns[i].name.compare(name, Qt::CaseInsensitive) == 0) return int(i);
  }
  return -1;
}

}  // namespace

namespace detail {

void Layout::indexNames() {
  std::size_t size = 8;
  while (size < columns.size() * 2) size *= 2;
  nameTable.assign(size, -1);
  otherNames.clear();
  for (std::size_t i = 0; i < columns.size(); ++i) {
    Column& c = columns[i];
    std::uint32_t hash = 0;
    c.asciiName = asciiHash(c.name.utf16(), c.name.size(), hash);
    if (!c.asciiName) {
      c.key.clear();
      otherNames.push_back(int(i));
      continue;
    }
    c.key = c.name.toLatin1().toUpper();
    for (std::size_t s = hash & (size - 1);; s = (s + 1) & (size - 1)) {
      const int j = nameTable[s];
      if (j < 0) {
        nameTable[s] = int(i);
        break;
      }
      if (columns[std::size_t(j)].key == c.key) break;  // the first of equal names stays
    }
  }
}

int Layout::find(QStringView name) const {
  std::uint32_t hash = 0;
  if (!asciiHash(name.utf16(), name.size(), hash)) return findSlowly(*this, name);
  return findAscii(*this, name.utf16(), name.size(), hash, name);
}

int Layout::find(QLatin1StringView name) const {
  std::uint32_t hash = 0;
  if (!asciiHash(name.data(), name.size(), hash)) return findSlowly(*this, name);
  return findAscii(*this, name.data(), name.size(), hash, name);
}

bool Layout::hasAsciiName(int index, QLatin1StringView name) const noexcept {
  if (index < 0 || std::size_t(index) >= columns.size()) return false;
  const Column& c = columns[std::size_t(index)];
  return c.asciiName && keyEquals(c.key, name.data(), name.size());
}

struct QueryImpl {
  Database* database = nullptr;
  Transaction* transaction = nullptr;
  QStringList sql;

  ParsedText parsed;
  bool parsedValid = false;
  bool paramCheck = true;
  QHash<QString, Value> values;

  bool active = false;
  std::shared_ptr<const Layout> layout;
  RowStore rows;
  std::vector<QByteArray> blobs;  // contents of blob columns, by index
  qsizetype current = 0;
  bool bof = true;

  // Columns last found by a name given as Latin-1 text, by the address of
  // its characters: call sites pass string literals, whose addresses do not
  // change, so a repeated look-up costs a pointer compare and a check of
  // the name. Valid for `memoLayout` only.
  struct NameMemo {
    const char* name = nullptr;
    int index = -1;
  };
  mutable std::array<NameMemo, 64> memo{};
  mutable std::shared_ptr<const Layout> memoLayout;

  int findColumn(QLatin1StringView name) const {
    if (!layout) return -1;
    if (memoLayout != layout) {
      memo.fill(NameMemo());
      memoLayout = layout;
    }
    const auto address = reinterpret_cast<std::uintptr_t>(name.data());
    NameMemo& entry = memo[((address >> 3) ^ (address >> 9)) & (memo.size() - 1)];
    // The name is checked too: the same address may hold other text later.
    if (entry.name == name.data() && layout->hasAsciiName(entry.index, name)) return entry.index;
    const int index = layout->find(name);
    if (index >= 0 && layout->hasAsciiName(index, name)) entry = NameMemo{name.data(), index};
    return index;
  }
  int findColumn(QStringView name) const { return layout ? layout->find(name) : -1; }

  const ParsedText& parse() {
    if (parsedValid && parsed.lines == sql) return parsed;
    parsed = ParsedText();
    parsed.lines = sql;
    parsed.text = sql.join(u'\n');
    parseParameters(parsed, paramCheck);
    parsedValid = true;
    values.clear();  // the values belong to the text they were set for
    return parsed;
  }

  void setValue(const QString& name, Value value) {
    const ParsedText& p = parse();
    const QString key = name.startsWith(u':') ? name.mid(1).toUpper() : name.toUpper();
    if (!p.names.contains(key)) {
      throwDatabaseError(QStringLiteral("the statement has no parameter :%1").arg(name), p.text);
    }
    values.insert(key, std::move(value));
  }

  const char* currentRow() const {
    if (!active || current < 0) return nullptr;
    if (streaming) return std::size_t(current) + 1 == fetched ? message.data() : nullptr;
    if (std::size_t(current) >= rows.count()) return nullptr;
    return rows.row(std::size_t(current));
  }

  const Column& column(int index) const { return layout->columns[std::size_t(index)]; }

  // The column's bytes in the current row, or nullptr when it reads as
  // null (null value, or no current row).
  const char* data(int index) const {
    const char* row = currentRow();
    if (!row) return nullptr;
    const Column& c = column(index);
    if (readAt<short>(row, c.nullOffset) != 0) return nullptr;
    return row + c.offset;
  }

  // Forward-only reading (Query::setUnidirectional).
  bool unidirectional = false;          // asked for; takes effect at the next open()
  bool readAhead = false;               // the same, for Query::setReadAhead
  bool streaming = false;               // the current result is read forward-only
  OpenCursor cursor;                    // open while rows remain to be read
  std::vector<char> message;            // the current row as the cursor wrote it
  std::size_t fetched = 0;              // rows read so far
  std::unique_ptr<Status> fetchStatus;  // one for every row of the result
  RowStore retained;                    // rows kept by retainRow()
  std::vector<QByteArray> retainedBlobs;

  // Reads the cursor's next row into `message`; false at the end, where the
  // cursor is closed. Throws DatabaseError, the cursor then closed too.
  bool fetchStreamRow();
  void endStream() noexcept {
    cursor.close();
    streaming = false;
    fetched = 0;
    retained.clear();
    retainedBlobs.clear();
  }

  void run(bool wantRows, bool stream);
  void bindInput(PreparedStatement& statement, std::vector<char>& buffer,
                 Firebird::IMessageMetadata*& metadata);
  void readBlobs(char* row, Firebird::IAttachment* attachment, Firebird::ITransaction* transaction);
};

}  // namespace detail

namespace {

bool isText(unsigned type) { return type == SQL_TEXT || type == SQL_VARYING; }
bool isNumber(unsigned type) {
  return type == SQL_SHORT || type == SQL_LONG || type == SQL_INT64 || type == SQL_FLOAT ||
         type == SQL_DOUBLE || type == SQL_D_FLOAT;
}
bool isDate(unsigned type) {
  return type == SQL_TIMESTAMP || type == SQL_TYPE_DATE || type == SQL_TYPE_TIME;
}

QString valueAsText(const Value& value) {
  switch (value.kind) {
    case Value::Kind::Text:
      return value.text;
    case Value::Kind::Float:
      return floatToText(value.number);
    case Value::Kind::Integer:
      return QString::number(value.integer);
    case Value::Kind::Date:
      return formatDateTime(value.number);
    case Value::Kind::Null:
      break;
  }
  return QString();
}

double valueAsNumber(const Value& value) {
  switch (value.kind) {
    case Value::Kind::Text:
      return textToFloat(value.text.trimmed());
    case Value::Kind::Integer:
      return double(value.integer);
    default:
      return value.number;
  }
}

TDateTime valueAsDate(const Value& value) {
  if (value.kind == Value::Kind::Text) return parseDate(value.text.trimmed());
  return valueAsNumber(value);
}

// How one parameter travels. `type` 0 keeps the described type (nulls, and
// the untyped parameter of "? IS NULL").
struct Sent {
  unsigned type = 0;
  unsigned length = 0;
  QByteArray text;
  double number = 0;
  qint64 integer = 0;
  ISC_TIMESTAMP stamp{};
};

}  // namespace

void detail::QueryImpl::bindInput(PreparedStatement& statement, std::vector<char>& buffer,
                                  Firebird::IMessageMetadata*& metadata) {
  const std::size_t count = parsed.positions.size();
  std::vector<Sent> sent(count);
  std::vector<bool> nulls(count);
  QByteArray signature;
  for (std::size_t i = 0; i < count; ++i) {
    const QString& name = parsed.positions[i];
    const auto found = values.constFind(name);
    if (found == values.cend()) {
      throwDatabaseError(QStringLiteral("parameter :%1 has no value").arg(name), parsed.text);
    }
    const Value& value = found.value();
    const Parameter& described = statement.parameters[i];
    Sent& s = sent[i];
    nulls[i] = value.kind == Value::Kind::Null;
    if (nulls[i] || described.type == SQL_NULL) {
      // nothing travels but the null flag
    } else if (isText(described.type) || described.type == SQL_BLOB) {
      s.type = SQL_VARYING;
      s.text = encodeText(valueAsText(value));
      const unsigned declared = described.type == SQL_BLOB ? 0u : described.length;
      s.length = std::max({declared, unsigned(s.text.size()), 1u});
    } else if (isNumber(described.type)) {
      if (value.kind == Value::Kind::Integer) {
        s.type = SQL_INT64;
        s.integer = value.integer;
      } else {
        s.type = SQL_DOUBLE;
        s.number = valueAsNumber(value);
      }
    } else if (isDate(described.type)) {
      s.type = SQL_TIMESTAMP;
      s.stamp = toIsc(valueAsDate(value));
    } else if (described.type == SQL_BOOLEAN && value.kind != Value::Kind::Text) {
      s.type = SQL_BOOLEAN;
      s.integer = valueAsNumber(value) != 0;
    } else {
      throwDatabaseError(QStringLiteral("parameter :%1 has a type (%2) that cannot be sent")
                             .arg(name)
                             .arg(described.type),
                         parsed.text);
    }
    signature.append(reinterpret_cast<const char*>(&s.type), sizeof s.type);
    signature.append(reinterpret_cast<const char*>(&s.length), sizeof s.length);
  }

  auto shapeIt = statement.inputShapes.find(signature);
  if (shapeIt == statement.inputShapes.end()) {
    if (statement.inputShapes.size() >= 16) statement.inputShapes.clear();
    auto shape = std::make_unique<InputShape>();
    Status status;
    Firebird::IMetadataBuilder* builder = statement.inputMetadata->getBuilder(&status);
    try {
      for (std::size_t i = 0; i < count; ++i) {
        const Sent& s = sent[i];
        if (s.type == 0) continue;
        const auto index = unsigned(i);
        builder->setType(&status, index, s.type + 1);  // nullable
        builder->setSubType(&status, index, 0);
        builder->setScale(&status, index, 0);
        switch (s.type) {
          case SQL_VARYING:
            builder->setLength(&status, index, s.length);
            builder->setCharSet(&status, index, statement.parameters[i].charSet);
            break;
          case SQL_BOOLEAN:
            builder->setLength(&status, index, 1);
            break;
          default:
            builder->setLength(&status, index, 8);
            break;
        }
      }
      shape->metadata = builder->getMetadata(&status);
    } catch (...) {
      builder->release();
      throw;
    }
    builder->release();
    shape->length = shape->metadata->getMessageLength(&status);
    for (unsigned i = 0; i < count; ++i) {
      shape->offsets.push_back(shape->metadata->getOffset(&status, i));
      shape->nullOffsets.push_back(shape->metadata->getNullOffset(&status, i));
    }
    shapeIt = statement.inputShapes.emplace(signature, std::move(shape)).first;
  }
  const InputShape& shape = *shapeIt->second;
  buffer.assign(shape.length, 0);
  char* message = buffer.data();
  for (std::size_t i = 0; i < count; ++i) {
    const Sent& s = sent[i];
    writeAt<short>(message, shape.nullOffsets[i], nulls[i] ? -1 : 0);
    const unsigned offset = shape.offsets[i];
    switch (s.type) {
      case SQL_VARYING:
        writeAt<unsigned short>(message, offset, static_cast<unsigned short>(s.text.size()));
        std::memcpy(message + offset + 2, s.text.constData(), std::size_t(s.text.size()));
        break;
      case SQL_INT64:
        writeAt<qint64>(message, offset, s.integer);
        break;
      case SQL_DOUBLE:
        writeAt<double>(message, offset, s.number);
        break;
      case SQL_TIMESTAMP:
        writeAt<ISC_TIMESTAMP>(message, offset, s.stamp);
        break;
      case SQL_BOOLEAN:
        writeAt<unsigned char>(message, offset, static_cast<unsigned char>(s.integer));
        break;
      default:
        break;
    }
  }
  metadata = shape.metadata;
}

void detail::QueryImpl::readBlobs(char* row, Firebird::IAttachment* attachment,
                                  Firebird::ITransaction* transaction) {
  // Blob contents are read while the transaction is still open; the row
  // keeps an index into `blobs` where the database had put the blob's id.
  for (const Column& c : layout->columns) {
    if (c.type != SQL_BLOB || readAt<short>(row, c.nullOffset) != 0) continue;
    ISC_QUAD id = readAt<ISC_QUAD>(row, c.offset);
    Status status;
    Firebird::IBlob* blob = attachment->openBlob(&status, transaction, &id, 0, nullptr);
    QByteArray content;
    try {
      char segment[16384];
      for (;;) {
        unsigned length = 0;
        const int result = blob->getSegment(&status, sizeof segment, segment, &length);
        if (result == Firebird::IStatus::RESULT_NO_DATA) break;
        content.append(segment, qsizetype(length));
      }
      blob->close(&status);
    } catch (...) {
      blob->release();
      throw;
    }
    writeAt<std::uint64_t>(row, c.offset, blobs.size());
    blobs.push_back(std::move(content));
  }
}

namespace {

// Closes a cursor that an error left open.
struct CursorGuard {
  Firebird::IResultSet* cursor = nullptr;
  ~CursorGuard() {
    if (!cursor) return;
    try {
      Status status;
      cursor->close(&status);
    } catch (...) {
      cursor->release();
    }
  }
};

// Rolls back a short transaction that an error left open.
struct OwnTransactionGuard {
  Firebird::ITransaction* transaction = nullptr;
  ~OwnTransactionGuard() { detail::rollbackQuietly(transaction); }
};

}  // namespace

bool detail::QueryImpl::fetchStreamRow() {
  if (!cursor.open()) return false;
  try {
    blobs.clear();
    const bool row = cursor.ahead ? cursor.ahead->next(message.data())
                                  : cursor.cursor->fetchNext(fetchStatus.get(), message.data()) ==
                                        Firebird::IStatus::RESULT_OK;
    if (!row) {
      cursor.close();
      return false;
    }
    if (layout->hasBlobs)
      readBlobs(message.data(), cursor.database->attachment, cursor.transaction);
  } catch (const Firebird::FbException& error) {
    cursor.close();
    throwDatabaseError(error, parsed.text);
  } catch (...) {
    cursor.close();
    throw;
  }
  ++fetched;
  ++cursor.database->stats.rowsFetched;
  return true;
}

void detail::QueryImpl::run(bool wantRows, bool stream) {
  const ParsedText& p = parse();
  if (!database || !database->attached()) {
    throwDatabaseError(QStringLiteral("the query has no attached database"), p.text);
  }
  DatabaseImpl& db = *database->impl();

  Firebird::ITransaction* tra = nullptr;
  OwnTransactionGuard own;
  if (transaction) {
    if (&transaction->database() != database || !transaction->active()) {
      throwDatabaseError(QStringLiteral("the query's transaction is not active on its database"),
                         p.text);
    }
    tra = transaction->impl()->transaction;
  } else if (!wantRows) {
    throwDatabaseError(
        QStringLiteral("a statement that writes needs an explicit read-write transaction"), p.text);
  } else if (Transaction* current = database->currentTransaction(); current && current->active()) {
    tra = current->impl()->transaction;
  } else {
    own.transaction = db.startTransaction(TransactionKind::ReadCommitted);
    tra = own.transaction;
  }

  // Held until the run ends: without reuse, letting it go frees it.
  const std::shared_ptr<PreparedStatement> prepared = db.prepare(tra, p.sql, p.text);
  PreparedStatement& statement = *prepared;
  if (statement.parameters.size() != p.positions.size()) {
    throwDatabaseError(QStringLiteral("the statement has %1 parameters, its text names %2")
                           .arg(statement.parameters.size())
                           .arg(p.positions.size()),
                       p.text);
  }
  std::vector<char> input;
  Firebird::IMessageMetadata* inputMetadata = nullptr;
  if (!p.positions.empty()) bindInput(statement, input, inputMetadata);
  void* inputBuffer = input.empty() ? nullptr : input.data();

  layout = statement.layout;
  message.resize(layout->messageLength);
  rows.reset(layout.get());
  blobs.clear();
  try {
    Status status;
    if (statement.hasCursor) {
      if (!wantRows) {
        throwDatabaseError(QStringLiteral("the statement returns rows: open it instead"), p.text);
      }
      if (stream) {
        // The cursor stays open between rows, in its transaction; a short
        // transaction of the query's own ends with it.
        streaming = true;
        fetched = 0;
        retained.reset(layout.get());
        if (!fetchStatus) fetchStatus = std::make_unique<Status>();
        cursor.statement = prepared;
        prepared->inUse = true;
        cursor.transaction = tra;
        cursor.own = std::exchange(own.transaction, nullptr);
        cursor.database = &db;
        cursor.cursor = statement.statement->openCursor(&status, tra, inputMetadata, inputBuffer,
                                                        statement.outputMetadata, 0);
        cursor.attach(&db);
        ++db.stats.executions;
        // Blob contents are read through the attachment as each row
        // arrives, so a result with blobs is fetched row by row here.
        if (readAhead && !layout->hasBlobs)
          cursor.ahead = std::make_unique<ReadAhead>(cursor.cursor, layout->messageLength);
        fetchStreamRow();
        return;
      }
      CursorGuard guard;
      guard.cursor = statement.statement->openCursor(&status, tra, inputMetadata, inputBuffer,
                                                     statement.outputMetadata, 0);
      ++db.stats.executions;
      char* row = message.data();
      while (guard.cursor->fetchNext(&status, row) == Firebird::IStatus::RESULT_OK) {
        if (layout->hasBlobs) readBlobs(row, db.attachment, tra);
        rows.append(row);
      }
      guard.cursor->close(&status);
      guard.cursor = nullptr;
    } else {
      // EXECUTE PROCEDURE and RETURNING give at most one row.
      const bool output = !layout->columns.empty();
      char* row = output ? message.data() : nullptr;
      statement.statement->execute(&status, tra, inputMetadata, inputBuffer,
                                   output ? statement.outputMetadata : nullptr, row);
      ++db.stats.executions;
      if (output && layout->hasBlobs) readBlobs(row, db.attachment, tra);
      if (output && wantRows) rows.append(row);
    }
    db.stats.rowsFetched += rows.count();
    if (own.transaction) {
      own.transaction->commit(&status);  // releases the interface on success
      own.transaction = nullptr;
    }
  } catch (const Firebird::FbException& error) {
    endStream();
    rows.clear();
    blobs.clear();
    layout.reset();
    throwDatabaseError(error, p.text);
  } catch (...) {
    endStream();
    rows.clear();
    blobs.clear();
    layout.reset();
    throw;
  }
}

// ---------------------------------------------------------------------------
// Query

Query::Query(Database* database) : impl_(std::make_unique<detail::QueryImpl>()) {
  impl_->database = database;
}

Query::~Query() = default;

void Query::setDatabase(Database* database) {
  close();
  impl_->database = database;
}

Database* Query::database() const noexcept { return impl_->database; }

void Query::setTransaction(Transaction* transaction) noexcept { impl_->transaction = transaction; }

QStringList& Query::sql() noexcept { return impl_->sql; }

const QStringList& Query::sql() const noexcept { return impl_->sql; }

void Query::setString(const QString& name, const QString& value) {
  impl_->setValue(name, Value{Value::Kind::Text, value, 0, 0});
}

void Query::setFloat(const QString& name, double value) {
  impl_->setValue(name, Value{Value::Kind::Float, QString(), value, 0});
}

void Query::setInteger(const QString& name, qint64 value) {
  impl_->setValue(name, Value{Value::Kind::Integer, QString(), 0, value});
}

void Query::setDate(const QString& name, TDateTime value) {
  impl_->setValue(name, Value{Value::Kind::Date, QString(), value, 0});
}

void Query::setNull(const QString& name) { impl_->setValue(name, Value()); }

void Query::open() {
  close();
  impl_->run(true, impl_->unidirectional);
  impl_->active = true;
  impl_->current = 0;
  impl_->bof = true;
}

void Query::execSQL() {
  close();
  impl_->run(false, false);
  close();
}

void Query::close() noexcept {
  impl_->endStream();
  impl_->active = false;
  impl_->rows.clear();
  impl_->blobs.clear();
  impl_->layout.reset();
  impl_->current = 0;
  impl_->bof = true;
}

bool Query::active() const noexcept { return impl_->active; }

bool Query::isEmpty() const noexcept { return recordCount() == 0; }

int Query::recordCount() const noexcept {
  if (!impl_->active) return 0;
  return int(impl_->streaming ? impl_->fetched : impl_->rows.count());
}

// Reading forward only, the query cannot go back: first() on the first row
// (or on an empty result) is all it can do.
void Query::first() noexcept {
  if (impl_->streaming && impl_->current != 0) return;
  impl_->current = 0;
  impl_->bof = true;
}

void Query::last() noexcept {
  if (impl_->streaming) return;
  impl_->current = std::max<qsizetype>(0, recordCount() - 1);
  impl_->bof = recordCount() == 0;
}

void Query::next() {
  detail::QueryImpl& q = *impl_;
  if (q.streaming) {
    if (!q.active || q.current >= recordCount()) return;
    try {
      q.fetchStreamRow();
    } catch (...) {
      close();
      throw;
    }
    q.current = recordCount() - (q.cursor.open() ? 1 : 0);
  } else if (q.current < recordCount()) {
    ++q.current;
  }
  q.bof = recordCount() == 0;
}

void Query::prior() noexcept {
  if (impl_->streaming) return;
  const int count = recordCount();
  if (impl_->current > count) impl_->current = count;
  if (impl_->current > 0) {
    --impl_->current;
    impl_->bof = count == 0;
  } else {
    impl_->bof = true;
  }
}

bool Query::eof() const noexcept { return impl_->current >= recordCount(); }

bool Query::bof() const noexcept { return impl_->bof || recordCount() == 0; }

void Query::setUnidirectional(bool unidirectional) noexcept {
  impl_->unidirectional = unidirectional;
}

bool Query::unidirectional() const noexcept { return impl_->unidirectional; }

void Query::setReadAhead(bool readAhead) noexcept { impl_->readAhead = readAhead; }

void Query::setParamCheck(bool paramCheck) noexcept {
  if (impl_->paramCheck == paramCheck) return;
  impl_->paramCheck = paramCheck;
  impl_->parsedValid = false;
}

void Query::retainRow() {
  detail::QueryImpl& q = *impl_;
  const char* row = q.currentRow();
  if (!q.streaming || !row) return;
  if (!q.layout->hasBlobs) {
    q.retained.append(row);
    return;
  }
  // The kept row points into the retained blob contents instead: the
  // current row is given their indexes while it is packed.
  char* message = q.message.data();
  std::vector<std::uint64_t> indexes;
  for (const detail::Column& c : q.layout->columns) {
    if (c.type != SQL_BLOB || readAt<short>(message, c.nullOffset) != 0) continue;
    const auto index = readAt<std::uint64_t>(message, c.offset);
    indexes.push_back(index);
    writeAt<std::uint64_t>(message, c.offset, q.retainedBlobs.size());
    q.retainedBlobs.push_back(q.blobs[index]);
  }
  q.retained.append(message);
  std::size_t k = 0;
  for (const detail::Column& c : q.layout->columns) {
    if (c.type != SQL_BLOB || readAt<short>(message, c.nullOffset) != 0) continue;
    writeAt<std::uint64_t>(message, c.offset, indexes[k++]);
  }
}

void Query::useRetainedRows() noexcept {
  detail::QueryImpl& q = *impl_;
  if (!q.active || !q.streaming) return;
  q.cursor.close();
  q.rows = std::move(q.retained);
  q.blobs = std::move(q.retainedBlobs);
  q.retained.clear();
  q.retainedBlobs.clear();
  q.streaming = false;
  q.unidirectional = false;
  q.fetched = 0;
  q.current = 0;
  q.bof = true;
}

int Query::fieldCount() const noexcept {
  return impl_->layout ? int(impl_->layout->columns.size()) : 0;
}

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
  return Field(this, index);
}

Field Query::fieldByName(QLatin1StringView name) const {
  const int index = impl_->findColumn(name);
  if (index < 0) throwMissingColumn(*impl_, name);
  return Field(this, index);
}

Field Query::field(int index) const {
  if (index < 0 || index >= fieldCount()) {
    detail::throwDatabaseError(QStringLiteral("the result has no column number %1").arg(index),
                               impl_->sql.join(u'\n'));
  }
  return Field(this, index);
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
// Field

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

double scaled(qint64 value, int scale) {
  // Dividing by the power of ten gives the double nearest the decimal
  // (1250 with scale -2 is exactly the double nearest 12.5).
  if (scale < 0) return double(value) / powerOfTen(-scale);
  return double(value) * powerOfTen(scale);
}

TDateTime dateOf(const detail::Column& c, const char* data) {
  switch (c.type) {
    case SQL_TIMESTAMP: {
      const auto stamp = readAt<ISC_TIMESTAMP>(data, 0);
      return fromIsc(stamp.timestamp_date, stamp.timestamp_time);
    }
    case SQL_TYPE_DATE:
      return fromIsc(readAt<ISC_DATE>(data, 0), 0);
    default:
      return double(readAt<ISC_TIME>(data, 0)) / double(kMsPerDay * kIscTimeUnitsPerMs);
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
Cell cellOf(const Query* query, int index) {
  static const detail::Column none;
  const detail::QueryImpl& q = *query->impl();
  if (index < 0 || index >= query->fieldCount()) return Cell{q, none, nullptr};
  return Cell{q, q.column(index), q.data(index)};
}

}  // namespace

bool Field::isNull() const { return cellOf(query_, index_).data == nullptr; }

QString Field::name() const { return cellOf(query_, index_).column.name; }

QString Field::asString() const {
  const auto [q, c, data] = cellOf(query_, index_);
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
      return QTime::fromMSecsSinceStartOfDay(int(readAt<ISC_TIME>(data, 0) / kIscTimeUnitsPerMs))
          .toString(QStringLiteral("hh:mm:ss"));
    case SQL_BOOLEAN:
      return readAt<unsigned char>(data, 0) ? QStringLiteral("True") : QStringLiteral("False");
    default:
      return QString();
  }
}

double Field::asFloat() const {
  const auto [q, c, data] = cellOf(query_, index_);
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
  const auto [q, c, data] = cellOf(query_, index_);
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
  const auto [q, c, data] = cellOf(query_, index_);
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
