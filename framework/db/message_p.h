// Internal: reading and writing values inside a message buffer - a row as
// the database writes it, or parameters as it reads them. Offsets come from
// the message's metadata and need not be aligned for the type.
#pragma once

#include <cstring>

namespace margivo::detail {

template <typename T>
T readAt(const char* buffer, unsigned offset) {
  T value;
  std::memcpy(&value, buffer + offset, sizeof value);
  return value;
}

template <typename T>
void writeAt(char* buffer, unsigned offset, T value) {
  std::memcpy(buffer + offset, &value, sizeof value);
}

}  // namespace margivo::detail
