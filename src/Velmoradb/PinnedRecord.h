// A record image fetched through the cache and pinned for the life of this
// object, released again on every path out of the scope that holds it.
#pragma once

#include <cstdint>

#include "Velmoradb/RecBase.h"

namespace velmora {

class PinnedRecord {
 public:
  PinnedRecord(TVRRecBase &base, int32_t recNo) : base_(base), recNo_(recNo), image_(base.FetchRecord(recNo)) {}
  ~PinnedRecord() { base_.ReleaseRecord(recNo_); }
  PinnedRecord(const PinnedRecord &) = delete;
  PinnedRecord &operator=(const PinnedRecord &) = delete;

  const uint8_t *get() const { return image_; }

 private:
  TVRRecBase &base_;
  int32_t recNo_;
  const uint8_t *image_;
};

}  // namespace velmora
