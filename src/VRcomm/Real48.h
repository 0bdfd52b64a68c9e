// The six-byte real: byte 0 the exponent (bias 129, 0 means zero), bytes 1..5
// a 39-bit fraction least significant byte first with the leading 1 implied,
// bit 7 of byte 5 the sign.  Fields of type R and the schema file's version
// are stored this way, and the indexes order numbers by their difference
// rounded to it (FieldOrder.h).
#pragma once

#include <cstdint>

namespace velmora {

// Rounds to nearest (half away from zero); too small gives zero; too large
// (or infinite / not a number) raises EMathError "Floating point overflow"
// ("Invalid floating point operation" for not a number) and leaves out as it was.
void DoubleToReal48(long double value, uint8_t out[6]);
long double Real48ToLongDouble(const uint8_t in[6]);

}  // namespace velmora
