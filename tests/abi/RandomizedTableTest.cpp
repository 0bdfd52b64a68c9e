// Thousands of random posts, edits, deletes and moves over a three-index table,
// checked after every step against an in-memory model and against the raw
// index and data files read straight from disk.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <tuple>

#include "abi/IndexFiles.h"
#include "abi/TableClient.h"
#include "support/FileBytes.h"

using namespace client;

namespace {

struct Row {
  int32_t id;
  std::optional<std::string> name;
  int32_t amount;
};

// Null sorts before every value; equal keys stand in id order.
using SortKey = std::tuple<int, std::string, int, int32_t, int32_t>;

SortKey KeyOf(const Row &row, int index) {
  switch (index) {
    case 0: return {0, "", 0, row.id, 0};
    case 1: return {row.name ? 1 : 0, row.name.value_or(""), 0, 0, row.id};
    default: return {1, "", row.amount, row.name ? 1 : 0, row.id};
  }
}

// Index 2 compares amount, then name (null first), then id.
bool Less(const Row &a, const Row &b, int index) {
  if (index == 2) {
    if (a.amount != b.amount) return a.amount < b.amount;
    if (a.name.has_value() != b.name.has_value()) return !a.name.has_value();
    if (a.name && *a.name != *b.name) return *a.name < *b.name;
    return a.id < b.id;
  }
  return KeyOf(a, index) < KeyOf(b, index);
}

class RandomizedTable : public ::testing::Test {
 protected:
  RandomizedTable()
      : t({{"ID", 'I'}, {"NAME", 'S', 6}, {"AMOUNT", 'I'}}, {{"PK", {0}}, {"BYNAME", {1}}, {"BYAMOUNT", {2, 1}}}) {}

  Row RowOf(const std::vector<uint8_t> &record) {
    return Row{std::stoi(*t.Get(record, 0)), t.Get(record, 1), std::stoi(*t.Get(record, 2))};
  }

  std::vector<Value> ValuesOf(const Row &row) { return {std::to_string(row.id), row.name, std::to_string(row.amount)}; }

  std::vector<std::vector<uint8_t>> DataFileRecords() {
    const std::vector<uint8_t> bytes = velmora::testing::ReadBytes(t.FilePath(".vrd"));
    std::vector<std::vector<uint8_t>> out;
    size_t size = static_cast<size_t>(t.recordSize());
    for (size_t at = 0; at + size <= bytes.size(); at += size)
      out.emplace_back(bytes.begin() + at, bytes.begin() + at + size);
    return out;
  }

  // Every index file is sound and holds the model's rows in the model's order.
  void CheckFiles(const std::map<int32_t, Row> &model, const std::string &step) {
    auto records = DataFileRecords();
    ASSERT_EQ(model.size(), records.size()) << step;
    ASSERT_EQ(static_cast<int32_t>(model.size()), t.api().DLL_TotalRecords(t.handle())) << step;
    for (int index = 0; index < 3; ++index) {
      char letter = static_cast<char>('a' + index);
      IndexFileImage image =
          ReadIndexFiles(t.FilePath(std::string(".v") + letter + "1"), t.FilePath(std::string(".v") + letter + "2"));
      std::string problem = CheckIndexStructure(image, static_cast<int32_t>(records.size()));
      ASSERT_EQ("", problem) << "index " << index << " after " << step;
      std::vector<Row> walked;
      for (int32_t r : image.InOrder()) walked.push_back(RowOf(records[r]));
      std::vector<Row> expected;
      for (auto &[id, row] : model) expected.push_back(row);
      std::sort(expected.begin(), expected.end(), [index](const Row &a, const Row &b) { return Less(a, b, index); });
      ASSERT_EQ(expected.size(), walked.size());
      for (size_t i = 0; i < expected.size(); ++i) {
        ASSERT_EQ(expected[i].id, walked[i].id) << "index " << index << " position " << i << " after " << step;
        ASSERT_EQ(expected[i].name, walked[i].name);
        ASSERT_EQ(expected[i].amount, walked[i].amount);
      }
    }
  }

  TableClient t;
};

}  // namespace

TEST_F(RandomizedTable, PostsEditsAndDeletesKeepEveryIndexInOrder) {
  auto &a = t.api();
  int32_t h = t.handle();
  std::mt19937 rng(20261208);
  std::map<int32_t, Row> model;
  const char *names[] = {"ant", "bee", "cat", "dog", "eel"};
  auto randomRow = [&] {
    Row row;
    row.id = static_cast<int32_t>(rng() % 150);
    if (rng() % 6 == 0)
      row.name = std::nullopt;
    else
      row.name = names[rng() % 5];
    row.amount = static_cast<int32_t>(rng() % 12);
    return row;
  };
  std::map<std::string, int> done;
  size_t largest = 0;
  for (int step = 0; step < 2500; ++step) {
    std::string what;
    int op = static_cast<int>(rng() % 10);
    if (op < 4) {
      Row row = randomRow();
      what = "post " + std::to_string(row.id);
      if (model.count(row.id)) {
        EXPECT_VELMORA_ERROR(t.Post(ValuesOf(row)), EVelmoraDBError, "Insertion Error. Key violation in Velmora.");
      } else {
        t.Post(ValuesOf(row));
        model[row.id] = row;
        // A posted record inside the (whole-index) range becomes current.
        ASSERT_EQ(row.id, RowOf(t.Current()).id) << what;
      }
    } else if (op < 6) {
      if (a.DLL_RangeEmpty(h)) continue;
      Row old = RowOf(t.Current());
      Row row = randomRow();
      if (rng() % 2) row.id = old.id;
      what = "edit " + std::to_string(old.id) + " to " + std::to_string(row.id);
      a.DLL_EditRecord(h);
      t.Put(t.Make(ValuesOf(row)));
      if (row.id != old.id && model.count(row.id)) {
        EXPECT_VELMORA_ERROR(a.DLL_PostEditedRecord(h), EVelmoraDBError,
                             "Error. Edit changes will create a key violation in Velmora.");
        ASSERT_EQ(old.id, RowOf(t.Current()).id) << "buffer reloaded after " << what;
      } else {
        a.DLL_PostEditedRecord(h);
        model.erase(old.id);
        model[row.id] = row;
      }
    } else if (op < 8) {
      if (a.DLL_RangeEmpty(h)) continue;
      Row old = RowOf(t.Current());
      what = "delete " + std::to_string(old.id);
      a.DLL_DeleteRecord(h);
      model.erase(old.id);
    } else if (op == 8) {
      int32_t index = static_cast<int32_t>(rng() % 3);
      what = "change index " + std::to_string(index);
      a.DLL_ChangeIndex(h, index);
      EXPECT_EQ(static_cast<int32_t>(model.size()), a.DLL_RangeCount(h));
    } else {
      what = "move";
      switch (rng() % 5) {
        case 0: a.DLL_First(h); break;
        case 1: a.DLL_Last(h); break;
        case 2: a.DLL_Next(h); break;
        case 3: a.DLL_Prior(h); break;
        default: a.DLL_MoveTo(h, static_cast<int32_t>(rng() % 40)); break;
      }
    }
    if (!model.empty() && !a.DLL_RangeEmpty(h)) {
      Row current = RowOf(t.Current());
      ASSERT_TRUE(model.count(current.id)) << "current record unknown after " << what;
      ASSERT_EQ(model[current.id].amount, current.amount) << what;
    }
    ASSERT_NO_FATAL_FAILURE(CheckFiles(model, what + " at step " + std::to_string(step)));
    done[what.substr(0, what.find(' '))]++;
    largest = std::max(largest, model.size());
  }
  // The run exercised every kind of step on a table big enough to split blocks.
  for (const char *kind : {"post", "edit", "delete", "change", "move"}) EXPECT_GT(done[kind], 150) << kind;
  EXPECT_GT(largest, 40u);
}

TEST_F(RandomizedTable, WalkingEachIndexThroughTheExportsMatchesTheModel) {
  auto &a = t.api();
  int32_t h = t.handle();
  std::mt19937 rng(7);
  std::map<int32_t, Row> model;
  for (int i = 0; i < 300; ++i) {
    Row row{static_cast<int32_t>(rng() % 1000), std::string(1, static_cast<char>('a' + rng() % 26)),
            static_cast<int32_t>(rng() % 50)};
    if (model.count(row.id)) continue;
    t.Post(ValuesOf(row));
    model[row.id] = row;
  }
  for (int index = 0; index < 3; ++index) {
    a.DLL_ChangeIndex(h, index);
    std::vector<Row> expected;
    for (auto &[id, row] : model) expected.push_back(row);
    std::sort(expected.begin(), expected.end(), [index](const Row &x, const Row &y) { return Less(x, y, index); });
    std::vector<std::string> ids = t.Walk(0);
    ASSERT_EQ(expected.size(), ids.size());
    for (size_t i = 0; i < ids.size(); ++i) EXPECT_EQ(std::to_string(expected[i].id), ids[i]);
    // Positions count from 1 in index order.
    a.DLL_MoveTo(h, 17);
    EXPECT_EQ(17, a.DLL_CurrentRecordPosition(h));
    EXPECT_EQ(std::to_string(expected[16].id), *t.Get(t.Current(), 0));
  }
}
