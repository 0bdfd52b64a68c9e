// Locating records by field values, through an index and by scanning.
#include <gtest/gtest.h>

#include "abi/TableClient.h"

using namespace client;

namespace {

class Locate : public ::testing::Test {
 protected:
  Locate()
      : t({{"ID", 'I'}, {"LAST", 'S', 12}, {"FIRST", 'S', 8}, {"CITY", 'S', 8}, {"ZIP", 'I'}, {"AGE", 'I'}},
          {{"PK", {0}}, {"NAME", {1, 2, 5}}, {"ZIP", {4}}}),
        a(t.api()),
        h(t.handle()) {
    t.Post({"1", "Smith", "Ann", "Oslo", "100", "30"});
    t.Post({"2", "Smithers", "Bob", "Rome", "200", "40"});
    t.Post({"3", "Jones", "Cy", "Oslo", "300", "50"});
    t.Post({"4", "smith", "Dee", "Bonn", "400", "60"});
    a.DLL_First(h);
  }

  int32_t Locate_(std::vector<int32_t> fields, std::vector<uint8_t> &key, int32_t index, int32_t partial,
                  uint32_t caseless, uint32_t move) {
    TFieldNoList list{static_cast<int32_t>(fields.size()), fields.data()};
    return a.DLL_LocateRecord(h, &list, key.data(), index, partial, caseless, move);
  }

  std::string CurrentId() { return t.Get(t.Current(), 0).value_or("<null>"); }

  TableClient t;
  LibraryApi &a;
  int32_t h;
};

}  // namespace

TEST_F(Locate, MapFieldsToIndexTriesTheHighestIndexFirstAndReorders) {
  std::vector<int32_t> fields{2, 1};
  TFieldNoList list{2, fields.data()};
  EXPECT_EQ(1, a.DLL_MapFieldsToIndex(h, &list, 0xFFFFFF01u));
  EXPECT_EQ((std::vector<int32_t>{1, 2}), fields);
  fields = {4};
  list = TFieldNoList{1, fields.data()};
  EXPECT_EQ(2, a.DLL_MapFieldsToIndex(h, &list, 1));
  std::vector<int32_t> untouched{5, 1};
  TFieldNoList other{2, untouched.data()};
  EXPECT_EQ(-1, a.DLL_MapFieldsToIndex(h, &other, 0x100u)) << "use index off: low byte 0";
  EXPECT_EQ((std::vector<int32_t>{5, 1}), untouched);
  TFieldNoList empty{0, nullptr};
  EXPECT_EQ(2, a.DLL_MapFieldsToIndex(h, &empty, 1)) << "an empty list matches the highest index";
  std::vector<int32_t> twice{1, 1};
  TFieldNoList repeated{2, twice.data()};
  EXPECT_EQ(-1, a.DLL_MapFieldsToIndex(h, &repeated, 1));
}

TEST_F(Locate, ScanFindsByAnyFieldsWithoutMovingUnlessAsked) {
  auto key = t.Make({std::nullopt, std::nullopt, std::nullopt, "Oslo", std::nullopt, "50"});
  EXPECT_EQ(1, Locate_({3, 5}, key, -1, 0, 0, 0));
  EXPECT_EQ("3", *t.Get(key, 0)) << "the found record is copied into the key buffer";
  EXPECT_EQ("1", CurrentId()) << "the cursor stays";
  EXPECT_EQ(1, Locate_({3, 5}, key, -1, 0, 0, 0xAB01u));
  EXPECT_EQ("3", CurrentId());
  auto missing = t.Make({std::nullopt, std::nullopt, std::nullopt, "Paris"});
  EXPECT_EQ(0, Locate_({3}, missing, -1, 0, 0, 1));
  EXPECT_EQ("3", CurrentId());
}

TEST_F(Locate, PartialAndCaselessMatches) {
  auto key = t.Make({std::nullopt, "SMI"});
  EXPECT_EQ(0, Locate_({1}, key, -1, 0, 0, 0)) << "whole field, case-sensitive";
  EXPECT_EQ(0, Locate_({1}, key, -1, 3, 0, 0)) << "partial, case-sensitive";
  EXPECT_EQ(1, Locate_({1}, key, -1, 3, 1, 0)) << "partial and caseless";
  EXPECT_EQ("1", *t.Get(key, 0));
  auto jon = t.Make({std::nullopt, "Jon"});
  EXPECT_EQ(1, Locate_({1}, jon, -1, 3, 0, 0));
  EXPECT_EQ("3", *t.Get(jon, 0));
}

TEST_F(Locate, ThroughAnIndexTriesOnlyTheRecordTheSearchLandsOn) {
  auto key = t.Make({std::nullopt, std::nullopt, std::nullopt, std::nullopt, "300"});
  EXPECT_EQ(1, Locate_({4}, key, 2, 0, 0, 1));
  EXPECT_EQ("3", CurrentId());
  EXPECT_EQ("3", *t.Get(key, 0));
  uint8_t name[256];
  a.DLL_CurrentIndexName(name, h);
  EXPECT_EQ("PK", FromShortBuffer(name)) << "the active index is unchanged";
  auto between = t.Make({std::nullopt, std::nullopt, std::nullopt, std::nullopt, "250"});
  EXPECT_EQ(0, Locate_({4}, between, 2, 0, 0, 1));
  EXPECT_EQ("3", CurrentId());
  // Outside the range: not found.
  KeyTexts low{"1"}, high{"2"};
  a.DLL_ApplyRange(h, low.data(), low.high(), high.data(), high.high());
  EXPECT_EQ(0, Locate_({4}, key, 2, 0, 0, 1));
  EXPECT_EQ("1", CurrentId());
}

TEST_F(Locate, FailuresAreNotFoundWithTheMessageKept) {
  auto key = t.Make({"1"});
  EXPECT_EQ(0, Locate_({9}, key, -1, 0, 0, 0));
  uint8_t text[256];
  a.DLL_InternalStatus(text, h, 1);
  EXPECT_EQ("9 is not a valid field number.", FromShortBuffer(text));
  a.DLL_InternalStatus(text, h, 1);
  EXPECT_EQ("", FromShortBuffer(text)) << "delivered once";
  EXPECT_EQ(0, Locate_({0}, key, 7, 0, 0, 0));
  EXPECT_EQ(0, a.DLL_LocateRecord(h, nullptr, key.data(), 0, 0, 0, 0));
  KeyTexts low{"8"}, high{"9"};
  a.DLL_ApplyRange(h, low.data(), low.high(), high.data(), high.high());
  EXPECT_EQ(0, Locate_({0}, key, 0, 0, 0, 1));
  a.DLL_InternalStatus(text, h, 1);
  EXPECT_EQ("Unable to search. Range is empty.", FromShortBuffer(text));
  EXPECT_EQ(0, Locate_({0}, key, -1, 0, 0, 1)) << "a scan of an empty range finds nothing";
}

TEST_F(Locate, StatusTextDescribesTheCursor) {
  uint8_t text[256];
  a.DLL_InternalStatus(text, h, 0);
  EXPECT_EQ("CR 0:FS 4:CP 0INo0BOF 1:0EOF 0:3 Filt=0", FromShortBuffer(text));
  a.DLL_Next(h);
  a.DLL_InternalStatus(text, h, 0);
  EXPECT_EQ("CR 1:FS 4:CP 1INo0BOF 0:0EOF 0:3 Filt=0", FromShortBuffer(text));
  KeyTexts low{"8"}, high{"9"};
  a.DLL_ApplyRange(h, low.data(), low.high(), high.data(), high.high());
  a.DLL_InternalStatus(text, h, 0);
  EXPECT_EQ(0u, FromShortBuffer(text).find("CR -1:FS 4:"));
  EXPECT_NE(std::string::npos, FromShortBuffer(text).find("BOF 1:-1EOF 1:3 Filt=0"));
}
