// An INI file read and written the way Windows profile files are:
// section and key names match without regard to letter case, values are read
// without surrounding blanks, a missing key reads as the empty text, and
// writing a key replaces its value in place or appends the key (and its
// section) when missing. Every other line of the file keeps its bytes.
//
// Encoding: the file is read as UTF-8 (with or without a byte order mark) or,
// when it is not valid UTF-8, as Windows-1252; it is written back in the
// encoding it was read in (a new file is UTF-8 without BOM).
//
// Every call reads the file anew; writes replace the file atomically (a
// temporary file beside it, flushed, then renamed over it), so a failed write
// leaves the old file as it was.
//
// Errors: readString() of a file that does not exist returns empty text;
// a file that exists but cannot be read, and any failed write, throw
// IniFileError naming the file and the reason.
#pragma once

#include <QString>
#include <QStringList>
#include <utility>
#include <vector>
#include <stdexcept>

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
  void writeString(const QString& section, const QString& key, const QString& value);
  // Several keys of one section in one atomic write, in the given order: keys
  // already present are replaced in place, missing ones appended in order.
  void writeStrings(const QString& section,
                    const std::vector<std::pair<QString, QString>>& keyValues);
  // Every line of the file, decoded (for RetornaContasCaixa).
  QStringList lines() const;

 private:
  QString path_;
};

}  // namespace margivo
