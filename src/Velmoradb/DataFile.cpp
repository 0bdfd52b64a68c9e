// The data file: a headerless sequence of fixed-length records, and the seven
// record buffers of the table object that live in one allocation beside it.
#include <velmora/velmora.hpp>

#include <cstring>
#include <limits>
#include <string>

#include "VRcomm/EngineError.h"
#include "Velmoradb/RecBase.h"
#include "platform/Platform.h"

namespace velmora {

namespace {

std::string Numbers(int32_t n, int32_t count) { return "(" + std::to_string(n) + "/" + std::to_string(count) + ")"; }

}  // namespace

TVRRecBase::~TVRRecBase() {
  try {
    if (DataFile.IsOpen()) DataFile.Close();
  } catch (...) {
    // A destructor cannot report a failed close; the buffers are freed below anyway.
  }
  ReleaseRecordBlock();
  FreeCache();
}

void TVRRecBase::RefuseRecordSize(int32_t recordSize) {
  RaiseEngineError("Invalid data file record size " + std::to_string(recordSize) + ": must be 0 to " +
                   std::to_string(kMaxRecordSize) + " bytes");
}

void TVRRecBase::RequireOpen() const {
  if (!DataFile.IsOpen() || RecordBlock == nullptr) RaiseEngineError("Data file is not open");
}

void TVRRecBase::ReleaseRecordBlock() {
  if (RecordBlock != nullptr) platform::Os().Release(RecordBlock);
  RecordBlock = nullptr;
  for (auto &buffer : RecordBuffers) buffer = nullptr;
}

void TVRRecBase::OpenDataFile(const std::string &fileName, int32_t recordSize, bool allowReadOnly) {
  if (DataFile.IsOpen() || RecordBlock != nullptr || CacheBlock != nullptr)
    RaiseEngineError("Data file " + DataFileName + " is already open");
  if (recordSize < 0 || recordSize > kMaxRecordSize) RefuseRecordSize(recordSize);
  RecordSize = recordSize;

  const size_t stride = static_cast<size_t>(RecordSize) + 7;
  RecordBlock = static_cast<uint8_t *>(platform::Os().Allocate(kRecordBufferCount * stride));
  if (RecordBlock == nullptr) RaiseEngineError("Error on allocating the record buffers");
  // Each buffer starts at its stride, raised to a multiple of 4; the 7 spare
  // bytes per buffer leave room for the raise.
  for (int i = 0; i < kRecordBufferCount; ++i)
    RecordBuffers[i] = reinterpret_cast<uint8_t *>(AlignUp4(reinterpret_cast<uintptr_t>(RecordBlock + i * stride)));

  try {
    OpenCache();
    DataFile.Bind(fileName);
    DataFileName = fileName;
    DataFile.SetRecordSize(RecordSize);
    DataReadOnly = DataFile.OpenWritableOrReadOnly(allowReadOnly);
  } catch (...) {
    // Leave the object closed rather than holding buffers without a file.
    ReleaseRecordBlock();
    FreeCache();
    throw;
  }
}

void TVRRecBase::CloseDataFile() {
  try {
    DataFile.Close();
  } catch (...) {
    // The file is gone either way; the memory must not outlive it.
    ReleaseRecordBlock();
    FreeCache();
    throw;
  }
  ReleaseRecordBlock();
  FreeCache();
}

int32_t TVRRecBase::RecordCount() {
  RequireOpen();
  int64_t count = DataFile.Size();
  if (count > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  return static_cast<int32_t>(count);
}

void TVRRecBase::ReadDataRecord(void *dest, int32_t recNo) {
  RequireOpen();
  int32_t count = RecordCount();
  if (recNo >= count || recNo < 0 || dest == nullptr)
    RaiseEngineError("Error on data file read1. Velmora may be corrupted - suggest rebuild " + Numbers(recNo, count));
  if (DataFile.Position() != recNo) DataFile.Seek(recNo);
  if (DataFile.Read(dest, 1) != 1)
    RaiseEngineError("Error on data file read2. Velmora may be corrupted - suggest rebuild.");
}

void TVRRecBase::WriteDataRecord(const void *source, int32_t recNo) {
  RequireOpen();
  int32_t count = RecordCount();
  if (source == nullptr || recNo < 0 || recNo > count)
    RaiseEngineError("Error on data file write1. Velmora may be corrupted - suggest rebuild " + Numbers(recNo, count));
  // A record without bytes cannot be stored: the file would not grow and the
  // record count would stay 0.
  if (RecordSize == 0) RaiseEngineError("Cannot write to a data file whose records have no fields (record size 0)");
  if (DataFile.Position() != recNo) DataFile.Seek(recNo);
  if (DataFile.Write(source, 1) != 1)
    RaiseEngineError("Error on data file write2. Velmora may be corrupted - suggest rebuild.");
}

void TVRRecBase::TruncateDataFile(int32_t k) {
  RequireOpen();
  int32_t count = RecordCount();
  if (k > count || k < 0) k = count;
  // Without a record size there are no records, and no byte of the file is touched.
  if (RecordSize == 0) return;
  DataFile.Seek(count - k);
  DataFile.Truncate();
  // Images of records that no longer exist must not be served from the cache.
  if (CacheBlock != nullptr) {
    for (uint32_t i = 0; i <= CacheMask; ++i) {
      TCacheSlot &slot = CacheSlots[i];
      if (slot.RecNo >= count - k && slot.PinCount == 0) slot.RecNo = -1;
    }
  }
}

void TVRRecBase::CopyRecord(const void *source, void *dest) const {
  if (RecordSize > 0) std::memmove(dest, source, static_cast<size_t>(RecordSize));
}

void TVRRecBase::FillRecord(void *dest, uint8_t value) const {
  if (RecordSize > 0) std::memset(dest, value, static_cast<size_t>(RecordSize));
}

}  // namespace velmora
