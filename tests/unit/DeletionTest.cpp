// Deletion against a deletion that searches afresh: randomized runs of
// inserts, edits and deletions on two copies of a table, one deleting through
// DeleteRecord and one through a deletion that searches every index entry it
// changes again at the moment it changes it, leave files byte for byte equal,
// the cursor on the same record and place, and the record cache holding the
// same records, after every deletion.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <set>

#include <velmora/velmora.hpp>

#include "EngineTestPeer.h"
#include "Velmoradb/VelmoraDB.h"
#include "support/TempDir.h"
#include "unit/SharedTableSupport.h"

namespace velmora {
namespace {

using testing::Client;
using testing::Row;
using testing::TempDir;

const char *const kExtensions[] = {".vrd", ".va1", ".va2", ".vb1", ".vb2", ".vc1", ".vc2"};

struct Outcome {
  int32_t result = -2;
  std::string error;
};

class DeletionPair {
 public:
  DeletionPair(const TempDir &dir, const Client &layout) : dir_(dir), layout_(layout) {
    testing::CreateTable(dir / "own.vri");
    testing::CreateTable(dir / "ref.vri");
    if (own_.OpenTable(dir / "own.vri", 34) <= 0 || ref_.OpenTable(dir / "ref.vri", 34) <= 0)
      throw std::runtime_error("open failed");
  }
  ~DeletionPair() {
    own_.CloseTable();
    ref_.CloseTable();
  }

  void Insert(const Row &row) {
    for (TVRVelmoraDB *t : {&own_, &ref_}) {
      Put(*t, row);
      t->PostNewRecord();
    }
  }
  void Edit(const Row &row) {
    for (TVRVelmoraDB *t : {&own_, &ref_}) {
      Find(*t, row.id);
      t->EditRecord();
      Put(*t, row);
      t->PostEditedRecord();
    }
  }
  // Puts both cursors on the same record: by id through index 0, or under
  // index `active`, `steps` records from the first, or on the data file's
  // last record.
  void PlaceById(int32_t id) {
    for (TVRVelmoraDB *t : {&own_, &ref_}) Find(*t, id);
  }
  void PlaceByWalk(int32_t active, int32_t steps, bool onLastRecord) {
    for (TVRVelmoraDB *t : {&own_, &ref_}) {
      t->ChangeIndex(active);
      t->First();
      for (int32_t k = 0; k < steps && !t->IsAtEOF(); ++k) {
        if (onLastRecord && t->GetCurrentRec() == t->RecordCount() - 1) break;
        t->Next();
      }
    }
  }
  int32_t CurrentId() {
    int32_t id;
    std::memcpy(&id, own_.CurrentBuffer() + own_.FieldAt(0).Offset, 4);
    return id;
  }
  void Delete(Outcome &own, Outcome &ref) {
    try {
      own.result = own_.DeleteRecord();
    } catch (const std::exception &e) {
      own.error = e.what();
    }
    try {
      ref.result = EngineTestPeer::DeleteSearchingAgain(ref_);
    } catch (const std::exception &e) {
      ref.error = e.what();
    }
  }
  // Every difference between the two copies, empty when there is none.
  std::string Differences() {
    std::string out;
    for (const char *ext : kExtensions)
      if (dir_.Read("own" + std::string(ext)) != dir_.Read("ref" + std::string(ext)))
        out += " file " + std::string(ext);
    if (own_.GetCurrentRec() != ref_.GetCurrentRec())
      out += " record " + std::to_string(own_.GetCurrentRec()) + "/" + std::to_string(ref_.GetCurrentRec());
    if (own_.IsAtBOF() != ref_.IsAtBOF() || own_.IsAtEOF() != ref_.IsAtEOF()) out += " ends";
    if (own_.CurrentIndex() != ref_.CurrentIndex()) out += " index";
    if (own_.CurrentRecordPosition() != ref_.CurrentRecordPosition())
      out += " position " + std::to_string(own_.CurrentRecordPosition()) + "/" +
             std::to_string(ref_.CurrentRecordPosition());
    if (own_.RangeCount() != ref_.RangeCount()) out += " count";
    if (std::memcmp(own_.CurrentBuffer(), ref_.CurrentBuffer(), static_cast<size_t>(own_.GetRecordSize())) != 0)
      out += " buffer";
    if (own_.CacheSlotCount() != ref_.CacheSlotCount()) out += " cache size";
    for (int32_t s = 0; s < own_.CacheSlotCount(); ++s) {
      const TCacheSlot &a = own_.SlotOf(s), &b = ref_.SlotOf(s);
      if (a.RecNo != b.RecNo || a.PinCount != b.PinCount ||
          (a.RecNo >= 0 && std::memcmp(a.Data, b.Data, static_cast<size_t>(own_.GetRecordSize())) != 0))
        out += " cache slot " + std::to_string(s);
    }
    // The cursor goes on the same way in both.
    own_.Next();
    ref_.Next();
    if (own_.GetCurrentRec() != ref_.GetCurrentRec() || own_.IsAtEOF() != ref_.IsAtEOF()) out += " next";
    return out;
  }
  int32_t Count() { return own_.RecordCount(); }
  int32_t CurrentRec() const { return own_.GetCurrentRec(); }

 private:
  void Put(TVRVelmoraDB &t, const Row &row) {
    std::vector<uint8_t> r = layout_.Encode(row);
    std::memcpy(t.CurrentBuffer(), r.data(), r.size());
  }
  static void Find(TVRVelmoraDB &t, int32_t id) {
    t.ChangeIndex(0);
    uint8_t key[256] = {};
    std::string text = std::to_string(id);
    key[0] = static_cast<uint8_t>(text.size());
    std::memcpy(key + 1, text.data(), text.size());
    if (!t.FindKey(key, 0)) throw std::runtime_error("find failed for " + text);
  }

  const TempDir &dir_;
  const Client &layout_;
  TVRVelmoraDB own_, ref_;
};

TEST(Deletion, LeavesFilesCursorAndCacheAsDeletingWithFreshSearches) {
  int deletions = 0, lastRecordDeletions = 0, emptied = 0;
  for (uint32_t seed : {11u, 12u, 13u, 14u}) {
    TempDir dir;
    testing::CreateTable(dir / "layout.vri");
    Client layout;
    ASSERT_GT(layout.Open(dir / "layout.vri", 34), 0);
    DeletionPair pair(dir, layout);
    std::mt19937 rng(seed);
    std::set<int32_t> ids;
    int32_t next = 1;
    // Few names, cities and numbers: the secondary indexes hold long runs of equal keys.
    auto row = [&](int32_t id) {
      return Row{id, "N" + std::to_string(rng() % 4), "C" + std::to_string(rng() % 3), static_cast<int32_t>(rng() % 2),
                 "x"};
    };
    for (int step = 0; step < 1000; ++step) {
      // Two stretches delete the table down to empty.
      const bool draining = (step >= 250 && step < 400) || step >= 800;
      unsigned pick = rng() % 10;
      if (!draining && (ids.size() < 2 || pick < 5)) {
        pair.Insert(row(next));
        ids.insert(next);
        next += 1 + static_cast<int32_t>(rng() % 3);
        continue;
      }
      if (ids.empty()) continue;
      auto it = ids.begin();
      std::advance(it, static_cast<long>(rng() % ids.size()));
      if (!draining && pick < 7) {
        pair.Edit(row(*it));
        continue;
      }
      const int32_t total = pair.Count();
      switch (rng() % 3) {
        case 0: pair.PlaceById(*it); break;
        case 1:
          pair.PlaceByWalk(static_cast<int32_t>(rng() % 3), static_cast<int32_t>(rng() % ids.size()), false);
          break;
        default: pair.PlaceByWalk(static_cast<int32_t>(rng() % 3), total, true); break;
      }
      const int32_t id = pair.CurrentId();
      if (pair.CurrentRec() == total - 1) ++lastRecordDeletions;
      Outcome own, ref;
      pair.Delete(own, ref);
      ASSERT_EQ(own.error, "") << "seed " << seed << ", step " << step;
      ASSERT_EQ(own.error, ref.error) << "seed " << seed << ", step " << step;
      ASSERT_EQ(own.result, ref.result) << "seed " << seed << ", step " << step;
      ASSERT_EQ(pair.Differences(), "") << "seed " << seed << ", step " << step;
      ASSERT_EQ(pair.Count(), total - 1);
      ASSERT_EQ(ids.erase(id), 1u) << id;
      ++deletions;
      if (ids.empty()) ++emptied;
    }
  }
  // The runs did reach the cases they are for.
  EXPECT_GT(deletions, 600);
  EXPECT_GE(emptied, 8);
  EXPECT_GT(lastRecordDeletions, 150);
}

}  // namespace
}  // namespace velmora
