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
// What each of the seven record buffers holds.
enum class BufferRole : int {
  kCurrent = 0,     // the current record, as the client reads and fills it
  kRangeLow = 1,    // the low key of the range
  kRangeHigh = 2,   // the high key of the range
  kWork = 3,        // scratch image of the operation running
  kRangeFirst = 4,  // copy of the range's first record
  kRangeLast = 5,   // copy of the range's last record
  kSearchKey = 6,   // the key of the last search
};
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
  void ResetCache();
  uint8_t *FetchRecord(int32_t recNo);
  void ReleaseRecord(int32_t recNo);
  void StoreRecord(int32_t recNo, const void *source);
  void PurgeRecord(int32_t recNo);
  void ReadRecordCopy(void *dest, int32_t recNo);

  uint8_t *Buffer(BufferRole role) const { return RecordBuffers[static_cast<int>(role)]; }
  bool DataFileOpen() const { return DataFile.IsOpen(); }
  int32_t CacheSlotCount() const { return CacheBlock != nullptr ? int32_t(CacheMask) + 1 : 0; }
  const TCacheSlot &SlotOf(int32_t recNo) const { return CacheSlots[uint32_t(recNo) & CacheMask]; }

  // Read access to the data layer's state.
  int32_t GetRecordSize() const { return RecordSize; }
  const platform::RecordFile &GetDataFile() const { return DataFile; }
  const uint8_t *GetRecordBlock() const { return RecordBlock; }
  const uint8_t *GetCacheBlock() const { return CacheBlock; }
  int32_t GetCacheSize() const { return CacheSize; }
  uint32_t GetCacheMask() const { return CacheMask; }

 private:
  friend class EngineTestPeer;

  [[noreturn]] static void RefuseRecordSize(int32_t recordSize);
  void RequireOpen() const;
  void RequireCache() const;
  void ReleaseRecordBlock();
  void FreeCache();

  uint8_t *CacheBlock = nullptr;
  int32_t CacheSize = 0;
  uint32_t CacheMask = 0;
  TCacheSlot CacheSlots[kCacheSlotLimit];

 protected:
  std::string DataFileName;
  bool DataReadOnly = false;
  uint8_t *RecordBlock = nullptr;
  platform::RecordFile DataFile;
  int32_t RecordSize = 0;
  uint8_t *RecordBuffers[kRecordBufferCount] = {};
};

}  // namespace velmora
