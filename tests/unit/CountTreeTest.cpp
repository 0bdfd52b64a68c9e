// The block count list with its Fenwick tree: every sum against the sum over
// the list, through random count changes, insertions, removals and
// replacements of the whole list; and a direct look-up of the blocks of a
// directory kept in memory against the entry a scan from the start finds.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>
#include <vector>

#include "Ind1/CountTree.h"
#include "Ind2/SecondIndex.h"
#include "IndexTestSupport.h"

using namespace velmora;
using namespace velmora::indextest;

namespace {

int32_t LinearPrefix(const std::vector<int32_t> &counts, size_t d) {
  return std::accumulate(counts.begin(), counts.begin() + static_cast<std::ptrdiff_t>(std::min(d, counts.size())), 0);
}

// One random change of the list, made alike in the tree and in the model: a
// count set, inserted or removed, the zeros removed, or the whole list replaced.
void RandomChange(std::mt19937 &random, TCountTree &tree, std::vector<int32_t> &model) {
  auto pick = [&](size_t n) { return static_cast<size_t>(random() % n); };
  const unsigned op = random() % 100;
  if (op < 2) {
    model.assign(pick(300), 0);
    for (auto &c : model) c = static_cast<int32_t>(random() % 8);
    tree.Assign(model);
  } else if (op < 45 && !model.empty()) {
    const size_t i = pick(model.size());
    model[i] = static_cast<int32_t>(random() % 8);
    tree.Set(i, model[i]);
  } else if (op < 70) {
    const size_t i = pick(model.size() + 1);
    const int32_t c = static_cast<int32_t>(random() % 8);
    model.insert(model.begin() + static_cast<std::ptrdiff_t>(i), c);
    tree.Insert(i, c);
  } else if (op < 92 && !model.empty()) {
    const size_t i = pick(model.size());
    model.erase(model.begin() + static_cast<std::ptrdiff_t>(i));
    tree.Erase(i);
  } else {
    std::erase(model, 0);
    tree.EraseZeros();
  }
}

TEST(CountTree, EverySumMatchesTheSumOverTheListThroughRandomChanges) {
  std::mt19937 random(20240611);
  auto pick = [&](size_t n) { return static_cast<size_t>(random() % n); };
  TCountTree tree;
  std::vector<int32_t> model;
  for (int step = 0; step < 40000; ++step) {
    RandomChange(random, tree, model);
    ASSERT_EQ(model, tree.Values()) << "step " << step;
    // Sums near the change, anywhere, and over everything.
    for (int q = 0; q < 3; ++q) {
      const size_t d = pick(model.size() + 1);
      ASSERT_EQ(LinearPrefix(model, d), tree.Prefix(d)) << "step " << step << " d " << d;
    }
    ASSERT_EQ(LinearPrefix(model, model.size()), tree.Total()) << "step " << step;
  }
  EXPECT_EQ(LinearPrefix(model, model.size() + 5), tree.Prefix(model.size() + 5)) << "a sum past the end is the total";
}

TEST(CountTree, CopiesAndComparisonsGoByTheCounts) {
  TCountTree a;
  a.Assign({4, 5, 6});
  TCountTree b = a;
  EXPECT_EQ(9, b.Prefix(2));
  b.Set(0, 1);
  EXPECT_EQ(6, b.Prefix(2));
  EXPECT_EQ(9, a.Prefix(2)) << "a copy changes alone";
  EXPECT_FALSE(a == b);
  b = a;
  EXPECT_TRUE(a == b);
  EXPECT_EQ((std::vector<int32_t>{4, 5, 6}), b);
  b.Assign(1, 0);
  EXPECT_EQ((std::vector<int32_t>{0}), b);
  EXPECT_EQ(0, b.Total());
}

TEST(CountTree, RollBackPutsBackTheCountsOfTheCheckpointThroughAnyChanges) {
  std::mt19937 random(20261209);
  auto pick = [&](size_t n) { return static_cast<size_t>(random() % n); };
  TCountTree tree;
  std::vector<int32_t> model(50, 3);
  tree.Assign(model);
  for (int round = 0; round < 600; ++round) {
    tree.Checkpoint();
    const std::vector<int32_t> kept = model;
    const int32_t keptTotal = tree.Total();
    // A few changes, as one operation makes; now and then a copy of another
    // list assigned.
    const int changes = static_cast<int>(random() % 6);
    for (int k = 0; k < changes; ++k) {
      if (random() % 20 == 0) {
        TCountTree other;
        model.assign(pick(80), 5);
        other.Assign(model);
        tree = other;
      } else {
        RandomChange(random, tree, model);
      }
      ASSERT_EQ(model, tree.Values()) << "round " << round;
      ASSERT_EQ(LinearPrefix(model, model.size()), tree.Total()) << "round " << round;
    }
    if (random() % 2 == 0) {
      tree.RollBack();
      model = kept;
      ASSERT_EQ(model, tree.Values()) << "round " << round << " after its rollback";
      ASSERT_EQ(keptTotal, tree.Total()) << "round " << round;
      const size_t d = pick(model.size() + 1);
      ASSERT_EQ(LinearPrefix(model, d), tree.Prefix(d)) << "round " << round << " d " << d;
    }
    if (model.size() > 400) {
      model.assign(50, 3);
      tree.Assign(model);
    }
  }
  // A rollback ends its checkpoint: a second one, and one after later
  // changes, change nothing.
  tree.Checkpoint();
  tree.RollBack();
  ASSERT_EQ(model, tree.Values());
  tree.RollBack();
  EXPECT_EQ(model, tree.Values());
  tree.Set(0, 7);
  model[0] = 7;
  tree.RollBack();
  EXPECT_EQ(model, tree.Values());
}

TEST(CountTree, ACopyTakesTheCountsButNotTheCheckpoint) {
  TCountTree a;
  a.Assign({1, 2, 3});
  a.Checkpoint();
  a.Set(1, 9);
  TCountTree b = a;
  b.RollBack();
  EXPECT_EQ((std::vector<int32_t>{1, 9, 3}), b) << "the copy has no checkpoint of its own";
  TCountTree c;
  c.Assign({4, 4});
  a = c;
  EXPECT_EQ((std::vector<int32_t>{4, 4}), a);
  a.RollBack();
  EXPECT_EQ((std::vector<int32_t>{1, 2, 3}), a) << "an assignment is a change the checkpoint undoes";
  EXPECT_EQ(6, a.Total());
}

// Entries of one directory file in memory, with a model of what it names.
class BlockLookUp : public ::testing::Test {
 protected:
  void SetUp() override {
    table = MakeEmptyTable(dir, "T", 1);
    std::vector<int32_t> words;
    for (int32_t b = 2; b < 42; ++b) {
      model.push_back(TDirEntry{b, 1000 + b});
      words.push_back(b);
      words.push_back(1000 + b);
    }
    WriteBytes(dir / "T.VA2", Ints(words));
    d.OpenDirFiles(table, 1);
    d.DirFileAt(0).UseImage(true);
    d.SelectFile(0);
  }
  void TearDown() override { d.CloseDirFiles(); }

  // Checks the whole file against the model, and every block's look-up
  // against the first entry naming it.
  void Check(int step) {
    ASSERT_EQ(static_cast<int32_t>(model.size()), d.GetEntryCount()) << "step " << step;
    for (int32_t p = 0; p < d.GetEntryCount(); ++p)
      ASSERT_EQ(model[p], d.ReadAt(p)) << "step " << step << " place " << p;
    for (size_t p = 0; p < model.size(); ++p) {
      const int32_t b = model[p].Block;
      const size_t first = static_cast<size_t>(
          std::find_if(model.begin(), model.end(), [b](const TDirEntry &e) { return e.Block == b; }) - model.begin());
      int32_t position = -1;
      TDirEntry entry;
      d.FindBlock(b, position, entry);
      ASSERT_EQ(static_cast<int32_t>(first), position) << "step " << step << " block " << b;
      ASSERT_EQ(model[first], entry) << "step " << step;
      ASSERT_EQ(0, d.GetPosition());
    }
  }

  TempDir dir;
  std::string table;
  TVRSecondIndex d;
  std::vector<TDirEntry> model;
};

TEST_F(BlockLookUp, FindsTheFirstEntryOfEveryBlockThroughSplitsMovesAndRemovals) {
  std::mt19937 random(77);
  int32_t nextBlock = 42;
  for (int step = 0; step < 600; ++step) {
    const unsigned op = random() % 100;
    if (op < 40) {
      // A split: a new last block named at some place.
      const int32_t p = static_cast<int32_t>(random() % (model.size() + 1));
      const TDirEntry e{nextBlock++, static_cast<int32_t>(random() % 5000)};
      d.InsertAt(p, e, 0, false);
      model.insert(model.begin() + p, e);
    } else if (op < 75 && model.size() > 1) {
      // A removal: the last block moves into the freed number, then the freed
      // block's entry goes (or only the entry goes when it was the last block).
      const int32_t p = static_cast<int32_t>(random() % model.size());
      const int32_t freed = model[p].Block;
      const int32_t last = nextBlock - 1;
      if (last != freed) {
        d.UpdateByBlock(last, TDirEntry{freed, 7000 + step});
        auto moved = std::find_if(model.begin(), model.end(), [last](const TDirEntry &e) { return e.Block == last; });
        *moved = TDirEntry{freed, 7000 + step};
      }
      d.DeleteAt(p);
      model.erase(model.begin() + p);
      --nextBlock;
    } else if (op < 90) {
      // A new first record of a block.
      const int32_t p = static_cast<int32_t>(random() % model.size());
      const TDirEntry e{model[p].Block, 9000 + step};
      d.WriteAt(p, e);
      model[p] = e;
    } else if (op < 95) {
      // The changes written out and the image read afresh, as after another
      // program's change.
      d.DirFileAt(0).WriteOut();
      d.DirFileAt(0).DropImage();
    } else {
      // A block named twice, as in a damaged file: the first entry naming it is found.
      const int32_t p = static_cast<int32_t>(random() % model.size());
      const int32_t q = static_cast<int32_t>(random() % model.size());
      const TDirEntry e{model[q].Block, model[p].First};
      d.WriteAt(p, e);
      model[p] = e;
      Check(step);
      // Made sound again: every block named once, by number from 2.
      for (size_t i = 0; i < model.size(); ++i) {
        model[i].Block = static_cast<int32_t>(i) + 2;
        d.WriteAt(static_cast<int32_t>(i), model[i]);
      }
      nextBlock = static_cast<int32_t>(model.size()) + 2;
    }
    Check(step);
  }
}

}  // namespace
