// The data layer of a table object: the data file with its seven record
// buffers and the record cache through which every record read and write of
// the engine passes.
#pragma once

#include <cstdint>
#include <string>

#include "VRcomm/FieldTypes.h"
#include "platform/RecordFile.h"

namespace velmora {

constexpr int kRecordBufferCount = 7;
constexpr int kCacheSlotLimit = 32;

struct TCacheSlot {
  int32_t PinCount = 0;  // fetches and stores not yet released; 0 = replaceable
  int32_t RecNo = -1;    // record whose image the slot holds; -1 = empty
  uint8_t *Data = nullptr;
};

class TVRRecBase {
 public:
  TVRRecBase() = default;
  ~TVRRecBase();
  TVRRecBase(const TVRRecBase &) = delete;
  TVRRecBase &operator=(const TVRRecBase &) = delete;

  // Data file.  OpenDataFile sets up the seven record buffers and the cache,
  // then opens the existing file shared for reading and writing; on failure
  // everything it set up is released again.
  // allowReadOnly: a data file that cannot be opened for writing is opened
  // for reading (DataReadOnly tells).
  void OpenDataFile(const std::string &fileName, int32_t recordSize, bool allowReadOnly = false);
  void CloseDataFile();
  int32_t RecordCount();
  void ReadDataRecord(void *dest, int32_t recNo);
  void WriteDataRecord(const void *source, int32_t recNo);
  void TruncateDataFile(int32_t k);
  void CopyRecord(const void *source, void *dest) const;
  void FillRecord(void *dest, uint8_t value) const;
  static uintptr_t AlignUp4(uintptr_t address) { return (address + 3) & ~uintptr_t(3); }

  // Record cache: direct-mapped, write-through, with pin counts.  Every
  // FetchRecord and StoreRecord is matched by one ReleaseRecord.
  void OpenCache();
  void FreeCache();
  void ResetCache();
  uint8_t *FetchRecord(int32_t recNo);
  void ReleaseRecord(int32_t recNo);
  void StoreRecord(int32_t recNo, const void *source);
  void PurgeRecord(int32_t recNo);
  void ReadRecordCopy(void *dest, int32_t recNo);

  uint8_t *Buffer(int i) const { return RecordBuffers[i]; }
  bool DataFileOpen() const { return DataFile.IsOpen(); }
  int32_t CacheSlotCount() const { return CacheBlock != nullptr ? int32_t(CacheMask) + 1 : 0; }
  const TCacheSlot &SlotOf(int32_t recNo) const { return CacheSlots[uint32_t(recNo) & CacheMask]; }

 private:
  [[noreturn]] static void RefuseRecordSize(int32_t recordSize);
  void RequireOpen() const;
  void RequireCache() const;
  void ReleaseRecordBlock();

 public:

  std::string DataFileName;
  bool DataReadOnly = false;
  uint8_t *RecordBlock = nullptr;
  uint8_t *CacheBlock = nullptr;
  int32_t CacheSize = 0;
  uint32_t CacheMask = 0;
  platform::RecordFile DataFile;
  int32_t RecordSize = 0;
  TCacheSlot CacheSlots[kCacheSlotLimit];
  uint8_t *RecordBuffers[kRecordBufferCount] = {};
};

}  // namespace velmora
