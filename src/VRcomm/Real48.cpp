#include "VRcomm/Real48.h"

#include <cmath>
#include <cstring>

#include <velmora/velmora.hpp>

#include "VRcomm/X87Watch.h"

namespace velmora {

namespace {
constexpr uint64_t kFractionOne = uint64_t{1} << 39;  // the implied leading bit
}

void DoubleToReal48(long double value, uint8_t out[6]) {
  fpu::NoteX87Use();
  if (std::isnan(value)) throw EMathError("Invalid floating point operation");
  if (std::isinf(value)) throw EMathError("Floating point overflow");
  // Built aside and copied at the end: a refused value leaves out unchanged.
  uint8_t real[6] = {0, 0, 0, 0, 0, 0};
  if (value == 0) {
    std::memcpy(out, real, sizeof real);
    return;
  }

  bool negative = std::signbit(value);
  int exp2 = 0;
  // |value| = m * 2^exp2 with m in [0.5, 1), i.e. (2m) * 2^(exp2-1) with 2m in [1, 2).
  long double m = std::frexp(std::fabs(value), &exp2);
  // The 40 significant bits (leading 1 and 39 fraction bits), rounded to
  // nearest with halves away from zero; scaling by a power of two is exact.
  long double scaled = std::round(std::ldexp(m, 40));
  uint64_t mantissa = static_cast<uint64_t>(scaled);
  int64_t exponent = static_cast<int64_t>(exp2) + 128;
  if (mantissa >= (kFractionOne << 1)) {  // rounding carried into the next power of two
    mantissa >>= 1;
    ++exponent;
  }
  if (exponent > 255) throw EMathError("Floating point overflow");
  if (exponent >= 1) {  // else too small: zero
    uint64_t fraction = mantissa - kFractionOne;
    real[0] = static_cast<uint8_t>(exponent);
    for (int i = 1; i <= 5; ++i) {
      real[i] = static_cast<uint8_t>(fraction & 0xFF);
      fraction >>= 8;
    }
    if (negative) real[5] |= 0x80;
  }
  std::memcpy(out, real, sizeof real);
}

long double Real48ToLongDouble(const uint8_t in[6]) {
  fpu::NoteX87Use();
  if (in[0] == 0) return 0;
  uint64_t fraction = 0;
  for (int i = 5; i >= 1; --i) fraction = (fraction << 8) | in[i];
  bool negative = (fraction & (uint64_t{1} << 39)) != 0;
  fraction &= kFractionOne - 1;
  long double magnitude =
      std::ldexp(static_cast<long double>(kFractionOne + fraction), static_cast<int>(in[0]) - 129 - 39);
  return negative ? -magnitude : magnitude;
}

}  // namespace velmora
