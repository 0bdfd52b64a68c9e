#include "VRcomm/FieldTypes.h"

#include <cmath>
#include <cstddef>
#include <cstring>

#include <velmora/velmora.hpp>

#include "VRcomm/ShortString.h"
#include "VRcomm/X87Watch.h"
#include "platform/Platform.h"

namespace velmora {

// The field descriptor crosses the library boundary and is stored in the
// table object: its packed layout is fixed.
static_assert(sizeof(TFieldDescriptor) == 1302, "field descriptor must be 1302 bytes");
static_assert(offsetof(TFieldDescriptor, Name) == 0);
static_assert(offsetof(TFieldDescriptor, FieldType) == 256);
static_assert(offsetof(TFieldDescriptor, Len) == 257);
static_assert(offsetof(TFieldDescriptor, Offset) == 259);
static_assert(offsetof(TFieldDescriptor, HasParam0) == 261);
static_assert(offsetof(TFieldDescriptor, HasParam1) == 265);
static_assert(offsetof(TFieldDescriptor, HasParam2) == 269);
static_assert(offsetof(TFieldDescriptor, HasParam3) == 273);
static_assert(offsetof(TFieldDescriptor, FieldFlags) == 277);
static_assert(offsetof(TFieldDescriptor, Param1) == 278);
static_assert(offsetof(TFieldDescriptor, Param2) == 534);
static_assert(offsetof(TFieldDescriptor, Param3) == 790);
static_assert(offsetof(TFieldDescriptor, Reserved) == 1046);

const TvrFieldRecord kFieldTypeTable[8] = {
    {'X', "Unknown", -1}, {'B', "Boolean", 2}, {'C', "Currency", 8}, {'D', "DateTime", 8},
    {'F', "Float", 8},    {'I', "Integer", 4}, {'R', "Real", 6},     {'S', "String", -1},
};

int LookupFieldType(char letter) {
  // From the last type down to the first; entry 0 is the "unknown" entry.
  for (int i = 7; i >= 1; --i) {
    if (kFieldTypeTable[i].Letter == letter) return i - 1;
  }
  return -1;
}

int FieldTypeSize(char letter) { return kFieldTypeTable[LookupFieldType(letter) + 1].Size; }

std::string StripCurrencySign(const std::string &text) {
  std::string result = text;
  size_t pos = result.find('$');
  if (pos != std::string::npos) result.erase(pos, 1);
  return result;
}

void TextToFieldValue(uint8_t &hasValue, void *dest, const std::string &text, char fieldType, int32_t maxLen) {
  hasValue = 0;
  if (text.empty()) return;
  if (dest == nullptr) throw EVelmoraDBError("No destination was given for a field value");
  auto *out = static_cast<uint8_t *>(dest);

  switch (fieldType) {
    case 'B': {
      std::string upper = text;
      for (char &c : upper) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
      }
      if (upper == "TRUE") {
        out[0] = 1;
      } else if (upper == "FALSE") {
        out[0] = 0;
      } else {
        throw EVRBError(Cut255(text + " is not valid data for a boolean field."));
      }
      break;
    }
    case 'C': {
      double v = platform::Os().TextToFloat(StripCurrencySign(text));
      std::memcpy(out, &v, sizeof v);
      break;
    }
    case 'D': {
      double v = platform::Os().TextToDateTime(text);
      std::memcpy(out, &v, sizeof v);
      break;
    }
    case 'F': {
      double v = platform::Os().TextToFloat(text);
      std::memcpy(out, &v, sizeof v);
      break;
    }
    case 'I': {
      int32_t v = platform::Os().TextToInt(text);
      std::memcpy(out, &v, sizeof v);
      break;
    }
    case 'R': {
      uint8_t real[6];
      const double value = platform::Os().TextToFloat(text);
      fpu::NoteX87Use();  // the value becomes a long double
      DoubleToReal48(value, real);
      std::memcpy(out, real, sizeof real);
      break;
    }
    case 'S': {
      size_t n = maxLen > 0 ? static_cast<size_t>(maxLen) : 0;
      if (n > text.size()) n = text.size();
      if (n > 0) std::memcpy(out, text.data(), n);
      out[n] = 0;
      break;
    }
    default: throw EVRBError("Unrecognized field type.");
  }
  hasValue = 1;
}

}  // namespace velmora
