// Index maintenance, search and cursor.  Record numbers are kept in key order
// for every index of a table on leaf blocks of up to seven entries, listed in
// key order by the block directory.  The index never sees keys: the engine
// drives the search, comparing its key with the key of each record number the
// index proposes and handing back only the sign.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Ind1/CountTree.h"
#include "Ind1/Ind1FOps.h"
#include "Ind2/SecondIndex.h"

namespace velmora {

class TIndex : public TInd1FOps {
 public:
  TIndex() = default;
  TIndex(const TIndex &) = delete;
  TIndex &operator=(const TIndex &) = delete;
  ~TIndex() = default;

  // Opens the leaf and directory files of indexes 0 to n-1 and selects index 0.
  void OpenIndexes(const std::string &tableFileName, int32_t n, bool allowReadOnly = false);
  bool OpenedReadOnly() const { return TInd1FOps::OpenedReadOnly || Directory.IsOpenedReadOnly(); }

  // The whole cursor and directory state, to be put back after a failed call.
  struct State {
    int32_t work[kWorkSlots];
    int32_t curIndex, savedIndex, slot, savedSlot, lo, hi, mid, level;
    TVRSecondIndex::State directory;
  };
  // Saves the state (the block counts are kept by the count tree itself,
  // until the next SaveState).
  void SaveState(State &state);
  void RestoreState(const State &state);
  void CloseIndexes();
  // Makes index i current; the working block is loaded by the next search,
  // MoveFirst, MoveLast or RestoreCursor.
  void SelectIndex(int32_t i);
  // Resets every index of the table to the empty index.
  void EmptyIndexes();

  // Search steps: BeginSearch; while !SearchDone(): r = Probe(), compare,
  // Narrow(sign of the search key against r's key); then SearchResult().
  void BeginSearch();
  int32_t Probe();
  void Narrow(int32_t sign);
  bool SearchDone() const { return Level == 1 && Hi < Lo; }
  // Places the cursor on the first entry not sorting before the key; -1 when
  // that place lies just after the last entry of its block.
  int32_t SearchResult();
  // Where a completed search left the cursor and its search state, so that a
  // later step can stand there again without repeating the search while the
  // index is unchanged.
  struct Landing {
    int32_t position, slot, lo, hi, mid, level;
  };
  Landing SearchLanding() const { return {Directory.GetPosition(), Slot, Lo, Hi, Mid, Level}; }
  // Stands on landing again in the selected index; the working block is
  // loaded by the next maintenance step.
  void ReturnToLanding(const Landing &landing);
  // The sign of the entry at target's place against the entry the last Probe
  // proposed, by their places in the index: in an index whose entries are in
  // key order it is the sign the keys of the two records compare with.
  int32_t PlaceAgainstProbe(const Landing &target) const {
    const int32_t position = Level == 2 ? Mid : Directory.GetPosition();
    const int32_t slot = Level == 2 ? 1 : Mid;
    if (target.position != position) return target.position < position ? -1 : 1;
    return target.slot < slot ? -1 : (target.slot > slot ? 1 : 0);
  }

  int32_t MoveFirst();
  int32_t MoveLast();
  void MoveNext();
  void MovePrior();
  // The record number at the cursor; -1 when the cursor stands on no entry.
  int32_t CurrentEntry() const;
  int32_t CurrentOrNext();
  int32_t PriorOrNone();
  int32_t SettleAfterSearch();
  // The cursor stands on the last (first) entry of the index, or the index is empty.
  bool AtLastEntry() const { return Directory.AtLast() && Slot >= W(0); }
  bool AtFirstEntry() const { return Directory.AtFirst() && Slot <= 1; }

  void SaveCursor(bool keepSlot);
  int32_t RestoreCursor();

  void InsertEntry(int32_t recordNo);
  void DeleteEntry(bool adjust);
  void UpdateEntry(int32_t recordNo);

  void RebuildCounts();
  int32_t OrdinalPosition() const;
  int32_t TotalCount() const;

  // Block count of the working block.
  int32_t BlockCount() const { return W(0); }

  // A cursor place: the index, the slot in its working block and the
  // directory file and entry of that block.
  struct Place {
    int32_t index, slot, file, position;
  };
  Place CurrentPlace() const;
  Place SavedPlace() const;
  // Makes place the one the next RestoreCursor returns to.
  void SetSavedPlace(const Place &place);

  // The record counts of the current index's blocks, in directory order.
  const TCountTree &GetBlockCounts() const { return BlockCounts; }
  void SetBlockCounts(const TCountTree &counts) { BlockCounts = counts; }
  int32_t GetSlot() const { return Slot; }
  int32_t GetSavedSlot() const { return SavedSlot; }
  const TVRSecondIndex &GetDirectory() const { return Directory; }
  platform::RecordFile &DirFileAt(int32_t i) { return Directory.DirFileAt(i); }

 private:
  friend class EngineTestPeer;

  int32_t Slot = 1;
  int32_t SavedSlot = -1;
  TVRSecondIndex Directory;
  // Search state: the bounds Lo..Hi and the last probe Mid, over the
  // directory's entries while a block is chosen (Level 2), then over the
  // slots of the loaded block (Level 1).
  int32_t Lo = 0;
  int32_t Hi = -1;
  int32_t Mid = -1;
  int32_t Level = 1;
  TCountTree BlockCounts;
  // The block counts of each index as last read from its files in image
  // mode, with the generations of its leaf and directory files then: while
  // neither file changed, changing back to the index takes them as they are
  // instead of reading every block again.
  struct KeptCounts {
    bool valid = false;
    uint64_t leafGeneration = 0;
    uint64_t directoryGeneration = 0;
    std::vector<int32_t> counts;
  };
  KeptCounts keptCounts_[kMaxIndexFiles];
  KeptCounts *CurrentKeptCounts();

  // Reads the block named by the directory entry into slots 0 to 7 and checks
  // it against the entry.
  void LoadBlock(const TDirEntry &entry);
  // The record number in slot s of the working block, -1 if s names no entry.
  int32_t EntryAt(int32_t s) const;
  int32_t SafeLastBlockNo();
  void DoInsert(int32_t recordNo);
  void DoDelete(bool adjust);
  void DoUpdate(int32_t recordNo);
};

}  // namespace velmora
