// Key buffers and the comparison of records and keys field by field.
#include <cstring>

#include <velmora/velmora.hpp>

#include "Ind1/Index.h"
#include "VRcomm/FieldOrder.h"
#include "VRcomm/ShortString.h"
#include "Velmoradb/PinnedRecord.h"
#include "Velmoradb/VelmoraDB.h"

namespace velmora {

namespace {

constexpr size_t kKeyTextStride = 256;

// Key texts that make a key field null, spelled exactly.
bool IsNullWord(const std::string &text) { return text == "Nil" || text == "Null" || text == "NIL" || text == "NULL"; }

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

int32_t TVRVelmoraDB::CompareField(const uint8_t *a, const uint8_t *b, int32_t fieldNo, bool caseless, int32_t maxLen) {
  const TFieldDescriptor &field = Fields[fieldNo];
  std::optional<int32_t> order =
      CompareFieldValues({fieldNo, field.Offset, field.FieldType, field.Len}, a, b, caseless, maxLen);
  if (!order) RaiseTableError("Field type compare error in Velmora");
  return *order;
}

int32_t TVRVelmoraDB::CompareKeys(const uint8_t *a, const uint8_t *b, bool tieBreak, int32_t indexNo) {
  const TIndexDescriptor &index = Indexes[indexNo];
  for (int32_t k = 0; k < index.FieldCount; ++k) {
    int32_t r = CompareField(a, b, index.FieldNos[k], false, 0);
    if (r != 0) return r;
  }
  return tieBreak ? CompareKeys(a, b, false, 0) : 0;
}

bool TVRVelmoraDB::SearchKey(const uint8_t *key, int32_t indexNo, int32_t &recNo, int32_t pendingRec,
                             const uint8_t *pendingImage, std::vector<int32_t> *probed) {
  TIndex &index = *PrimaryIndex;
  bool exact = false;
  index.BeginSearch();
  while (!index.SearchDone()) {
    int32_t r = index.Probe();
    if (probed != nullptr) probed->push_back(r);
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
