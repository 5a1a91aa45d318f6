#include "framework/inifile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringEncoder>
#include <algorithm>

#include "framework/windows1252.h"

namespace margivo {
namespace {

enum class Encoding { Utf8, Utf8WithBom, Windows1252 };

const QByteArray kUtf8Bom("\xEF\xBB\xBF");

// One line of the file as raw bytes. Lines the caller does not change are
// written back from these bytes, so they keep them exactly whatever the
// encoding.
struct RawLine {
  QByteArray text;  // without the line ending
  QByteArray eol;   // "\r\n", "\n", or empty for a last line without one
};

enum class LineKind { Blank, Comment, Section, Key, Other };

struct ParsedLine {
  LineKind kind = LineKind::Other;
  QString name;   // section or key name, trimmed
  QString value;  // key value as read
};

// The encoding of a file that has none yet. On Windows, that of the ERP's
// tools, which write ANSI.
#ifdef Q_OS_WIN
constexpr Encoding kNewFileEncoding = Encoding::Windows1252;
#else
constexpr Encoding kNewFileEncoding = Encoding::Utf8;
#endif

// The file as found: its encoding and its lines.
struct Document {
  Encoding encoding = kNewFileEncoding;
  std::vector<RawLine> lines;
};

std::string describe(const QString& path) { return path.toStdString(); }

[[noreturn]] void failRead(const QString& path, const QString& reason) {
  throw IniFileError("cannot read settings file " + describe(path) + ": " + reason.toStdString());
}

[[noreturn]] void failWrite(const QString& path, const QString& reason) {
  throw IniFileError("cannot write settings file " + describe(path) + ": " + reason.toStdString());
}

QString decode(const QByteArray& bytes, Encoding encoding) {
  if (encoding == Encoding::Windows1252) return fromWindows1252(bytes);
  QStringDecoder decoder(QStringDecoder::Utf8);
  return decoder(bytes);
}

// Encodes `text` for the file, or returns false when the encoding cannot hold
// one of its characters (Windows-1252 has no 'ł', for instance): a silently
// replaced character would corrupt the setting.
bool encode(const QString& text, Encoding encoding, QByteArray* out) {
  if (encoding == Encoding::Windows1252) return toWindows1252(text, out);
  QStringEncoder encoder(QStringEncoder::Utf8);
  *out = encoder(text);
  return !encoder.hasError();
}

Encoding detectEncoding(const QString& path, QByteArray* bytes) {
  if (bytes->startsWith(kUtf8Bom)) {
    bytes->remove(0, kUtf8Bom.size());
    return Encoding::Utf8WithBom;
  }
  if (bytes->startsWith("\xFF\xFE") || bytes->startsWith("\xFE\xFF")) {
    failRead(path, QStringLiteral("the file is UTF-16; save it as UTF-8 or ANSI"));
  }
  QStringDecoder utf8(QStringDecoder::Utf8);
  const QString decoded = utf8(*bytes);
  (void)decoded;
  if (utf8.hasError()) return Encoding::Windows1252;
  // Plain ASCII reads the same in both; what is added to it takes the
  // encoding of a new file.
  if (kNewFileEncoding == Encoding::Windows1252 &&
      std::all_of(bytes->cbegin(), bytes->cend(), [](char c) { return (c & 0x80) == 0; })) {
    return Encoding::Windows1252;
  }
  return Encoding::Utf8;
}

std::vector<RawLine> splitLines(const QByteArray& bytes) {
  std::vector<RawLine> lines;
  qsizetype start = 0;
  while (start < bytes.size()) {
    const qsizetype newline = bytes.indexOf('\n', start);
    if (newline < 0) {
      lines.push_back({bytes.mid(start), QByteArray()});
      break;
    }
    const bool crlf = newline > start && bytes.at(newline - 1) == '\r';
    const qsizetype textEnd = crlf ? newline - 1 : newline;
    lines.push_back(
        {bytes.mid(start, textEnd - start), crlf ? QByteArray("\r\n") : QByteArray("\n")});
    start = newline + 1;
  }
  return lines;
}

// Reads and splits the file; a file that does not exist is an empty document.
Document load(const QString& path) {
  Document document;
  const QFileInfo info(path);
  if (!info.exists()) return document;
  if (info.isDir()) failRead(path, QStringLiteral("it is a directory"));
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) failRead(path, file.errorString());
  QByteArray bytes = file.readAll();
  if (file.error() != QFileDevice::NoError) failRead(path, file.errorString());
  document.encoding = detectEncoding(path, &bytes);
  document.lines = splitLines(bytes);
  return document;
}

// Windows strips one pair of matching quotes around a value.
QString unquote(const QString& value) {
  if (value.size() >= 2) {
    const QChar first = value.front();
    if ((first == u'"' || first == u'\'') && value.back() == first) {
      return value.mid(1, value.size() - 2);
    }
  }
  return value;
}

ParsedLine parse(const RawLine& line, Encoding encoding) {
  ParsedLine parsed;
  const QString text = decode(line.text, encoding);
  const QString trimmed = text.trimmed();
  if (trimmed.isEmpty()) {
    parsed.kind = LineKind::Blank;
  } else if (trimmed.front() == u';' || trimmed.front() == u'#') {
    parsed.kind = LineKind::Comment;
  } else if (trimmed.front() == u'[') {
    parsed.kind = LineKind::Section;
    const qsizetype close = trimmed.indexOf(u']');
    parsed.name = (close < 0 ? trimmed.mid(1) : trimmed.mid(1, close - 1)).trimmed();
  } else if (const qsizetype equals = trimmed.indexOf(u'='); equals >= 0) {
    parsed.kind = LineKind::Key;
    parsed.name = trimmed.left(equals).trimmed();
    parsed.value = unquote(trimmed.mid(equals + 1).trimmed());
  }
  return parsed;
}

bool sameName(const QString& a, const QString& b) {
  return QString::compare(a, b, Qt::CaseInsensitive) == 0;
}

// A document with every line parsed, and the lookups the profile rules need.
class Profile {
 public:
  explicit Profile(Document document) : document_(std::move(document)) {
    parsed_.reserve(document_.lines.size());
    for (const RawLine& line : document_.lines) parsed_.push_back(parse(line, document_.encoding));
  }

  Encoding encoding() const { return document_.encoding; }
  // Whether a line was changed or added since the file was read.
  bool modified() const { return modified_; }

  // Index of the header of the first section called `section`, or -1.
  qsizetype findSection(const QString& section) const {
    for (size_t i = 0; i < parsed_.size(); ++i) {
      if (parsed_[i].kind == LineKind::Section && sameName(parsed_[i].name, section)) {
        return qsizetype(i);
      }
    }
    return -1;
  }

  // One past the last line of the section whose header is at `header`.
  qsizetype sectionEnd(qsizetype header) const {
    qsizetype i = header + 1;
    while (i < qsizetype(parsed_.size()) && parsed_[i].kind != LineKind::Section) ++i;
    return i;
  }

  // Index of the first line of `key` in the section at `header`, or -1.
  qsizetype findKey(qsizetype header, const QString& key) const {
    const qsizetype end = sectionEnd(header);
    for (qsizetype i = header + 1; i < end; ++i) {
      if (parsed_[i].kind == LineKind::Key && sameName(parsed_[i].name, key)) return i;
    }
    return -1;
  }

  QString read(const QString& section, const QString& key) const {
    const qsizetype header = findSection(section);
    if (header < 0) return QString();
    const qsizetype line = findKey(header, key);
    return line < 0 ? QString() : parsed_[line].value;
  }

  QStringList decodedLines() const {
    QStringList lines;
    for (const RawLine& line : document_.lines) lines << decode(line.text, document_.encoding);
    return lines;
  }

  // The line after which a missing key of the section at `header` goes: the
  // last key line of the section; in a section without keys, the header and
  // the comments right below it, which describe the section.
  qsizetype insertionPoint(qsizetype header) const {
    const qsizetype end = sectionEnd(header);
    for (qsizetype i = end - 1; i > header; --i) {
      if (parsed_[i].kind == LineKind::Key) return i;
    }
    qsizetype i = header;
    while (i + 1 < end && parsed_[i + 1].kind == LineKind::Comment) ++i;
    return i;
  }

  // Appends a section header at the end of the file; returns its index.
  qsizetype appendSection(const QByteArray& headerText) {
    return insertLine(qsizetype(parsed_.size()) - 1, headerText);
  }

  void setValue(qsizetype header, const QString& key, const QByteArray& keyBytes,
                const QString& value, const QByteArray& valueBytes) {
    const qsizetype line = findKey(header, key);
    if (line < 0) {
      insertLine(insertionPoint(header), keyBytes + '=' + valueBytes);
      return;
    }
    if (parsed_[line].value == value) return;
    // Keep what precedes the value: the key as spelt in the file and, when the
    // old value was set off by blanks after '=', those blanks.
    RawLine& raw = document_.lines[line];
    qsizetype valueStart = raw.text.indexOf('=') + 1;
    qsizetype blanksEnd = valueStart;
    while (blanksEnd < raw.text.size() &&
           (raw.text[blanksEnd] == ' ' || raw.text[blanksEnd] == '\t')) {
      ++blanksEnd;
    }
    if (blanksEnd < raw.text.size() && !valueBytes.isEmpty()) valueStart = blanksEnd;
    raw.text = raw.text.left(valueStart) + valueBytes;
    parsed_[line] = parse(raw, document_.encoding);
    modified_ = true;
  }

  QByteArray serialize() const {
    QByteArray bytes;
    if (document_.encoding == Encoding::Utf8WithBom) bytes += kUtf8Bom;
    for (const RawLine& line : document_.lines) bytes += line.text + line.eol;
    return bytes;
  }

 private:
  QByteArray newLineEnding() const {
    for (const RawLine& line : document_.lines) {
      if (!line.eol.isEmpty()) return line.eol;
    }
#ifdef Q_OS_WIN
    return QByteArray("\r\n");
#else
    return QByteArray("\n");
#endif
  }

  // Inserts a line after line `after` (-1: at the start); returns its index.
  qsizetype insertLine(qsizetype after, const QByteArray& text) {
    const QByteArray eol = newLineEnding();
    if (after >= 0 && document_.lines[after].eol.isEmpty()) document_.lines[after].eol = eol;
    const RawLine line{text, eol};
    const qsizetype at = after + 1;
    document_.lines.insert(document_.lines.begin() + at, line);
    parsed_.insert(parsed_.begin() + at, parse(line, document_.encoding));
    modified_ = true;
    return at;
  }

  Document document_;
  std::vector<ParsedLine> parsed_;
  bool modified_ = false;
};

bool hasLineBreak(const QString& text) { return text.contains(u'\n') || text.contains(u'\r'); }

QString quoted(const QString& text) { return u'"' + text + u'"'; }

// Refuses names and values that would change the file's structure or lose
// characters, before anything is written.
void checkName(const QString& path, const QString& what, const QString& name) {
  const QString trimmed = name.trimmed();
  if (trimmed.isEmpty()) failWrite(path, QStringLiteral("empty %1 name").arg(what));
  if (hasLineBreak(name) || trimmed != name) {
    failWrite(path, QStringLiteral("invalid %1 name %2").arg(what, quoted(name)));
  }
}

void checkSection(const QString& path, const QString& section) {
  checkName(path, QStringLiteral("section"), section);
  if (section.contains(u']')) {
    failWrite(path, QStringLiteral("invalid section name %1").arg(quoted(section)));
  }
}

void checkKey(const QString& path, const QString& section, const QString& key) {
  checkName(path, QStringLiteral("key"), key);
  const QChar first = key.front();
  if (key.contains(u'=') || first == u'[' || first == u';' || first == u'#') {
    failWrite(
        path,
        QStringLiteral("invalid key name %1 in section %2").arg(quoted(key), quoted(section)));
  }
}

QByteArray encodeOrFail(const QString& path, const QString& text, Encoding encoding,
                        const QString& what) {
  QByteArray bytes;
  if (!encode(text, encoding, &bytes)) {
    const QString name = encoding == Encoding::Windows1252 ? QStringLiteral("Windows-1252")
                                                           : QStringLiteral("UTF-8");
    failWrite(path, QStringLiteral("%1 holds a character that the file's encoding (%2) "
                                   "cannot store")
                        .arg(what, name));
  }
  return bytes;
}

// Replaces the file with `bytes` through a temporary file beside it, renamed
// over the old one only once everything was written and synced.
void replaceFile(const QString& path, const QByteArray& bytes) {
  const QFileInfo info(path);
  if (info.exists()) {
    if (info.isDir()) failWrite(path, QStringLiteral("it is a directory"));
    // The mode bits themselves: WriteUser would tell what this user may do,
    // and root may do anything.
    const auto anyWrite =
        QFileDevice::WriteOwner | QFileDevice::WriteGroup | QFileDevice::WriteOther;
    if (!(info.permissions() & anyWrite)) failWrite(path, QStringLiteral("the file is read-only"));
    if (!info.isWritable()) failWrite(path, QStringLiteral("Permission denied"));
  }
  QSaveFile file(path);
  // Unbuffered, so that every failed or short write shows here: QSaveFile
  // would otherwise let a failed flush of its buffer pass as a successful
  // commit and rename a truncated file over the old one.
  if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) failWrite(path, file.errorString());
  qint64 written = 0;
  while (written < bytes.size()) {
    const qint64 n = file.write(bytes.constData() + written, bytes.size() - written);
    if (n <= 0) {
      const QString reason = file.errorString();
      file.cancelWriting();
      failWrite(path, reason);
    }
    written += n;
  }
  if (!file.commit()) failWrite(path, file.errorString());
}

}  // namespace

IniFile::IniFile(QString path) : path_(std::move(path)) {}

bool IniFile::exists() const { return QFileInfo(path_).isFile(); }

QString IniFile::readString(const QString& section, const QString& key) const {
  return Profile(load(path_)).read(section, key);
}

QStringList IniFile::readStrings(const QString& section, const QStringList& keys) const {
  const Profile profile(load(path_));
  QStringList values;
  values.reserve(keys.size());
  for (const QString& key : keys) values << profile.read(section, key);
  return values;
}

void IniFile::writeString(const QString& section, const QString& key, const QString& value) {
  writeStrings(section, {{key, value}});
}

void IniFile::writeStrings(const QString& section,
                           const std::vector<std::pair<QString, QString>>& keyValues) {
  checkSection(path_, section);
  for (const auto& [key, value] : keyValues) {
    checkKey(path_, section, key);
    if (hasLineBreak(value)) {
      failWrite(path_, QStringLiteral("the value of key %1 in section %2 holds a line break")
                           .arg(quoted(key), quoted(section)));
    }
  }

  Profile profile(load(path_));
  const Encoding encoding = profile.encoding();
  qsizetype header = profile.findSection(section);
  if (header < 0) {
    const QByteArray name =
        encodeOrFail(path_, section, encoding, QStringLiteral("section name ") + quoted(section));
    header = profile.appendSection('[' + name + ']');
  }
  for (const auto& [key, value] : keyValues) {
    const QString where =
        QStringLiteral(" of key %1 in section %2").arg(quoted(key), quoted(section));
    const QByteArray keyBytes =
        encodeOrFail(path_, key, encoding, QStringLiteral("the name") + where);
    const QByteArray valueBytes =
        encodeOrFail(path_, value, encoding, QStringLiteral("the value") + where);
    profile.setValue(header, key, keyBytes, value, valueBytes);
  }
  // Every value already reads as asked: the file is left alone, its bytes
  // and its modification time, so that a save that changes nothing is no
  // write to a file other programs share (and watch).
  if (!profile.modified()) return;
  replaceFile(path_, profile.serialize());
}

QStringList IniFile::lines() const { return Profile(load(path_)).decodedLines(); }

}  // namespace margivo
