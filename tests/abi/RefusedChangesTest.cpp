// Operations that fail on damaged files or refused values: the table stays as
// it was, no walk runs for ever, and the caller learns why.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>

#include "abi/TableClient.h"
#include "support/FileBytes.h"

using namespace client;
using velmora::testing::ReadBytes;

namespace {

class RefusedChanges : public ::testing::Test {
 protected:
  RefusedChanges()
      : t({{"ID", 'I'}, {"NAME", 'S', 10}, {"AMOUNT", 'F'}, {"NOTE", 'F'}},
          {{"PK", {0}}, {"BYNAME", {1}}, {"BYAMOUNT", {2}}}),
        a(t.api()),
        h(t.handle()) {
    for (int i = 0; i < 10; ++i)
      t.Post({std::to_string(i), std::string(1, static_cast<char>('j' - i)), std::to_string(i * 10), "0"});
  }

  std::vector<std::vector<uint8_t>> AllFiles() {
    std::vector<std::vector<uint8_t>> files;
    for (const char *ext : {".vrd", ".va1", ".va2", ".vb1", ".vb2", ".vc1", ".vc2"})
      files.push_back(ReadBytes(t.FilePath(ext)));
    return files;
  }

  void Reopen() {
    a.DLL_CloseTable(h);
    TightShortString path(t.schemaPath());
    ASSERT_GT(a.DLL_OpenTable(h, path.get(), 34), 0);
  }

  // Every index walks every record once.
  void ExpectWhole(int32_t records) {
    for (int32_t i = 0; i < 3; ++i) {
      a.DLL_ChangeIndex(h, i);
      EXPECT_EQ(static_cast<size_t>(records), t.Walk(0).size()) << "index " << i;
    }
    a.DLL_ChangeIndex(h, 0);
  }

  std::string ErrorText() {
    uint8_t text[256];
    a.DLL_InternalStatus(text, h, 1);
    return FromShortBuffer(text);
  }

  TableClient t;
  LibraryApi &a;
  int32_t h;
};

}  // namespace

TEST_F(RefusedChanges, FailedIndexSwitchLeavesTheTableAsItWas) {
  a.DLL_CloseTable(h);
  std::filesystem::resize_file(t.FilePath(".vb1"), 0);  // the leaf file of index 1 emptied
  TightShortString path(t.schemaPath());
  ASSERT_GT(a.DLL_OpenTable(h, path.get(), 34), 0);
  a.DLL_First(h);
  a.DLL_Next(h);
  EXPECT_THROW(a.DLL_ChangeIndex(h, 1), velmora::Exception);
  uint8_t name[256];
  a.DLL_CurrentIndexName(name, h);
  EXPECT_EQ("PK", FromShortBuffer(name));
  EXPECT_EQ(1, a.DLL_GetCurrentBookMarkData(h));
  EXPECT_EQ(2, a.DLL_CurrentRecordPosition(h));
  a.DLL_First(h);
  EXPECT_EQ(1, a.DLL_CurrentRecordPosition(h));
  // A client's walk ends at the last record.
  int32_t steps = 0;
  while (!a.DLL_EOF(h) && steps < 100) {
    a.DLL_Next(h);
    ++steps;
  }
  ASSERT_EQ(10, steps);
  EXPECT_EQ(9, a.DLL_GetCurrentBookMarkData(h));
  // A locate by scanning ends as well, and finds its record.
  std::vector<uint8_t> key = t.Make({"7", "c", "70", "0"});
  std::vector<int32_t> fields{1};
  TFieldNoList list{1, fields.data()};
  EXPECT_EQ(1, a.DLL_LocateRecord(h, &list, key.data(), -1, 0, 0, 1));
  EXPECT_EQ(7, a.DLL_GetCurrentBookMarkData(h));
  // The other operations that replace the range recover the same way.
  EXPECT_EQ(0, a.DLL_CancelRange(h));
  EXPECT_EQ(10u, t.Walk(0).size());
}

TEST_F(RefusedChanges, DeletionThatCannotFindAnIndexEntryChangesNothing) {
  a.DLL_First(h);
  a.DLL_MoveTo(h, 4);
  a.DLL_SetFieldToNull(h, 1);  // the key field of index 1: its entry is not found
  std::vector<std::vector<uint8_t>> before = AllFiles();
  EXPECT_VELMORA_ERROR(a.DLL_DeleteRecord(h), EVelmoraDBError,
                       "Error on record deletion (1). Velmora may be corrupted - suggest rebuild.");
  EXPECT_EQ(before, AllFiles());
  EXPECT_EQ(10, a.DLL_TotalRecords(h));
  ExpectWhole(10);
  Reopen();
  EXPECT_EQ(10, a.DLL_TotalRecords(h));
  ExpectWhole(10);
  // The record itself can still be deleted.
  a.DLL_First(h);
  a.DLL_MoveTo(h, 4);
  a.DLL_DeleteRecord(h);
  ExpectWhole(9);
}

TEST_F(RefusedChanges, DeletionNamingAnotherRecordsKeyChangesNothing) {
  // The record buffer shows record 5's key while the cursor is on record 3.
  a.DLL_First(h);
  a.DLL_MoveTo(h, 4);
  std::vector<uint8_t> other = t.Make({"5", "e", "50", "0"});
  a.DLL_MoveToDB(h, other.data());
  std::vector<std::vector<uint8_t>> before = AllFiles();
  EXPECT_VELMORA_ERROR(a.DLL_DeleteRecord(h), EVelmoraDBError,
                       "Error on record deletion (1). Velmora may be corrupted - suggest rebuild.");
  EXPECT_EQ(before, AllFiles());
  ExpectWhole(10);
}

TEST_F(RefusedChanges, EditThatCannotFindAnIndexEntryChangesNothing) {
  // In index 2's leaf file, record 1 changes places with the last entry of its
  // block: a search for record 1's amount no longer finds it.
  std::vector<int32_t> leaf = t.FileInts(".vc1");
  bool swapped = false;
  for (size_t b = 2; !swapped && 8 * b + 7 < leaf.size(); ++b) {
    int32_t *block = &leaf[8 * b];
    for (int32_t s = 2; s < block[0]; ++s)
      if (block[s] == 1) {
        std::swap(block[s], block[block[0]]);
        swapped = true;
        break;
      }
  }
  ASSERT_TRUE(swapped);
  {
    std::ofstream out(t.FilePath(".vc1"), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(leaf.data()), static_cast<std::streamsize>(4 * leaf.size()));
  }
  Reopen();
  a.DLL_First(h);
  a.DLL_Next(h);
  ASSERT_EQ(1, a.DLL_GetCurrentBookMarkData(h));
  a.DLL_EditRecord(h);
  std::vector<uint8_t> edited = t.Make({"1", "zz", "15", "0"});  // indexes 1 and 2 change
  a.DLL_MoveToDB(h, edited.data());
  std::vector<std::vector<uint8_t>> before = AllFiles();
  EXPECT_VELMORA_ERROR(a.DLL_PostEditedRecord(h), EVelmoraDBError,
                       "Error on record edit(1). Velmora may be corrupted - suggest rebuild.");
  EXPECT_EQ(before, AllFiles());
  a.DLL_ChangeIndex(h, 1);
  EXPECT_EQ(10u, t.Walk(0).size());
}

TEST_F(RefusedChanges, KeysThatCannotBeOrderedAreRefusedBeforeAnythingIsWritten) {
  const std::string nan = "nan", inf = "inf";
  std::vector<std::vector<uint8_t>> before = AllFiles();
  struct Case {
    std::vector<Value> record;
    const char *message;
  } cases[] = {
      {{"20", "x", nan, "0"}, "Invalid floating point operation"},
      {{"21", "x", inf, "0"}, "Floating point overflow"},
      {{"22", "x", "1e300", "0"}, "Floating point overflow"},
      {{"23", "x", "-1e300", "0"}, "Floating point overflow"},
  };
  for (const Case &c : cases) {
    std::vector<uint8_t> r = t.Make(c.record);
    a.DLL_MoveToDB(h, r.data());
    EXPECT_VELMORA_ERROR(a.DLL_PostNewRecord(h), EMathError, c.message);
    EXPECT_EQ(before, AllFiles()) << c.message;
  }
  // An edit to such a key is refused the same way.
  a.DLL_First(h);
  a.DLL_EditRecord(h);
  std::vector<uint8_t> edited = t.Make({"0", "j", nan, "0"});
  a.DLL_MoveToDB(h, edited.data());
  EXPECT_VELMORA_ERROR(a.DLL_PostEditedRecord(h), EMathError, "Invalid floating point operation");
  EXPECT_EQ(before, AllFiles());
  // Non-key fields keep any value.
  std::vector<uint8_t> odd = t.Make({"30", "y", "5", "1e300"});
  double notANumber = std::numeric_limits<double>::quiet_NaN();
  std::memcpy(odd.data() + t.fieldOffset(3), &notANumber, 8);
  a.DLL_MoveToDB(h, odd.data());
  a.DLL_PostNewRecord(h);
  EXPECT_EQ(11, a.DLL_TotalRecords(h));
  Reopen();
  ExpectWhole(11);
  // Deletions go on working.
  for (int i = 0; i < 11; ++i) a.DLL_DeleteRecord(h);
  EXPECT_EQ(0, a.DLL_TotalRecords(h));
}

TEST_F(RefusedChanges, FarApartKeysAreRefusedWhateverTheSearchPathMeets) {
  // With 0 and 1e38 in index 2, -1e38 lands before 0 without meeting 1e38 on
  // the search path, yet it cannot be ordered against it.
  a.DLL_EmptyTable(h);
  t.Post({"1", "a", "0", "0"});
  t.Post({"2", "b", "1e38", "0"});
  std::vector<uint8_t> far = t.Make({"3", "c", "-1e38", "0"});
  a.DLL_MoveToDB(h, far.data());
  EXPECT_VELMORA_ERROR(a.DLL_PostNewRecord(h), EMathError, "Floating point overflow");
  EXPECT_EQ(2, a.DLL_TotalRecords(h));
  // A null amount sorts first and needs no arithmetic.
  t.Post({"4", "d", std::nullopt, "0"});
  t.Post({"5", "e", "-5e37", "0"});
  a.DLL_ChangeIndex(h, 2);
  EXPECT_EQ((std::vector<std::string>{"4", "5", "1", "2"}), t.Walk(0));
}

TEST_F(RefusedChanges, LongStringFieldsOpenAndKeepTheirText) {
  TableClient notes({{"ID", 'I'}, {"TEXT", 'S', 300}}, {{"PK", {0}}, {"BYTEXT", {1}}});
  std::string text(300, 'q');
  text[299] = 'z';
  notes.Post({"1", text});
  notes.Post({"2", std::string(280, 'q')});
  EXPECT_EQ((std::vector<std::string>{text, std::string(280, 'q')}), notes.Walk(1));
  notes.api().DLL_ChangeIndex(notes.handle(), 1);
  EXPECT_EQ((std::vector<std::string>{std::string(280, 'q'), text}), notes.Walk(1));
  int32_t offset = 0, length = 0;
  char type = 0;
  notes.api().DLL_FieldInfo(notes.handle(), 1, &offset, &length, &type);
  EXPECT_EQ(301, length);
}
