// The tests' way to the engine's inner state where no operation reaches it:
// faults planted in the index cursor, a cache set up without a data file, and
// the types the filter list keeps the client's procedures as, and a deletion
// that searches every entry it changes afresh, to hold the engine's own
// deletion against.
#pragma once

#include <cstdint>

#include "Ind1/Index.h"
#include "Velmoradb/FilterList.h"
#include "Velmoradb/RecBase.h"
#include "Velmoradb/VelmoraDB.h"

namespace velmora {

class EngineTestPeer {
 public:
  static TIndex &IndexOf(TVRVelmoraDB &table) { return *table.PrimaryIndex; }
  static void RestoreCursorAfterFailure(TVRVelmoraDB &table) { table.RestoreCursorAfterFailure(); }
  // Puts the index cursor on slot s of the working block, valid or not.
  static void SetSlot(TIndex &index, int32_t s) { index.Slot = s; }
  static void SetRecordSize(TVRRecBase &base, int32_t recordSize) { base.RecordSize = recordSize; }

  // Deletes the current record as DeleteRecord does, but searches each index
  // for both entries again at the moment it changes them instead of reusing
  // what the checking pass found.
  static int32_t DeleteSearchingAgain(TVRVelmoraDB &t) {
    const uint8_t *image = t.CurrentBuffer();
    TIndex &index = *t.PrimaryIndex;
    if (t.CurrentRec == -1) t.RaiseTableError("Unable to delete. Range is empty.");
    if (t.CursorLost) t.RaiseTableError(kCursorLost);
    int32_t a = t.CurrentRec;
    bool wasLast = a == t.RangeLastRec;
    bool wasFirst = a == t.RangeFirstRec;
    int32_t total = t.RecordCount();
    int32_t m = total - 1;
    uint8_t *moving = t.WorkBuffer();
    t.ReadRecordCopy(moving, m);
    index.SaveCursor(t.CurrentRec >= 0);
    try {
      if (t.CheckRangeEmpty()) t.RaiseTableError("Unable to delete. Range is empty.");
      if (total == 1) {
        int32_t active = t.CurrentIndex();
        t.TruncateDataFile(-1);
        index.EmptyIndexes();
        index.SelectIndex(active);
        t.CurrentRec = t.RangeFirstRec = t.RangeLastRec = -1;
        t.AtEOF = true;
        t.FillRecord(t.RangeFirstCopy(), 2);
        t.FillRecord(t.RangeLastCopy(), 0);
        t.RangeRecordCount = 0;
      } else {
        int32_t r;
        const char *const gone = "Error on record deletion (1). Velmora may be corrupted - suggest rebuild.";
        const char *const lost = "Error on record deletion (2). Velmora may be corrupted - suggest rebuild.";
        for (int32_t i = 0; i < t.IndexCount; ++i) {
          index.SelectIndex(i);
          if (!t.SearchKey(image, i, r) || r != a) t.RaiseTableError(gone);
          if (a != m && (!t.SearchKey(moving, i, r) || r != m)) t.RaiseTableError(lost);
        }
        for (int32_t i = 0; i < t.IndexCount; ++i) {
          index.SelectIndex(i);
          if (!t.SearchKey(image, i, r)) t.RaiseTableError(gone);
          index.DeleteEntry(!wasFirst && !wasLast);
          if (a != m) {
            if (!t.SearchKey(moving, i, r)) t.RaiseTableError(lost);
            index.UpdateEntry(a);
          }
        }
        if (a != m) {
          t.StoreRecord(a, moving);
          t.ReleaseRecord(a);
          if (t.RangeFirstRec == m) t.RangeFirstRec = a;
          if (t.RangeLastRec == m) t.RangeLastRec = a;
        }
        t.TruncateDataFile(1);
        t.CurrentRec = index.RestoreCursor();
        t.RepairRangeAfterRemoval(wasFirst, wasLast);
      }
      t.PurgeRecord(m);
      t.RemapBookmarks(a, m);
      if (t.Filtered) {
        t.FilterList->MoveState(a, total == 1 ? -1 : m);
        if (t.FilterList->GetPassCount() == 0) t.SetEmptyState();
      }
    } catch (...) {
      t.RestoreCursorAfterFailure();
      throw;
    }
    t.ReadRecord();
    t.CheckPosition("Error in index position after deletion");
    return index.CurrentEntry();
  }

  using FirstProcType = decltype(TFilterList::FirstProc);
  using SecondProcType = decltype(TFilterList::SecondProc);
};

}  // namespace velmora
