#include "framework/db/encoding_p.h"

#include <array>
#include <cstdint>
#include <cstring>

namespace margivo::detail {

namespace {

// Windows-1252 bytes 0x80..0x9F. The five bytes the code page leaves
// unassigned map to the control characters of the same number, as Windows
// itself converts them, so that every byte reads as something.
constexpr std::array<char16_t, 32> kWindows1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  //
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  //
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  //
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

int windows1252Byte(char16_t c) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return c;
  for (std::size_t i = 0; i < kWindows1252High.size(); ++i) {
    if (kWindows1252High[i] == c) return int(0x80 + i);
  }
  return -1;
}

// How many bytes at the start of `p` are ASCII, eight at a time.
std::size_t asciiPrefix(const unsigned char* p, std::size_t size) {
  std::size_t i = 0;
  for (; i + 8 <= size; i += 8) {
    std::uint64_t word;
    std::memcpy(&word, p + i, sizeof word);
    if (word & 0x8080808080808080ull) break;
  }
  while (i < size && p[i] < 0x80) ++i;
  return i;
}

bool isValidUtf8(const unsigned char* p, std::size_t size) {
  std::size_t i = 0;
  while (i < size) {
    const unsigned char c = p[i];
    if (c < 0x80) {
      ++i;
      continue;
    }
    std::size_t extra;
    std::uint32_t code;
    if (c >= 0xC2 && c <= 0xDF) {
      extra = 1;
      code = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
      extra = 2;
      code = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      extra = 3;
      code = c & 0x07;
    } else {
      return false;
    }
    if (i + extra >= size) return false;
    for (std::size_t k = 1; k <= extra; ++k) {
      if ((p[i + k] & 0xC0) != 0x80) return false;
      code = (code << 6) | (p[i + k] & 0x3F);
    }
    // Overlong forms, surrogates and code points past U+10FFFF.
    if ((extra == 2 && code < 0x800) || (extra == 3 && (code < 0x10000 || code > 0x10FFFF)) ||
        (code >= 0xD800 && code <= 0xDFFF)) {
      return false;
    }
    i += extra + 1;
  }
  return true;
}

}  // namespace

QByteArray encodeText(const QString& text) {
  QByteArray bytes(text.size(), Qt::Uninitialized);
  for (qsizetype i = 0; i < text.size(); ++i) {
    const int b = windows1252Byte(text[i].unicode());
    if (b < 0) return text.toUtf8();
    bytes[i] = char(b);
  }
  return bytes;
}

QString decodeText(const char* bytes, std::size_t size) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes);
  // Most of the ERP's text is plain ASCII, which reads the same in every
  // encoding here: Latin-1 is the cheapest way to widen it.
  const std::size_t ascii = asciiPrefix(p, size);
  if (ascii == size) return QString::fromLatin1(bytes, qsizetype(size));
  if (isValidUtf8(p + ascii, size - ascii)) return QString::fromUtf8(bytes, qsizetype(size));
  QString text(qsizetype(size), Qt::Uninitialized);
  QChar* out = text.data();
  for (std::size_t i = 0; i < size; ++i) {
    const unsigned char c = p[i];
    out[i] = (c >= 0x80 && c < 0xA0) ? QChar(kWindows1252High[c - 0x80]) : QChar(c);
  }
  return text;
}

}  // namespace margivo::detail
