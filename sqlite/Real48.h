// The six-byte real of Real fields: byte 0 the exponent (bias 129, 0 for the
// value zero), bytes 1 to 5 a 39-bit fraction with an implied leading 1, the
// sign in bit 7 of byte 5.
#pragma once

#include <cstdint>

namespace vsql {

double DecodeReal48(const uint8_t *bytes);
// Rounds to the nearest six-byte real (a half away from zero); a value too
// small becomes zero.  False, with nothing written, for a value too large or
// not finite.
bool EncodeReal48(double value, uint8_t *bytes);
// The double of the shortest decimal text that encodes back to the same six
// bytes: what SQL sees of a Real field, so that the literal 2.1 finds a
// stored 2.1.  The mapping keeps the order of the stored values.
double Real48AsDecimal(const uint8_t *bytes);

}  // namespace vsql
