// Moving the cursor through the range: First, Last, Next, Prior with and
// without a filter, MoveTo, ReadRecord, and the position and count queries.
#include <velmora/velmora.hpp>

#include "Ind1/Index.h"
#include "Velmoradb/VelmoraDB.h"

namespace velmora {

void TVRVelmoraDB::LoadCurrentRecord() {
  if (CurrentRec == -1)
    FillRecord(CurrentBuffer(), 0);
  else
    ReadRecordCopy(CurrentBuffer(), CurrentRec);
}

void TVRVelmoraDB::SetEmptyState() {
  CurrentRec = -1;
  AtBOF = true;
  AtEOF = true;
  CurrentPos = RangeStartPos - 1;
}

int32_t TVRVelmoraDB::UnfilteredFirst() {
  TIndex &index = *PrimaryIndex;
  if (!AtBOF) {
    if (RangeFirstRec != CurrentRec) {
      int32_t r;
      SearchKey(RangeFirstCopy(), CurrentIndex(), r);
      CurrentRec = r;
      LoadCurrentRecord();
    }
    AtEOF = false;
    AtBOF = true;
    CurrentPos = index.OrdinalPosition();
  }
  CheckPosition("Error in index position after First");
  return index.CurrentEntry();
}

int32_t TVRVelmoraDB::UnfilteredLast() {
  TIndex &index = *PrimaryIndex;
  if (!AtEOF) {
    if (RangeLastRec != CurrentRec) {
      int32_t r;
      SearchKey(RangeLastCopy(), CurrentIndex(), r);
      CurrentRec = r;
      LoadCurrentRecord();
    }
    AtEOF = true;
    AtBOF = false;
    CurrentPos = index.OrdinalPosition();
  }
  CheckPosition("Error in index position after Last");
  return index.CurrentEntry();
}

int32_t TVRVelmoraDB::UnfilteredNext() {
  TIndex &index = *PrimaryIndex;
  if (PendingNext && !AtEOF && CurrentRec >= 0) {
    // The cursor already stands on the record that followed the one that went.
    PendingNext = false;
    AtBOF = false;
    LoadCurrentRecord();
  } else if (!AtEOF) {
    AtBOF = false;
    // The index's own end also ends the range: whatever the files say, a
    // walk with Next cannot go on for ever.
    if (CurrentRec == RangeLastRec || index.AtLastEntry()) {
      AtEOF = true;
    } else {
      index.MoveNext();
      CurrentRec = index.CurrentEntry();
      LoadCurrentRecord();
      CurrentPos += 1;
    }
  }
  CheckPosition("Error in index position after Next");
  return index.CurrentEntry();
}

int32_t TVRVelmoraDB::UnfilteredPrior() {
  TIndex &index = *PrimaryIndex;
  if (!AtBOF) {
    AtEOF = false;
    if (CurrentRec == RangeFirstRec || index.AtFirstEntry()) {
      AtBOF = true;
    } else {
      index.MovePrior();
      CurrentRec = index.CurrentEntry();
      LoadCurrentRecord();
      CurrentPos -= 1;
    }
  }
  CheckPosition("Error in index position after Prior");
  return index.CurrentEntry();
}

int32_t TVRVelmoraDB::FilteredSeek(bool includeCurrent, bool forward, bool commit) {
  TIndex &index = *PrimaryIndex;
  int32_t limit = RecordCount();
  index.SaveCursor(CurrentRec >= 0);
  int32_t r = CurrentRec;
  int32_t boundary = forward ? RangeLastRec : RangeFirstRec;
  bool found = false;
  try {
    found = includeCurrent && CurrentRec != -1 && FilterTest(CurrentRec);
    bool atBoundary = CurrentRec == -1 || CurrentRec == boundary;
    while (!found && !atBoundary) {
      if (forward)
        index.MoveNext();
      else
        index.MovePrior();
      r = index.CurrentEntry();
      atBoundary = r == boundary;
      found = FilterTest(r);
      if (--limit < 0)
        RaiseTableError("Internal Error in locating record. (" + std::to_string(RangeFirstRec) + "/" +
                        std::to_string(RangeLastRec) + ")");
    }
  } catch (...) {
    RestoreCursorAfterFailure();
    throw;
  }
  int32_t result = found ? r : -1;
  if (commit && result != -1) {
    CurrentRec = result;
    CurrentPos = index.OrdinalPosition();
    AtEOF = false;
    AtBOF = false;
    LoadCurrentRecord();
  } else {
    index.RestoreCursor();
  }
  return result;
}

bool TVRVelmoraDB::FilteredFirst() {
  AtBOF = false;
  CheckRangeEmpty();
  UnfilteredFirst();
  int32_t r = FilteredSeek(true, true, true);
  if (r < 0) SetEmptyState();
  AtBOF = true;
  return r >= 0;
}

bool TVRVelmoraDB::FilteredLast() {
  AtEOF = false;
  CheckRangeEmpty();
  UnfilteredLast();
  int32_t r = FilteredSeek(true, false, true);
  if (r < 0) SetEmptyState();
  AtEOF = true;
  return r >= 0;
}

bool TVRVelmoraDB::FilteredNext() {
  if (AtEOF) return false;
  const bool include = PendingNext;
  PendingNext = false;
  int32_t r = FilteredSeek(include, true, true);
  AtBOF = false;
  AtEOF = r < 0;
  return r >= 0;
}

bool TVRVelmoraDB::FilteredPrior() {
  if (AtBOF) return false;
  int32_t r = FilteredSeek(false, false, true);
  AtEOF = false;
  AtBOF = r < 0;
  return r >= 0;
}

int32_t TVRVelmoraDB::First() {
  if (!Filtered) return UnfilteredFirst();
  FindResult = FilteredFirst();
  return FindResult ? 1 : 0;
}

int32_t TVRVelmoraDB::Last() {
  if (!Filtered) return UnfilteredLast();
  FindResult = FilteredLast();
  return FindResult ? 1 : 0;
}

int32_t TVRVelmoraDB::Next() {
  if (!Filtered) return UnfilteredNext();
  FindResult = FilteredNext();
  return FindResult ? 1 : 0;
}

int32_t TVRVelmoraDB::Prior() {
  if (!Filtered) return UnfilteredPrior();
  FindResult = FilteredPrior();
  return FindResult ? 1 : 0;
}

int32_t TVRVelmoraDB::MoveTo(int32_t position) {
  if (position == -1) return 0;
  int32_t start = CurrentRecordPosition();
  int64_t delta = static_cast<int64_t>(position) - start;
  int64_t moved = 0;
  if (delta > 0) {
    while (!AtEOF && moved != delta) {
      UnfilteredNext();
      if (!AtEOF) ++moved;
    }
  } else if (delta < 0) {
    while (!AtBOF && moved != delta) {
      UnfilteredPrior();
      if (!AtBOF) --moved;
    }
  }
  ReadRecord();
  if (CurrentRecordPosition() != start + moved) RaiseTableError("Error in MoveBy function. Filter probably corrupt.");
  return CurrentRecordPosition() - start;
}

bool TVRVelmoraDB::ReadRecord() {
  bool ok = CurrentRec != -1;
  if (Filtered && ok) {
    LoadCurrentRecord();
    if (!RecordedFilterTest(CurrentBuffer(), CurrentRec)) {
      ok = FilteredNext();
      if (!ok) ok = FilteredPrior();
      if (ok) {
        AtEOF = false;
        AtBOF = false;
      }
    }
  }
  if (ok)
    LoadCurrentRecord();
  else
    SetEmptyState();
  return ok;
}

int32_t TVRVelmoraDB::CurrentRecordPosition() {
  if (CurrentRec == -1) return 0;
  CurrentPos = PrimaryIndex->OrdinalPosition();
  return CurrentPos - RangeStartPos + 1;
}

int32_t TVRVelmoraDB::RangeCount() {
  if (!Filtered) return RangeRecordCount;
  Recount(false);
  return FilterList->GetPassCount();
}

}  // namespace velmora
