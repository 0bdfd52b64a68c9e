// Finding keys in the active index: FindKey, FindNearest and the search for
// whatever the search key buffer holds.
#include <velmora/velmora.hpp>

#include "Ind1/Index.h"
#include "VRcomm/EngineError.h"
#include "Velmoradb/PinnedRecord.h"
#include "Velmoradb/VelmoraDB.h"

namespace velmora {

bool TVRVelmoraDB::FindKey(const uint8_t *texts, int32_t high) {
  if (CurrentRec == -1) RaiseTableError("Unable to search. Range is empty.");
  FillKeyBuffer(texts, high, BufferRole::kSearchKey);
  return SeekSearchKey();
}

bool TVRVelmoraDB::SeekSearchKey() {
  TIndex &index = *PrimaryIndex;
  const uint8_t *key = SearchKeyBuffer();
  int32_t active = CurrentIndex();
  bool found = false;
  // Keys outside the current range are never found.
  if (CompareKeys(key, RangeFirstCopy(), false, active) >= 0 && CompareKeys(key, RangeLastCopy(), false, active) <= 0) {
    index.SaveCursor(CurrentRec >= 0);
    try {
      int32_t r;
      bool exact = SearchKey(key, active, r);
      if (!exact && r < 0) r = index.CurrentOrNext();
      if (r >= 0) {
        PinnedRecord record(*this, r);
        found = CompareKeys(record.get(), key, false, active) == 0;
        if (found && Filtered) found = RecordedFilterTest(record.get(), r);
      }
      if (found) {
        CurrentRec = r;
        AtEOF = false;
        AtBOF = false;
        LoadCurrentRecord();
      } else {
        CurrentRec = index.RestoreCursor();
      }
    } catch (...) {
      RestoreCursorAfterFailure();
      throw;
    }
  }
  CheckPosition("Error in index position after Find Key");
  return found;
}

int32_t TVRVelmoraDB::FindNearest(const uint8_t *texts, int32_t high) {
  if (CurrentRec == -1) RaiseTableError("Unable to search. Range is empty.");
  FillKeyBuffer(texts, high, BufferRole::kSearchKey);
  TIndex &index = *PrimaryIndex;
  int32_t active = CurrentIndex();
  const uint8_t *target = SearchKeyBuffer();
  if (CompareKeys(target, RangeFirstCopy(), true, active) <= 0)
    target = RangeFirstCopy();
  else if (CompareKeys(target, RangeLastCopy(), true, active) >= 0)
    target = RangeLastCopy();
  int32_t r;
  if (!SearchKey(target, active, r)) r = index.SettleAfterSearch();
  CurrentRec = r;
  AtEOF = false;
  AtBOF = false;
  ReadRecord();
  CurrentPos = index.OrdinalPosition();
  CheckPosition("Error in index position after find nearest");
  return index.CurrentEntry();
}

void TVRVelmoraDB::CheckPosition(const char *message) {
  if (CurrentRec >= 0 && PrimaryIndex->CurrentEntry() != CurrentRec) RaiseTableError(message);
}

void TVRVelmoraDB::RestoreCursorAfterFailure() {
  KeepEngineError keep;
  try {
    CurrentRec = PrimaryIndex->RestoreCursor();
    LoadCurrentRecord();
  } catch (...) {
  }
}

}  // namespace velmora
