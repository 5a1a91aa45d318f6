#include "framework/db/encoding_p.h"

#include <cstdint>
#include <cstring>

#include "framework/windows1252.h"

namespace margivo::detail {

namespace {

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
  QByteArray bytes;
  if (toWindows1252(text, &bytes)) return bytes;
  return text.toUtf8();
}

QString decodeText(const char* bytes, std::size_t size) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes);
  // Most of the ERP's text is plain ASCII, which reads the same in every
  // encoding here: Latin-1 is the cheapest way to widen it.
  const std::size_t ascii = asciiPrefix(p, size);
  if (ascii == size) return QString::fromLatin1(bytes, qsizetype(size));
  if (isValidUtf8(p + ascii, size - ascii)) return QString::fromUtf8(bytes, qsizetype(size));
  return fromWindows1252(QByteArrayView(bytes, qsizetype(size)));
}

}  // namespace margivo::detail
