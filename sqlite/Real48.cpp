#include "Real48.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace vsql {

double DecodeReal48(const uint8_t *bytes) {
  if (bytes[0] == 0) return 0.0;
  uint64_t fraction = static_cast<uint64_t>(bytes[1]) | static_cast<uint64_t>(bytes[2]) << 8 |
                      static_cast<uint64_t>(bytes[3]) << 16 | static_cast<uint64_t>(bytes[4]) << 24 |
                      static_cast<uint64_t>(bytes[5] & 0x7F) << 32;
  double magnitude = std::ldexp(1.0 + std::ldexp(static_cast<double>(fraction), -39), bytes[0] - 129);
  return (bytes[5] & 0x80) != 0 ? -magnitude : magnitude;
}

bool EncodeReal48(double value, uint8_t *bytes) {
  if (!std::isfinite(value)) return false;
  uint8_t out[6] = {};
  if (value != 0.0) {
    int exponent = 0;
    double mantissa = std::frexp(std::fabs(value), &exponent);  // 0.5 <= mantissa < 1
    // |value| = (2 * mantissa) * 2^(exponent - 1), 1 <= 2 * mantissa < 2.
    double scaled = std::ldexp(2.0 * mantissa - 1.0, 39);
    uint64_t fraction = static_cast<uint64_t>(std::floor(scaled + 0.5));
    int biased = exponent - 1 + 129;
    if (fraction >= (uint64_t{1} << 39)) {
      fraction = 0;
      ++biased;
    }
    if (biased > 255) return false;
    if (biased >= 1) {
      out[0] = static_cast<uint8_t>(biased);
      for (int k = 0; k < 5; ++k) out[1 + k] = static_cast<uint8_t>(fraction >> (8 * k));
      out[5] = static_cast<uint8_t>((out[5] & 0x7F) | (value < 0 ? 0x80 : 0));
    }
  }
  std::memcpy(bytes, out, 6);
  return true;
}

double Real48AsDecimal(const uint8_t *bytes) {
  double exact = DecodeReal48(bytes);
  if (bytes[0] == 0) return 0.0;
  for (int digits = 1; digits <= 17; ++digits) {
    char text[40];
    std::snprintf(text, sizeof text, "%.*g", digits, exact);
    double candidate = std::strtod(text, nullptr);
    uint8_t again[6];
    if (EncodeReal48(candidate, again) && std::memcmp(again, bytes, 6) == 0) return candidate;
  }
  return exact;
}

}  // namespace vsql
