// Internal: a statement's named parameters - finding ":Name" in its text on
// the client, and sending the values set for them in the types the database
// describes.
#pragma once

#include <firebird/Interface.h>

#include <QByteArray>
#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>
#include <vector>

#include "framework/datetime.h"

namespace margivo::detail {

struct PreparedStatement;

// A statement's text as prepared, with where its parameters stand.
struct ParsedText {
  QStringList lines;               // the statement lines this was made from
  QString text;                    // the lines joined by "\n", as errors quote them
  QByteArray sql;                  // what is prepared: bytes, parameters as '?'
  std::vector<QString> positions;  // upper-case name of each '?', in order
  QSet<QString> names;
};

// Joins `lines` and replaces every ":Name" outside string literals and
// comments by '?', recording the names in order. In dialect 1 double quotes
// delimit strings too, so a colon inside "..." is text.
// Without `paramCheck` the text goes as it is (a ":Name" in a procedural
// block is one of its variables) and each '?' is a parameter named by its
// position, "1", "2"...
ParsedText parseParameters(const QStringList& lines, bool paramCheck);

// A value set for a parameter, as the caller gave it.
struct ParameterValue {
  enum class Kind { Null, Text, Float, Integer, Date } kind = Kind::Null;
  QString text;
  double number = 0;  // Float, and Date as a TDateTime
  qint64 integer = 0;
};

// Writes the values of `parsed`'s parameters, by upper-case name, into
// `buffer` as an input message for `statement`, each converted to the type
// the database describes (text to a date with parseDate(), a date to text
// with formatDate()...), and returns that message's metadata (owned by
// `statement`). Throws DatabaseError naming a parameter that has no value,
// a type that cannot be sent or a text that cannot travel whole (longer
// than its column, or than a text parameter carries: texts are never cut),
// ConversionError for a value that does not convert.
Firebird::IMessageMetadata* bindParameters(const ParsedText& parsed,
                                           const QHash<QString, ParameterValue>& values,
                                           PreparedStatement& statement, std::vector<char>& buffer);

}  // namespace margivo::detail
