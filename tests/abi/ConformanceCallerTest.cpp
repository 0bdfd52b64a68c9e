// Calling the exports the way a Pascal program does: booleans in whole 32-bit
// slots with garbage above the low byte, short strings exactly as long as their
// length byte says, and floating-point exceptions unmasked in the caller.
#include <gtest/gtest.h>

#include <cfenv>
#include <csignal>
#include <filesystem>

#include "abi/TableClient.h"

using namespace client;

namespace {

constexpr int kTrapped = FE_OVERFLOW | FE_INVALID | FE_DIVBYZERO;

// Unmasks the three exceptions for its lifetime, starting with no flags raised.
class TrappingFpu {
 public:
  TrappingFpu() {
    std::feclearexcept(FE_ALL_EXCEPT);
    feenableexcept(kTrapped);
  }
  ~TrappingFpu() {
    fedisableexcept(FE_ALL_EXCEPT);
    std::feclearexcept(FE_ALL_EXCEPT);
  }
  // The caller's settings are as it left them and no flag leaked out of the library.
  static void ExpectUnchanged() {
    EXPECT_EQ(kTrapped, fegetexcept());
    EXPECT_EQ(0, std::fetestexcept(FE_ALL_EXCEPT));
  }
};

class FloatKeys : public ::testing::Test {
 protected:
  FloatKeys() : t({{"ID", 'I'}, {"AMT", 'F'}}, {{"PK", {0}}, {"BYAMT", {1}}}), a(t.api()), h(t.handle()) {}
  TableClient t;
  LibraryApi &a;
  int32_t h;
};

}  // namespace

TEST_F(FloatKeys, DifferenceBeyondTheRealRangeIsAnOverflowNotASignal) {
  t.Post({"1", "1e38"});
  std::vector<uint8_t> far = t.Make({"2", "-1e38"});
  KeyTexts farKey{"-1e38"}, nearKey{"0.1"};
  std::vector<uint8_t> small = t.Make({"3", "0.1"}), tiny = t.Make({"4", "1e-300"});
  TrappingFpu fpu;
  // 1e38 - (-1e38) reaches 2^127: the comparison in the second index overflows.
  a.DLL_MoveToDB(h, far.data());
  EXPECT_VELMORA_ERROR(a.DLL_PostNewRecord(h), EMathError, "Floating point overflow");
  TrappingFpu::ExpectUnchanged();
  EXPECT_EQ(1, a.DLL_TotalRecords(h));
  // Searching for such a key overflows in the same way, leaving the cursor.
  a.DLL_ChangeIndex(h, 1);
  EXPECT_VELMORA_ERROR(a.DLL_FindKeyRecord(h, farKey.data(), farKey.high()), EMathError, "Floating point overflow");
  TrappingFpu::ExpectUnchanged();
  EXPECT_EQ(0, a.DLL_GetCurrentBookMarkData(h));
  // Ordinary comparisons, inexact ones included, leave no trace in the caller.
  a.DLL_MoveToDB(h, small.data());
  a.DLL_PostNewRecord(h);
  a.DLL_MoveToDB(h, tiny.data());
  a.DLL_PostNewRecord(h);
  EXPECT_EQ(1, a.DLL_FindKeyRecord(h, nearKey.data(), nearKey.high()));
  TrappingFpu::ExpectUnchanged();
  EXPECT_EQ(1, a.DLL_GetCurrentBookMarkData(h));
  a.DLL_First(h);
  EXPECT_EQ(2, a.DLL_GetCurrentBookMarkData(h));
  a.DLL_Last(h);
  EXPECT_EQ(0, a.DLL_GetCurrentBookMarkData(h));
  TrappingFpu::ExpectUnchanged();
}

TEST_F(FloatKeys, DifferenceJustBelowTheLimitStillCompares) {
  std::vector<uint8_t> high = t.Make({"1", "8e37"}), low = t.Make({"2", "-8e37"});
  TrappingFpu fpu;
  a.DLL_MoveToDB(h, high.data());
  a.DLL_PostNewRecord(h);
  a.DLL_MoveToDB(h, low.data());
  a.DLL_PostNewRecord(h);
  a.DLL_ChangeIndex(h, 1);
  EXPECT_EQ(1, a.DLL_GetCurrentBookMarkData(h));
  TrappingFpu::ExpectUnchanged();
}

TEST(CallerConventions, LocateReadsOnlyTheLowByteOfItsFlags) {
  TableClient t({{"ID", 'I'}, {"NAME", 'S', 8}}, {{"PK", {0}}});
  LibraryApi &a = t.api();
  int32_t h = t.handle();
  t.Post({"1", "Smith"});
  t.Post({"2", "smith"});
  a.DLL_First(h);
  std::vector<int32_t> fields{1};
  TFieldNoList list{1, fields.data()};
  // Case-sensitive (low byte 0): finds the lower-case name only.
  auto key = t.Make({std::nullopt, "smith"});
  EXPECT_EQ(1, a.DLL_LocateRecord(h, &list, key.data(), -1, 0, 0xFFFFFF00u, 0x00000100u));
  EXPECT_EQ("2", t.Get(key, 0).value_or("<null>"));
  EXPECT_EQ(0, a.DLL_GetCurrentBookMarkData(h)) << "move cursor was off";
  // Case-insensitive and moving (low byte 1): the first record matches.
  a.DLL_Last(h);
  key = t.Make({std::nullopt, "SMITH"});
  EXPECT_EQ(1, a.DLL_LocateRecord(h, &list, key.data(), -1, 0, 0xABCDEF01u, 0x12345601u));
  EXPECT_EQ("1", t.Get(key, 0).value_or("<null>"));
  EXPECT_EQ(0, a.DLL_GetCurrentBookMarkData(h)) << "move cursor was on";
  // Exact case with garbage above a zero byte: not found.
  key = t.Make({std::nullopt, "SMITH"});
  EXPECT_EQ(0, a.DLL_LocateRecord(h, &list, key.data(), 0, 0, 0x0000FF00u, 0xFFFFFF00u));
}

TEST(CallerConventions, SchemaOperationReadsOnlyTheLowByte) {
  TableClient t({{"ID", 'I'}}, {{"PK", {0}}});
  LibraryApi &a = t.api();
  TFieldDescriptor field;
  std::memset(&field, 0, sizeof field);
  field.Name[0] = 2;
  std::memcpy(field.Name + 1, "ID", 2);
  field.FieldType = 'I';
  TIndexDef index;
  std::memset(&index, 0, sizeof index);
  index.Name[0] = 2;
  std::memcpy(index.Name + 1, "PK", 2);
  index.FieldCount = 1;
  TFieldDefList fieldList{1, &field};
  TIndexDefList indexList{1, &index};
  std::string dir = std::filesystem::path(t.schemaPath()).parent_path().string();
  // Low byte 1 under garbage: a read, which fails on a missing file and creates nothing.
  TightShortString missing(dir + "/missing.vri");
  EXPECT_THROW(a.DLL_VRIFileOps(t.handle(), 0x00FFFF01u, missing.get(), &fieldList, &indexList), velmora::Exception);
  EXPECT_FALSE(std::filesystem::exists(dir + "/missing.vri"));
  // Low byte 0 under garbage: a write, under a name given as a tight short string.
  TightShortString copy(dir + "/copy.vri");
  a.DLL_VRIFileOps(t.handle(), 0xFFFFFF00u, copy.get(), &fieldList, &indexList);
  EXPECT_TRUE(std::filesystem::exists(dir + "/copy.vri"));
  int32_t other = a.DLL_Connect(7);
  EXPECT_GT(a.DLL_OpenTable(other, copy.get(), 64), 0);
  EXPECT_EQ(1, a.DLL_IndexCount(other));
  a.DLL_CloseTable(other);
  a.DLL_Disconnect(other);
}

TEST(CallerConventions, TightNamesForIndexLookupAndTableUtilities) {
  TableClient t({{"ID", 'I'}}, {{"PK", {0}}, {"SECOND", {0}}});
  LibraryApi &a = t.api();
  EXPECT_EQ(1, a.DLL_FindIndexName(t.handle(), TightShortString("SECOND").get()));
  EXPECT_EQ(-1, a.DLL_FindIndexName(t.handle(), TightShortString("").get()));
  std::string dir = std::filesystem::path(t.schemaPath()).parent_path().string();
  TightShortString source(t.schemaPath());
  TightShortString dest(dir + "/twin.vri");
  a.DLL_CloseTable(t.handle());
  EXPECT_EQ(1, a.DLL_TableUtils(0, source.get(), dest.get(), 2));
  EXPECT_TRUE(std::filesystem::exists(dir + "/twin.vb2"));
}
