#include "Ind1/Ind1FOps.h"

#include <cstring>
#include <exception>

#include <velmora/velmora.hpp>

#include "VRcomm/FileNames.h"
#include "VRcomm/EngineError.h"
#include "VRcomm/LittleEndian.h"

namespace velmora {

namespace {

const char *const kOpenError = "Error on index file opening - unable to open index files.";
const char *const kReadError = "Error on index1 file read. Velmora may be corrupted - suggest rebuild.";
const char *const kWriteError = "Error on index1 file write. Velmora may be corrupted - suggest rebuild.";
const char *const kAppendError = "Error on index1 file append. Velmora may be corrupted - suggest rebuild.";

}  // namespace

TInd1FOps::TInd1FOps() {
  for (auto &file : LeafFiles) file.SetRecordSize(kBlockBytes);
}

void TInd1FOps::RaiseReadError() { RaiseEngineError(kReadError); }

void TInd1FOps::OpenLeafFiles(const std::string &tableFileName, int32_t n, bool allowReadOnly) {
  // A count the file arrays cannot hold is refused before anything is opened.
  if (n < 0 || n > kMaxIndexFiles) RaiseEngineError(kOpenError);
  LeafFileCount = n;
  OpenedReadOnly = false;
  for (int32_t i = 0; i < n; ++i) {
    LeafFiles[i].SetRecordSize(kBlockBytes);
    LeafFiles[i].Bind(LeafFileName(tableFileName, i));
    try {
      if (LeafFiles[i].OpenWritableOrReadOnly(allowReadOnly)) OpenedReadOnly = true;
    } catch (const std::exception &) {
      RaiseEngineError(kOpenError);
    }
  }
}

void TInd1FOps::SaveWork(int32_t *to) const { std::memcpy(to, work_, sizeof work_); }

void TInd1FOps::RestoreWork(const int32_t *from) { std::memcpy(work_, from, sizeof work_); }

void TInd1FOps::CloseLeafFiles() {
  // Every file is closed even when closing one of them fails; the first
  // failure is reported afterwards.
  std::exception_ptr failure;
  int32_t count = LeafFileCount < 0 ? 0 : (LeafFileCount > kMaxIndexFiles ? kMaxIndexFiles : LeafFileCount);
  LeafFileCount = 0;
  for (int32_t i = 0; i < count; ++i) {
    try {
      LeafFiles[i].Close();
    } catch (...) {
      if (!failure) failure = std::current_exception();
    }
  }
  if (failure) std::rethrow_exception(failure);
}

platform::RecordFile &TInd1FOps::CurrentLeafFile() {
  if (CurIndex < 0 || CurIndex >= kMaxIndexFiles) {
    RaiseEngineError("Index number " + std::to_string(CurIndex) + " is out of range.");
  }
  return LeafFiles[CurIndex];
}

void TInd1FOps::CheckStartSlot(int32_t s) {
  if (s < kFirstSlot || s + 7 > kLastSlot) {
    RaiseEngineError("Working block slot " + std::to_string(s) + " cannot start a block transfer.");
  }
}

int32_t TInd1FOps::WorkSlot(int32_t s) const {
  if (s < kFirstSlot || s > kLastSlot) {
    RaiseEngineError("Working block slot " + std::to_string(s) + " is out of range.");
  }
  return W(s);
}

void TInd1FOps::SetWorkSlot(int32_t s, int32_t value) {
  if (s < kFirstSlot || s > kLastSlot) {
    RaiseEngineError("Working block slot " + std::to_string(s) + " is out of range.");
  }
  W(s) = value;
}

bool TInd1FOps::Transfer(platform::RecordFile &file, int64_t blockNo, int32_t s, bool write) {
  uint8_t bytes[kBlockBytes];
  file.Seek(blockNo);
  if (write) {
    for (int32_t i = 0; i < 8; ++i) PutInt32(bytes + 4 * i, W(s + i));
    return file.Write(bytes, 1) == 1;
  }
  if (file.Read(bytes, 1) != 1) return false;
  for (int32_t i = 0; i < 8; ++i) W(s + i) = GetInt32(bytes + 4 * i);
  return true;
}

void TInd1FOps::ReadBlock(int32_t blockNo, int32_t s) {
  CheckStartSlot(s);
  platform::RecordFile &file = CurrentLeafFile();
  // The reserved blocks are never read; a negative number would otherwise
  // reach the start of the file.
  if (blockNo < kFirstLiveBlock) RaiseEngineError(kReadError);
  int32_t keep[8];
  std::memcpy(keep, &W(s), sizeof keep);
  if (!Transfer(file, blockNo, s, false)) RaiseEngineError(kReadError);
  // The block count is used as a length everywhere above; a block that does
  // not hold 0 to 7 entries is damaged, and the working block keeps what it held.
  // The record numbers in use are never negative.
  int32_t count = W(s);
  bool sound = count >= 0 && count <= kBlockCapacity;
  for (int32_t i = 1; sound && i <= count; ++i) sound = W(s + i) >= 0;
  if (!sound) {
    std::memcpy(&W(s), keep, sizeof keep);
    RaiseEngineError(kReadError);
  }
}

void TInd1FOps::WriteBlock(int32_t blockNo, int32_t s) {
  CheckStartSlot(s);
  platform::RecordFile &file = CurrentLeafFile();
  // Only existing live blocks are rewritten: a wrong number must neither
  // touch the reserved blocks nor extend the file.
  if (blockNo < kFirstLiveBlock || blockNo >= file.Size()) RaiseEngineError(kWriteError);
  if (!Transfer(file, blockNo, s, true)) RaiseEngineError(kWriteError);
}

void TInd1FOps::AppendBlock(int32_t s) {
  CheckStartSlot(s);
  platform::RecordFile &file = CurrentLeafFile();
  if (!Transfer(file, file.Size(), s, true)) RaiseEngineError(kAppendError);
}

void TInd1FOps::TruncateBlocks(int32_t k) {
  platform::RecordFile &file = CurrentLeafFile();
  int64_t blocks = file.Size();
  // The reserved blocks and the first live block always stay.
  if (k < 0 || blocks - k < kFirstLiveBlock + 1) {
    RaiseEngineError("Unable to cut " + std::to_string(k) + " blocks off an index1 file of " + std::to_string(blocks) +
                     " blocks. Velmora may be corrupted - suggest rebuild.");
  }
  file.Seek(blocks - k);
  file.Truncate();
}

int32_t TInd1FOps::AppendedBlockNo() { return static_cast<int32_t>(CurrentLeafFile().Position() - 1); }

int32_t TInd1FOps::LastBlockNo() { return static_cast<int32_t>(CurrentLeafFile().Size() - 1); }

void TInd1FOps::EmptyLeafFiles() {
  W(0) = 0;
  W(1) = -1;
  int32_t count = LeafFileCount < 0 ? 0 : (LeafFileCount > kMaxIndexFiles ? kMaxIndexFiles : LeafFileCount);
  for (int32_t i = 0; i < count; ++i) {
    // Written directly rather than through WriteBlock, so that even a leaf
    // file cut short by damage becomes a sound empty index again.
    if (!Transfer(LeafFiles[i], kFirstLiveBlock, 0, true)) RaiseEngineError(kWriteError);
    LeafFiles[i].Truncate();
  }
}

}  // namespace velmora
