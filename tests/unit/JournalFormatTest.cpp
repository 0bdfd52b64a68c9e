// The journal record formats a table's side file may hold when a program
// stopped in the middle of a posting operation: records written now
// ("VRJ2", checksummed word by word) and records of earlier versions ("VRJ1",
// checksummed byte by byte) are both rolled back by the next opener, and a
// record whose body does not match its checksum is torn: it is cut and
// nothing of it is written into the table.  A finished operation's record is
// retired by zeros over its magic and stays in the file: it is never applied,
// and a later, shorter record written over it is rolled back all the same.
#include <gtest/gtest.h>

#include <cstring>

#include <velmora/velmora.hpp>

#include "Velmoradb/JournalChecksum.h"
#include "support/CountingPlatform.h"
#include "support/FileBytes.h"
#include "support/TempDir.h"
#include "unit/SharedTableSupport.h"

namespace velmora::testing {
namespace {

void Put(Bytes &out, uint64_t v, int n) {
  for (int i = 0; i < n; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

uint64_t Get(const Bytes &in, size_t at, int n) {
  uint64_t v = 0;
  for (int i = n - 1; i >= 0; --i) v = (v << 8) | in[at + static_cast<size_t>(i)];
  return v;
}

// 64-bit FNV-1a, as records of the first format carry it.
uint64_t Fnv1a(const uint8_t *bytes, size_t n) {
  uint64_t h = 1469598103934665603ull;
  for (size_t i = 0; i < n; ++i) h = (h ^ bytes[i]) * 1099511628211ull;
  return h;
}

constexpr size_t kHead = 36;  // counter, magic, page size, file count, body length, checksum

// A journal record of one changed file (tag 0, the data file) holding one
// original page 0 and the file's original length.
Bytes Record(uint64_t counter, char version, const Bytes &page, uint64_t length) {
  Bytes body;
  Put(body, 0, 4);
  Put(body, length, 8);
  Put(body, 1, 4);
  Put(body, 0, 8);
  Put(body, page.size(), 4);
  body.insert(body.end(), page.begin(), page.end());
  Bytes record;
  Put(record, counter, 8);
  for (char c : {'V', 'R', 'J', version}) record.push_back(static_cast<uint8_t>(c));
  Put(record, 1024, 4);
  Put(record, 1, 4);
  Put(record, body.size(), 8);
  Put(record, version == '1' ? Fnv1a(body.data(), body.size()) : WordChecksum(body.data(), body.size()), 8);
  record.insert(record.end(), body.begin(), body.end());
  return record;
}

class JournalFormats : public ::testing::Test {
 protected:
  void SetUp() override {
    CreateTable(schema_);
    Client client;
    ASSERT_GT(client.Open(schema_, 64), 0);
    for (int32_t id = 1; id <= 12; ++id) {
      Row row{id, "name" + std::to_string(100 - id), "c" + std::to_string(id % 3), id * 7, "n"};
      client.Insert(row);
      model_[id] = row;
    }
    client.Close();
    good_ = ReadBytes(data_);
    ASSERT_GT(good_.size(), 100u);
    ASSERT_LE(good_.size(), 1024u);  // the whole file is page 0
    const Bytes side = ReadBytes(journal_);
    // The insertions' last record, retired: the file keeps its length.
    ASSERT_GT(side.size(), kHead);
    EXPECT_EQ(0u, Get(side, 8, 4));
    counter_ = Get(side, 0, 8);
  }

  // Opens the table and checks that it holds the rows it held before.
  void ExpectTableIntact() {
    Client client;
    ASSERT_GT(client.Open(schema_, 64), 0);
    Model contents;
    EXPECT_EQ("", Soundness(client, &contents));
    EXPECT_TRUE(contents == model_);
    client.Close();
    EXPECT_EQ(good_, ReadBytes(data_));
  }

  // The same, and that the journal was cut back to the counter (the
  // record's own counter when one was rolled back or cut).
  void ExpectIntactAfterOpen(uint64_t counter) {
    ExpectTableIntact();
    const Bytes side = ReadBytes(journal_);
    ASSERT_EQ(8u, side.size());
    EXPECT_EQ(counter, Get(side, 0, 8));
  }

  TempDir dir_;
  std::string schema_ = dir_ / "t.vri";
  std::string data_ = dir_ / "t.vrd";
  std::string journal_ = dir_ / "t.VRJ";
  Model model_;
  Bytes good_;
  uint64_t counter_ = 0;
};

TEST_F(JournalFormats, RecordsOfBothFormatsPutTheOriginalPageAndLengthBack) {
  for (char version : {'1', '2'}) {
    SCOPED_TRACE(std::string("VRJ") + version);
    // What a stopped program left: page 0 half overwritten, the file longer.
    Bytes damaged = good_;
    std::memset(damaged.data() + 20, 0xA5, damaged.size() - 40);
    damaged.resize(good_.size() + 300, 0x5A);
    WriteBytes(data_, damaged);
    Bytes side = Record(counter_, version, good_, good_.size());
    WriteBytes(journal_, side);
    ExpectIntactAfterOpen(counter_);
  }
}

TEST_F(JournalFormats, ARecordWhoseBodyDoesNotMatchItsChecksumIsCutAndNotApplied) {
  // A record that would overwrite page 0 with other bytes and cut the file
  // short, were it applied.
  Bytes other(good_.size(), 0xC3);
  const Bytes intact = Record(counter_, '2', other, 64);
  const size_t body = intact.size() - kHead;
  for (size_t at : {size_t{0}, size_t{5}, size_t{28}, body / 2, body - 9, body - 1}) {
    for (uint8_t flip : {uint8_t{0x01}, uint8_t{0x80}}) {
      SCOPED_TRACE("body byte " + std::to_string(at) + " flipped with " + std::to_string(flip));
      Bytes torn = intact;
      torn[kHead + at] ^= flip;
      WriteBytes(journal_, torn);
      ExpectIntactAfterOpen(counter_);
    }
  }
  // The same holds for a record of the first format.
  Bytes old = Record(counter_, '1', other, 64);
  old[kHead + 40] ^= 0x10;
  WriteBytes(journal_, old);
  ExpectIntactAfterOpen(counter_);
}

TEST_F(JournalFormats, AnOperationWritesARecordOfTheSecondFormat) {
  CountingPlatform platform;
  Client client;
  ASSERT_GT(client.Open(schema_, 34), 0);
  // The journal's write goes through; every table write after it fails, and
  // so does putting the originals back, so the record stays behind.
  platform.Arm(CountingPlatform::Fault::kFailFromOn, 2);
  EXPECT_THROW(client.Insert(Row{50, "fifty", "c", 1, "n"}), Exception);
  platform.Arm(CountingPlatform::Fault::kNone, 0);
  const Bytes side = ReadBytes(journal_);
  ASSERT_GT(side.size(), kHead);
  EXPECT_EQ(counter_ + 1, Get(side, 0, 8));
  EXPECT_EQ(0, std::memcmp(side.data() + 8, "VRJ2", 4));
  EXPECT_EQ(1024u, Get(side, 12, 4));
  const size_t body = Get(side, 20, 8);
  ASSERT_LE(body, side.size() - kHead);
  EXPECT_EQ(WordChecksum(side.data() + kHead, body), Get(side, 28, 8));
  EXPECT_NE(Fnv1a(side.data() + kHead, body), Get(side, 28, 8));
  client.Close();
  // The next opener rolls it back: the table is as before the insertion.
  ExpectIntactAfterOpen(counter_ + 1);
}

TEST_F(JournalFormats, ARetiredRecordIsNeverApplied) {
  // A whole record with a good checksum, its magic zeroed as a finished
  // operation leaves it: applied, it would overwrite page 0 and cut the file.
  Bytes retired = Record(counter_, '2', Bytes(good_.size(), 0xC3), 64);
  std::memset(retired.data() + 8, 0, 4);
  WriteBytes(journal_, retired);
  ExpectTableIntact();
  EXPECT_EQ(retired, ReadBytes(journal_)) << "nothing to roll back or cut";
}

TEST_F(JournalFormats, ALiveRecordOverALongerRetiredOneIsRolledBackOrCutByItsOwnLength) {
  // What a stopped program left over the bytes of an earlier, longer record.
  const Bytes leftover(700, 0x5A);
  for (char version : {'1', '2'}) {
    SCOPED_TRACE(std::string("VRJ") + version);
    Bytes damaged = good_;
    std::memset(damaged.data() + 20, 0xA5, damaged.size() - 40);
    WriteBytes(data_, damaged);
    Bytes side = Record(counter_, version, good_, good_.size());
    side.insert(side.end(), leftover.begin(), leftover.end());
    WriteBytes(journal_, side);
    ExpectIntactAfterOpen(counter_);
  }
  // Torn over the leftover bytes: cut, and nothing applied.
  Bytes torn = Record(counter_, '2', Bytes(good_.size(), 0xC3), 64);
  torn[kHead + 30] ^= 0x04;
  torn.insert(torn.end(), leftover.begin(), leftover.end());
  WriteBytes(journal_, torn);
  ExpectIntactAfterOpen(counter_);
}

TEST_F(JournalFormats, AFinishedOperationRetiresItsRecordInPlace) {
  Client client;
  ASSERT_GT(client.Open(schema_, 34), 0);
  const Bytes before = ReadBytes(journal_);
  client.Insert(Row{50, "fifty", "c", 1, "n"});
  const Bytes after = ReadBytes(journal_);
  client.Close();
  ASSERT_GE(after.size(), before.size()) << "the side file is not cut";
  EXPECT_EQ(counter_ + 1, Get(after, 0, 8));
  EXPECT_EQ(0u, Get(after, 8, 4)) << "magic zeroed";
  EXPECT_EQ(1024u, Get(after, 12, 4)) << "the rest of the record's head stays";
  const size_t body = Get(after, 20, 8);
  ASSERT_LE(body, after.size() - kHead);
  EXPECT_EQ(WordChecksum(after.data() + kHead, body), Get(after, 28, 8));
}

}  // namespace
}  // namespace velmora::testing
