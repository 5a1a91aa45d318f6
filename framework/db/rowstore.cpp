#include "framework/db/rowstore_p.h"

#include <ibase.h>

#include <algorithm>
#include <cstring>

#include "framework/db/message_p.h"

namespace margivo::detail {

void RowStore::reset(const Layout* layout) {
  clear();
  layout_ = layout;
  maxPacked_ = layout->messageLength + 3 * layout->columns.size();
  message_.resize(layout->messageLength);
}

void RowStore::clear() {
  chunks_.clear();
  starts_.clear();
  used_ = capacity_ = 0;
  unpacked_ = -1;
}

void RowStore::append(const char* message) {
  // Most statements are look-ups of a row or a few: the first chunk is
  // small, and no chunk is cleared since every byte is written before it
  // is read.
  if (chunks_.empty() || used_ + maxPacked_ > capacity_) {
    capacity_ = std::max(chunks_.empty() ? kFirstChunkBytes : kChunkBytes, maxPacked_);
    chunks_.push_back(std::make_unique_for_overwrite<char[]>(capacity_));
    used_ = 0;
  }
  char* const start = chunks_.back().get() + used_;
  char* out = start;
  for (const Column& c : layout_->columns) {
    const bool null = readAt<short>(message, c.nullOffset) != 0;
    *out++ = null ? 1 : 0;
    if (null) continue;
    const char* data = message + c.offset;
    if (c.type == SQL_VARYING || c.type == SQL_TEXT) {
      unsigned short size = 0;
      if (c.type == SQL_VARYING) {
        size = readAt<unsigned short>(data, 0);
        data += 2;
      } else {
        size = static_cast<unsigned short>(c.length);
        while (size > 0 && data[size - 1] == ' ') --size;
      }
      writeAt<unsigned short>(out, 0, size);
      std::memcpy(out + 2, data, size);
      out += 2 + size;
    } else {
      std::memcpy(out, data, c.length);
      out += c.length;
    }
  }
  starts_.push_back(start);
  used_ += std::size_t(out - start);
}

void RowStore::unpack(std::size_t index) const {
  const char* in = starts_[index];
  char* message = message_.data();
  for (const Column& c : layout_->columns) {
    const bool null = *in++ != 0;
    writeAt<short>(message, c.nullOffset, null ? -1 : 0);
    if (null) continue;
    char* data = message + c.offset;
    if (c.type == SQL_VARYING || c.type == SQL_TEXT) {
      const auto size = readAt<unsigned short>(in, 0);
      if (c.type == SQL_VARYING) {
        writeAt<unsigned short>(data, 0, size);
        data += 2;
      }
      std::memcpy(data, in + 2, size);
      if (c.type == SQL_TEXT) std::memset(data + size, ' ', c.length - size);
      in += 2 + size;
    } else {
      std::memcpy(data, in, c.length);
      in += c.length;
    }
  }
  unpacked_ = std::ptrdiff_t(index);
}

}  // namespace margivo::detail
