// Internal: the rows of a result kept in memory.
//
// A row is kept packed: a null flag per column, then its value, a CHAR
// without its padding blanks and a VARCHAR with only the bytes it holds, so
// that a year of rows with wide text columns fits in little memory. The row
// being read is unpacked into a buffer laid out as the output message. Rows
// lie in chunks, so that a large result never needs one huge block or a copy
// while it grows.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "framework/db/columns_p.h"

namespace margivo::detail {

class RowStore {
 public:
  // Drops the rows and takes the columns of `layout`. REQUIRES: `layout`
  // outlives the rows (the query holds it).
  void reset(const Layout* layout);
  // Drops the rows, keeping the layout.
  void clear();
  // Packs `message` (a row as the database wrote it) after the others.
  void append(const char* message);
  // Row `index` laid out as the output message; valid until the next call.
  const char* row(std::size_t index) const {
    if (unpacked_ != std::ptrdiff_t(index)) unpack(index);
    return message_.data();
  }
  std::size_t count() const { return starts_.size(); }

 private:
  static constexpr std::size_t kChunkBytes = 256 * 1024;
  static constexpr std::size_t kFirstChunkBytes = 4 * 1024;

  void unpack(std::size_t index) const;

  const Layout* layout_ = nullptr;
  std::size_t maxPacked_ = 0;
  std::vector<std::unique_ptr<char[]>> chunks_;
  std::size_t used_ = 0;      // bytes used in the last chunk
  std::size_t capacity_ = 0;  // size of the last chunk
  std::vector<const char*> starts_;
  mutable std::vector<char> message_;
  mutable std::ptrdiff_t unpacked_ = -1;
};

}  // namespace margivo::detail
