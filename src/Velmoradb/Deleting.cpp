// Deleting a record (the data file's last record moves into the freed number)
// and emptying a table.
#include <vector>

#include <velmora/velmora.hpp>

#include "Ind1/Index.h"
#include "Velmoradb/PinnedRecord.h"
#include "Velmoradb/VelmoraDB.h"

namespace velmora {

namespace {

// After the entry at removed left the selected index, searches that index for
// the entry the search of the data file's last record found at moved before
// the removal, as a search of its key would, and reports whether it was found.
bool FindMovedEntry(TVRRecBase &base, TIndex &index, const TIndex::Landing &removed, TIndex::Landing moved) {
  // Where the moving record's entry stands now that the entry at removed is
  // gone: one slot earlier behind it in the same block, one directory entry
  // earlier behind a block that emptied and left the directory.
  if (moved.position == removed.position) {
    if (moved.slot > removed.slot) --moved.slot;
  } else if (index.BlockCount() == 0 && moved.position > removed.position) {
    --moved.position;
  }
  // The search for its key probes the same entries, and reads the same
  // records, as comparing the keys would; the sign each comparison would give
  // follows from the places of the two entries in the index.
  bool exact = false;
  index.BeginSearch();
  while (!index.SearchDone()) {
    PinnedRecord record(base, index.Probe());
    int32_t c = index.PlaceAgainstProbe(moved);
    if (c == 0) exact = true;
    index.Narrow(c);
  }
  index.SearchResult();
  return exact;
}

}  // namespace

int32_t TVRVelmoraDB::DeleteRecord() {
  RemoveRecord(CurrentBuffer());
  ReadRecord();
  CheckPosition("Error in index position after deletion");
  return PrimaryIndex->CurrentEntry();
}

void TVRVelmoraDB::RemoveRecord(const uint8_t *image) {
  TIndex &index = *PrimaryIndex;
  if (CurrentRec == -1) RaiseTableError("Unable to delete. Range is empty.");
  if (CursorLost) RaiseTableError(kCursorLost);
  int32_t a = CurrentRec;
  bool wasLast = a == RangeLastRec;
  bool wasFirst = a == RangeFirstRec;
  int32_t total = RecordCount();
  int32_t m = total - 1;
  uint8_t *moving = WorkBuffer();
  ReadRecordCopy(moving, m);
  index.SaveCursor(CurrentRec >= 0);
  try {
    if (CheckRangeEmpty()) RaiseTableError("Unable to delete. Range is empty.");
    if (total == 1) {
      int32_t active = CurrentIndex();
      TruncateDataFile(-1);
      index.EmptyIndexes();
      index.SelectIndex(active);
      CurrentRec = RangeFirstRec = RangeLastRec = -1;
      AtEOF = true;
      FillRecord(RangeFirstCopy(), 2);
      FillRecord(RangeLastCopy(), 0);
      RangeRecordCount = 0;
    } else {
      int32_t r;
      // Every entry the deletion removes or renames is found before any file
      // changes, so a refused deletion leaves the table as it was.  Each index
      // is left alone until its own turn below, so the deleted record's entry
      // is still where this first search found it then: the search is not
      // repeated, but the records it read are read again in the same order,
      // leaving the record cache as the search would.
      std::vector<TIndex::Landing> landings(static_cast<size_t>(IndexCount));
      std::vector<TIndex::Landing> movingLandings(static_cast<size_t>(IndexCount));
      std::vector<int32_t> probed;
      std::vector<size_t> probedEnd(static_cast<size_t>(IndexCount));
      probed.reserve(static_cast<size_t>(IndexCount) * 32);
      for (int32_t i = 0; i < IndexCount; ++i) {
        index.SelectIndex(i);
        if (!SearchKey(image, i, r, -1, nullptr, &probed) || r != a)
          RaiseTableError("Error on record deletion (1). Velmora may be corrupted - suggest rebuild.");
        landings[static_cast<size_t>(i)] = index.SearchLanding();
        probedEnd[static_cast<size_t>(i)] = probed.size();
        if (a != m) {
          if (!SearchKey(moving, i, r) || r != m)
            RaiseTableError("Error on record deletion (2). Velmora may be corrupted - suggest rebuild.");
          movingLandings[static_cast<size_t>(i)] = index.SearchLanding();
        }
      }
      size_t probedBegin = 0;
      for (int32_t i = 0; i < IndexCount; ++i) {
        index.SelectIndex(i);
        for (size_t k = probedBegin; k < probedEnd[static_cast<size_t>(i)]; ++k) {
          PinnedRecord record(*this, probed[k]);
        }
        probedBegin = probedEnd[static_cast<size_t>(i)];
        index.ReturnToLanding(landings[static_cast<size_t>(i)]);
        index.DeleteEntry(!wasFirst && !wasLast);
        if (a != m) {
          if (!FindMovedEntry(*this, index, landings[static_cast<size_t>(i)], movingLandings[static_cast<size_t>(i)]))
            RaiseTableError("Error on record deletion (2). Velmora may be corrupted - suggest rebuild.");
          index.UpdateEntry(a);
        }
      }
      if (a != m) {
        StoreRecord(a, moving);
        ReleaseRecord(a);
        if (RangeFirstRec == m) RangeFirstRec = a;
        if (RangeLastRec == m) RangeLastRec = a;
      }
      TruncateDataFile(1);
      CurrentRec = index.RestoreCursor();
      RepairRangeAfterRemoval(wasFirst, wasLast);
    }
    // Record m no longer exists under its number: drop its cached image.
    PurgeRecord(m);
    RemapBookmarks(a, m);
    if (Filtered) {
      FilterList->MoveState(a, total == 1 ? -1 : m);
      if (FilterList->GetPassCount() == 0) SetEmptyState();
    }
  } catch (...) {
    RestoreCursorAfterFailure();
    throw;
  }
}

int32_t TVRVelmoraDB::EmptyTable() {
  ResetCache();
  TruncateDataFile(-1);
  PrimaryIndex->EmptyIndexes();
  if (Filtered) FilterList->Clear();
  return ChangeIndex(0);
}

}  // namespace velmora
