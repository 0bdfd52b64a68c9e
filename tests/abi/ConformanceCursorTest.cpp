// Cursor state through the exports in the less travelled corners: filters that
// change their verdict under the cursor, partial keys, edits and deletions at
// the ends of a range, emptying and unfiltering, bookmarks and index changes
// while a filter is on.
#include <gtest/gtest.h>

#include "abi/TableClient.h"

using namespace client;

namespace {

// Passes ids that are multiples of 'modulus' and not above 'limit'.
struct Verdict {
  int32_t idOffset = 0;
  int32_t modulus = 2;
  int32_t limit = 1000;
  int calls = 0;
};

uint8_t VR_CALL ByVerdict(intptr_t user, const void *record) {
  auto &v = *reinterpret_cast<Verdict *>(user);
  ++v.calls;
  int32_t id;
  std::memcpy(&id, static_cast<const uint8_t *>(record) + v.idOffset, 4);
  return id % v.modulus == 0 && id <= v.limit ? 1 : 0;
}

uint8_t VR_CALL PassesNothing(intptr_t, const void *) { return 0; }

class CursorCorners : public ::testing::Test {
 protected:
  CursorCorners()
      : t({{"ID", 'I'}, {"NAME", 'S', 10}, {"QTY", 'I'}}, {{"PK", {0}}, {"BYNAME", {1}}, {"NQ", {1, 2}}}),
        a(t.api()),
        h(t.handle()) {
    verdict.idOffset = t.fieldOffset(0);
  }

  // Ids 0..n-1 named a, b, c, ... with quantity 10 * id.
  void PostLetters(int n) {
    for (int i = 0; i < n; ++i)
      t.Post({std::to_string(i), std::string(1, static_cast<char>('a' + i)), std::to_string(10 * i)});
  }
  std::string Id() { return t.Get(t.Current(), 0).value_or("<null>"); }
  std::string Name() { return t.Get(t.Current(), 1).value_or("<null>"); }
  void Filter() {
    a.DLL_SetFilterProc(h, ByVerdict, reinterpret_cast<intptr_t>(&verdict), nullptr, 0);
    a.DLL_SetFilterStatus(h, 1, 0);
    a.DLL_SetFiltered(h, 1);
  }
  void Range(const std::string &low, const std::string &high) {
    KeyTexts lo{low}, hi{high};
    a.DLL_ApplyRange(h, lo.data(), lo.high(), hi.data(), hi.high());
  }
  std::string Flags() { return std::to_string(a.DLL_BOF(h)) + std::to_string(a.DLL_EOF(h)); }

  TableClient t;
  LibraryApi &a;
  int32_t h;
  Verdict verdict;
};

}  // namespace

TEST_F(CursorCorners, ReadRecordMovesOffARecordThatStoppedPassing) {
  PostLetters(10);
  Filter();
  a.DLL_First(h);
  a.DLL_Next(h);
  ASSERT_EQ("2", Id());
  // The first procedure is asked again on every visit: 2 now fails, so the
  // cursor goes forward to the next passing record.
  verdict.modulus = 4;
  EXPECT_EQ(1, a.DLL_ReadRecord(h));
  EXPECT_EQ("4", Id());
  EXPECT_EQ(4, a.DLL_GetCurrentBookMarkData(h));
  EXPECT_EQ("00", Flags());
  // Nothing passes after 8 any more: it goes back to the nearest one before.
  verdict.modulus = 2;
  a.DLL_Last(h);
  ASSERT_EQ("8", Id());
  verdict.limit = 5;
  EXPECT_EQ(1, a.DLL_GetRecord(h));
  EXPECT_EQ("4", Id());
  EXPECT_EQ("00", Flags());
  // Nothing passes at all: the cursor empties.
  verdict.limit = -1;
  EXPECT_EQ(0, a.DLL_ReadRecord(h));
  EXPECT_EQ(-1, a.DLL_GetCurrentBookMarkData(h));
  EXPECT_EQ("11", Flags());
  EXPECT_EQ(1, a.DLL_RangeEmpty(h));
}

TEST_F(CursorCorners, FindNearestWithAPartialTwoFieldKey) {
  a.DLL_ChangeIndex(h, 2);
  t.Post({"0", "a", "1"});
  t.Post({"1", "b", "7"});
  t.Post({"2", "b", "5"});
  t.Post({"3", "c", "2"});
  // The unset quantity is null and sorts first: the first "b" record.
  KeyTexts b{"b"};
  EXPECT_EQ(2, a.DLL_FindNearestRecord(h, b.data(), b.high()));
  EXPECT_EQ("2", Id());
  EXPECT_EQ(2, a.DLL_CurrentRecordPosition(h));
  EXPECT_EQ("00", Flags());
  KeyTexts b6{"b", "6"};
  EXPECT_EQ(1, a.DLL_FindNearestRecord(h, b6.data(), b6.high()));
  EXPECT_EQ("1", Id());
  KeyTexts bb{"bb"};
  EXPECT_EQ(3, a.DLL_FindNearestRecord(h, bb.data(), bb.high()));
  EXPECT_EQ("3", Id());
  // Only the leading field given: FindKey does not find it, FindNearest does.
  EXPECT_EQ(0, a.DLL_FindKeyRecord(h, b.data(), b.high()));
  EXPECT_EQ("3", Id());
}

TEST_F(CursorCorners, EditMovesTheRangesFirstRecordOutOfTheRange) {
  PostLetters(4);  // a b c d
  a.DLL_ChangeIndex(h, 1);
  Range("b", "c");
  ASSERT_EQ(2, a.DLL_RangeCount(h));
  ASSERT_EQ("b", Name());
  a.DLL_EditRecord(h);
  std::vector<uint8_t> record = t.Current();
  t.Set(record, 1, "e");
  t.Put(record);
  a.DLL_PostEditedRecord(h);
  // The record left the range: the cursor is on the range's one remaining record.
  EXPECT_EQ("c", Name());
  EXPECT_EQ(2, a.DLL_GetCurrentBookMarkData(h));
  EXPECT_EQ(1, a.DLL_RangeCount(h));
  EXPECT_EQ(1, a.DLL_CurrentRecordPosition(h));
  EXPECT_EQ("00", Flags());
  EXPECT_EQ((std::vector<std::string>{"c"}), t.Walk(1));
  a.DLL_CancelRange(h);
  EXPECT_EQ((std::vector<std::string>{"a", "c", "d", "e"}), t.Walk(1));
}

TEST_F(CursorCorners, EditMovesTheRangesFirstRecordWithinTheRange) {
  PostLetters(4);  // a b c d
  a.DLL_ChangeIndex(h, 1);
  Range("b", "d");
  ASSERT_EQ("b", Name());
  std::vector<uint8_t> record = t.Current();
  t.Set(record, 1, "cz");
  t.Put(record);
  a.DLL_PostEditedRecord(h);
  // Still inside the range: the edited record stays current at its new place.
  EXPECT_EQ("cz", Name());
  EXPECT_EQ(1, a.DLL_GetCurrentBookMarkData(h));
  EXPECT_EQ(2, a.DLL_CurrentRecordPosition(h));
  EXPECT_EQ(3, a.DLL_RangeCount(h));
  EXPECT_EQ("00", Flags());
  EXPECT_EQ((std::vector<std::string>{"c", "cz", "d"}), t.Walk(1));
}

TEST_F(CursorCorners, EditTheOnlyRecordOfARangeToAnotherKeyInsideIt) {
  PostLetters(4);  // a b c d
  a.DLL_ChangeIndex(h, 1);
  Range("b", "bz");
  ASSERT_EQ(1, a.DLL_RangeCount(h));
  std::vector<uint8_t> record = t.Current();
  t.Set(record, 1, "bm");
  t.Put(record);
  a.DLL_PostEditedRecord(h);
  EXPECT_EQ("bm", Name());
  EXPECT_EQ(1, a.DLL_RangeCount(h));
  EXPECT_EQ(1, a.DLL_CurrentRecordPosition(h));
  EXPECT_EQ("00", Flags());
  // Out of the range: it becomes empty.
  t.Set(record, 1, "x");
  t.Put(record);
  a.DLL_PostEditedRecord(h);
  EXPECT_EQ(1, a.DLL_RangeEmpty(h));
  EXPECT_EQ(0, a.DLL_RangeCount(h));
  EXPECT_EQ("11", Flags());
  EXPECT_EQ(0, a.DLL_CurrentRecordPosition(h));
}

TEST_F(CursorCorners, DeletingTheRangesFirstAndLastRecords) {
  PostLetters(5);  // a b c d e
  a.DLL_ChangeIndex(h, 1);
  Range("b", "d");
  ASSERT_EQ("b", Name());
  a.DLL_DeleteRecord(h);
  // Record 4 (e) took number 1; the cursor follows to c.
  EXPECT_EQ("c", Name());
  EXPECT_EQ(2, a.DLL_GetCurrentBookMarkData(h));
  EXPECT_EQ(2, a.DLL_RangeCount(h));
  EXPECT_EQ(1, a.DLL_CurrentRecordPosition(h));
  EXPECT_EQ("00", Flags());
  a.DLL_Last(h);
  ASSERT_EQ("d", Name());
  a.DLL_DeleteRecord(h);
  EXPECT_EQ("c", Name());
  EXPECT_EQ(1, a.DLL_RangeCount(h));
  EXPECT_EQ(1, a.DLL_CurrentRecordPosition(h));
  EXPECT_EQ((std::vector<std::string>{"c"}), t.Walk(1));
  a.DLL_DeleteRecord(h);
  EXPECT_EQ(1, a.DLL_RangeEmpty(h));
  EXPECT_EQ("11", Flags());
  EXPECT_EQ(0, a.DLL_RangeCount(h));
  EXPECT_VELMORA_ERROR(a.DLL_DeleteRecord(h), EVelmoraDBError, "Unable to delete. Range is empty.");
  EXPECT_EQ(2, a.DLL_TotalRecords(h));
  a.DLL_CancelRange(h);
  EXPECT_EQ((std::vector<std::string>{"a", "e"}), t.Walk(1));
}

TEST_F(CursorCorners, EmptyTableKeepsTheFilterSwitchedOn) {
  PostLetters(6);
  Filter();
  a.DLL_ChangeIndex(h, 1);
  a.DLL_EmptyTable(h);
  EXPECT_EQ(0, a.DLL_TotalRecords(h));
  EXPECT_EQ(0, a.DLL_RangeCount(h));
  EXPECT_EQ(1, a.DLL_RangeEmpty(h));
  EXPECT_EQ("11", Flags());
  uint8_t name[256];
  a.DLL_CurrentIndexName(name, h);
  EXPECT_EQ("PK", FromShortBuffer(name));
  // Posting goes on being filtered: an odd id is stored but not shown.
  t.Post({"4", "x", "0"});
  EXPECT_EQ("4", Id());
  EXPECT_EQ(1, a.DLL_RangeCount(h));
  t.Post({"3", "y", "0"});
  EXPECT_EQ(2, a.DLL_TotalRecords(h));
  EXPECT_EQ("4", Id());
  EXPECT_EQ(1, a.DLL_RangeCount(h));
  EXPECT_EQ((std::vector<std::string>{"4"}), t.Walk(0));
  a.DLL_SetFiltered(h, 0);
  EXPECT_EQ((std::vector<std::string>{"3", "4"}), t.Walk(0));
}

TEST_F(CursorCorners, SwitchingTheFilterOffBringsBackTheCursor) {
  PostLetters(6);
  a.DLL_ChangeIndex(h, 1);
  Range("b", "e");
  a.DLL_SetFilterProc(h, PassesNothing, 0, nullptr, 0);
  a.DLL_SetFilterStatus(h, 1, 0);
  a.DLL_SetFiltered(h, 1);
  EXPECT_EQ(0, a.DLL_First(h));
  EXPECT_EQ(-1, a.DLL_GetCurrentBookMarkData(h));
  a.DLL_SetFiltered(h, 0);
  // Back where the last filtered move left the index cursor, the range's
  // first record, with its contents in the record buffer; both ends clear.
  EXPECT_EQ(1, a.DLL_GetCurrentBookMarkData(h));
  EXPECT_EQ("b", Name());
  EXPECT_EQ("00", Flags());
  EXPECT_EQ(4, a.DLL_RangeCount(h));
  EXPECT_EQ(1, a.DLL_CurrentRecordPosition(h));
  // A cursor on a record stays there; the range is checked, clearing both ends.
  a.DLL_Next(h);
  a.DLL_Next(h);
  a.DLL_Prior(h);
  verdict.modulus = 1;
  Filter();
  EXPECT_EQ("c", Name());
  EXPECT_EQ("00", Flags());
  a.DLL_First(h);
  EXPECT_EQ("10", Flags());
  a.DLL_SetFiltered(h, 0);
  EXPECT_EQ("b", Name());
  EXPECT_EQ("00", Flags());
  EXPECT_EQ(1, a.DLL_CurrentRecordPosition(h));
}

TEST_F(CursorCorners, GoToBookmarkHonoursTheFilter) {
  PostLetters(10);
  a.DLL_FindKeyRecord(h, KeyTexts{"3"}.data(), 0);
  int32_t odd = a.DLL_AddBookmark(h, a.DLL_GetCurrentBookMarkData(h));
  a.DLL_FindKeyRecord(h, KeyTexts{"6"}.data(), 0);
  int32_t even = a.DLL_AddBookmark(h, a.DLL_GetCurrentBookMarkData(h));
  Filter();
  a.DLL_First(h);
  a.DLL_Next(h);
  ASSERT_EQ("2", Id());
  EXPECT_EQ(0, a.DLL_GoToBookmark(h, odd));
  EXPECT_EQ("2", Id());
  EXPECT_EQ(2, a.DLL_GetCurrentBookMarkData(h));
  EXPECT_EQ(1, a.DLL_GoToBookmark(h, even));
  EXPECT_EQ("6", Id());
  EXPECT_EQ("00", Flags());
  // Positions count every record of the range, passing or not.
  EXPECT_EQ(7, a.DLL_CurrentRecordPosition(h));
  EXPECT_EQ(1, a.DLL_Next(h));
  EXPECT_EQ("8", Id());
}

TEST_F(CursorCorners, PositionsCountFromTheRangeStart) {
  PostLetters(7);  // a..g
  a.DLL_ChangeIndex(h, 1);
  Range("c", "e");
  EXPECT_EQ(1, a.DLL_CurrentRecordPosition(h));
  a.DLL_Next(h);
  EXPECT_EQ(2, a.DLL_CurrentRecordPosition(h));
  a.DLL_Last(h);
  EXPECT_EQ(3, a.DLL_CurrentRecordPosition(h));
  EXPECT_EQ(-1, a.DLL_MoveTo(h, 2));
  EXPECT_EQ("d", Name());
  EXPECT_EQ(2, a.DLL_CurrentRecordPosition(h));
  KeyTexts e{"e"};
  ASSERT_EQ(1, a.DLL_FindKeyRecord(h, e.data(), e.high()));
  EXPECT_EQ(3, a.DLL_CurrentRecordPosition(h));
  KeyTexts z{"z"};
  EXPECT_EQ(4, a.DLL_FindNearestRecord(h, z.data(), z.high()));
  EXPECT_EQ(3, a.DLL_CurrentRecordPosition(h));
  EXPECT_EQ(-2, a.DLL_MoveTo(h, -5));
  EXPECT_EQ("c", Name());
  EXPECT_EQ("10", Flags());
}

TEST_F(CursorCorners, ChangeIndexWhileFiltered) {
  PostLetters(10);
  // Names in the opposite order of the ids.
  for (int i = 0; i < 10; ++i) {
    a.DLL_FindKeyRecord(h, KeyTexts{std::to_string(i)}.data(), 0);
    std::vector<uint8_t> record = t.Current();
    t.Set(record, 1, std::string(1, static_cast<char>('j' - i)));
    t.Put(record);
    a.DLL_PostEditedRecord(h);
  }
  Filter();
  EXPECT_EQ(5, a.DLL_RangeCount(h));
  // The cursor stands on the index's first record even though it fails.
  EXPECT_EQ(9, a.DLL_ChangeIndex(h, 1));
  EXPECT_EQ(9, a.DLL_GetCurrentBookMarkData(h));
  EXPECT_EQ("10", Flags());
  EXPECT_EQ(5, a.DLL_RangeCount(h));
  EXPECT_EQ(1, a.DLL_First(h));
  EXPECT_EQ("8", Id());
  EXPECT_EQ((std::vector<std::string>{"8", "6", "4", "2", "0"}), t.Walk(0));
  // A range while filtered counts only its passing records.
  Range("c", "f");  // ids 7, 6, 5, 4
  EXPECT_EQ(2, a.DLL_RangeCount(h));
  EXPECT_EQ((std::vector<std::string>{"6", "4"}), t.Walk(0));
}
