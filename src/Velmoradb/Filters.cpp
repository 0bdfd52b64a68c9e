// Filtering: the client's two procedures, the tests applied while moving
// through the range, switching filtering on and off, and the recount.
#include <velmora/velmora.hpp>

#include "Ind1/Index.h"
#include "VRcomm/EngineError.h"
#include "Velmoradb/PinnedRecord.h"
#include "Velmoradb/VelmoraDB.h"

namespace velmora {

void TVRVelmoraDB::SetFilterProc(TFilterProc first, intptr_t firstUser, TFilterProc second, intptr_t secondUser) {
  FilterList->SetProcs(first, firstUser, second, secondUser);
}

void TVRVelmoraDB::SetFilterStatus(bool firstOn, bool secondOn) { FilterList->Enable(firstOn, secondOn); }

bool TVRVelmoraDB::FilterTest(int32_t recNo) {
  TFilterList &filter = *FilterList;
  int32_t state = filter.GetState(recNo);
  if (state == kNotEvaluated) RaiseTableError("Error - filter list corrupted.Turn off filter to correct");
  if (state == kPasses && filter.FirstActive()) {
    PinnedRecord record(*this, recNo);
    return filter.AskFirst(record.get());
  }
  return state == kPasses;
}

bool TVRVelmoraDB::RecordedFilterTest(const uint8_t *image, int32_t recNo) {
  TFilterList &filter = *FilterList;
  if (CurrentRec == -1) return false;
  if (!Filtered) return true;
  if (filter.GetState(recNo) != kPasses) return false;
  if (filter.FirstActive()) return filter.AskFirst(image);
  return true;
}

void TVRVelmoraDB::SetFiltered(bool on) {
  if (on == Filtered) return;
  Filtered = on;
  TFilterList &filter = *FilterList;
  if (on) {
    if (!filter.HasProcs()) RaiseTableError("Error in Filter procedure initialization");
    filter.Reset(RecordCount() + 1);
    Recount(true);
  } else {
    filter.Clear();
    if (CurrentRec < 0) CurrentRec = PrimaryIndex->RestoreCursor();
    CheckRangeEmpty();
    if (CurrentRec < 0 && !AtBOF) UnfilteredFirst();
  }
}

void TVRVelmoraDB::Recount(bool full) {
  TIndex &index = *PrimaryIndex;
  TFilterList &filter = *FilterList;
  bool bof = AtBOF;
  bool eof = AtEOF;
  filter.ResetPassCount();
  index.SaveCursor(CurrentRec >= 0);
  auto finish = [&] {
    index.RestoreCursor();
    CurrentRec = index.CurrentEntry();
    LoadCurrentRecord();
    AtBOF = bof;
    AtEOF = eof;
    if (filter.GetPassCount() == 0) SetEmptyState();
  };
  try {
    AtBOF = false;
    UnfilteredFirst();
    CheckRangeEmpty();
    int32_t r = CurrentRec;
    while (r != -1) {
      int32_t state = full ? kNotEvaluated : filter.GetState(r);
      if (state == kNotEvaluated) {
        PinnedRecord record(*this, r);
        filter.Evaluate(r, record.get(), true);
      } else if (state == kPasses) {
        if (filter.FirstActive()) {
          PinnedRecord record(*this, r);
          if (filter.AskFirst(record.get())) filter.CountPass();
        } else {
          filter.CountPass();
        }
      }
      // The walk ends at the range's last record, and in any case at the end
      // of the index, so a damaged range end cannot make it step past it.
      if (r == RangeLastRec || index.AtLastEntry()) break;
      index.MoveNext();
      r = index.CurrentEntry();
    }
  } catch (...) {
    KeepEngineError keep;
    try {
      finish();
    } catch (...) {
    }
    throw;
  }
  finish();
}

}  // namespace velmora
