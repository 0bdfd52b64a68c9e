#include "VRcomm/DefLists.h"

#include <cstring>

#include <velmora/velmora.hpp>

#include "VRcomm/FieldTypes.h"
#include "VRcomm/ShortString.h"

namespace velmora {

void RaiseListError(int32_t index) { throw EListError("List index out of bounds (" + std::to_string(index) + ")"); }

// ---------------------------------------------------------------------------
// Field definition list

TFieldDefList::TFieldDefList() : list_(&own_) {}

TFieldDefList::TFieldDefList(::TFieldDefList *client) : list_(client) {
  if (client == nullptr) throw EVelmoraDBError("No field definition list was given");
}

int32_t TFieldDefList::Count() const { return list_->Count; }

TFieldDescriptor *TFieldDefList::At(int32_t index) const {
  if (index < 0 || index >= list_->Count) RaiseListError(index);
  if (list_->Items == nullptr) throw EVelmoraDBError("The field definition list has no entries");
  return &list_->Items[index];
}

void TFieldDefList::GetField(int32_t index, TFieldDescriptor &out) const {
  std::memcpy(&out, At(index), sizeof(TFieldDescriptor));
}

void TFieldDefList::SetField(bool add, int32_t index, const std::string &name, char fieldType, int32_t len,
                             int32_t offset, uint8_t fieldFlags, const std::string &param1, const std::string &param2,
                             const std::string &param3) {
  TFieldDescriptor *d;
  if (add) {
    // The client's own structure never grows: its memory is the client's.
    if (list_ != &own_) RaiseListError(list_->Count);
    storage_.push_back(TFieldDescriptor{});
    own_.Items = storage_.data();
    own_.Count = static_cast<int32_t>(storage_.size());
    d = &storage_.back();
  } else {
    d = At(index);
  }

  std::memset(d, 0, sizeof(TFieldDescriptor));
  ToShort(d->Name, name);
  d->FieldType = fieldType;
  if (fieldType == 'S') d->Len = static_cast<int16_t>(len);
  d->Offset = static_cast<int16_t>(offset);
  d->FieldFlags = fieldFlags;
  d->HasParam0 = fieldFlags & 0x7F;
  if (!param1.empty()) {
    d->HasParam1 = 1;
    ToShort(d->Param1, param1);
  }
  // Parameters 2 and 3 belong to the numeric types only.
  bool numeric = fieldType == 'C' || fieldType == 'F' || fieldType == 'I' || fieldType == 'R';
  if (numeric) {
    if (!param2.empty()) {
      d->HasParam2 = 1;
      ToShort(d->Param2, param2);
    }
    if (!param3.empty()) {
      d->HasParam3 = 1;
      ToShort(d->Param3, param3);
    }
  }
}

::TFieldDefList *TFieldDefList::AsC() { return list_; }

// ---------------------------------------------------------------------------
// Index definition list

TIndexDefList::TIndexDefList() : list_(&own_) {}

TIndexDefList::TIndexDefList(::TIndexDefList *client) : list_(client) {
  if (client == nullptr) throw EVelmoraDBError("No index definition list was given");
}

int32_t TIndexDefList::Count() const { return list_->Count; }

TIndexDef *TIndexDefList::At(int32_t index) const {
  if (index < 0 || index >= list_->Count) RaiseListError(index);
  if (list_->Items == nullptr) throw EVelmoraDBError("The index definition list has no entries");
  TIndexDef *entry = &list_->Items[index];
  if (entry->FieldCount < 0 || entry->FieldCount > kMaxIndexFields) {
    throw EVelmoraDBError("Index definition " + std::to_string(index) + " gives " + std::to_string(entry->FieldCount) +
                          " key fields; an index has room for 0 to 10");
  }
  return entry;
}

std::string TIndexDefList::GetName(int32_t index) const { return FromShort(At(index)->Name); }

std::vector<int32_t> TIndexDefList::GetFieldNos(int32_t index) const {
  const TIndexDef *entry = At(index);
  return std::vector<int32_t>(entry->FieldNos, entry->FieldNos + entry->FieldCount);
}

void TIndexDefList::SetIndex(bool add, int32_t index, const std::vector<int32_t> &fieldNos, const std::string &name) {
  TIndexDef *entry;
  if (add) {
    if (list_ != &own_) RaiseListError(list_->Count);
    // The new entry's position is the count before the call.
    if (index != list_->Count) RaiseListError(index);
    // An entry holds at most 10 field numbers.
    if (fieldNos.size() > static_cast<size_t>(kMaxIndexFields)) RaiseListError(kMaxIndexFields);
    storage_.push_back(TIndexDef{});
    own_.Items = storage_.data();
    own_.Count = static_cast<int32_t>(storage_.size());
    entry = &storage_.back();
    entry->FieldCount = static_cast<int32_t>(fieldNos.size());
  } else {
    entry = At(index);
    // Checked before anything changes, so a refused call leaves the entry whole.
    if (fieldNos.size() > static_cast<size_t>(entry->FieldCount)) RaiseListError(entry->FieldCount);
  }
  std::memset(entry->Name, 0, sizeof entry->Name);
  ToShort(entry->Name, name);
  for (size_t j = 0; j < fieldNos.size(); ++j) entry->FieldNos[j] = fieldNos[j];
}

::TIndexDefList *TIndexDefList::AsC() { return list_; }

}  // namespace velmora
