// Every integer in a table's files is a little-endian 32-bit number; these
// read and write one byte by byte, whatever the host's byte order and
// whatever the alignment of the buffer.
#pragma once

#include <cstdint>

namespace velmora {

inline void PutInt32(uint8_t *at, int32_t value) {
  uint32_t v = static_cast<uint32_t>(value);
  for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(v >> (8 * i));
}

inline int32_t GetInt32(const uint8_t *at) {
  uint32_t v = 0;
  for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(at[i]) << (8 * i);
  return static_cast<int32_t>(v);
}

}  // namespace velmora
