// Field types, their storage, the six-byte real, the record layout rules and
// the conversion of texts into field values.
#pragma once

#include <cstdint>
#include <string>

#include <velmora/velmora.h>

#include "VRcomm/Real48.h"

namespace velmora {

// Limits of a table.
constexpr int32_t kMaxFields = 26;
constexpr int32_t kMaxIndexes = 13;
constexpr int32_t kMaxIndexFields = 10;
constexpr int32_t kMaxRecords = 30000;
// The largest record size for which one slot of the record cache (record size
// + 7 bytes) stays below the 65535-byte limit of the cache block.
constexpr int32_t kMaxRecordSize = 65527;

struct TvrFieldRecord {
  char Letter;
  const char *Name;
  int8_t Size;  // storage size in bytes, -1 for none fixed
};

// Entry 0 ('X', "Unknown", -1) stands for any letter that is not a field type;
// entries 1 to 7 are B, C, D, F, I, R, S.
extern const TvrFieldRecord kFieldTypeTable[8];

// Position 0..6 of the letter among the seven field types (B..S), or -1.
int LookupFieldType(char letter);
// Storage size of the letter's type: -1 for S and for unknown letters.
int FieldTypeSize(char letter);
// The text without its first "$".
std::string StripCurrencySign(const std::string &text);

// n rounded up to a multiple of 4.
constexpr int32_t RoundUp4(int32_t n) { return (n / 4 + (n % 4 > 0 ? 1 : 0)) * 4; }

// Converts text into a value of the field type at dest (see the field type
// table); an empty text leaves hasValue 0 and dest untouched.  Raises EVRBError
// or EConvertError as described for each type.  maxLen: characters a String
// field holds.
void TextToFieldValue(uint8_t &hasValue, void *dest, const std::string &text, char fieldType, int32_t maxLen);

// One index of an open table.
struct TIndexDescriptor {
  uint8_t Name[256];
  int16_t FieldNos[kMaxIndexFields];
  int16_t FieldCount;
  int16_t Spare;  // set to 0 when the schema is loaded, not otherwise used
};

}  // namespace velmora
