// The order in which the indexes keep the values of a field: the one
// comparison of field values that the engine's keys, searches, filters and
// locate use and that the velmora tool checks index files against.
#pragma once

#include <cstdint>
#include <optional>

namespace velmora {

// Where a field lies in a record: byte no of the record is its null flag (1 a
// value, 0 null), its value starts at offset in the storage of its type
// letter, size bytes in all (for a String, the characters and the ending zero).
struct FieldPlace {
  int32_t no;
  int32_t offset;
  char type;
  int32_t size;
};

// The sign of a - b after rounding the difference to the six-byte real: a
// difference below its smallest magnitude (2^-128) counts as equal.  Raises
// EMathError for a difference beyond its range ("Floating point overflow") or
// not a number ("Invalid floating point operation").  Its arguments are long
// doubles already: a caller that converts values for it notes its use of the
// x87 unit first (VRcomm/X87Watch.h).
int32_t CompareNumbers(long double a, long double b);

// Three-way comparison of the field in records a and b: null flags first (a
// null before every value; flags other than 0 and 1 by their difference),
// then B by byte, I as integers, C D F (doubles) and R (six-byte reals) by
// CompareNumbers, S byte by byte up to the ending zero and at most maxLen bytes
// (0: the whole field), with a-z folded to upper case when caseless.  No
// result for a type letter that is not a field type.
std::optional<int32_t> CompareFieldValues(const FieldPlace &field, const uint8_t *a, const uint8_t *b,
                                          bool caseless = false, int32_t maxLen = 0);

}  // namespace velmora
