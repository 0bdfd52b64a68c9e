#include "Ind1/CountTree.h"

#include <algorithm>
#include <ostream>
#include <utility>

namespace velmora {

namespace {

size_t LowBit(size_t j) { return j & (~j + 1); }

}  // namespace

TCountTree &TCountTree::operator=(const TCountTree &other) {
  if (this == &other) return *this;
  BeforeWholeChange();
  counts_ = other.counts_;
  tree_ = other.tree_;
  valid_ = other.valid_;
  return *this;
}

void TCountTree::Assign(std::vector<int32_t> counts) {
  BeforeWholeChange();
  counts_ = std::move(counts);
  tree_.resize(counts_.size());
  valid_ = 0;
}

void TCountTree::Set(size_t i, int32_t count) {
  const int32_t delta = count - counts_[i];
  if (delta == 0) return;
  Log(Undo::kSet, i, counts_[i]);
  counts_[i] = count;
  // Entries beyond valid_ are computed from the counts when they are needed.
  for (size_t j = i + 1; j <= valid_; j += LowBit(j)) tree_[j - 1] += delta;
}

void TCountTree::Insert(size_t i, int32_t count) {
  Log(Undo::kInserted, i, 0);
  counts_.insert(counts_.begin() + static_cast<std::ptrdiff_t>(i), count);
  tree_.push_back(0);
  Invalidate(i);
}

void TCountTree::Erase(size_t i) {
  Log(Undo::kErased, i, counts_[i]);
  counts_.erase(counts_.begin() + static_cast<std::ptrdiff_t>(i));
  tree_.pop_back();
  Invalidate(i);
}

void TCountTree::EraseZeros() {
  auto zero = std::find(counts_.begin(), counts_.end(), 0);
  if (zero == counts_.end()) return;
  BeforeWholeChange();
  Invalidate(static_cast<size_t>(zero - counts_.begin()));
  std::erase(counts_, 0);
  tree_.resize(counts_.size());
  if (valid_ > counts_.size()) valid_ = counts_.size();
}

void TCountTree::UndoChanges(std::vector<int32_t> &counts) const {
  for (auto u = undo_.rbegin(); u != undo_.rend(); ++u) {
    const auto at = counts.begin() + static_cast<std::ptrdiff_t>(u->i);
    if (u->kind == Undo::kSet)
      *at = u->count;
    else if (u->kind == Undo::kInserted)
      counts.erase(at);
    else
      counts.insert(at, u->count);
  }
}

void TCountTree::BeforeWholeChange() {
  if (!keeping_ || copied_) return;
  kept_ = counts_;
  UndoChanges(kept_);
  copied_ = true;
  undo_.clear();
}

void TCountTree::RollBack() {
  if (copied_)
    counts_ = std::move(kept_);
  else
    UndoChanges(counts_);
  tree_.resize(counts_.size());
  valid_ = 0;
  keeping_ = copied_ = false;
  undo_.clear();
  kept_.clear();
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
