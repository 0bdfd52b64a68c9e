// Key ranges over the active index: changing the index, applying and
// cancelling a range, and finding the range's ends.
#include <velmora/velmora.hpp>

#include "Ind1/Index.h"
#include "Velmoradb/VelmoraDB.h"

namespace velmora {

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
  ResetRange(indexNo);
  PrimaryIndex->RebuildCounts();
  RangeStartPos = 1;
  CurrentPos = 1;
  RangeRecordCount = PrimaryIndex->TotalCount();
  return InitRange();
}

int32_t TVRVelmoraDB::CancelRange() {
  ResetRange(CurrentIndex());
  RangeStartPos = 1;
  CurrentPos = 1;
  RangeRecordCount = PrimaryIndex->TotalCount();
  return InitRange();
}

int32_t TVRVelmoraDB::ApplyRange(const uint8_t *low, int32_t lowHigh, const uint8_t *high,
                                 int32_t highHigh) {
  FillKeyBuffer(low, lowHigh, 1);
  FillKeyBuffer(high, highHigh, 2);
  SeekRangeStart();
  SeekRangeEnd();
  return InitRange();
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
