// Whether a record's key can be ordered against every key of an index.
//
// Real-valued key fields compare by the sign of their difference rounded to a
// six-byte real, which fails for not-a-number values and infinities and
// overflows when two values lie too far apart.  A key that fails against some
// key of an index must never enter it: the index could no longer be searched
// or walked.  Checking the whole index is not needed: within the run of
// entries that equal the record on the fields compared before a real field,
// that field's values are in order, so the record fails against some entry
// of the run exactly when it fails against the run's smallest or largest value.
#include <cstring>
#include <vector>

#include <velmora/velmora.hpp>

#include "Ind1/Index.h"
#include "Velmoradb/PinnedRecord.h"
#include "Velmoradb/VelmoraDB.h"

namespace velmora {

namespace {

bool IsRealType(char type) { return type == 'C' || type == 'D' || type == 'F' || type == 'R'; }

// Null flags that sort before and after every stored flag.
constexpr uint8_t kBelowAll = 0;
constexpr uint8_t kAboveAll = 255;

}  // namespace

void TVRVelmoraDB::RequireOrderableKey(const uint8_t *image, int32_t indexNo) {
  TIndex &index = *PrimaryIndex;
  index.SelectIndex(indexNo);
  // The fields in the order the comparison of this index meets them: its
  // own, then those of index 0 (the tie-break).
  std::vector<int32_t> order;
  for (int32_t pass = 0; pass < 2; ++pass) {
    const TIndexDescriptor &d = Indexes[pass == 0 ? indexNo : 0];
    for (int32_t k = 0; k < d.FieldCount; ++k) order.push_back(d.FieldNos[k]);
  }
  const bool empty = index.MoveFirst() < 0;
  std::vector<uint8_t> probe(static_cast<size_t>(RecordSize));
  for (size_t p = 0; p < order.size(); ++p) {
    const int32_t f = order[p];
    if (image[f] != 1 || !IsRealType(Fields[f].FieldType)) continue;
    bool before = false;
    for (size_t q = 0; q < p; ++q) before = before || order[q] == f;
    if (before) continue;  // compared already, and equal whenever this place is reached
    if (!empty) {
      // The first entry of the run with a value in field f: after every
      // entry of the run whose field f is null.
      auto place = [&](uint8_t flagF, uint8_t flagRest) {
        std::memcpy(probe.data(), image, probe.size());
        for (int32_t g = 0; g < FieldCount; ++g) {
          bool prefix = false;
          for (size_t q = 0; q < p; ++q) prefix = prefix || order[q] == g;
          if (!prefix) probe[static_cast<size_t>(g)] = flagRest;
        }
        probe[static_cast<size_t>(f)] = flagF;
      };
      int32_t r;
      place(kBelowAll, kAboveAll);
      if (!SearchKey(probe.data(), indexNo, r)) r = index.CurrentOrNext();
      if (r >= 0) {
        PinnedRecord smallest(*this, r);
        CompareKeys(image, smallest.get(), true, indexNo);
      }
      // The last entry of the run with a value in field f: before every
      // entry whose flag for field f is above 1.
      place(2, kBelowAll);
      if (!SearchKey(probe.data(), indexNo, r)) r = index.PriorOrNone();
      if (r >= 0) {
        PinnedRecord largest(*this, r);
        CompareKeys(image, largest.get(), true, indexNo);
      }
    }
    // The record's own entry is compared with its key when it is searched
    // for: a value must compare with itself.
    CompareField(image, image, f, false, 0);
  }
}

}  // namespace velmora
