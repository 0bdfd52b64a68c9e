// Choosing how a query reads the table: by record number, by a key search
// and key range on one index (equal values on its leading fields, then a
// range on the next), or by a scan in the order of an index.
#pragma once

#include <sqlite3ext.h>

#include <cstdint>
#include <vector>

#include "EngineTable.h"

namespace vsql {

struct Plan {
  bool byRecord = false;  // one record by its number
  int32_t index = 0;
  int32_t eqCount = 0;    // leading key fields with an equal value (or IS NULL)
  uint32_t nullMask = 0;  // bit j: key field j is tested with IS NULL
  bool lower = false, lowerStrict = false;
  bool upper = false, upperStrict = false;
  bool descending = false;
  bool unique = false;    // every field of the unique key given: one record at most
  bool anyIndex = false;  // a scan in no particular order: whichever index is active

  int Encode() const;
  static Plan Decode(int idxNum);
};

// Fills the index information with the cheapest plan; the argument values
// come in the order: equal values of the key fields, lower bound, upper bound.
int ChoosePlan(const std::vector<FieldDef> &fields, const std::vector<IndexDef> &indexes, int32_t recordCount,
               int32_t recnoColumn, sqlite3_index_info *info);

}  // namespace vsql
