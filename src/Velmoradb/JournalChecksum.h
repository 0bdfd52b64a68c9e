// The checksums of a journal record's body.  A record names the one it was
// written with by its magic: "VRJ1" records (written by earlier versions, and
// still rolled back) carry the byte-at-a-time checksum, "VRJ2" records the
// word-at-a-time one, which reads 32 bytes per step in four independent lanes.
// Each step of a lane is a bijection of the lane's state for a given word and
// of the word for a given state, and so is the final combination, so a body
// that differs in the words of one lane always gets a different checksum.
#pragma once

#include <cstddef>
#include <cstdint>

namespace velmora {

// 64-bit FNV-1a over every byte ("VRJ1").
uint64_t ByteChecksum(const uint8_t *bytes, size_t n);
// Four lanes of h = (h ^ word) * K; h ^= h >> 32 over the little-endian
// 8-byte words of the body, the tail's bytes folded into the first lane one
// by one, the lanes and the length combined the same way ("VRJ2").
uint64_t WordChecksum(const uint8_t *bytes, size_t n);

}  // namespace velmora
