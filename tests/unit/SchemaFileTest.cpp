#include <gtest/gtest.h>

#include <cstring>

#include "FileOps/MiscFileOps.h"
#include "SchemaTestSupport.h"
#include "VRcomm/DefLists.h"
#include "VRcomm/ShortString.h"

using namespace velmora;
using namespace schema_test;

namespace {

class SchemaFileTest : public ::testing::Test {
 protected:
  int32_t Write(const std::string &name) {
    TMiscFileOps ops;
    return ops.WriteSchema(dir / name, fields, indexes);
  }
  int32_t Read(const std::string &name, velmora::TFieldDefList &f, velmora::TIndexDefList &x) {
    TMiscFileOps ops;
    return ops.ReadSchema(dir / name, f, x);
  }
  void AddField(const std::string &name, char type, int32_t len = 0, uint8_t flags = 0, const std::string &p1 = "",
                const std::string &p2 = "", const std::string &p3 = "") {
    fields.SetField(true, 0, name, type, len, 0, flags, p1, p2, p3);
  }
  void AddIndex(const std::string &name, const std::vector<int32_t> &nos) {
    indexes.SetIndex(true, indexes.Count(), nos, name);
  }

  TempDir dir;
  velmora::TFieldDefList fields;
  velmora::TIndexDefList indexes;
};

TEST_F(SchemaFileTest, EmptyDefinitionGivesAHeaderAndAnEmptyDataFile) {
  EXPECT_EQ(Write("empty"), 0);
  EXPECT_EQ(dir.Names(), (std::set<std::string>{"empty.vri", "empty.vrd"}));
  EXPECT_EQ(ReadBytes(dir / "empty.vri"), HeaderBlock(0, 0, 0));
  EXPECT_EQ(ReadBytes(dir / "empty.vrd"), Bytes{});
}

TEST_F(SchemaFileTest, FieldsAreLaidOutWithNullFlagsAndFourByteAlignment) {
  AddField("Id", 'I');
  AddField("Name", 'S', 10);
  AddField("Active", 'B');
  AddIndex("Primary", {0});
  EXPECT_EQ(Write("people.dat"), 4);

  Bytes expected = Concat({HeaderBlock(3, 1, 24), PlainField("Id", 'I', 4, 4), PlainField("Name", 'S', 11, 8),
                           PlainField("Active", 'B', 2, 20), IndexBlock("Primary", {0})});
  EXPECT_EQ(ReadBytes(dir / "people.vri"), expected);
  EXPECT_EQ(dir.Names(), (std::set<std::string>{"people.vri", "people.vrd", "people.va1", "people.va2"}));

  TFieldDescriptor items[3];
  std::memset(items, 0x77, sizeof items);
  TIndexDef idx[1] = {};
  idx[0].FieldCount = 1;
  ::TFieldDefList cf{3, items};
  ::TIndexDefList ci{1, idx};
  velmora::TFieldDefList f(&cf);
  velmora::TIndexDefList x(&ci);
  EXPECT_EQ(Read("people.vri", f, x), 4);
  EXPECT_EQ(FromShort(items[1].Name), "Name");
  EXPECT_EQ(items[1].FieldType, 'S');
  EXPECT_EQ(+items[1].Len, 10);
  EXPECT_EQ(+items[1].Offset, 8);
  EXPECT_EQ(+items[0].Len, 0);
  EXPECT_EQ(+items[0].Offset, 4);
  EXPECT_EQ(+items[2].Offset, 20);
  EXPECT_EQ(items[2].Reserved[0], 0);
  EXPECT_EQ(FromShort(idx[0].Name), "Primary");
  EXPECT_EQ(idx[0].FieldNos[0], 0);
}

TEST_F(SchemaFileTest, LongNamesAndTextsAreCutTo63Characters) {
  std::string name70(70, 'a');
  for (size_t i = 0; i < name70.size(); ++i) name70[i] = static_cast<char>('A' + i % 26);
  AddField(name70, 'F', 0, 0, std::string(100, 'p'), "", "");
  AddIndex(name70, {0});
  EXPECT_EQ(Write("long"), 2);
  FieldBlockSpec f{name70.substr(0, 63), 'F', 8, 4, 0, {0, 0, 0, 0}, {"", "", ""}};
  f.has[1] = 1;
  f.texts[0] = std::string(63, 'p');
  Bytes expected = Concat({HeaderBlock(1, 1, 12), FieldBlock(f), IndexBlock(name70.substr(0, 63), {0})});
  EXPECT_EQ(ReadBytes(dir / "long.vri"), expected);

  velmora::TFieldDefList rf;
  rf.SetField(true, 0, "", 'I', 0, 0, 0, "", "", "");
  velmora::TIndexDefList rx;
  rx.SetIndex(true, 0, {9}, "");
  EXPECT_EQ(Read("long.vri", rf, rx), 2);
  TFieldDescriptor d;
  rf.GetField(0, d);
  EXPECT_EQ(FromShort(d.Name), name70.substr(0, 63));
  EXPECT_EQ(rx.GetName(0), name70.substr(0, 63));
}

TEST_F(SchemaFileTest, ParametersFlagsAndCurrencySigns) {
  AddField("Price", 'C', 0, 0x81, "$$7", "$5", "12$");
  AddField("Rate", 'F', 0, 0, "", "$5", "");
  EXPECT_EQ(Write("params"), 2);
  FieldBlockSpec price{"Price", 'C', 8, 4, 0x81, {1, 1, 1, 1}, {"$7", "5", "12"}};
  FieldBlockSpec rate{"Rate", 'F', 8, 12, 0, {0, 0, 1, 0}, {"", "$5", ""}};
  EXPECT_EQ(ReadBytes(dir / "params.vri"), Concat({HeaderBlock(2, 0, 20), FieldBlock(price), FieldBlock(rate)}));

  velmora::TFieldDefList rf;
  velmora::TIndexDefList rx;
  rf.SetField(true, 0, "", 'I', 0, 0, 0, "", "", "");
  rf.SetField(true, 0, "", 'I', 0, 0, 0, "", "", "");
  EXPECT_EQ(Read("params.vri", rf, rx), 2);
  TFieldDescriptor d;
  rf.GetField(0, d);
  EXPECT_EQ(d.FieldFlags, 0x81);
  EXPECT_EQ(+d.HasParam0, 1);
  EXPECT_EQ(FromShort(d.Param1), "$7");
  EXPECT_EQ(FromShort(d.Param2), "5");
  EXPECT_EQ(FromShort(d.Param3), "12");
}

TEST_F(SchemaFileTest, BooleanFieldDropsItsNumericTextsWhenRead) {
  FieldBlockSpec flag{"Flag", 'B', 2, 4, 0, {0, 1, 1, 1}, {"one", "two", "three"}};
  WriteBytes(dir / "bool.vri", Concat({HeaderBlock(1, 0, 8), FieldBlock(flag)}));
  velmora::TFieldDefList rf;
  velmora::TIndexDefList rx;
  rf.SetField(true, 0, "", 'I', 0, 0, 0, "", "", "");
  EXPECT_EQ(Read("bool.vri", rf, rx), 1);
  TFieldDescriptor d;
  rf.GetField(0, d);
  EXPECT_EQ(FromShort(d.Param1), "one");
  EXPECT_EQ(+d.HasParam1, 1);
  EXPECT_EQ(+d.HasParam2, 0);
  EXPECT_EQ(+d.HasParam3, 0);
  EXPECT_EQ(d.Param2[0], 0);
}

TEST_F(SchemaFileTest, OlderVersionsReadWithoutParameters) {
  FieldBlockSpec f{"Amount", 'R', 6, 4, 1, {1, 1, 1, 1}, {"a", "b", "c"}};
  Bytes version1 = {0x81, 0, 0, 0, 0, 0};
  WriteBytes(dir / "old.vri", Concat({HeaderBlock(1, 0, 12, version1), FieldBlock(f)}));
  velmora::TFieldDefList rf;
  velmora::TIndexDefList rx;
  rf.SetField(true, 0, "x", 'S', 3, 9, 5, "q", "", "");
  EXPECT_EQ(Read("old.vri", rf, rx), 1);
  TFieldDescriptor d;
  rf.GetField(0, d);
  EXPECT_EQ(FromShort(d.Name), "Amount");
  EXPECT_EQ(d.FieldType, 'R');
  EXPECT_EQ(+d.Offset, 4);
  EXPECT_EQ(d.FieldFlags, 0);
  EXPECT_EQ(d.HasParam0 + d.HasParam1 + d.HasParam2 + d.HasParam3, 0);
  EXPECT_EQ(d.Param1[0] + d.Param2[0] + d.Param3[0], 0);

  // Version 2.0 exactly carries them.
  Bytes version20 = {0x82, 0, 0, 0, 0, 0};
  WriteBytes(dir / "v20.vri", Concat({HeaderBlock(1, 0, 12, version20), FieldBlock(f)}));
  EXPECT_EQ(Read("v20.vri", rf, rx), 1);
  rf.GetField(0, d);
  EXPECT_EQ(d.FieldFlags, 1);
  EXPECT_EQ(FromShort(d.Param3), "c");
}

TEST_F(SchemaFileTest, EachIndexGetsItsLeafAndDirectoryFiles) {
  AddField("A", 'I');
  AddField("B", 'D');
  AddIndex("First", {0});
  AddIndex("Second", {1, 0});
  AddIndex("Third", {});
  EXPECT_EQ(Write("three.vri"), 5);
  EXPECT_EQ(dir.Names(), (std::set<std::string>{"three.vri", "three.vrd", "three.va1", "three.va2", "three.vb1",
                                                "three.vb2", "three.vc1", "three.vc2"}));
  for (const char *leaf : {"three.va1", "three.vb1", "three.vc1"}) {
    EXPECT_EQ(ReadBytes(dir / leaf), InitialLeafFile()) << leaf;
  }
  for (const char *directory : {"three.va2", "three.vb2", "three.vc2"}) {
    EXPECT_EQ(ReadBytes(dir / directory), InitialDirectoryFile()) << directory;
  }
  Bytes expected = Concat({HeaderBlock(2, 3, 16), PlainField("A", 'I', 4, 4), PlainField("B", 'D', 8, 8),
                           IndexBlock("First", {0}), IndexBlock("Second", {1, 0}), IndexBlock("Third", {})});
  EXPECT_EQ(ReadBytes(dir / "three.vri"), expected);
}

TEST_F(SchemaFileTest, RewritingReplacesEveryFile) {
  AddField("A", 'I');
  AddIndex("First", {0});
  WriteBytes(dir / "t.vrd", Bytes(40, 1));
  WriteBytes(dir / "t.va1", Bytes(300, 2));
  WriteBytes(dir / "t.va2", Bytes(30, 3));
  EXPECT_EQ(Write("t"), 2);
  EXPECT_EQ(ReadBytes(dir / "t.vrd"), Bytes{});
  EXPECT_EQ(ReadBytes(dir / "t.va1"), InitialLeafFile());
  EXPECT_EQ(ReadBytes(dir / "t.va2"), InitialDirectoryFile());
  EXPECT_EQ(ReadBytes(dir / "t.vri").size(), 3u * 520u);
}

TEST_F(SchemaFileTest, AFolderWithADotIsNotAnExtension) {
  std::filesystem::create_directory(dir / "v1.2");
  AddField("A", 'I');
  EXPECT_EQ(Write("v1.2/orders"), 1);
  EXPECT_EQ(ReadBytes(dir / "v1.2/orders.vri").size(), 1040u);
  EXPECT_EQ(ReadBytes(dir / "v1.2/orders.vrd"), Bytes{});
  EXPECT_EQ(dir.Names(), (std::set<std::string>{"v1.2"}));
}

TEST_F(SchemaFileTest, ReadingOpensTheNameExactlyAsGiven) {
  EXPECT_EQ(Write("plain"), 0);
  velmora::TFieldDefList rf;
  velmora::TIndexDefList rx;
  EXPECT_VELMORA_ERROR(Read("plain", rf, rx), EInOutError, "File not found");
  EXPECT_EQ(Read("plain.vri", rf, rx), 0);
  // Another extension is read as a schema file too.
  std::filesystem::copy_file(dir / "plain.vri", dir / "plain.bak");
  EXPECT_EQ(Read("plain.bak", rf, rx), 0);
}

TEST_F(SchemaFileTest, ReadingIntoShortListsIsAListErrorThatChangesNothing) {
  AddField("A", 'I');
  AddField("B", 'S', 4);
  AddIndex("First", {0});
  AddIndex("Second", {1, 0});
  EXPECT_EQ(Write("s"), 4);

  TFieldDescriptor items[2];
  std::memset(items, 0x33, sizeof items);
  TIndexDef idx[2] = {};
  idx[0].FieldCount = 1;
  idx[1].FieldCount = 1;
  ::TFieldDefList cf{1, items};
  ::TIndexDefList ci{2, idx};
  velmora::TFieldDefList f(&cf);
  velmora::TIndexDefList x(&ci);
  EXPECT_VELMORA_ERROR(Read("s.vri", f, x), EListError, "List index out of bounds (1)");
  EXPECT_EQ(items[0].Name[0], 0x33);

  cf.Count = 2;
  ci.Count = 1;
  EXPECT_VELMORA_ERROR(Read("s.vri", f, x), EListError, "List index out of bounds (1)");
  EXPECT_EQ(items[0].Name[0], 0x33);

  // The second index has two key fields; its entry holds one.
  ci.Count = 2;
  EXPECT_VELMORA_ERROR(Read("s.vri", f, x), EListError, "List index out of bounds (1)");
  EXPECT_EQ(items[0].Name[0], 0x33);
  EXPECT_EQ(idx[0].Name[0], 0);

  idx[1].FieldCount = 3;
  idx[1].FieldNos[2] = 77;
  EXPECT_EQ(Read("s.vri", f, x), 4);
  EXPECT_EQ(FromShort(items[1].Name), "B");
  EXPECT_EQ(+items[1].Len, 4);
  EXPECT_EQ(FromShort(idx[1].Name), "Second");
  EXPECT_EQ(idx[1].FieldCount, 3);  // the entry keeps its own length
  EXPECT_EQ(idx[1].FieldNos[0], 1);
  EXPECT_EQ(idx[1].FieldNos[1], 0);
  EXPECT_EQ(idx[1].FieldNos[2], 77);
}

// A definition the writer refuses leaves the folder as it was.
class RefusedDefinitionTest : public SchemaFileTest {
 protected:
  void ExpectRefused(const std::string &message) {
    WriteBytes(dir / "t.vri", Bytes{'o', 'l', 'd'});
    StrictConversions counting;
    EXPECT_VELMORA_ERROR(Write("t"), EVelmoraDBError, "Cannot write the table definition: " + message);
    EXPECT_EQ(counting.creates, 0);
    EXPECT_EQ(dir.Names(), (std::set<std::string>{"t.vri"}));
    EXPECT_EQ(ReadBytes(dir / "t.vri"), (Bytes{'o', 'l', 'd'}));
  }
};

TEST_F(RefusedDefinitionTest, TooManyFields) {
  for (int i = 0; i < 27; ++i) AddField("F" + std::to_string(i), 'I');
  ExpectRefused("27 fields given; a table has at most 26 fields");
}

TEST_F(RefusedDefinitionTest, TooManyIndexes) {
  AddField("A", 'I');
  for (int i = 0; i < 14; ++i) AddIndex("X" + std::to_string(i), {0});
  ExpectRefused("14 indexes given; a table has at most 13 indexes");
}

TEST_F(RefusedDefinitionTest, NegativeCounts) {
  TFieldDescriptor items[1] = {};
  ::TFieldDefList cf{-1, items};
  TIndexDef idx[1] = {};
  ::TIndexDefList ci{-2, idx};
  velmora::TFieldDefList f(&cf);
  velmora::TIndexDefList x(&ci);
  WriteBytes(dir / "t.vri", Bytes{'o', 'l', 'd'});
  TMiscFileOps ops;
  EXPECT_VELMORA_ERROR(ops.WriteSchema(dir / "t", f, x), EVelmoraDBError,
                       "Cannot write the table definition: invalid field count -1");
  cf.Count = 0;
  EXPECT_VELMORA_ERROR(ops.WriteSchema(dir / "t", f, x), EVelmoraDBError,
                       "Cannot write the table definition: invalid index count -2");
  EXPECT_EQ(dir.Names(), (std::set<std::string>{"t.vri"}));
}

TEST_F(RefusedDefinitionTest, UnknownTypeLetter) {
  AddField("A", 'I');
  AddField("Odd", 's');
  ExpectRefused("field 1 \"Odd\" has an unknown type (character code 115)");
}

TEST_F(RefusedDefinitionTest, StringLengthsThatDoNotFit) {
  AddField("Neg", 'S', -1);
  ExpectRefused("field 0 \"Neg\" has an invalid string length -1; a string field holds 0 to 32766 characters");
}

TEST_F(RefusedDefinitionTest, StringTooLongForADescriptor) {
  AddField("Huge", 'S', 32767);
  ExpectRefused("field 0 \"Huge\" has an invalid string length 32767; a string field holds 0 to 32766 characters");
}

TEST_F(RefusedDefinitionTest, RecordBeyondTheReachOfFieldOffsets) {
  AddField("A", 'S', 32750);
  AddField("B", 'S', 10);
  AddField("C", 'I');
  ExpectRefused(
      "field 2 \"C\" would start at byte 32768 of the record; fields must start within its first 32768 bytes");
}

TEST_F(RefusedDefinitionTest, TooManyKeyFields) {
  AddField("A", 'I');
  TIndexDef idx[1] = {};
  idx[0].FieldCount = 11;
  ::TIndexDefList ci{1, idx};
  velmora::TIndexDefList x(&ci);
  WriteBytes(dir / "t.vri", Bytes{'o', 'l', 'd'});
  TMiscFileOps ops;
  EXPECT_VELMORA_ERROR(ops.WriteSchema(dir / "t", fields, x), EVelmoraDBError,
                       "Index definition 0 gives 11 key fields; an index has room for 0 to 10");
  EXPECT_EQ(dir.Names(), (std::set<std::string>{"t.vri"}));
}

TEST_F(RefusedDefinitionTest, KeyFieldTheTableDoesNotHave) {
  AddField("A", 'I');
  AddField("B", 'I');
  AddIndex("Good", {1, 0});
  AddIndex("Bad", {0, 2});
  ExpectRefused("index 1 \"Bad\" names field 2, which the table does not have");
}

TEST_F(RefusedDefinitionTest, EmptyFileName) {
  TMiscFileOps ops;
  EXPECT_VELMORA_ERROR(ops.WriteSchema("", fields, indexes), EVelmoraDBError,
                       "Cannot write the table definition: no schema file name was given");
  EXPECT_VELMORA_ERROR(ops.ReadSchema("", fields, indexes), EVelmoraDBError,
                       "Cannot read a schema file: no file name was given");
}

// Damaged schema files are refused before either list changes.
class DamagedSchemaTest : public SchemaFileTest {
 protected:
  void SetUp() override {
    AddField("A", 'I');
    AddField("B", 'S', 9);
    AddIndex("First", {0});
    AddIndex("Second", {1, 0});
    ASSERT_EQ(Write("d"), 4);
    good = ReadBytes(dir / "d.vri");
    std::memset(items, 0x44, sizeof items);
    std::memset(idx, 0, sizeof idx);
    for (TIndexDef &e : idx) e.FieldCount = 10;
  }
  // Writes the damaged bytes and expects the read to fail with the message.
  template <class E>
  void ExpectDamaged(const Bytes &bytes, const std::string &message) {
    WriteBytes(dir / "d.vri", bytes);
    ::TFieldDefList cf{3, items};
    ::TIndexDefList ci{3, idx};
    velmora::TFieldDefList f(&cf);
    velmora::TIndexDefList x(&ci);
    try {
      Read("d.vri", f, x);
      ADD_FAILURE() << "no error for: " << message;
    } catch (const E &e) {
      EXPECT_EQ(std::string(e.what()), message);
    }
    EXPECT_EQ(items[0].Name[0], 0x44);
    EXPECT_EQ(idx[0].Name[0], 0);
  }
  std::string Damaged(const std::string &what) { return "The schema file " + (dir / "d.vri") + " is damaged: " + what; }

  Bytes good;
  TFieldDescriptor items[3];
  TIndexDef idx[3];
};

TEST_F(DamagedSchemaTest, CountsOutOfRange) {
  Bytes b = good;
  PutLE(b, 320, 27);
  ExpectDamaged<EVelmoraDBError>(b, Damaged("it gives 27 fields, where a table has 0 to 26"));
  PutLE(b, 320, -5);
  ExpectDamaged<EVelmoraDBError>(b, Damaged("it gives -5 fields, where a table has 0 to 26"));
  b = good;
  PutLE(b, 324, 14);
  ExpectDamaged<EVelmoraDBError>(b, Damaged("it gives 14 indexes, where a table has 0 to 13"));
  PutLE(b, 324, INT32_MIN);
  ExpectDamaged<EVelmoraDBError>(b, Damaged("it gives -2147483648 indexes, where a table has 0 to 13"));
}

TEST_F(DamagedSchemaTest, TruncatedFiles) {
  Bytes b(good.begin(), good.begin() + 520 * 3 + 100);
  ExpectDamaged<EInOutError>(b, "Read beyond end of file");
  ExpectDamaged<EInOutError>(Bytes(good.begin(), good.begin() + 519), "Read beyond end of file");
  ExpectDamaged<EInOutError>(Bytes{}, "Read beyond end of file");
}

TEST_F(DamagedSchemaTest, LengthBytesBeyondTheirTextFields) {
  Bytes b = good;
  b[520 * 2] = 64;
  ExpectDamaged<EVelmoraDBError>(b, Damaged("the name of field 1 claims 64 characters, more than its 63"));
  b = good;
  b[520 + 192] = 200;
  ExpectDamaged<EVelmoraDBError>(b, Damaged("parameter 2 of field 0 claims 200 characters, more than its 63"));
  b = good;
  b[520 * 4] = 255;
  ExpectDamaged<EVelmoraDBError>(b, Damaged("the name of index 1 claims 255 characters, more than its 63"));
}

TEST_F(DamagedSchemaTest, FieldValuesOutOfRange) {
  Bytes b = good;
  b[520 + 65] = 'Q';
  ExpectDamaged<EVelmoraDBError>(b, Damaged("field 0 has an unknown type (character code 81)"));
  b = good;
  PutLE(b, 520 * 2 + 320, 0);
  ExpectDamaged<EVelmoraDBError>(b, Damaged("field 1 has an invalid size 0"));
  PutLE(b, 520 * 2 + 320, 40000);
  ExpectDamaged<EVelmoraDBError>(b, Damaged("field 1 has an invalid size 40000"));
  b = good;
  PutLE(b, 520 * 2 + 324, -8);
  ExpectDamaged<EVelmoraDBError>(b, Damaged("field 1 has an invalid offset -8"));
  // A size nobody uses for a fixed-size type is harmless.
  b = good;
  PutLE(b, 520 + 320, INT32_MIN);
  WriteBytes(dir / "d.vri", b);
  ::TFieldDefList cf{3, items};
  ::TIndexDefList ci{3, idx};
  velmora::TFieldDefList f(&cf);
  velmora::TIndexDefList x(&ci);
  EXPECT_EQ(Read("d.vri", f, x), 4);
  EXPECT_EQ(+items[0].Len, 0);
}

TEST_F(DamagedSchemaTest, KeyFieldCountsAndNumbers) {
  Bytes b = good;
  PutLE(b, 520 * 4 + 320, 11);
  ExpectDamaged<EVelmoraDBError>(b, Damaged("index 1 gives 11 key fields, where an index covers 0 to 10"));
  PutLE(b, 520 * 4 + 320, 49);
  ExpectDamaged<EVelmoraDBError>(b, Damaged("index 1 gives 49 key fields, where an index covers 0 to 10"));
  PutLE(b, 520 * 4 + 320, -1);
  ExpectDamaged<EVelmoraDBError>(b, Damaged("index 1 gives -1 key fields, where an index covers 0 to 10"));
  b = good;
  PutLE(b, 520 * 4 + 328, 2);
  ExpectDamaged<EVelmoraDBError>(b, Damaged("index 1 names field 2, which the table does not have"));
  b = good;
  PutLE(b, 520 * 3 + 324, -1);
  ExpectDamaged<EVelmoraDBError>(b, Damaged("index 0 names field -1, which the table does not have"));
}

}  // namespace
