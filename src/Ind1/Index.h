// Index maintenance, search and cursor over the leaf files and block directory.
#pragma once

namespace velmora {

class TIndex {
 public:
  TIndex() = default;
};

}  // namespace velmora
