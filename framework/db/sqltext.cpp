#include "framework/db/sqltext_p.h"

namespace margivo::detail {

QString firstLineOf(const QString& statement) {
  for (const QStringView line : QStringView(statement).split(u'\n')) {
    const QStringView trimmed = line.trimmed();
    if (!trimmed.isEmpty()) return trimmed.toString();
  }
  return QString();
}

qsizetype skipLiteralOrComment(const QString& text, qsizetype i) {
  const qsizetype n = text.size();
  if (i >= n) return i;
  const QChar c = text[i];
  if (c == u'\'' || c == u'"') {
    qsizetype j = i + 1;
    while (j < n) {
      if (text[j] == c) {
        if (j + 1 < n && text[j + 1] == c) {  // a doubled quote is one quote
          j += 2;
          continue;
        }
        return j + 1;
      }
      ++j;
    }
    return n;
  }
  if (c == u'-' && i + 1 < n && text[i + 1] == u'-') {
    const qsizetype j = text.indexOf(u'\n', i);
    return j < 0 ? n : j;
  }
  if (c == u'/' && i + 1 < n && text[i + 1] == u'*') {
    const qsizetype j = text.indexOf(QStringLiteral("*/"), i + 2);
    return j < 0 ? n : j + 2;
  }
  return i;
}

QStringList splitScript(const QString& script) {
  QStringList statements;
  QString current;
  bool meaningful = false;
  const qsizetype n = script.size();
  for (qsizetype i = 0; i < n;) {
    if (const qsizetype end = skipLiteralOrComment(script, i); end != i) {
      const QChar c = script[i];
      if (c == u'\'' || c == u'"') meaningful = true;
      current += QStringView(script).mid(i, end - i);
      i = end;
      continue;
    }
    const QChar c = script[i++];
    if (c == u';') {
      if (meaningful) statements.append(current);
      current.clear();
      meaningful = false;
      continue;
    }
    if (!c.isSpace()) meaningful = true;
    current += c;
  }
  if (meaningful) statements.append(current);
  return statements;
}

bool changesMetadata(const QString& sql) {
  qsizetype i = 0;
  while (i < sql.size()) {
    if (sql[i].isSpace()) {
      ++i;
    } else if (const qsizetype end = skipLiteralOrComment(sql, i); end != i) {
      i = end;
    } else {
      break;
    }
  }
  qsizetype j = i;
  while (j < sql.size() && sql[j].isLetter()) ++j;
  static const QStringList ddl = {"CREATE",  "ALTER", "DROP",   "RECREATE", "DECLARE",
                                  "COMMENT", "GRANT", "REVOKE", "SET"};
  return ddl.contains(sql.mid(i, j - i), Qt::CaseInsensitive);
}

}  // namespace margivo::detail
