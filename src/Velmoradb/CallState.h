// What a table object keeps between calls besides its files' images, as
// kept aside while a posting operation runs.
#pragma once

#include <cstdint>
#include <iterator>
#include <string>
#include <vector>

#include "Ind1/Index.h"
#include "Velmoradb/VelmoraDB.h"

namespace velmora {

// The record buffers kept with the state: every one but the current record's.
constexpr BufferRole kKeptRoles[] = {BufferRole::kRangeLow,   BufferRole::kRangeHigh, BufferRole::kWork,
                                     BufferRole::kRangeFirst, BufferRole::kRangeLast, BufferRole::kSearchKey};
constexpr int kKeptBuffers = static_cast<int>(std::size(kKeptRoles));

struct TVRVelmoraDB::CallState {
  int32_t rangeStartPos, currentPos, rangeRecordCount, rangeLastRec, rangeFirstRec, currentRec;
  bool atEOF, atBOF, findResult, pendingNext, cursorLost;
  std::string damageReason;
  std::vector<int32_t> bookmarks;
  std::vector<uint8_t> filterStates;
  int32_t passCount;
  std::vector<uint8_t> buffers;
  TIndex::State index;
};

}  // namespace velmora
