// Key ranges over the active index: changing the index, applying and
// cancelling a range, and finding the range's ends.
#include <velmora/velmora.hpp>

#include <algorithm>
#include <iterator>
#include <vector>

#include "Ind1/Index.h"
#include "VRcomm/EngineError.h"
#include "Velmoradb/VelmoraDB.h"

namespace velmora {

// The cursor and range of a table, kept across an operation that replaces
// them, so that a failure half-way leaves the table as it was.
class TVRVelmoraDB::RangeKeeper {
 public:
  explicit RangeKeeper(TVRVelmoraDB &table)
      : t_(table),
        currentRec_(table.CurrentRec),
        firstRec_(table.RangeFirstRec),
        lastRec_(table.RangeLastRec),
        startPos_(table.RangeStartPos),
        currentPos_(table.CurrentPos),
        count_(table.RangeRecordCount),
        bof_(table.AtBOF),
        eof_(table.AtEOF),
        counts_(table.PrimaryIndex->GetBlockCounts()),
        cursor_(table.PrimaryIndex->CurrentPlace()),
        saved_(table.PrimaryIndex->SavedPlace()) {
    for (int i = 0; i < kKeptCount; ++i)
      images_[i].assign(table.Buffer(kKept[i]), table.Buffer(kKept[i]) + table.RecordSize);
  }

  // Runs the operation; on failure puts everything back (or, when even that
  // fails, leaves an empty range on which no move goes anywhere) and rethrows.
  template <class Operation>
  int32_t Run(Operation &&operation) {
    try {
      return operation();
    } catch (...) {
      Restore();
      throw;
    }
  }

 private:
  void Restore() noexcept {
    TIndex &index = *t_.PrimaryIndex;
    KeepEngineError keep;
    t_.CurrentRec = currentRec_;
    t_.RangeFirstRec = firstRec_;
    t_.RangeLastRec = lastRec_;
    t_.RangeStartPos = startPos_;
    t_.CurrentPos = currentPos_;
    t_.RangeRecordCount = count_;
    t_.AtBOF = bof_;
    t_.AtEOF = eof_;
    for (int i = 0; i < kKeptCount; ++i) std::copy(images_[i].begin(), images_[i].end(), t_.Buffer(kKept[i]));
    try {
      // The operation saves cursors of its own: the one at its start is put
      // in their place and restored, then the index's saved cursor is too.
      index.SetSavedPlace(cursor_);
      int32_t entry = index.RestoreCursor();
      index.SetSavedPlace(saved_);
      index.SetBlockCounts(counts_);
      if (currentRec_ >= 0 && entry != currentRec_) throw 0;
    } catch (...) {
      // The index files cannot show the old cursor either: the range is
      // emptied, so that moves stay put and report both ends.
      t_.CurrentRec = t_.RangeFirstRec = t_.RangeLastRec = -1;
      t_.RangeRecordCount = 0;
      t_.AtBOF = t_.AtEOF = true;
      t_.FillRecord(t_.CurrentBuffer(), 0);
      t_.FillRecord(t_.RangeFirstCopy(), 2);
      t_.FillRecord(t_.RangeLastCopy(), 0);
    }
  }

  // Record buffers that describe the cursor and range: current record, low and
  // high keys, range-first and range-last copies.
  static constexpr BufferRole kKept[] = {BufferRole::kCurrent, BufferRole::kRangeLow, BufferRole::kRangeHigh,
                                         BufferRole::kRangeFirst, BufferRole::kRangeLast};
  static constexpr int kKeptCount = static_cast<int>(std::size(kKept));
  TVRVelmoraDB &t_;
  int32_t currentRec_, firstRec_, lastRec_, startPos_, currentPos_, count_;
  bool bof_, eof_;
  TCountTree counts_;
  TIndex::Place cursor_, saved_;
  std::vector<uint8_t> images_[kKeptCount];
};

void TVRVelmoraDB::ResetRange(int32_t indexNo) {
  TIndex &index = *PrimaryIndex;
  index.SelectIndex(indexNo);
  RangeLastRec = index.MoveLast();
  RangeFirstRec = index.MoveFirst();
  if (RecordCount() > 0) {
    AtEOF = false;
    CurrentRec = RangeFirstRec;
  } else {
    AtEOF = true;
    CurrentRec = -1;
  }
  AtBOF = true;
  // Without a range the low key sorts before and the high key after everything.
  FillRecord(RangeLowKey(), 0);
  FillRecord(RangeHighKey(), 2);
  if (RangeFirstRec >= 0)
    ReadRecordCopy(RangeFirstCopy(), RangeFirstRec);
  else
    FillRecord(RangeFirstCopy(), 2);
  if (RangeLastRec >= 0)
    ReadRecordCopy(RangeLastCopy(), RangeLastRec);
  else
    FillRecord(RangeLastCopy(), 0);
  LoadCurrentRecord();
}

int32_t TVRVelmoraDB::ChangeIndex(int32_t indexNo) {
  return RangeKeeper(*this).Run([&] {
    ResetRange(indexNo);
    PrimaryIndex->RebuildCounts();
    RangeStartPos = 1;
    CurrentPos = 1;
    RangeRecordCount = PrimaryIndex->TotalCount();
    return InitRange();
  });
}

int32_t TVRVelmoraDB::CancelRange() {
  return RangeKeeper(*this).Run([&] {
    ResetRange(CurrentIndex());
    RangeStartPos = 1;
    CurrentPos = 1;
    RangeRecordCount = PrimaryIndex->TotalCount();
    return InitRange();
  });
}

int32_t TVRVelmoraDB::ApplyRange(const uint8_t *low, int32_t lowHigh, const uint8_t *high, int32_t highHigh) {
  return RangeKeeper(*this).Run([&] {
    FillKeyBuffer(low, lowHigh, BufferRole::kRangeLow);
    FillKeyBuffer(high, highHigh, BufferRole::kRangeHigh);
    SeekRangeStart();
    SeekRangeEnd();
    return InitRange();
  });
}

void TVRVelmoraDB::SeekRangeStart() {
  TIndex &index = *PrimaryIndex;
  index.SaveCursor(CurrentRec >= 0);
  try {
    int32_t r;
    if (!SearchKey(RangeLowKey(), CurrentIndex(), r)) r = index.CurrentOrNext();
    if (r < 0) {
      FillRecord(RangeFirstCopy(), 2);
      RangeFirstRec = -1;
    } else {
      RangeFirstRec = r;
      ReadRecordCopy(RangeFirstCopy(), r);
      RangeStartPos = CurrentPos = index.OrdinalPosition();
    }
  } catch (...) {
    RestoreCursorAfterFailure();
    throw;
  }
  index.RestoreCursor();
}

void TVRVelmoraDB::SeekRangeEnd() {
  TIndex &index = *PrimaryIndex;
  index.SaveCursor(CurrentRec >= 0);
  try {
    int32_t r;
    if (!SearchKey(RangeHighKey(), CurrentIndex(), r)) r = index.PriorOrNone();
    if (r < 0) {
      FillRecord(RangeLastCopy(), 0);
      RangeLastRec = -1;
      RangeRecordCount = 0;
    } else {
      RangeLastRec = r;
      ReadRecordCopy(RangeLastCopy(), r);
      RangeRecordCount = index.OrdinalPosition() - RangeStartPos + 1;
    }
  } catch (...) {
    RestoreCursorAfterFailure();
    throw;
  }
  index.RestoreCursor();
}

bool TVRVelmoraDB::CheckRangeEmpty() {
  bool empty = RangeLastRec == -1 || RangeFirstRec == -1 ||
               CompareKeys(RangeLastCopy(), RangeFirstCopy(), true, CurrentIndex()) < 0;
  AtBOF = empty;
  AtEOF = empty;
  if (empty) {
    FillRecord(CurrentBuffer(), 0);
    CurrentRec = -1;
    RangeRecordCount = 0;
  }
  return empty;
}

int32_t TVRVelmoraDB::InitRange() {
  AtBOF = false;
  CheckRangeEmpty();
  UnfilteredFirst();
  if (Filtered) Recount(false);
  CheckPosition("Error in index position after range initialize");
  return PrimaryIndex->CurrentEntry();
}

}  // namespace velmora
