// The leaf files of all indexes of one open table: opening and closing them,
// block transfers between the current leaf file and the working block, and
// resetting every leaf file to the empty index.  This layer knows nothing of
// keys or order; TIndex builds the ordered index on top of it.
#pragma once

#include <cstdint>
#include <string>

#include "VRcomm/IndexLayout.h"
#include "platform/RecordFile.h"

namespace velmora {

class TInd1FOps {
 public:
  static constexpr int32_t kMaxIndexFiles = 13;
  static constexpr int32_t kBlockBytes = leaf::kBlockBytes;
  // A block holds at most this many record numbers.
  static constexpr int32_t kBlockCapacity = leaf::kBlockCapacity;
  // Blocks 0 and 1 are reserved; the live blocks start at this number.
  static constexpr int32_t kFirstLiveBlock = leaf::kFirstLiveBlock;
  // The working block's slots run from kFirstSlot to kLastSlot.
  static constexpr int32_t kFirstSlot = -1;
  static constexpr int32_t kLastSlot = 18;

  TInd1FOps();
  TInd1FOps(const TInd1FOps &) = delete;
  TInd1FOps &operator=(const TInd1FOps &) = delete;
  ~TInd1FOps() = default;

  // Opens the leaf files of indexes 0 to n-1 of the table whose schema file
  // is tableFileName (LeafFileName: ".va1", ".vb1", ...).
  // allowReadOnly: a file that cannot be opened for writing is opened for
  // reading (OpenedReadOnly tells).
  void OpenLeafFiles(const std::string &tableFileName, int32_t n, bool allowReadOnly = false);
  // Closes the open leaf files; LeafFileCount becomes 0.
  void CloseLeafFiles();

  // Block transfers on the current leaf file between the block and working
  // slots s to s+7.
  void ReadBlock(int32_t blockNo, int32_t s);
  void WriteBlock(int32_t blockNo, int32_t s);
  void AppendBlock(int32_t s);
  // Cuts the last k blocks off the current leaf file.
  void TruncateBlocks(int32_t k);
  // The number of the block just appended (file position in blocks minus 1).
  int32_t AppendedBlockNo();
  // Number of blocks of the current leaf file minus 1.
  int32_t LastBlockNo();
  // Resets every open leaf file to the empty index (blocks 0, 1 and an empty block 2).
  void EmptyLeafFiles();

  // Working block access, slots -1 to 18; raises EVelmoraDBError outside them.
  int32_t WorkSlot(int32_t s) const;
  void SetWorkSlot(int32_t s, int32_t value);

  platform::RecordFile &LeafFileAt(int32_t i) { return LeafFiles[i]; }
  static constexpr int32_t kWorkSlots = kLastSlot - kFirstSlot + 1;
  void SaveWork(int32_t *to) const;
  void RestoreWork(const int32_t *from);

  // The leaf file of the current index, the one the cursor was saved in, and
  // how many leaf files are open.
  int32_t GetCurIndex() const { return CurIndex; }
  int32_t GetSavedIndex() const { return SavedIndex; }
  int32_t GetLeafFileCount() const { return LeafFileCount; }
  // Makes leaf file i current; the transfers refuse a number that names no open file.
  void SelectLeafFile(int32_t i) { CurIndex = i; }

 protected:
  // A file could only be opened for reading.
  bool OpenedReadOnly = false;
  int32_t CurIndex = 0;
  int32_t SavedIndex = 0;
  int32_t LeafFileCount = 0;

  platform::RecordFile &CurrentLeafFile();
  // Slot s of the working block, for s already known to lie in -1..18.
  int32_t &W(int32_t s) { return work_[s - kFirstSlot]; }
  int32_t W(int32_t s) const { return work_[s - kFirstSlot]; }
  [[noreturn]] static void RaiseReadError();

  platform::RecordFile LeafFiles[kMaxIndexFiles];

 private:
  static void CheckStartSlot(int32_t s);
  // Transfers one block at position blockNo; false on a short transfer.
  bool Transfer(platform::RecordFile &file, int64_t blockNo, int32_t s, bool write);

  int32_t work_[kLastSlot - kFirstSlot + 1] = {};
};

}  // namespace velmora
