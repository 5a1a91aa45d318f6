#include "framework/db/columns_p.h"

#include <cstdint>
#include <type_traits>

namespace margivo::detail {
namespace {

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
int findAscii(const Layout& layout, const Char* name, qsizetype size, std::uint32_t hash,
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
int findSlowly(const Layout& layout, View name) {
  for (std::size_t i = 0; i < layout.columns.size(); ++i) {
    if (layout.columns[i].name.compare(name, Qt::CaseInsensitive) == 0) return int(i);
  }
  return -1;
}

}  // namespace

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

}  // namespace margivo::detail
