// Where each leaf block's entry stands in one directory file, so that the
// entry naming a block is found directly instead of by reading the directory
// from its start.  The places describe the file's contents of one generation
// (platform::RecordFile::Generation): the directory keeps them in step with
// its own changes and then moves them on to the file's new generation; any
// other change (an image dropped or read afresh, a failed call put back)
// leaves them behind, and the next look-up describes the file again.
//
// Only a file that names every block once is described, so that the place
// found is the first entry naming the block, as a scan from the start would
// find.  One step names a block twice on purpose: when the last leaf block
// moves into a freed one, its entry is renamed to the freed number before the
// freed block's own entry is removed; the places allow exactly that removal
// next, and forget themselves on anything else.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace velmora {

class TBlockPlaces {
 public:
  bool Current(uint64_t generation) const { return generation_ != 0 && generation_ == generation; }
  void Forget();
  // Describes the entries naming blocks[0..n-1] in order at generation g; a
  // block named twice or beyond reach leaves the places forgotten.
  void Describe(const std::vector<int32_t> &blocks, uint64_t g);
  // The place of the entry naming block b, or -1 when none is known.
  int32_t Find(int32_t b) const;
  // Whether a block is named twice for the moment (see above): then a place
  // found need not be the first entry naming its block.
  bool Twinned() const { return twin_ >= 0; }

  // Changes made by the directory; each returns false when the places can no
  // longer follow (the caller then forgets them).
  // The entry at place p, which named oldBlock, now names newBlock.
  bool Renamed(int32_t p, int32_t oldBlock, int32_t newBlock);
  // The entry naming block b now stands at place p (a shift moved it, or it was inserted there).
  bool MovedTo(int32_t b, int32_t p);
  // Inserting an entry naming block b at p: allowed unless b is already named.
  bool Inserting(int32_t b) const { return twin_ < 0 && Find(b) < 0; }
  // The entry at place p, naming block b, is being removed.
  bool Removing(int32_t p, int32_t b);
  // Every change of the directory's own is followed: the places describe generation g.
  void Follow(uint64_t g) { generation_ = g; }

 private:
  bool Reachable(int32_t b) const { return b >= 0 && b < kMaxBlock; }
  static constexpr int32_t kMaxBlock = 1 << 28;

  std::vector<int32_t> at_;  // by block number: its entry's place, or -1
  uint64_t generation_ = 0;
  // The place of an entry that names the same block as another one and must be removed next.
  int32_t twin_ = -1;
};

}  // namespace velmora
