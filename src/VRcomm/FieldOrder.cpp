#include "VRcomm/FieldOrder.h"

#include <cstring>

#include "VRcomm/Real48.h"
#include "VRcomm/X87Watch.h"

namespace velmora {

namespace {

template <class T>
T Load(const uint8_t *p) {
  T value;
  std::memcpy(&value, p, sizeof value);
  return value;
}

uint8_t FoldCase(uint8_t c) { return c >= 'a' && c <= 'z' ? static_cast<uint8_t>(c - 32) : c; }

}  // namespace

int32_t CompareNumbers(long double a, long double b) {
  uint8_t rounded[6];
  DoubleToReal48(a - b, rounded);
  if (rounded[0] == 0) return 0;
  return (rounded[5] & 0x80) != 0 ? -1 : 1;
}

std::optional<int32_t> CompareFieldValues(const FieldPlace &field, const uint8_t *a, const uint8_t *b, bool caseless,
                                          int32_t maxLen) {
  uint8_t fa = a[field.no];
  uint8_t fb = b[field.no];
  if (fa != 1 || fb != 1) return static_cast<int32_t>(fa) - static_cast<int32_t>(fb);
  const uint8_t *va = a + field.offset;
  const uint8_t *vb = b + field.offset;
  switch (field.type) {
    case 'B': return static_cast<int32_t>(va[0]) - static_cast<int32_t>(vb[0]);
    case 'C':
    case 'D':
    case 'F':
      fpu::NoteX87Use();  // the values become long doubles
      return CompareNumbers(Load<double>(va), Load<double>(vb));
    case 'I': {
      int32_t x = Load<int32_t>(va);
      int32_t y = Load<int32_t>(vb);
      return x < y ? -1 : (x > y ? 1 : 0);
    }
    case 'R': return CompareNumbers(Real48ToLongDouble(va), Real48ToLongDouble(vb));
    case 'S': {
      // Never past the field's own bytes, whatever length is asked for.
      int32_t limit = field.size - 1;
      int32_t n = maxLen > 0 && maxLen < limit ? maxLen : limit;
      for (int32_t i = 0; i < n; ++i) {
        uint8_t x = caseless ? FoldCase(va[i]) : va[i];
        uint8_t y = caseless ? FoldCase(vb[i]) : vb[i];
        if (x != y) return static_cast<int32_t>(x) - static_cast<int32_t>(y);
        if (x == 0) return 0;
      }
      return 0;
    }
    default: return std::nullopt;
  }
}

}  // namespace velmora
