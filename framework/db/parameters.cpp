#include "framework/db/parameters_p.h"

#include <algorithm>
#include <cstring>

#include "framework/db/conversion_p.h"
#include "framework/db/encoding_p.h"
#include "framework/db/message_p.h"
#include "framework/db/sqltext_p.h"
#include "framework/db/statement_p.h"
#include "framework/regional.h"

namespace margivo::detail {
namespace {

bool isNameChar(QChar c) { return c.isLetterOrNumber() || c == u'_'; }

}  // namespace

ParsedText parseParameters(const QStringList& lines, bool paramCheck) {
  ParsedText parsed;
  parsed.lines = lines;
  parsed.text = lines.join(u'\n');
  const QString& text = parsed.text;
  QString out;
  out.reserve(text.size());
  const qsizetype n = text.size();
  qsizetype i = 0;
  while (i < n) {
    const QChar c = text[i];
    if (const qsizetype end = skipLiteralOrComment(text, i); end != i) {
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
  parsed.sql = encodeText(out);
  return parsed;
}

namespace {

bool isText(unsigned type) { return type == SQL_TEXT || type == SQL_VARYING; }
bool isNumber(unsigned type) {
  return type == SQL_SHORT || type == SQL_LONG || type == SQL_INT64 || type == SQL_FLOAT ||
         type == SQL_DOUBLE || type == SQL_D_FLOAT;
}
bool isDate(unsigned type) {
  return type == SQL_TIMESTAMP || type == SQL_TYPE_DATE || type == SQL_TYPE_TIME;
}

QString valueAsText(const ParameterValue& value) {
  switch (value.kind) {
    case ParameterValue::Kind::Text:
      return value.text;
    case ParameterValue::Kind::Float:
      return floatToText(value.number);
    case ParameterValue::Kind::Integer:
      return QString::number(value.integer);
    case ParameterValue::Kind::Date:
      return formatDateTime(value.number);
    case ParameterValue::Kind::Null:
      break;
  }
  return QString();
}

double valueAsNumber(const ParameterValue& value) {
  switch (value.kind) {
    case ParameterValue::Kind::Text:
      return textToFloat(value.text.trimmed());
    case ParameterValue::Kind::Integer:
      return double(value.integer);
    default:
      return value.number;
  }
}

TDateTime valueAsDate(const ParameterValue& value) {
  if (value.kind == ParameterValue::Kind::Text) return parseDate(value.text.trimmed());
  return valueAsNumber(value);
}

// The longest text a parameter carries, in bytes: the longest VARCHAR the
// database knows. Its length travels in 16 bits, and past this length the
// database misreads it (as a negative length, and from 65,536 bytes on as
// the length's low bits, which silently cuts the text).
constexpr qsizetype kMaxTextParameterBytes = 32765;

// Throws DatabaseError naming the parameter when its text cannot travel
// whole: longer than a text parameter carries, or longer than the column
// it is compared with or stored in (described as CHAR or VARCHAR of
// `described.length` bytes). Blanks past the column's length are let
// through, as the database itself lets them (it ignores trailing blanks).
void checkTextLength(const QString& name, const QByteArray& text, const Parameter& described,
                     const QString& statement) {
  if (text.size() > kMaxTextParameterBytes) {
    throwDatabaseError(QStringLiteral("parameter :%1 is %2 bytes long, more than the %3 a text "
                                      "parameter can carry")
                           .arg(name)
                           .arg(text.size())
                           .arg(kMaxTextParameterBytes),
                       statement);
  }
  if (!isText(described.type) || text.size() <= qsizetype(described.length)) return;
  const bool onlyBlanks = std::all_of(text.cbegin() + qsizetype(described.length), text.cend(),
                                      [](char c) { return c == ' '; });
  if (onlyBlanks) return;
  throwDatabaseError(QStringLiteral("parameter :%1 is %2 bytes long, longer than the %3 of its "
                                    "column")
                         .arg(name)
                         .arg(text.size())
                         .arg(described.length),
                     statement);
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

Firebird::IMessageMetadata* bindParameters(const ParsedText& parsed,
                                           const QHash<QString, ParameterValue>& values,
                                           PreparedStatement& statement,
                                           std::vector<char>& buffer) {
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
    const ParameterValue& value = found.value();
    const Parameter& described = statement.parameters[i];
    Sent& s = sent[i];
    nulls[i] = value.kind == ParameterValue::Kind::Null;
    if (nulls[i] || described.type == SQL_NULL) {
      // nothing travels but the null flag
    } else if (isText(described.type) || described.type == SQL_BLOB) {
      s.type = SQL_VARYING;
      s.text = encodeText(valueAsText(value));
      checkTextLength(name, s.text, described, parsed.text);
      const unsigned declared = described.type == SQL_BLOB ? 0u : described.length;
      s.length = std::max({declared, unsigned(s.text.size()), 1u});
    } else if (isNumber(described.type)) {
      if (value.kind == ParameterValue::Kind::Integer) {
        s.type = SQL_INT64;
        s.integer = value.integer;
      } else {
        s.type = SQL_DOUBLE;
        s.number = valueAsNumber(value);
      }
    } else if (isDate(described.type)) {
      s.type = SQL_TIMESTAMP;
      s.stamp = toIsc(valueAsDate(value));
    } else if (described.type == SQL_BOOLEAN && value.kind != ParameterValue::Kind::Text) {
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
  return shape.metadata;
}

}  // namespace margivo::detail
