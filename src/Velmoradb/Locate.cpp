// Locating a record by the values of any set of fields: through an index whose
// leading fields are those fields, or by scanning the current range.
#include <algorithm>
#include <cstring>

#include <velmora/velmora.hpp>

#include "Ind1/Index.h"
#include "VRcomm/ShortString.h"
#include "VRcomm/EngineError.h"
#include "Velmoradb/VelmoraDB.h"

namespace velmora {

int32_t TVRVelmoraDB::MapFieldsToIndex(int32_t *fields, int32_t n, bool useIndex) {
  if (!useIndex) return -1;
  if (n < 0 || (n > 0 && fields == nullptr)) throw EVelmoraDBError("Invalid field number list");
  for (int32_t k = IndexCount - 1; k >= 0; --k) {
    const TIndexDescriptor &index = Indexes[k];
    if (index.FieldCount < n) continue;
    bool matches = true;
    for (int32_t j = 0; j < n && matches; ++j) {
      int32_t *end = fields + n;
      int32_t *at = std::find(fields, end, static_cast<int32_t>(index.FieldNos[j]));
      if (at == end) {
        matches = false;
      } else if (at != fields + j) {
        // The list takes the index's key order; exchanges stay even when the
        // index turns out not to match.
        std::swap(*at, fields[j]);
      }
    }
    if (matches) return k;
  }
  return -1;
}

int32_t TVRVelmoraDB::CompareFieldList(const FieldNumbers &fields, const uint8_t *a, const uint8_t *b, bool caseless,
                                       int32_t partialLength) {
  int32_t n = static_cast<int32_t>(fields.size());
  for (int32_t i = 0; i < n; ++i) {
    int32_t length = i == n - 1 && partialLength > 0 ? partialLength : 0;
    int32_t r = CompareField(a, b, fields[i], caseless, length);
    if (r != 0) return r;
  }
  return 0;
}

bool TVRVelmoraDB::LocateRecord(const FieldNumbers &fields, uint8_t *key, int32_t indexNo, int32_t partialLength,
                                bool caseless, bool moveCursor) {
  try {
    RequireOpen("LocateRecord");
    if (key == nullptr) RaiseTableError("LocateRecord needs a key buffer");
    for (int32_t f : fields) GetFieldDescriptor(f);
    if (indexNo >= IndexCount) RaiseTableError(std::to_string(indexNo) + " is not a valid index number.");
    if (indexNo >= 0) return LocateByIndex(fields, key, indexNo, partialLength, caseless, moveCursor);
    return LocateByScan(fields, key, partialLength, caseless, moveCursor);
  } catch (const std::exception &e) {
    // The reason stays readable through the error status text.
    LastError = Cut255(e.what());
    return false;
  } catch (...) {
    LastError = "LocateRecord failed";
    return false;
  }
}

bool TVRVelmoraDB::LocateByScan(const FieldNumbers &fields, uint8_t *key, int32_t partialLength, bool caseless,
                                bool moveCursor) {
  TIndex &index = *PrimaryIndex;
  bool bof = AtBOF;
  bool eof = AtEOF;
  index.SaveCursor(CurrentRec >= 0);
  bool found = false;
  auto restore = [&] {
    CurrentRec = index.RestoreCursor();
    LoadCurrentRecord();
    AtBOF = bof;
    AtEOF = eof;
    CurrentPos = index.OrdinalPosition();
  };
  try {
    First();
    while (!found && !AtEOF) {
      found = CompareFieldList(fields, CurrentBuffer(), key, caseless, partialLength) == 0;
      if (!found) Next();
    }
    if (found) CopyRecord(CurrentBuffer(), key);
    if (!moveCursor || !found) restore();
  } catch (...) {
    KeepEngineError keep;
    try {
      restore();
    } catch (...) {
    }
    throw;
  }
  if (CurrentRec >= 0 && index.CurrentEntry() != CurrentRec) RaiseTableError("Error in locate without an index");
  return found;
}

bool TVRVelmoraDB::LocateByIndex(const FieldNumbers &fields, uint8_t *key, int32_t indexNo, int32_t partialLength,
                                 bool caseless, bool moveCursor) {
  TIndex &index = *PrimaryIndex;
  if (CurrentRec == -1) RaiseTableError("Unable to search. Range is empty.");
  index.SaveCursor(CurrentRec >= 0);
  bool found = false;
  int32_t r = -1;
  uint8_t *candidate = SearchKeyBuffer();
  try {
    index.SelectIndex(indexNo);
    if (!SearchKey(key, indexNo, r)) r = index.SettleAfterSearch();
    index.RestoreCursor();
    if (r >= 0) {
      ReadRecordCopy(candidate, r);
      int32_t active = CurrentIndex();
      int32_t ignored;
      SearchKey(candidate, active, ignored);
      bool inRange = CompareKeys(candidate, RangeFirstCopy(), true, active) >= 0 &&
                     CompareKeys(candidate, RangeLastCopy(), true, active) <= 0;
      found = inRange && CompareFieldList(fields, candidate, key, caseless, partialLength) == 0;
      if (found && Filtered) found = RecordedFilterTest(candidate, r);
    }
    if (found) {
      CopyRecord(candidate, key);
      if (moveCursor) {
        CurrentRec = r;
        LoadCurrentRecord();
        AtEOF = false;
        AtBOF = false;
        CurrentPos = index.OrdinalPosition();
      }
    }
    if (!moveCursor || !found) CurrentRec = index.RestoreCursor();
  } catch (...) {
    RestoreCursorAfterFailure();
    throw;
  }
  if (CurrentRec >= 0 && index.CurrentEntry() != CurrentRec) RaiseTableError("Error in index position");
  return found;
}

}  // namespace velmora
