// Opening a table, moving through it, searching and ranges, through the exports.
#include <gtest/gtest.h>

#include "abi/TableClient.h"

using namespace client;

namespace {

// One String key: the letters table of the range examples.
std::unique_ptr<TableClient> LettersTable(const std::vector<std::string> &names) {
  auto t = std::make_unique<TableClient>(std::vector<FieldDef>{{"ID", 'I'}, {"NAME", 'S', 10}},
                                         std::vector<IndexDef>{{"PK", {0}}, {"BYNAME", {1}}});
  int id = 1;
  for (const auto &name : names) t->Post({std::to_string(id++), name});
  return t;
}

}  // namespace

TEST(Navigation, EmptyTableMovesLeaveTheEmptyState) {
  auto t = LettersTable({});
  auto &a = t->api();
  int32_t h = t->handle();
  EXPECT_EQ(1, a.DLL_CheckOpen(h));
  EXPECT_TRUE(a.DLL_RangeEmpty(h));
  for (auto move : {a.DLL_First, a.DLL_Last, a.DLL_Next, a.DLL_Prior}) {
    move(h);
    EXPECT_EQ(1, a.DLL_BOF(h));
    EXPECT_EQ(1, a.DLL_EOF(h));
    EXPECT_EQ(-1, a.DLL_GetCurrentBookMarkData(h));
  }
  EXPECT_EQ(0, a.DLL_CurrentRecordPosition(h));
  EXPECT_EQ(0, a.DLL_MoveTo(h, 5));
  EXPECT_EQ(0, a.DLL_RangeCount(h));
  EXPECT_EQ(0, a.DLL_ReadRecord(h));
  KeyTexts key{"A"};
  EXPECT_VELMORA_ERROR(a.DLL_FindKeyRecord(h, key.data(), key.high()), EVelmoraDBError,
                       "Unable to search. Range is empty.");
  EXPECT_VELMORA_ERROR(a.DLL_FindNearestRecord(h, key.data(), key.high()), EVelmoraDBError,
                       "Unable to search. Range is empty.");
}

TEST(Navigation, NextAndPriorStopAtTheEndsOfTheRange) {
  auto t = LettersTable({"C", "A", "B"});
  auto &a = t->api();
  int32_t h = t->handle();
  a.DLL_ChangeIndex(h, 1);
  EXPECT_EQ((std::vector<std::string>{"A", "B", "C"}), t->Walk(1));
  // Walk ended with Next on the last record: EOF set, still on C.
  EXPECT_EQ(1, a.DLL_EOF(h));
  EXPECT_EQ("C", *t->Get(t->Current(), 1));
  a.DLL_Next(h);
  EXPECT_EQ("C", *t->Get(t->Current(), 1));
  EXPECT_EQ(3, a.DLL_CurrentRecordPosition(h));
  a.DLL_Prior(h);
  EXPECT_EQ(0, a.DLL_EOF(h));
  EXPECT_EQ("B", *t->Get(t->Current(), 1));
  a.DLL_First(h);
  EXPECT_EQ(1, a.DLL_BOF(h));
  a.DLL_Prior(h);
  EXPECT_EQ(1, a.DLL_BOF(h));
  EXPECT_EQ("A", *t->Get(t->Current(), 1));
  a.DLL_Last(h);
  EXPECT_EQ(1, a.DLL_EOF(h));
  EXPECT_EQ(0, a.DLL_BOF(h));
  EXPECT_EQ("C", *t->Get(t->Current(), 1));
}

TEST(Navigation, MoveToCountsPositionsAndStopsAtTheRangeEnds) {
  auto t = LettersTable({"A", "B", "C", "D"});
  auto &a = t->api();
  int32_t h = t->handle();
  a.DLL_First(h);
  EXPECT_EQ(3, a.DLL_MoveTo(h, 10));
  EXPECT_EQ(4, a.DLL_CurrentRecordPosition(h));
  EXPECT_EQ(0, a.DLL_MoveTo(h, -1));
  EXPECT_EQ(4, a.DLL_CurrentRecordPosition(h));
  EXPECT_EQ(-2, a.DLL_MoveTo(h, 2));
  EXPECT_EQ("2", *t->Get(t->Current(), 0));
}

TEST(Navigation, RangeOfEqualKeysSelectsThemAll) {
  auto t = LettersTable({"A", "B", "B", "C"});
  auto &a = t->api();
  int32_t h = t->handle();
  a.DLL_ChangeIndex(h, 1);
  KeyTexts b{"B"};
  a.DLL_ApplyRange(h, b.data(), b.high(), b.data(), b.high());
  EXPECT_EQ(2, a.DLL_RangeCount(h));
  EXPECT_EQ(1, a.DLL_CurrentRecordPosition(h));
  EXPECT_EQ((std::vector<std::string>{"B", "B"}), t->Walk(1));
  EXPECT_EQ((std::vector<std::string>{"2", "3"}), t->Walk(0)) << "equal keys stand in index 0 order";
  // A reversed range is empty.
  KeyTexts c{"C"};
  a.DLL_ApplyRange(h, c.data(), c.high(), b.data(), b.high());
  EXPECT_TRUE(a.DLL_RangeEmpty(h));
  EXPECT_EQ(0, a.DLL_RangeCount(h));
  // Open ends select everything.
  a.DLL_ApplyRange(h, nullptr, -1, nullptr, -1);
  EXPECT_EQ(4, a.DLL_RangeCount(h));
  a.DLL_CancelRange(h);
  EXPECT_EQ(4, a.DLL_RangeCount(h));
}

TEST(Navigation, FindKeyNeedsEveryFieldAndStaysInTheRange) {
  TableClient t({{"A", 'I'}, {"B", 'I'}, {"NAME", 'S', 8}}, {{"AB", {0, 1}}, {"NAME", {2}}});
  auto &a = t.api();
  int32_t h = t.handle();
  for (int i = 0; i < 5; ++i) t.Post({std::to_string(i), std::to_string(10 * i), "n" + std::to_string(i)});
  KeyTexts full{"2", "20"};
  EXPECT_EQ(1, a.DLL_FindKeyRecord(h, full.data(), full.high()));
  EXPECT_EQ("n2", *t.Get(t.Current(), 2));
  EXPECT_EQ(0, a.DLL_BOF(h));
  EXPECT_EQ(0, a.DLL_EOF(h));
  KeyTexts partial{"3"};
  EXPECT_EQ(0, a.DLL_FindKeyRecord(h, partial.data(), partial.high()));
  EXPECT_EQ("n2", *t.Get(t.Current(), 2)) << "a failed find leaves the cursor";
  KeyTexts missing{"2", "21"};
  EXPECT_EQ(0, a.DLL_FindKeyRecord(h, missing.data(), missing.high()));
  // Keys outside the range are not found.
  KeyTexts low{"3"}, high{"4"};
  a.DLL_ApplyRange(h, low.data(), low.high(), high.data(), high.high());
  EXPECT_EQ(2, a.DLL_RangeCount(h));
  EXPECT_EQ(0, a.DLL_FindKeyRecord(h, full.data(), full.high()));
  KeyTexts bad{"x"};
  EXPECT_VELMORA_ERROR(a.DLL_FindKeyRecord(h, bad.data(), bad.high()), EVelmoraDBError,
                       "Unable to convert array to field values");
  EXPECT_EQ("3", *t.Get(t.Current(), 0)) << "the record buffer keeps the current record";
}

TEST(Navigation, FindNearestLandsBelowBetweenAndAbove) {
  auto t = LettersTable({"B", "D", "F"});
  auto &a = t->api();
  int32_t h = t->handle();
  a.DLL_ChangeIndex(h, 1);
  auto nearest = [&](const std::string &k) {
    KeyTexts key{k};
    a.DLL_FindNearestRecord(h, key.data(), key.high());
    return *t->Get(t->Current(), 1);
  };
  EXPECT_EQ("B", nearest("A"));
  EXPECT_EQ("D", nearest("C"));
  EXPECT_EQ("D", nearest("D"));
  EXPECT_EQ("F", nearest("Z"));
  EXPECT_EQ(3, a.DLL_CurrentRecordPosition(h));
  KeyTexts none({});
  a.DLL_FindNearestRecord(h, none.data(), -1);
  EXPECT_EQ("B", *t->Get(t->Current(), 1));
}

TEST(Navigation, IntegerAndCaseSensitiveOrders) {
  TableClient t({{"N", 'I'}, {"S", 'S', 4}}, {{"N", {0}}, {"S", {1}}});
  auto &a = t.api();
  int32_t h = t.handle();
  t.Post({"2147483647", "a"});
  t.Post({"65536", "B"});
  t.Post({"-2147483648", "b"});
  t.Post({"0", "A"});
  EXPECT_EQ((std::vector<std::string>{"-2147483648", "0", "65536", "2147483647"}), t.Walk(0));
  a.DLL_ChangeIndex(h, 1);
  EXPECT_EQ((std::vector<std::string>{"A", "B", "a", "b"}), t.Walk(1));
  KeyTexts nullKey{"Null"};
  KeyTexts lowerNull{"null"};
  EXPECT_EQ(0, a.DLL_FindKeyRecord(h, nullKey.data(), 0));
  t.Post({"7", std::nullopt});
  EXPECT_EQ(1, a.DLL_FindKeyRecord(h, nullKey.data(), 0));
  EXPECT_EQ("7", *t.Get(t.Current(), 0));
  EXPECT_EQ(0, a.DLL_FindKeyRecord(h, lowerNull.data(), 0)) << "only the exact null words";
}

TEST(Navigation, FloatKeysCloserThanTheSmallestStepAreEqual) {
  TableClient t({{"X", 'F'}}, {{"X", {0}}});
  auto &a = t.api();
  t.Post({"1e-300"});
  EXPECT_VELMORA_ERROR(t.Post({"2e-300"}), EVelmoraDBError, "Insertion Error. Key violation in Velmora.");
  t.Post({"1"});
  EXPECT_EQ(2, a.DLL_TotalRecords(t.handle()));
}

TEST(Navigation, DefinitionQueries) {
  auto t = LettersTable({"A"});
  auto &a = t->api();
  int32_t h = t->handle();
  EXPECT_EQ(2, a.DLL_FieldCount(h));
  EXPECT_EQ(2, a.DLL_IndexCount(h));
  uint8_t name[256];
  a.DLL_FieldName(name, h, 1);
  EXPECT_EQ("NAME", FromShortBuffer(name));
  int32_t offset = 0, length = 0;
  char type = 0;
  a.DLL_FieldInfo(h, 1, &offset, &length, &type);
  EXPECT_EQ(8, offset);
  EXPECT_EQ(11, length);
  EXPECT_EQ('S', type);
  EXPECT_EQ(1, a.DLL_FindIndexName(h, TightShortString("BYNAME").get()));
  EXPECT_EQ(-1, a.DLL_FindIndexName(h, TightShortString("byname").get()));
  a.DLL_ChangeIndex(h, 1);
  a.DLL_CurrentIndexName(name, h);
  EXPECT_EQ("BYNAME", FromShortBuffer(name));
  EXPECT_EQ(1, a.DLL_IndexFieldCount(h));
  a.DLL_IndexFieldName(name, h, 0);
  EXPECT_EQ("NAME", FromShortBuffer(name));
  EXPECT_VELMORA_ERROR(a.DLL_IndexFieldName(name, h, 1), EUserAccessError, "Invalid field number used.");
  EXPECT_THROW(a.DLL_FieldName(name, h, 2), velmora::EVelmoraDBError);
  EXPECT_THROW(a.DLL_ChangeIndex(h, 2), velmora::EVelmoraDBError);
  a.DLL_CloseTable(h);
  EXPECT_EQ(0, a.DLL_FieldCount(h));
  EXPECT_EQ(0, a.DLL_IndexCount(h));
  EXPECT_EQ(20, a.DLL_RecordSize(h));
  EXPECT_THROW(a.DLL_First(h), velmora::EVelmoraDBError);
}
