// The record cache: a direct-mapped, write-through cache of record images.
// Record n lives only in slot (n AND CacheMask); a slot whose image is pinned
// is never replaced, so the pointers handed out stay valid until released.
#include <velmora/velmora.hpp>

#include <cstring>
#include <string>

#include "VRcomm/EngineError.h"
#include "Velmoradb/RecBase.h"
#include "platform/Platform.h"

namespace velmora {

namespace {
// The cache block always stays below this many bytes.
constexpr int32_t kCacheBlockLimit = 65535;
}  // namespace

void TVRRecBase::RequireCache() const {
  if (CacheBlock == nullptr) RaiseEngineError("Data file is not open");
}

void TVRRecBase::OpenCache() {
  // A slot of record size + 7 bytes that reaches the block limit cannot be
  // cached at all; halving the block below one slot would overrun it.
  if (RecordSize < 0 || RecordSize > kMaxRecordSize) RefuseRecordSize(RecordSize);
  FreeCache();

  CacheMask = kCacheSlotLimit - 1;
  for (;;) {
    CacheSize = (RecordSize + 7) * static_cast<int32_t>(CacheMask + 1);
    while (CacheSize >= kCacheBlockLimit) {
      CacheSize >>= 1;
      CacheMask >>= 1;
    }
    CacheBlock = static_cast<uint8_t *>(platform::Os().Allocate(static_cast<size_t>(CacheSize)));
    if (CacheBlock != nullptr) break;
    if (CacheMask == 0) {
      CacheSize = 0;
      RaiseEngineError("Error on opening internal table cache");
    }
    CacheMask >>= 1;
  }

  const size_t stride = static_cast<size_t>(RecordSize) + 7;
  for (uint32_t i = 0; i <= CacheMask; ++i) {
    CacheSlots[i].PinCount = 0;
    CacheSlots[i].RecNo = -1;
    CacheSlots[i].Data = reinterpret_cast<uint8_t *>(AlignUp4(reinterpret_cast<uintptr_t>(CacheBlock + i * stride)));
  }
}

void TVRRecBase::FreeCache() {
  if (CacheBlock != nullptr) platform::Os().Release(CacheBlock);
  CacheBlock = nullptr;
  CacheSize = 0;
  CacheMask = 0;
  // No slot may keep pointing into the released block.
  for (auto &slot : CacheSlots) slot = TCacheSlot{};
}

void TVRRecBase::ResetCache() {
  for (auto &slot : CacheSlots) {
    slot.PinCount = 0;
    slot.RecNo = -1;
  }
}

uint8_t *TVRRecBase::FetchRecord(int32_t recNo) {
  RequireCache();
  TCacheSlot &slot = CacheSlots[static_cast<uint32_t>(recNo) & CacheMask];
  // -1 marks an empty slot, so a negative number never counts as a hit.
  if (recNo >= 0 && slot.RecNo == recNo) {
    ++slot.PinCount;
    return slot.Data;
  }
  if (slot.PinCount > 0) RaiseEngineError("Cache collision at " + std::to_string(recNo));
  // The image is overwritten by the read: until it completes the slot holds
  // no record, so a failed read cannot leave a torn image under the old number.
  slot.RecNo = -1;
  ReadDataRecord(slot.Data, recNo);
  slot.RecNo = recNo;
  slot.PinCount = 1;
  return slot.Data;
}

void TVRRecBase::ReleaseRecord(int32_t recNo) {
  if (CacheBlock == nullptr || recNo < 0) return;
  TCacheSlot &slot = CacheSlots[static_cast<uint32_t>(recNo) & CacheMask];
  // More releases than pins must not leave the slot looking pinned forever.
  if (slot.RecNo == recNo && slot.PinCount > 0) --slot.PinCount;
}

void TVRRecBase::StoreRecord(int32_t recNo, const void *source) {
  RequireCache();
  TCacheSlot &slot = CacheSlots[static_cast<uint32_t>(recNo) & CacheMask];
  const bool hit = recNo >= 0 && slot.RecNo == recNo;
  if (!hit && slot.PinCount > 0) RaiseEngineError("Cache write collision at " + std::to_string(recNo));

  // A record number the file cannot take is refused before the slot changes,
  // so the cache never holds an image of a record that is not in the file.
  int32_t count = RecordCount();
  if (source == nullptr || recNo < 0 || recNo > count) {
    WriteDataRecord(source, recNo);  // raises the write refusal with its numbers
    return;
  }

  const int32_t pinsBefore = hit ? slot.PinCount : 0;
  slot.RecNo = recNo;
  ++slot.PinCount;
  if (slot.Data != source) CopyRecord(source, slot.Data);
  try {
    WriteDataRecord(source, recNo);
  } catch (...) {
    // The file may not hold the new image: take back this store's pin, and
    // drop the image unless others still hold it pinned.
    slot.PinCount = pinsBefore;
    if (pinsBefore == 0) slot.RecNo = -1;
    throw;
  }
}

void TVRRecBase::PurgeRecord(int32_t recNo) {
  if (CacheBlock == nullptr || recNo < 0) return;
  TCacheSlot &slot = CacheSlots[static_cast<uint32_t>(recNo) & CacheMask];
  if (slot.RecNo != recNo) return;
  if (slot.PinCount != 0) RaiseEngineError("Velmora base error in cache purge");
  slot.RecNo = -1;
}

void TVRRecBase::ReadRecordCopy(void *dest, int32_t recNo) {
  if (dest == nullptr) ReadDataRecord(dest, recNo);  // raises the read refusal with its numbers
  const uint8_t *image = FetchRecord(recNo);
  CopyRecord(image, dest);
  ReleaseRecord(recNo);
}

}  // namespace velmora
