// The recorded filter states of a table: two bits per record number.
#pragma once

namespace velmora {

class TFilterList {
 public:
  TFilterList() = default;
};

}  // namespace velmora
