#include "Ind1/CountTree.h"

#include <algorithm>
#include <ostream>
#include <utility>

namespace velmora {

namespace {

size_t LowBit(size_t j) { return j & (~j + 1); }

}  // namespace

void TCountTree::Assign(std::vector<int32_t> counts) {
  counts_ = std::move(counts);
  tree_.resize(counts_.size());
  valid_ = 0;
}

void TCountTree::Set(size_t i, int32_t count) {
  const int32_t delta = count - counts_[i];
  counts_[i] = count;
  if (delta == 0) return;
  // Entries beyond valid_ are computed from the counts when they are needed.
  for (size_t j = i + 1; j <= valid_; j += LowBit(j)) tree_[j - 1] += delta;
}

void TCountTree::Insert(size_t i, int32_t count) {
  counts_.insert(counts_.begin() + static_cast<std::ptrdiff_t>(i), count);
  tree_.push_back(0);
  Invalidate(i);
}

void TCountTree::Erase(size_t i) {
  counts_.erase(counts_.begin() + static_cast<std::ptrdiff_t>(i));
  tree_.pop_back();
  Invalidate(i);
}

void TCountTree::EraseZeros() {
  auto zero = std::find(counts_.begin(), counts_.end(), 0);
  if (zero == counts_.end()) return;
  Invalidate(static_cast<size_t>(zero - counts_.begin()));
  std::erase(counts_, 0);
  tree_.resize(counts_.size());
  if (valid_ > counts_.size()) valid_ = counts_.size();
}

void TCountTree::Extend(size_t d) const {
  for (size_t j = valid_ + 1; j <= d; ++j) {
    // Entry j covers counts j - lowbit(j) to j - 1: the count j - 1 and the
    // entries j - 1, j - 2, j - 4, ... below lowbit(j), all already right.
    int32_t sum = counts_[j - 1];
    for (size_t k = 1; k < LowBit(j); k <<= 1) sum += tree_[j - k - 1];
    tree_[j - 1] = sum;
  }
  if (d > valid_) valid_ = d;
}

int32_t TCountTree::Prefix(size_t d) const {
  if (d > counts_.size()) d = counts_.size();
  Extend(d);
  int32_t sum = 0;
  for (size_t j = d; j > 0; j -= LowBit(j)) sum += tree_[j - 1];
  return sum;
}

std::ostream &operator<<(std::ostream &out, const TCountTree &tree) {
  out << '{';
  for (size_t i = 0; i < tree.Size(); ++i) out << (i ? ", " : "") << tree.At(i);
  return out << '}';
}

}  // namespace velmora
