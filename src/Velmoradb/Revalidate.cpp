// The table object beside other openers and after failed posting operations:
// keeping its state aside and putting it back, and finding its range and
// current record again after another opener changed the table.
#include <velmora/velmora.hpp>

#include "Ind1/Index.h"
#include "Velmoradb/CallState.h"
#include "Velmoradb/VelmoraDB.h"

namespace velmora {

std::unique_ptr<TVRVelmoraDB::CallState> TVRVelmoraDB::SaveCallState() {
  auto s = std::make_unique<CallState>();
  s->rangeStartPos = RangeStartPos;
  s->currentPos = CurrentPos;
  s->rangeRecordCount = RangeRecordCount;
  s->rangeLastRec = RangeLastRec;
  s->rangeFirstRec = RangeFirstRec;
  s->currentRec = CurrentRec;
  s->atEOF = AtEOF;
  s->atBOF = AtBOF;
  s->findResult = FindResult;
  s->pendingNext = PendingNext;
  s->cursorLost = CursorLost;
  s->damageReason = DamageReason;
  s->bookmarks = Bookmarks;
  s->filterStates = FilterList->GetStates();
  s->passCount = FilterList->GetPassCount();
  const size_t size = RecordSize > 0 ? static_cast<size_t>(RecordSize) : 0;
  s->buffers.resize(size * kKeptBuffers);
  if (RecordBlock != nullptr)
    for (int i = 0; i < kKeptBuffers; ++i)
      std::copy(Buffer(kKeptRoles[i]), Buffer(kKeptRoles[i]) + size, &s->buffers[i * size]);
  PrimaryIndex->SaveState(s->index);
  return s;
}

void TVRVelmoraDB::RestoreCallState(const CallState &s) {
  RangeStartPos = s.rangeStartPos;
  CurrentPos = s.currentPos;
  RangeRecordCount = s.rangeRecordCount;
  RangeLastRec = s.rangeLastRec;
  RangeFirstRec = s.rangeFirstRec;
  CurrentRec = s.currentRec;
  AtEOF = s.atEOF;
  AtBOF = s.atBOF;
  FindResult = s.findResult;
  DamageReason = s.damageReason;
  Bookmarks = s.bookmarks;
  FilterList->RestoreStates(s.filterStates, s.passCount);
  const size_t size = RecordSize > 0 ? static_cast<size_t>(RecordSize) : 0;
  if (RecordBlock != nullptr && s.buffers.size() == size * kKeptBuffers)
    for (int i = 0; i < kKeptBuffers; ++i)
      std::copy(&s.buffers[i * size], &s.buffers[i * size] + size, Buffer(kKeptRoles[i]));
  PrimaryIndex->RestoreState(s.index);
  PendingNext = s.pendingNext;
  CursorLost = s.cursorLost;
}

void TVRVelmoraDB::KeepCursorKey(std::vector<uint8_t> &key) {
  key.clear();
  if (CurrentRec < 0 || RecordSize <= 0) return;
  try {
    key.resize(static_cast<size_t>(RecordSize));
    ReadDataRecord(key.data(), CurrentRec);
  } catch (...) {
    key.clear();
  }
}

void TVRVelmoraDB::ResyncAfterChange(const std::vector<uint8_t> &key, bool showMoved) {
  // The record buffer keeps what the client put there or last saw (a posting
  // operation posts it; a walk must not see the record it is re-found on
  // before it moves there), unless the call is one that moves the cursor.
  std::vector<uint8_t> buffer;
  if (!showMoved) buffer.assign(CurrentBuffer(), CurrentBuffer() + RecordSize);
  struct PutBack {
    TVRVelmoraDB &table;
    std::vector<uint8_t> &buffer;
    ~PutBack() {
      if (!buffer.empty()) table.CopyRecord(buffer.data(), table.CurrentBuffer());
    }
  } putBack{*this, buffer};
  ResyncCursor(key);
}

void TVRVelmoraDB::ResyncCursor(const std::vector<uint8_t> &key) {
  TIndex &index = *PrimaryIndex;
  ResetCache();
  PendingNext = false;
  const int32_t active = CurrentIndex();
  const bool bof = AtBOF;
  const bool eof = AtEOF;
  index.SelectIndex(active);
  index.RebuildCounts();
  // The range's ends, found from its keys as applying it finds them.
  CurrentRec = -1;
  index.MoveFirst();
  index.SaveCursor(false);
  RangeStartPos = CurrentPos = 1;
  SeekRangeStart();
  SeekRangeEnd();
  if (CheckRangeEmpty()) {
    CursorLost = CursorLost || !key.empty();
    index.MoveFirst();
    index.SaveCursor(false);
    if (Filtered) FilterList->Clear();
    return;
  }
  int32_t r = -1;
  AtBOF = bof;
  AtEOF = eof;
  if (key.empty() || CompareKeys(key.data(), RangeFirstCopy(), true, active) < 0) {
    // The record went, and what follows it starts the range.
    SearchKey(RangeFirstCopy(), active, r);
    PendingNext = !key.empty();
    CursorLost = CursorLost || PendingNext;
    if (PendingNext) AtEOF = false;
  } else if (CompareKeys(key.data(), RangeLastCopy(), true, active) > 0) {
    CursorLost = true;
    // The record went, and nothing follows it in the range.
    SearchKey(RangeLastCopy(), active, r);
    AtEOF = true;
    AtBOF = false;
  } else if (!SearchKey(key.data(), active, r)) {
    if (r < 0) r = index.CurrentOrNext();
    PendingNext = true;
    CursorLost = true;
    AtEOF = false;
  }
  CurrentRec = r;
  CurrentPos = index.OrdinalPosition();
  index.SaveCursor(CurrentRec >= 0);
  // Where the record went, the buffer shows the record the cursor now
  // stands on; where it stayed, the buffer keeps what the client put there.
  if (PendingNext || AtEOF || key.empty()) LoadCurrentRecord();
  if (Filtered) {
    FilterList->Reset(RecordCount());
    Recount(true);
  }
  CheckPosition("Error in index position after a change by another program");
}

}  // namespace velmora
