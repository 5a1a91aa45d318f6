// An INI file read and written the way Windows profile files are:
// section and key names match without regard to letter case, values are read
// without surrounding blanks (and without one pair of enclosing quotes, as
// Windows strips them), a missing key reads as the empty text, and writing a
// key replaces its value in place or appends the key (and its section) when
// missing. Every other line of the file keeps its bytes, line ending included.
//
// Layout rules (those of Windows profile files):
// - Only the first section of a name counts; a repeated section header is
//   kept but never read or written. Inside the section the first line of a
//   key counts.
// - Lines whose first non-blank character is ';' or '#' are comments, blank
//   lines are blank; neither is ever read as a key.
// - A key that is missing is appended after the last key line of its section,
//   so blank lines and the comments that introduce the next section stay
//   where they were; in a section without keys it goes after the header and
//   the comment lines right below it. A missing section is appended at the end
//   of the file.
// - A replaced line keeps the key's spelling and the spacing around '=' as
//   found; a line whose value already reads as the new value is not touched.
// - New lines take the file's line ending (that of its first line; CRLF on
//   Windows and LF elsewhere for a file without one). A last line without a
//   line ending gets one only when something is appended after it.
//
// Encoding: the file is read as UTF-8 (with or without a byte order mark) or,
// when it is not valid UTF-8, as Windows-1252; it is written back in the
// encoding it was read in, with its byte order mark if it had one. A new file
// is written as the ERP's tools write one on the platform: on Windows in
// Windows-1252 (ANSI), as is a file of plain ASCII there, elsewhere in UTF-8
// without a mark. UTF-16 files are refused rather than misread.
//
// Every call reads the file anew; writes replace the file atomically (a
// temporary file beside it, written, synced, then renamed over it), so a
// failed write leaves the old file as it was. A write whose every key already
// reads as the new value does not touch the file at all (neither its bytes
// nor its modification time), read-only or not. A file without any write
// permission bit is read-only and is never replaced, even by a user whose
// privileges would allow it, as Windows honours the read-only attribute.
//
// Errors: reading a file that does not exist gives empty text; a file that
// exists but cannot be read, every failed write and every name or value that
// cannot be stored (a line break in it, a character the file's encoding
// cannot hold) throw IniFileError naming the file, the key where there is one,
// and the reason. Nothing is written when a call throws.
#pragma once

#include <QString>
#include <QStringList>
#include <stdexcept>
#include <utility>
#include <vector>

namespace margivo {

class IniFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class IniFile {
 public:
  explicit IniFile(QString path);

  const QString& path() const noexcept { return path_; }
  bool exists() const;

  QString readString(const QString& section, const QString& key) const;
  // The values of `keys` of one section from one reading of the file, in the
  // order of `keys`, so that a writer in between cannot mix two versions.
  QStringList readStrings(const QString& section, const QStringList& keys) const;

  // Creates the file when it does not exist (not its directory).
  void writeString(const QString& section, const QString& key, const QString& value);
  // Several keys of one section in one atomic write, in the given order: keys
  // already present are replaced in place, missing ones appended in order.
  void writeStrings(const QString& section,
                    const std::vector<std::pair<QString, QString>>& keyValues);

  // Every line of the file, decoded, without line endings (for
  // RetornaContasCaixa). Empty when the file does not exist.
  QStringList lines() const;

 private:
  QString path_;
};

}  // namespace margivo
