#include "Ind1/Index.h"

#include <algorithm>
#include <utility>

#include <velmora/velmora.hpp>

#include "VRcomm/EngineError.h"

namespace velmora {

namespace {

const char *const kCorrupt = "Error on index1 file read. Velmora may be corrupted - suggest rebuild.";

// A block that reaches this count is split into two blocks of kSplitKeep.
constexpr int32_t kSplitAt = 8;
constexpr int32_t kSplitKeep = 4;

}  // namespace

// ---------------------------------------------------------------------------
// Opening, closing, selecting and emptying.

void TIndex::OpenIndexes(const std::string &tableFileName, int32_t n, bool allowReadOnly) {
  OpenLeafFiles(tableFileName, n, allowReadOnly);
  Directory.OpenDirFiles(tableFileName, n, allowReadOnly);
  Directory.SelectFile(0);
}

void TIndex::SaveState(State &s) {
  SaveWork(s.work);
  s.curIndex = CurIndex;
  s.savedIndex = SavedIndex;
  s.slot = Slot;
  s.savedSlot = SavedSlot;
  s.lo = Lo;
  s.hi = Hi;
  s.mid = Mid;
  s.level = Level;
  Directory.SaveState(s.directory);
  BlockCounts.Checkpoint();
}

void TIndex::RestoreState(const State &s) {
  RestoreWork(s.work);
  CurIndex = s.curIndex;
  SavedIndex = s.savedIndex;
  Slot = s.slot;
  SavedSlot = s.savedSlot;
  Lo = s.lo;
  Hi = s.hi;
  Mid = s.mid;
  Level = s.level;
  Directory.RestoreState(s.directory);
  BlockCounts.RollBack();
}

TIndex::Place TIndex::CurrentPlace() const {
  return {CurIndex, Slot, Directory.GetCurFileNo(), Directory.GetPosition()};
}

TIndex::Place TIndex::SavedPlace() const {
  return {SavedIndex, SavedSlot, Directory.GetSavedFileNo(), Directory.GetSavedPosition()};
}

void TIndex::SetSavedPlace(const Place &place) {
  SavedIndex = place.index;
  SavedSlot = place.slot;
  Directory.SetSavedPlace(place.file, place.position);
}

void TIndex::CloseIndexes() {
  for (KeptCounts &kept : keptCounts_) kept = KeptCounts{};
  // Both kinds of files are closed even if closing the directories fails.
  try {
    Directory.CloseDirFiles();
  } catch (...) {
    try {
      CloseLeafFiles();
    } catch (...) {
    }
    throw;
  }
  CloseLeafFiles();
}

void TIndex::SelectIndex(int32_t i) {
  if (i < 0 || i >= LeafFileCount || i >= kMaxIndexFiles) {
    RaiseEngineError("Index number " + std::to_string(i) + " is not an open index.");
  }
  CurIndex = i;
  Directory.SelectFile(i);
  Slot = 1;
}

void TIndex::EmptyIndexes() {
  EmptyLeafFiles();
  Directory.EmptyDirFiles();
  Slot = -1;
}

// ---------------------------------------------------------------------------
// Working block helpers.

void TIndex::LoadBlock(const TDirEntry &entry) {
  ReadBlock(entry.Block, 0);
  int32_t count = W(0);
  bool sound;
  if (count == 0) {
    // Only the single block of an empty index may hold no entries.
    sound = Directory.GetEntryCount() == 1 && entry.First < 0;
  } else {
    sound = W(1) == entry.First;
  }
  if (!sound) RaiseEngineError(kCorrupt);
}

int32_t TIndex::EntryAt(int32_t s) const {
  int32_t count = W(0);
  if (s < 1 || s > count || s > kBlockCapacity) return -1;
  return W(s);
}

int32_t TIndex::SafeLastBlockNo() {
  KeepEngineError keep;
  try {
    return LastBlockNo();
  } catch (...) {
    return -1;
  }
}

// ---------------------------------------------------------------------------
// Search steps.

void TIndex::BeginSearch() {
  Level = 2;
  Lo = 0;
  TDirEntry e = Directory.ReadAt(0);
  Hi = Directory.LastPosition();
  Mid = -1;
  if (Lo == Hi || e.First < 0) {
    Level = 1;
    LoadBlock(e);
    Lo = 1;
    Hi = W(0);
  }
}

int32_t TIndex::Probe() {
  if (SearchDone()) RaiseEngineError("Index search probed after it was complete.");
  if (Level == 2) {
    Mid = (Lo + Hi + 1) / 2;
    TDirEntry e = Directory.ReadAt(Mid);
    // Several blocks means a non-empty index: every block has a first record.
    if (e.First < 0) RaiseEngineError(kCorrupt);
    return e.First;
  }
  Mid = (Lo + Hi) / 2;
  return EntryAt(Mid);
}

void TIndex::Narrow(int32_t sign) {
  if (Level == 2) {
    if (sign == 0) {
      Hi = -1;
      Lo = Mid;
    } else if (sign > 0) {
      Lo = Mid;
    } else {
      Hi = Mid - 1;
    }
    if (Hi <= Lo) {
      Level = 1;
      TDirEntry e = Directory.ReadAt(Lo);
      LoadBlock(e);
      Lo = 1;
      Hi = W(0);
    }
    return;
  }
  if (sign == 0) {
    Hi = -1;
    Lo = Mid;
  } else if (sign > 0) {
    Lo = Mid + 1;
  } else {
    Hi = Mid - 1;
  }
}

int32_t TIndex::SearchResult() {
  Slot = Lo;
  return EntryAt(Lo);
}

void TIndex::ReturnToLanding(const Landing &landing) {
  Directory.ReadAt(landing.position);
  Slot = landing.slot;
  Lo = landing.lo;
  Hi = landing.hi;
  Mid = landing.mid;
  Level = landing.level;
}

// ---------------------------------------------------------------------------
// Navigation.

int32_t TIndex::MoveFirst() {
  LoadBlock(Directory.ReadFirst());
  Slot = 1;
  return EntryAt(1);
}

int32_t TIndex::MoveLast() {
  LoadBlock(Directory.ReadLast());
  int32_t count = W(0);
  if (count > 0) {
    Slot = count;
    return EntryAt(count);
  }
  Slot = 1;
  return -1;
}

void TIndex::MoveNext() {
  if (Slot >= W(0)) {
    // On the last entry of the index the cursor stays where it is.
    if (Directory.AtLast()) return;
    LoadBlock(Directory.ReadNext());
    Slot = 0;
  }
  ++Slot;
}

void TIndex::MovePrior() {
  if (Slot <= 1) {
    // On the first entry of the index the cursor stays where it is.
    if (Directory.AtFirst()) return;
    LoadBlock(Directory.ReadPrior());
    Slot = W(0) + 1;
  }
  --Slot;
}

int32_t TIndex::CurrentEntry() const { return EntryAt(Slot); }

int32_t TIndex::CurrentOrNext() {
  if (Slot <= W(0)) return EntryAt(Slot);
  if (Directory.AtLast()) return -1;
  LoadBlock(Directory.ReadNext());
  Slot = 1;
  return EntryAt(1);
}

int32_t TIndex::PriorOrNone() {
  if (Slot <= 1) {
    if (Directory.AtFirst()) return -1;
    LoadBlock(Directory.ReadPrior());
    Slot = W(0);
    return EntryAt(Slot);
  }
  if (Slot > W(0) + 1) Slot = W(0) + 1;
  --Slot;
  return EntryAt(Slot);
}

int32_t TIndex::SettleAfterSearch() {
  int32_t count = W(0);
  if (Slot > count) {
    if (Directory.AtLast()) {
      // In the empty index there is no last entry to settle on.
      Slot = count > 0 ? count : 1;
    } else {
      LoadBlock(Directory.ReadNext());
      Slot = 1;
    }
  }
  return EntryAt(Slot);
}

// ---------------------------------------------------------------------------
// Saved cursor.

void TIndex::SaveCursor(bool keepSlot) {
  Directory.SavePosition();
  SavedIndex = CurIndex;
  SavedSlot = keepSlot ? Slot : -1;
}

int32_t TIndex::RestoreCursor() {
  if (SavedIndex < 0 || SavedIndex >= LeafFileCount) {
    RaiseEngineError("Index number " + std::to_string(SavedIndex) + " is not an open index.");
  }
  CurIndex = SavedIndex;
  LoadBlock(Directory.RestorePosition());
  if (SavedSlot < 0) {
    Slot = 1;
    return -1;
  }
  Slot = SavedSlot;
  return EntryAt(Slot);
}

// ---------------------------------------------------------------------------
// Maintenance.

void TIndex::InsertEntry(int32_t recordNo) {
  try {
    DoInsert(recordNo);
  } catch (...) {
    RaiseEngineErrorWithCause("Error on index1 record insertion. Velmora may be corrupted - suggest rebuild (" +
                              std::to_string(SafeLastBlockNo()) + ")");
  }
}

void TIndex::DoInsert(int32_t recordNo) {
  if (recordNo < 0) RaiseEngineError("Invalid record number " + std::to_string(recordNo) + " for an index.");
  const int32_t d = Directory.GetPosition();
  const TDirEntry e = Directory.ReadCurrent();
  const int32_t b = e.Block;
  const int32_t p = Slot;
  int32_t count = W(0);
  // The working block must be the block of the current entry, as the search
  // left it, and the cursor a place within or just after its entries.
  if (count < 0 || count > kBlockCapacity || (count > 0 ? W(1) != e.First : e.First >= 0) ||
      (count == 0 && Directory.GetEntryCount() != 1) || p < 1 || p > count + 1) {
    RaiseEngineError(kCorrupt);
  }

  if (p == 1) Directory.WriteAt(d, TDirEntry{b, recordNo});
  for (int32_t s = count; s >= p; --s) W(s + 1) = W(s);
  W(p) = recordNo;
  ++count;
  W(0) = count;

  if (count == kSplitAt) {
    count = kSplitKeep;
    W(0) = count;
    // The new block is assembled in slots 8 to 15: count in slot 8, the
    // entries of slots 5 to 8 in slots 9 to 12.
    for (int32_t s = kSplitAt; s > kSplitKeep; --s) W(s + kSplitKeep) = W(s);
    W(kSplitAt) = kSplitAt - kSplitKeep;
    AppendBlock(kSplitAt);
    const int32_t n = AppendedBlockNo();
    bool moved = false;
    if (SavedIndex == CurIndex) {
      if (Slot > kSplitKeep) {
        Slot -= kSplitKeep;
        SavedSlot = Slot;
        moved = true;
      }
      if (d + 1 <= static_cast<int32_t>(BlockCounts.Size())) BlockCounts.Insert(d + 1, kSplitAt - kSplitKeep);
    }
    Directory.InsertAt(d + 1, TDirEntry{n, W(kSplitAt + 1)}, CurIndex, moved);
  }

  WriteBlock(b, 0);
  if (SavedIndex == CurIndex && d < static_cast<int32_t>(BlockCounts.Size())) BlockCounts.Set(d, count);
}

void TIndex::DeleteEntry(bool adjust) {
  try {
    DoDelete(adjust);
  } catch (...) {
    RaiseEngineErrorWithCause("Error on index record deletion. Velmora may be corrupted - suggest rebuild.(" +
                              std::to_string(SafeLastBlockNo()) + ")");
  }
}

void TIndex::DoDelete(bool adjust) {
  const int32_t d = Directory.GetPosition();
  const TDirEntry e = Directory.ReadAt(d);
  const int32_t b = e.Block;
  const int32_t p = Slot;
  LoadBlock(e);
  if (p < 1 || p > W(0)) RaiseEngineError(kCorrupt);
  const int32_t k = W(0) - 1;
  W(0) = k;
  const bool onlyBlock = Directory.GetEntryCount() == 1;

  if (adjust && SavedIndex == CurIndex) {
    if (k == 0 && onlyBlock) {
      // The index empties: the saved cursor names no entry.
      Directory.SavePosition();
      SavedSlot = -1;
    } else if (k == 0 && Directory.AtLast()) {
      TDirEntry prior = Directory.ReadPrior();
      Directory.SavePosition();
      ReadBlock(prior.Block, kSplitAt);
      if (W(kSplitAt) < 1 || W(kSplitAt + 1) != prior.First) RaiseEngineError(kCorrupt);
      SavedSlot = W(kSplitAt);
      Directory.ReadNext();
    } else if (k == 0) {
      SavedSlot = 1;
    } else if (k < SavedSlot && Directory.AtLast()) {
      SavedSlot = k;
    } else if (k < SavedSlot) {
      Directory.ReadNext();
      Directory.SavePosition();
      Directory.ReadPrior();
      SavedSlot = 1;
    }
  }

  if (k > 0) {
    for (int32_t s = p; s <= k; ++s) W(s) = W(s + 1);
    WriteBlock(b, 0);
    if (p == 1) Directory.WriteAt(d, TDirEntry{b, W(1)});
  } else if (onlyBlock) {
    // Removing the last entry of the index leaves the empty index behind
    // rather than an empty directory file.
    W(1) = -1;
    WriteBlock(b, 0);
    Directory.WriteAt(d, TDirEntry{b, -1});
  } else {
    const int32_t last = LastBlockNo();
    if (last != b) {
      // The last block of the file moves into the freed block number.
      ReadBlock(last, kSplitAt);
      if (W(kSplitAt) < 1) RaiseEngineError(kCorrupt);
      WriteBlock(b, kSplitAt);
      Directory.UpdateByBlock(last, TDirEntry{b, W(kSplitAt + 1)});
    }
    Directory.DeleteAt(d);
    TruncateBlocks(1);
  }

  if (SavedIndex == CurIndex) {
    if (k == 0 && onlyBlock) {
      BlockCounts.Assign(1, 0);
    } else if (k == 0) {
      if (d < static_cast<int32_t>(BlockCounts.Size())) BlockCounts.Erase(d);
      BlockCounts.EraseZeros();
    } else if (d < static_cast<int32_t>(BlockCounts.Size())) {
      BlockCounts.Set(d, k);
    }
  }
}

void TIndex::UpdateEntry(int32_t recordNo) {
  try {
    DoUpdate(recordNo);
  } catch (...) {
    RaiseEngineErrorWithCause("Error on index1 record update. Velmora may be corrupted - suggest rebuild.");
  }
}

void TIndex::DoUpdate(int32_t recordNo) {
  if (recordNo < 0) RaiseEngineError("Invalid record number " + std::to_string(recordNo) + " for an index.");
  const int32_t d = Directory.GetPosition();
  const TDirEntry e = Directory.ReadAt(d);
  const int32_t s = Slot;
  LoadBlock(e);
  if (s < 1 || s > W(0)) RaiseEngineError(kCorrupt);
  W(s) = recordNo;
  WriteBlock(e.Block, 0);
  if (s == 1) Directory.WriteAt(d, TDirEntry{e.Block, recordNo});
}

// ---------------------------------------------------------------------------
// Block count list.

TIndex::KeptCounts *TIndex::CurrentKeptCounts() {
  if (CurIndex < 0 || CurIndex >= kMaxIndexFiles) return nullptr;
  // Files read directly may change under the reader unseen; images change
  // only through this process, which moves their generations.
  platform::RecordFile &leaf = CurrentLeafFile();
  platform::RecordFile &directory = Directory.DirFileAt(CurIndex);
  if (!leaf.ImageInUse() || !directory.ImageInUse()) return nullptr;
  return &keptCounts_[CurIndex];
}

void TIndex::RebuildCounts() {
  KeptCounts *kept = CurrentKeptCounts();
  if (kept != nullptr && kept->valid && kept->leafGeneration == CurrentLeafFile().Generation() &&
      kept->directoryGeneration == Directory.DirFileAt(CurIndex).Generation()) {
    // The files are as they were when these counts were read (and checked).
    BlockCounts.Assign(kept->counts);
    LoadBlock(Directory.ReadAt(Directory.GetPosition()));
    return;
  }
  if (kept != nullptr) kept->valid = false;
  std::vector<int32_t> counts;
  counts.reserve(static_cast<size_t>(Directory.GetEntryCount() > 0 ? Directory.GetEntryCount() : 1));
  const int32_t q = Directory.GetPosition();
  try {
    // Every live block has exactly one directory entry.
    if (LastBlockNo() != Directory.GetEntryCount() + 1) RaiseEngineError(kCorrupt);
    LoadBlock(Directory.ReadFirst());
    counts.push_back(W(0));
    while (!Directory.AtLast()) {
      LoadBlock(Directory.ReadNext());
      counts.push_back(W(0));
    }
  } catch (...) {
    // The counts read before the failure stay, as they always have.
    BlockCounts.Assign(std::move(counts));
    KeepEngineError keep;
    try {
      LoadBlock(Directory.ReadAt(q));
    } catch (...) {
    }
    throw;
  }
  BlockCounts.Assign(std::move(counts));
  LoadBlock(Directory.ReadAt(q));
  kept = CurrentKeptCounts();
  if (kept != nullptr) {
    kept->counts = BlockCounts.Values();
    kept->leafGeneration = CurrentLeafFile().Generation();
    kept->directoryGeneration = Directory.DirFileAt(CurIndex).Generation();
    kept->valid = true;
  }
}

int32_t TIndex::OrdinalPosition() const {
  const int32_t d = Directory.GetPosition();
  return Slot + BlockCounts.Prefix(d < 0 ? 0 : static_cast<size_t>(d));
}

int32_t TIndex::TotalCount() const { return BlockCounts.Total(); }

}  // namespace velmora
