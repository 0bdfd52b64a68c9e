// The block directories of all indexes of one open table.  A directory file
// lists the live leaf blocks of its index in key order, each entry naming the
// block and the record number in the block's first slot.  One directory file
// is current at a time; entries are read by position with a current
// position, inserted and removed with the following entries shifted, found by
// block number, and one place can be remembered and returned to.
#pragma once

#include <cstdint>
#include <string>

#include "Ind2/BlockPlaces.h"
#include "VRcomm/IndexLayout.h"
#include "platform/RecordFile.h"

namespace velmora {

struct TDirEntry {
  int32_t Block = 0;  // number of a live leaf block, 2 or more
  int32_t First = 0;  // the record number in slot 1 of that block; -1 in an empty index
  bool operator==(const TDirEntry &) const = default;
};

class TVRSecondIndex {
 public:
  static constexpr int32_t kMaxDirFiles = 13;
  static constexpr int32_t kEntryBytes = directory::kEntryBytes;
  // Room for entries moved per transfer while shifting or scanning.
  static constexpr int32_t kMaxChunk = 512;

  TVRSecondIndex() = default;
  TVRSecondIndex(const TVRSecondIndex &) = delete;
  TVRSecondIndex &operator=(const TVRSecondIndex &) = delete;
  ~TVRSecondIndex();

  // Opens the directory files of indexes 0 to n-1 (DirectoryFileName: ".va2",
  // ".vb2", ...) and selects file 0.
  void OpenDirFiles(const std::string &tableFileName, int32_t n, bool allowReadOnly = false);
  platform::RecordFile &DirFileAt(int32_t i) { return DirFiles[i]; }
  // A file could only be opened for reading.
  bool IsOpenedReadOnly() const { return OpenedReadOnly; }
  void CloseDirFiles();
  // Makes directory file i current and reads its first entry.
  void SelectFile(int32_t i);

  // Reads entry p, clamped into 0..EntryCount-1, and makes it current.
  TDirEntry ReadAt(int32_t p);
  TDirEntry ReadFirst() { return ReadAt(0); }
  TDirEntry ReadLast() { return ReadAt(EntryCount - 1); }
  TDirEntry ReadPrior() { return ReadAt(CurPosition - 1); }
  TDirEntry ReadNext() { return ReadAt(CurPosition + 1); }
  TDirEntry ReadCurrent() { return ReadAt(CurPosition); }
  bool AtFirst() const { return CurPosition == 0; }
  bool AtLast() const { return CurPosition >= EntryCount - 1; }
  int32_t GetPosition() const { return CurPosition; }
  int32_t LastPosition() const { return EntryCount - 1; }
  void ResetPosition() { ReadAt(0); }

  void SavePosition();
  // Selects the saved file and reads the saved entry.
  TDirEntry RestorePosition();
  // Makes entry position of file the saved place.
  void SetSavedPlace(int32_t file, int32_t position);

  int32_t GetDirFileCount() const { return DirFileCount; }
  bool AreDirFilesOpen() const { return DirFilesOpen; }
  int32_t GetEntryCount() const { return EntryCount; }
  int32_t GetCurFileNo() const { return CurFileNo; }
  int32_t GetSavedFileNo() const { return SavedFileNo; }
  int32_t GetSavedPosition() const { return SavedPosition; }
  // Entries moved per read or write while shifting or scanning, clamped into
  // 1..kMaxChunk when used.
  void SetChunkSize(int32_t n) { ChunkSize = n; }

  // The current and saved places, kept aside and put back with the index cursor.
  struct State {
    int32_t entryCount, curPosition, curFileNo, savedFileNo, savedPosition;
  };
  void SaveState(State &state) const;
  void RestoreState(const State &state);

  // Overwrites entry p, then goes back to entry 0.
  void WriteAt(int32_t p, const TDirEntry &entry);
  // Inserts the entry at p (0..EntryCount), moving entries p onward one place
  // up, and moves the saved place of index i along.  The current position stays.
  void InsertAt(int32_t p, const TDirEntry &entry, int32_t i, bool moved);
  // Removes entry p, moving the following entries down, then goes back to entry 0.
  void DeleteAt(int32_t p);
  // Finds the entry naming block b; then goes back to entry 0.
  void FindBlock(int32_t b, int32_t &position, TDirEntry &entry);
  // Replaces the fields of block b's entry that are 0 or more in the new
  // entry; then goes back to entry 0.
  void UpdateByBlock(int32_t b, const TDirEntry &entry);
  // Resets every open directory file to the single entry (2, -1).
  void EmptyDirFiles();

  // Chunk transfers between the entry buffer (entries k to k+n-1) and the
  // current file at its position.
  void WriteEntries(int32_t k, int32_t n);
  int32_t ReadEntries(int32_t k, int32_t n);

 private:
  platform::RecordFile &CurFile();
  int32_t Chunk() const;
  void RefreshEntryCount();
  // The entry at p of the current file, read without moving the current position.
  TDirEntry PeekAt(platform::RecordFile &file, int32_t p);
  // The block places of the current file when they describe it and the file
  // is in memory (so that following a change costs no system call), else null.
  TBlockPlaces *FollowedPlaces();
  // Describes the places of the file's entries as the file holds them now.
  static void DescribePlaces(platform::RecordFile &file, TBlockPlaces &places);
  // After a change the places followed: they describe the file as it is now.
  void PlacesFollowed(TBlockPlaces *places) {
    if (places) places->Follow(CurFile().Generation());
  }
  // A change the places could not follow.
  static void Lose(TBlockPlaces *&places) {
    if (places) places->Forget();
    places = nullptr;
  }

  bool OpenedReadOnly = false;
  int32_t DirFileCount = 0;
  int32_t EntryCount = 1;
  int32_t CurPosition = 0;
  bool DirFilesOpen = false;
  int32_t CurFileNo = 0;
  int32_t SavedFileNo = 0;
  int32_t SavedPosition = 0;
  // Entries moved per read or write while shifting or scanning (1..kMaxChunk).
  int32_t ChunkSize = kMaxChunk;

  platform::RecordFile DirFiles[kMaxDirFiles];
  // Entry 0 holds single entries being written; entries 1 onward receive the
  // chunks moved while entries are shifted.
  TDirEntry EntryBuffer[kMaxChunk + 1];
  TBlockPlaces Places[kMaxDirFiles];
};

}  // namespace velmora
