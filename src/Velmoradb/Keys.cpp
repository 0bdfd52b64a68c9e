// Key buffers and the comparison of records and keys field by field.
#include <cstring>

#include <velmora/velmora.hpp>

#include "Ind1/Index.h"
#include "VRcomm/ShortString.h"
#include "Velmoradb/PinnedRecord.h"
#include "Velmoradb/VelmoraDB.h"

namespace velmora {

namespace {

constexpr size_t kKeyTextStride = 256;

// Key texts that make a key field null, spelled exactly.
bool IsNullWord(const std::string &text) {
  return text == "Nil" || text == "Null" || text == "NIL" || text == "NULL";
}

template <class T>
T Load(const uint8_t *p) {
  T value;
  std::memcpy(&value, p, sizeof value);
  return value;
}

// The sign of a - b after rounding the difference to the six-byte real format:
// a difference below its smallest magnitude counts as equal, one beyond its
// range is a floating-point overflow, and infinities and not-a-number values
// are floating-point errors.
int32_t SignOfDifference(long double a, long double b) {
  uint8_t rounded[6];
  DoubleToReal48(a - b, rounded);
  if (rounded[0] == 0) return 0;
  return (rounded[5] & 0x80) != 0 ? -1 : 1;
}

uint8_t FoldCase(uint8_t c) { return c >= 'a' && c <= 'z' ? static_cast<uint8_t>(c - 32) : c; }

}  // namespace

void TVRVelmoraDB::FillKeyBuffer(const uint8_t *texts, int32_t high, BufferRole target) {
  uint8_t *record = CurrentBuffer();
  uint8_t *work = WorkBuffer();
  if (high >= 0 && texts == nullptr) RaiseTableError("Unable to convert array to field values");
  CopyRecord(record, work);
  FillRecord(record, 0);
  std::memset(record, target == BufferRole::kRangeHigh ? 2 : 0, static_cast<size_t>(FieldCount));
  const TIndexDescriptor &index = Indexes[CurrentIndex()];
  try {
    for (int32_t k = 0; k <= high && k < index.FieldCount; ++k) {
      int32_t f = index.FieldNos[k];
      const TFieldDescriptor &field = Fields[f];
      std::string text = FromShort(texts + kKeyTextStride * static_cast<size_t>(k));
      if (text.empty() || IsNullWord(text)) {
        record[f] = 0;
      } else {
        TextToFieldValue(record[f], record + field.Offset, text, field.FieldType,
                         field.FieldType == 'S' ? field.Len - 1 : 0);
      }
    }
  } catch (const Exception &) {
    // The record buffer must not keep a half-built key: a later post or delete
    // would act on it.
    CopyRecord(work, record);
    RaiseTableError("Unable to convert array to field values");
  }
  CopyRecord(record, Buffer(target));
  CopyRecord(work, record);
}

int32_t TVRVelmoraDB::CompareField(const uint8_t *a, const uint8_t *b, int32_t fieldNo,
                                   bool caseless, int32_t maxLen) {
  uint8_t fa = a[fieldNo];
  uint8_t fb = b[fieldNo];
  if (fa != 1 || fb != 1) return static_cast<int32_t>(fa) - static_cast<int32_t>(fb);
  const TFieldDescriptor &field = Fields[fieldNo];
  const uint8_t *va = a + field.Offset;
  const uint8_t *vb = b + field.Offset;
  switch (field.FieldType) {
    case 'B':
      return static_cast<int32_t>(va[0]) - static_cast<int32_t>(vb[0]);
    case 'C':
    case 'D':
    case 'F':
      return SignOfDifference(Load<double>(va), Load<double>(vb));
    case 'I': {
      int32_t x = Load<int32_t>(va);
      int32_t y = Load<int32_t>(vb);
      return x < y ? -1 : (x > y ? 1 : 0);
    }
    case 'R':
      return SignOfDifference(Real48ToLongDouble(va), Real48ToLongDouble(vb));
    case 'S': {
      // Never past the field's own bytes, whatever length is asked for.
      int32_t limit = field.Len - 1;
      int32_t n = maxLen > 0 && maxLen < limit ? maxLen : limit;
      for (int32_t i = 0; i < n; ++i) {
        uint8_t x = caseless ? FoldCase(va[i]) : va[i];
        uint8_t y = caseless ? FoldCase(vb[i]) : vb[i];
        if (x != y) return static_cast<int32_t>(x) - static_cast<int32_t>(y);
        if (x == 0) return 0;
      }
      return 0;
    }
    default:
      RaiseTableError("Field type compare error in Velmora");
  }
}

int32_t TVRVelmoraDB::CompareKeys(const uint8_t *a, const uint8_t *b, bool tieBreak,
                                  int32_t indexNo) {
  const TIndexDescriptor &index = Indexes[indexNo];
  for (int32_t k = 0; k < index.FieldCount; ++k) {
    int32_t r = CompareField(a, b, index.FieldNos[k], false, 0);
    if (r != 0) return r;
  }
  return tieBreak ? CompareKeys(a, b, false, 0) : 0;
}

bool TVRVelmoraDB::SearchKey(const uint8_t *key, int32_t indexNo, int32_t &recNo,
                             int32_t pendingRec, const uint8_t *pendingImage) {
  TIndex &index = *PrimaryIndex;
  bool exact = false;
  index.BeginSearch();
  while (!index.SearchDone()) {
    int32_t r = index.Probe();
    int32_t c;
    if (r == pendingRec && pendingImage != nullptr) {
      c = CompareKeys(key, pendingImage, true, indexNo);
    } else {
      PinnedRecord record(*this, r);
      c = CompareKeys(key, record.get(), true, indexNo);
    }
    if (c == 0) exact = true;
    index.Narrow(c < 0 ? -1 : (c > 0 ? 1 : 0));
  }
  recNo = index.SearchResult();
  return exact;
}

}  // namespace velmora
