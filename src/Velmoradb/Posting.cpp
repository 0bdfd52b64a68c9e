// Posting new and edited records: every index and the data file kept in step,
// with the range, cursor and filter states brought up to date.
#include <velmora/velmora.hpp>

#include "Ind1/Index.h"
#include "VRcomm/EngineError.h"
#include "Velmoradb/PinnedRecord.h"
#include "Velmoradb/VelmoraDB.h"

namespace velmora {

int32_t TVRVelmoraDB::PostNewRecord() {
  TIndex &index = *PrimaryIndex;
  int32_t n = RecordCount();
  if (n >= kMaxRecords) RaiseTableError("Unable to insert. Velmora is full - 30000 records !");
  index.SaveCursor(CurrentRec >= 0);
  int32_t active = index.GetSavedIndex();
  int32_t original = CurrentRec;
  uint8_t *record = CurrentBuffer();
  int32_t indexed = 0;
  bool stored = false;
  try {
    // A key that could not be ordered is refused before any index changes.
    for (int32_t i = 0; i < IndexCount; ++i) RequireOrderableKey(record, i);
    // A duplicate index 0 key is found in index 0, before any index changes.
    for (int32_t i = 0; i < IndexCount; ++i) {
      index.SelectIndex(i);
      int32_t r;
      if (SearchKey(record, i, r)) RaiseTableError("Insertion Error. Key violation in Velmora.");
      if (i == active) index.SaveCursor(true);
      indexed = i + 1;  // counted before: an insertion may fail half-way
      index.InsertEntry(n);
    }
    StoreRecord(n, record);
    ReleaseRecord(n);
    stored = true;
    index.RestoreCursor();
    PlaceInRange(record, n);
    if (Filtered) {
      {
        PinnedRecord stored(*this, n);
        FilterList->Evaluate(n, stored.get(), CurrentRec == n);
      }
      if (FilterList->GetPassCount() == 0) SetEmptyState();
    }
    ReadRecord();
    CheckPosition("Error in index position");
  } catch (...) {
    if (!stored && (indexed > 0 || RecordCount() > n)) {
      // Indexes changed but the record did not reach the data file: rather
      // than leave entries naming a record that does not exist, they are
      // taken out again.
      KeepEngineError keep;
      try {
        UndoInsertion(n, record, indexed, original, active);
      } catch (...) {
      }
    } else {
      RestoreCursorAfterFailure();
    }
    throw;
  }
  return 0;
}

void TVRVelmoraDB::UndoInsertion(int32_t n, const uint8_t *image, int32_t indexed, int32_t original, int32_t active) {
  TIndex &index = *PrimaryIndex;
  // The image is kept aside: the record buffer is reloaded below.
  std::vector<uint8_t> pending(image, image + RecordSize);
  for (int32_t i = 0; i < indexed; ++i) {
    index.SelectIndex(i);
    int32_t r;
    if (SearchKey(pending.data(), i, r, n, pending.data()) && index.CurrentEntry() == n) index.DeleteEntry(false);
  }
  try {
    PurgeRecord(n);
  } catch (...) {
  }
  int32_t whole = RecordCount();
  if (whole >= n) TruncateDataFile(whole - n);
  index.SelectIndex(active);
  CurrentRec = -1;
  if (original >= 0 && original < RecordCount()) {
    ReadRecordCopy(WorkBuffer(), original);
    int32_t r;
    if (SearchKey(WorkBuffer(), active, r) && r == original) CurrentRec = original;
  }
  if (CurrentRec < 0) index.MoveFirst();
  LoadCurrentRecord();
  index.SaveCursor(CurrentRec >= 0);
}

void TVRVelmoraDB::PlaceInRange(const uint8_t *image, int32_t recNo) {
  TIndex &index = *PrimaryIndex;
  int32_t active = CurrentIndex();
  int32_t a = CompareKeys(image, RangeFirstCopy(), true, active);
  int32_t b = CompareKeys(image, RangeLastCopy(), true, active);
  AtBOF = false;
  AtEOF = false;
  if (a < 0 && CompareKeys(image, RangeLowKey(), true, active) >= 0) {
    CopyRecord(image, RangeFirstCopy());
    RangeFirstRec = recNo;
    a = 0;
  }
  if (b > 0 && CompareKeys(image, RangeHighKey(), true, active) <= 0) {
    CopyRecord(image, RangeLastCopy());
    RangeLastRec = recNo;
    b = 0;
  }
  int32_t r;
  if (CurrentRec < 0 && CompareKeys(RangeFirstCopy(), RangeLastCopy(), true, active) > 0) {
    // The range is still empty.
    AtBOF = true;
    AtEOF = true;
  } else if (a < 0) {
    SearchKey(RangeFirstCopy(), active, r);
    CurrentRec = r;
    RangeStartPos = CurrentPos = index.OrdinalPosition();
  } else if (b > 0) {
    SearchKey(RangeLastCopy(), active, r);
    CurrentRec = r;
    CurrentPos = RangeStartPos + RangeRecordCount - 1;
  } else {
    CurrentRec = recNo;
    index.RestoreCursor();
    CurrentPos = index.OrdinalPosition();
    if (RangeRecordCount == 0) RangeStartPos = CurrentPos;
    RangeRecordCount += 1;
  }
  index.SaveCursor(CurrentRec >= 0);
}

void TVRVelmoraDB::EditRecord() { CopyRecord(CurrentBuffer(), WorkBuffer()); }

void TVRVelmoraDB::PostEditedRecord() {
  TIndex &index = *PrimaryIndex;
  uint8_t *record = CurrentBuffer();
  uint8_t *stored = WorkBuffer();
  int32_t e = CurrentRec;
  bool wasFirst = RangeFirstRec == e;
  bool wasLast = RangeLastRec == e;
  int32_t total = RecordCount();
  index.SaveCursor(CurrentRec >= 0);
  try {
    if (CurrentRec == -1) RaiseTableError("Edit error. Velmora range is empty.");
    if (CursorLost) RaiseTableError(kCursorLost);
    if (total == 1) {
      // One record cannot change order: the index entries stay as they are.
      // Its keys must still be orderable against the records posted later.
      for (int32_t i = 0; i < IndexCount; ++i) RequireOrderableKey(record, i);
      StoreRecord(e, record);
      ReleaseRecord(e);
      FillRecord(RangeFirstCopy(), 2);
      FillRecord(RangeLastCopy(), 0);
      RangeFirstRec = RangeLastRec = CurrentRec = -1;
      RangeRecordCount = 0;
      PlaceInRange(record, e);
    } else {
      ReadRecordCopy(stored, e);
      index.SelectIndex(0);
      int32_t r;
      if (SearchKey(record, 0, r) && r != e)
        RaiseTableError("Error. Edit changes will create a key violation in Velmora.");
      int32_t active = index.GetSavedIndex();
      bool changed[kMaxIndexes] = {};
      int32_t before[kMaxIndexes] = {};
      int32_t after[kMaxIndexes] = {};
      for (int32_t i = 0; i < IndexCount; ++i) changed[i] = CompareKeys(record, stored, true, i) != 0;
      // Every entry the edit removes, and every place it inserts at, is found
      // before any file changes, so a refused edit leaves the table as it was.
      for (int32_t i = 0; i < IndexCount; ++i) {
        if (!changed[i]) continue;
        RequireOrderableKey(record, i);
        index.SelectIndex(i);
        if (!SearchKey(stored, i, before[i]) || before[i] != e)
          RaiseTableError("Error on record edit(1). Velmora may be corrupted - suggest rebuild.");
        if (SearchKey(record, i, after[i])) RaiseEditCollision(i, r, e, before[i], after[i]);
      }
      for (int32_t i = 0; i < IndexCount; ++i) {
        if (!changed[i]) continue;
        index.SelectIndex(i);
        if (!SearchKey(stored, i, before[i]))
          RaiseTableError("Error on record edit(1). Velmora may be corrupted - suggest rebuild.");
        index.DeleteEntry(!wasFirst && !wasLast);
      }
      StoreRecord(e, record);
      ReleaseRecord(e);
      if (changed[active]) {
        CurrentRec = index.RestoreCursor();
        RepairRangeAfterRemoval(wasFirst, wasLast);
      }
      for (int32_t i = 0; i < IndexCount; ++i) {
        if (!changed[i]) continue;
        index.SelectIndex(i);
        if (SearchKey(record, i, after[i])) RaiseEditCollision(i, r, e, before[i], after[i]);
        if (i == active) index.SaveCursor(true);
        index.InsertEntry(e);
      }
      index.RestoreCursor();
      if (changed[active]) PlaceInRange(record, e);
    }
    if (Filtered) {
      FilterList->MoveState(e, -1);
      {
        PinnedRecord image(*this, e);
        FilterList->Evaluate(e, image.get(), CurrentRec == e);
      }
      if (FilterList->GetPassCount() == 0) SetEmptyState();
    }
    ReadRecord();
    CheckPosition("Error in index position after edit");
  } catch (...) {
    RestoreCursorAfterFailure();
    throw;
  }
}

void TVRVelmoraDB::RaiseEditCollision(int32_t i, int32_t r, int32_t e, int32_t e1, int32_t e2) {
  RaiseTableError("Error on record edit(2). Velmora may be corrupted - suggest rebuild (" + std::to_string(i) + "/" +
                  std::to_string(r) + "/" + std::to_string(e) + "/" + std::to_string(CurrentRec) + "/e1 " +
                  std::to_string(e1) + "/e2 " + std::to_string(e2) + ")");
}

void TVRVelmoraDB::RepairRangeAfterRemoval(bool wasFirst, bool wasLast) {
  int32_t active = CurrentIndex();
  bool both = wasFirst && wasLast;
  int32_t r;
  if (wasFirst) {
    SeekRangeStart();
    if (!both) {
      CurrentRec = RangeFirstRec;
      SearchKey(RangeFirstCopy(), active, r);
    }
  }
  if (wasLast) {
    SeekRangeEnd();
    if (!both) {
      CurrentRec = RangeLastRec;
      SearchKey(RangeLastCopy(), active, r);
      CurrentPos -= 1;
    }
  }
  if (both) CurrentRec = -1;
  AtBOF = both;
  AtEOF = both;
  if (!wasLast) RangeRecordCount -= 1;
}

}  // namespace velmora
