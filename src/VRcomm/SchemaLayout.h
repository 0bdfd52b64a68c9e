// The schema file ("T.vri"): a run of 520-byte blocks, a header, one block per
// field, one block per index.  Texts are short strings (a length byte, then
// the characters) in 64 bytes; all integers are little-endian.  Byte offsets
// are within a block; bytes not named here are zero.
#pragma once

#include <cstdint>

namespace velmora::schema {

constexpr int32_t kBlockSize = 520;
constexpr int32_t kTextWidth = 64;  // short string of at most 63 characters
constexpr int32_t kTextMax = kTextWidth - 1;
// Header block (block 0).
constexpr int32_t kHeaderFieldCount = 320;
constexpr int32_t kHeaderIndexCount = 324;
constexpr int32_t kHeaderRecordSize = 328;
constexpr int32_t kHeaderVersion = 418;  // six-byte real
// Field block (blocks 1 to fields).
constexpr int32_t kFieldName = 0;
constexpr int32_t kFieldType = 65;  // the type letter
constexpr int32_t kFieldParam1 = 128;
constexpr int32_t kFieldParam2 = 192;
constexpr int32_t kFieldParam3 = 256;
constexpr int32_t kFieldSize = 320;    // storage size in bytes
constexpr int32_t kFieldOffset = 324;  // position of the value in the record
constexpr int32_t kFieldFlags = 328;
constexpr int32_t kFieldHasParam0 = 332;  // then HasParam1..3, 4 bytes each
// Index block (blocks fields + 1 to fields + indexes).
constexpr int32_t kIndexName = 0;
constexpr int32_t kIndexFieldCount = 320;
constexpr int32_t kIndexFieldNos = 324;  // 4 bytes per key field, in key order
// Version written by this system.
constexpr double kVersion = 2.1;
// Files of an older version carry no field parameters.
constexpr double kParamsVersion = 2.0;
// The largest storage size and offset a field can have (signed 16-bit).
constexpr int32_t kMaxFieldPosition = 32767;

// The block of field f and of index i.
constexpr int64_t FieldBlock(int32_t f) { return 1 + static_cast<int64_t>(f); }
constexpr int64_t IndexBlock(int32_t fieldCount, int32_t i) { return 1 + static_cast<int64_t>(fieldCount) + i; }
// The size of a sound schema file.
constexpr int64_t FileSize(int32_t fieldCount, int32_t indexCount) {
  return kBlockSize * (1 + static_cast<int64_t>(fieldCount) + indexCount);
}

}  // namespace velmora::schema
