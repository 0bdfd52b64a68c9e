// The data file ("T.vrd"): the records one after the other, with no header,
// record r at byte r * record size (the header of the schema file gives the
// record size).  Byte f of a record (f below the field count) is the null
// flag of field f; the values follow from the field count rounded up to 4,
// each at its field's offset (schema file), in its type's storage: B two
// bytes (the first 1 for true, 0 for false, the second unused), C D F an 8-byte IEEE double, I a
// 32-bit integer, R a six-byte real (Real48.h), S the bytes of the text ended
// by a zero byte.  Integers and doubles are little-endian.
#pragma once

#include <cstdint>

namespace velmora::data {

// The null flag of a field: 1 holds a value; 0 null.
constexpr uint8_t kNull = 0;
constexpr uint8_t kValue = 1;

// The byte at which record r starts.
constexpr int64_t RecordAt(int64_t r, int32_t recordSize) { return r * recordSize; }

}  // namespace velmora::data
