// What a table object keeps between calls besides its files' images, as
// kept aside while a posting operation runs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Ind1/Index.h"
#include "Velmoradb/VelmoraDB.h"

namespace velmora {

// Record buffers 1 to 6: range keys and copies, work buffer, search key.
constexpr int kKeptBuffers = 6;

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
