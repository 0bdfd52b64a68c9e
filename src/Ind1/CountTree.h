// The block counts of one index in directory order, with a Fenwick (binary
// indexed) tree over them, so that the number of entries in the blocks before
// a directory position (the ordinal position of a cursor) takes logarithmic
// time rather than a sum over the list.  A count change updates the tree in
// logarithmic time; a block inserted or removed in the middle of the list
// shifts the blocks after it, so the tree is only known to be right up to that
// position and the rest is rebuilt when a sum first reaches beyond it.  Sums
// asked for right after a split or removal lie near it, so that rebuild is
// short; a total over the whole list rebuilds at most once per change.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <vector>

namespace velmora {

class TCountTree {
 public:
  TCountTree() = default;

  // Replaces the whole list.
  void Assign(std::vector<int32_t> counts);
  void Assign(size_t n, int32_t count) { Assign(std::vector<int32_t>(n, count)); }
  void Clear() { Assign({}); }

  size_t Size() const { return counts_.size(); }
  int32_t At(size_t i) const { return counts_[i]; }
  const std::vector<int32_t> &Values() const { return counts_; }

  // Sets the count of block i (i < Size()).
  void Set(size_t i, int32_t count);
  // Inserts a block of the given count before block i (i <= Size()).
  void Insert(size_t i, int32_t count);
  // Removes block i (i < Size()).
  void Erase(size_t i);
  // Removes every block whose count is 0.
  void EraseZeros();

  // The sum of the counts of blocks 0 to d-1 (d <= Size()).
  int32_t Prefix(size_t d) const;
  int32_t Total() const { return Prefix(counts_.size()); }

  bool operator==(const TCountTree &other) const { return counts_ == other.counts_; }
  bool operator==(const std::vector<int32_t> &counts) const { return counts_ == counts; }

 private:
  // Makes tree entries 1 to d right.
  void Extend(size_t d) const;
  void Invalidate(size_t from) const {
    if (from < valid_) valid_ = from;
  }

  std::vector<int32_t> counts_;
  // tree_[j - 1] holds the sum of counts j - lowbit(j) to j - 1 (1-based j);
  // entries 1 to valid_ are right.
  mutable std::vector<int32_t> tree_;
  mutable size_t valid_ = 0;
};

// For test failure messages: the counts as a list.
std::ostream &operator<<(std::ostream &out, const TCountTree &tree);

}  // namespace velmora
