#include "Ind2/BlockPlaces.h"

namespace velmora {

void TBlockPlaces::Forget() {
  generation_ = 0;
  twin_ = -1;
  at_.clear();
}

void TBlockPlaces::Describe(const std::vector<int32_t> &blocks, uint64_t g) {
  Forget();
  for (size_t p = 0; p < blocks.size(); ++p) {
    if (!MovedTo(blocks[p], static_cast<int32_t>(p))) {
      Forget();
      return;
    }
  }
  generation_ = g;
}

int32_t TBlockPlaces::Find(int32_t b) const {
  if (b < 0 || static_cast<size_t>(b) >= at_.size()) return -1;
  return at_[b];
}

bool TBlockPlaces::MovedTo(int32_t b, int32_t p) {
  if (!Reachable(b)) return false;
  if (static_cast<size_t>(b) >= at_.size()) {
    at_.resize(static_cast<size_t>(b) + 1 + at_.size() / 8, -1);
  } else if (generation_ == 0 && at_[b] >= 0) {
    // While describing, a slot already taken means the block is named twice.
    return false;
  }
  at_[b] = p;
  return true;
}

bool TBlockPlaces::Renamed(int32_t p, int32_t oldBlock, int32_t newBlock) {
  if (twin_ >= 0 || Find(oldBlock) != p) return false;
  if (oldBlock == newBlock) return true;
  const int32_t other = Find(newBlock);
  at_[oldBlock] = -1;
  if (!MovedTo(newBlock, p)) return false;
  // The other entry naming the new number must be the next one removed.
  twin_ = other;
  return true;
}

bool TBlockPlaces::Removing(int32_t p, int32_t b) {
  if (twin_ >= 0) {
    if (twin_ != p) return false;
    // The block's place stays with the renamed entry.
    twin_ = -1;
    return true;
  }
  if (Find(b) != p) return false;
  at_[b] = -1;
  return true;
}

}  // namespace velmora
