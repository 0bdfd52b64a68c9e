// The status texts: a one-line dump of the cursor for diagnosis, and the last
// error text, delivered once.
#include <velmora/velmora.hpp>

#include "Ind1/Index.h"
#include "VRcomm/ShortString.h"
#include "VRcomm/EngineError.h"
#include "Velmoradb/VelmoraDB.h"

namespace velmora {

std::string TVRVelmoraDB::StatusText() {
  TIndex &index = *PrimaryIndex;
  auto n = [](int32_t value) { return std::to_string(value); };
  // The figures of a closed table are the ones it was left with.
  int32_t records = DataFileOpen() ? RecordCount() : 0;
  int32_t entry = IsOpen() ? index.CurrentEntry() : -1;
  return Cut255("CR " + n(CurrentRec) + ":FS " + n(records) + ":CP " + n(entry) + "INo" + n(index.GetCurIndex()) +
                "BOF " + n(AtBOF ? 1 : 0) + ":" + n(RangeFirstRec) + "EOF " + n(AtEOF ? 1 : 0) + ":" + n(RangeLastRec) +
                " Filt=" + n(Filtered ? 1 : 0));
}

std::string TVRVelmoraDB::TakeErrorText() {
  std::string text = LastError;
  if (text.empty()) text = TakeEngineError();
  LastError.clear();
  return text;
}

}  // namespace velmora
