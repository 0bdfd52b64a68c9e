// The tests' way to the engine's inner state where no operation reaches it:
// faults planted in the index cursor, a cache set up without a data file, and
// the types the filter list keeps the client's procedures as.
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

  using FirstProcType = decltype(TFilterList::FirstProc);
  using SecondProcType = decltype(TFilterList::SecondProc);
};

}  // namespace velmora
