// The side file of a table ("T.VRJ", see FileNames.h): its change counter,
// the journal record a posting operation writes after it, and the lock slots
// it carries.  All integers are little-endian.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace velmora::journal {

// The change counter: the file's first 8 bytes, raised by every posting
// operation while others may have the table open.
constexpr int64_t kCounterBytes = 8;

// The journal record, from the start of the file: the raised counter, the
// magic, the page size the offsets count in, the number of files it holds,
// the length of its body and the body's checksum, then the body.  The magic
// names the checksum (Velmoradb/JournalChecksum.h): records are written as
// "VRJ2", checksummed word by word; "VRJ1" records, checksummed byte by byte
// (64-bit FNV-1a) and written by earlier versions, are still rolled back.
constexpr char kMagic[4] = {'V', 'R', 'J', '2'};
constexpr char kMagicByteSum[4] = {'V', 'R', 'J', '1'};
constexpr size_t kMagicAt = 8;
constexpr size_t kPageBytesAt = 12;
constexpr size_t kFileCountAt = 16;
constexpr size_t kBodyLengthAt = 20;
constexpr size_t kChecksumAt = 28;
constexpr size_t kRecordHead = 36;
constexpr uint64_t kChecksumBasis = 1469598103934665603ull;
constexpr uint64_t kChecksumPrime = 1099511628211ull;

// The counter and the magic: the bytes that tell whether a record is live.
constexpr size_t kLiveBytes = kMagicAt + 4;

// Whether the side file's first bytes (bytes of them) begin a live journal
// record: one that names its checksum after the counter.  A record whose
// change is complete is retired by zeros written over its magic; its other
// bytes stay behind, so the file may be longer than the record that is live.
inline bool HoldsLiveRecord(const uint8_t *head, size_t bytes) {
  return bytes >= kLiveBytes && (std::memcmp(head + kMagicAt, kMagic, sizeof kMagic) == 0 ||
                                 std::memcmp(head + kMagicAt, kMagicByteSum, sizeof kMagicByteSum) == 0);
}

// The body, per changed file: its tag (4 bytes: 0 the data file, 1 + i the
// leaf file and 14 + i the directory file of index i), its original length in
// bytes (8) and the number of pages that follow (4); per page: its number (8),
// the number of original bytes (4) and those bytes.
constexpr size_t kFileHead = 16;
constexpr size_t kPageHead = 12;
constexpr int32_t kDataTag = 0;
constexpr int32_t kFirstLeafTag = 1;
constexpr int32_t kFirstDirectoryTag = 14;

// Lock slots (byte-range locks far beyond the file's data).
// Shared for the length of a reading call, exclusive for a posting operation.
constexpr int32_t kTableSlot = 0;
// Exclusive for as long as an opener whose open mode denies others writing
// holds the table; every other poster takes it shared.
constexpr int32_t kOwnerSlot = 1;
// How long a call waits for another opener's lock before it gives up.
constexpr int32_t kLockWaitMs = 20000;
// How long an opener that denies others writing waits for posters to finish.
constexpr int32_t kOwnerWaitMs = 2000;

}  // namespace velmora::journal
