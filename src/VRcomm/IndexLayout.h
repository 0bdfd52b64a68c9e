// The two files of each index, "T.va1" and "T.va2" for index 0 (FileNames.h).
// All integers are little-endian 32-bit.
#pragma once

#include <cstdint>

namespace velmora::leaf {

// The leaf file: 32-byte blocks.  Word 0 of a block is its entry count (0 to
// 7), words 1 to 7 the record numbers of its entries in key order (words past
// the count are left as they were).  Blocks 0 and 1 are reserved; the live
// blocks start at block 2, one per directory entry.
constexpr int32_t kBlockBytes = 32;
constexpr int32_t kBlockCapacity = 7;
constexpr int32_t kFirstLiveBlock = 2;
// A new, empty index: blocks 0, 1 and 2, each with count 0 and word 1 -1.
constexpr int32_t kInitialBlocks = 3;

}  // namespace velmora::leaf

namespace velmora::directory {

// The directory file: one 8-byte entry per live leaf block, in key order: the
// block's number, then the record number of its first entry (-1 while the
// index is empty).  A new, empty index has the one entry (2, -1).
constexpr int32_t kEntryBytes = 8;
constexpr int32_t kEntryBlock = 0;
constexpr int32_t kEntryFirst = 4;

}  // namespace velmora::directory
