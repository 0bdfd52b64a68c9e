#include "Velmoradb/JournalChecksum.h"

#include <bit>
#include <cstring>

#include "VRcomm/JournalLayout.h"

namespace velmora {

namespace {

constexpr uint64_t kFactor = 0x9E3779B97F4A7C15ull;

// The little-endian word at `at`.
inline uint64_t Load64(const uint8_t *at) {
  uint64_t v;
  std::memcpy(&v, at, 8);
  if constexpr (std::endian::native == std::endian::big) {
    uint64_t r = 0;
    for (int i = 0; i < 8; ++i) r = (r << 8) | ((v >> (8 * i)) & 0xFF);
    v = r;
  }
  return v;
}

inline uint64_t Step(uint64_t h, uint64_t word) {
  h = (h ^ word) * kFactor;
  return h ^ (h >> 32);
}

}  // namespace

uint64_t ByteChecksum(const uint8_t *bytes, size_t n) {
  uint64_t h = journal::kChecksumBasis;
  for (size_t i = 0; i < n; ++i) h = (h ^ bytes[i]) * journal::kChecksumPrime;
  return h;
}

uint64_t WordChecksum(const uint8_t *bytes, size_t n) {
  uint64_t lane[4] = {0x243F6A8885A308D3ull, 0x13198A2E03707344ull, 0xA4093822299F31D0ull, 0x082EFA98EC4E6C89ull};
  size_t i = 0;
  for (; n - i >= 32; i += 32) {
    lane[0] = Step(lane[0], Load64(bytes + i));
    lane[1] = Step(lane[1], Load64(bytes + i + 8));
    lane[2] = Step(lane[2], Load64(bytes + i + 16));
    lane[3] = Step(lane[3], Load64(bytes + i + 24));
  }
  for (; n - i >= 8; i += 8) lane[0] = Step(lane[0], Load64(bytes + i));
  for (; i < n; ++i) lane[0] = Step(lane[0], bytes[i]);
  uint64_t h = Step(lane[0], static_cast<uint64_t>(n));
  for (int k = 1; k < 4; ++k) h = Step(h, lane[k]);
  return h;
}

}  // namespace velmora
