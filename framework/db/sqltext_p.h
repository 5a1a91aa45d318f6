// Internal: reading SQL text on the client - where its string literals and
// comments are, how an error names a statement, how a script splits into
// statements and which statements change metadata.
#pragma once

#include <QString>
#include <QStringList>

namespace margivo::detail {

// When `text` has a string literal ('...' or, in dialect 1, "...") or a
// comment (-- to the end of the line, /* ... */) starting at `i`, the index
// just past it; otherwise `i`. An unterminated one runs to the end.
qsizetype skipLiteralOrComment(const QString& text, qsizetype i);

// The first line of a statement that is not blank, without its padding
// blanks: how errors name the statement.
QString firstLineOf(const QString& statement);

// Splits a script on ';' outside string literals and comments; drops pieces
// that hold only blanks and comments.
QStringList splitScript(const QString& script);

// True for statements that change metadata (CREATE, ALTER, DROP...). A
// prepared statement keeps the tables it reads in use, and the engine refuses
// to drop or recreate a table in use, even by the same attachment: such
// statements need the prepared ones freed first.
bool changesMetadata(const QString& sql);

}  // namespace margivo::detail
