#include <gtest/gtest.h>

#include <cstring>

#include "SchemaTestSupport.h"
#include "VRcomm/DefLists.h"
#include "VRcomm/FileNames.h"
#include "VRcomm/ShortString.h"

using namespace velmora;
using namespace schema_test;

namespace {

std::string Short(const uint8_t *s) { return FromShort(s); }

TEST(FieldDefList, SetFieldFillsByTheTypeRules) {
  velmora::TFieldDefList list;
  list.SetField(true, 99, "Name", 'S', 30, 8, 0x81, "p1", "p2", "p3");
  list.SetField(true, 99, "Price", 'C', 30, 40, 0, "", "$5", "9");
  ASSERT_EQ(list.Count(), 2);

  TFieldDescriptor d;
  list.GetField(0, d);
  EXPECT_EQ(Short(d.Name), "Name");
  EXPECT_EQ(d.FieldType, 'S');
  EXPECT_EQ(+d.Len, 30);
  EXPECT_EQ(+d.Offset, 8);
  EXPECT_EQ(d.FieldFlags, 0x81);
  EXPECT_EQ(+d.HasParam0, 1);  // bit 7 cleared
  EXPECT_EQ(+d.HasParam1, 1);
  EXPECT_EQ(Short(d.Param1), "p1");
  // Parameters 2 and 3 are kept only for numeric types.
  EXPECT_EQ(+d.HasParam2, 0);
  EXPECT_EQ(+d.HasParam3, 0);
  EXPECT_EQ(d.Param2[0], 0);
  EXPECT_EQ(d.Param3[0], 0);

  list.GetField(1, d);
  EXPECT_EQ(+d.Len, 0);  // kept for String fields only
  EXPECT_EQ(+d.HasParam0, 0);
  EXPECT_EQ(+d.HasParam1, 0);
  EXPECT_EQ(+d.HasParam2, 1);
  EXPECT_EQ(Short(d.Param2), "$5");
  EXPECT_EQ(+d.HasParam3, 1);
  EXPECT_EQ(Short(d.Param3), "9");
  // The C view sees the same storage.
  EXPECT_EQ(list.AsC()->Count, 2);
  EXPECT_EQ(+list.AsC()->Items[1].Offset, 40);
}

TEST(FieldDefList, ReplacingZeroFillsTheWholeDescriptor) {
  TFieldDescriptor items[1];
  std::memset(items, 0x5A, sizeof items);
  ::TFieldDefList c{1, items};
  velmora::TFieldDefList list(&c);
  list.SetField(false, 0, "B", 'B', 12, 20, 0, "t", "two", "three");
  Bytes expected(sizeof(TFieldDescriptor), 0);
  expected[0] = 1;
  expected[1] = 'B';
  expected[256] = 'B';
  expected[259] = 20;
  expected[265] = 1;  // HasParam1
  expected[278] = 1;
  expected[279] = 't';
  const auto *raw = reinterpret_cast<const uint8_t *>(&items[0]);
  EXPECT_EQ(Bytes(raw, raw + sizeof(TFieldDescriptor)), expected);
}

TEST(FieldDefList, OutOfBoundsAndAppendingToAClientListAreListErrors) {
  TFieldDescriptor items[2] = {};
  ::TFieldDefList c{2, items};
  velmora::TFieldDefList list(&c);
  TFieldDescriptor d;
  EXPECT_VELMORA_ERROR(list.GetField(2, d), EListError, "List index out of bounds (2)");
  EXPECT_VELMORA_ERROR(list.GetField(-1, d), EListError, "List index out of bounds (-1)");
  EXPECT_VELMORA_ERROR(list.SetField(false, 5, "x", 'I', 0, 0, 0, "", "", ""), EListError,
                       "List index out of bounds (5)");
  EXPECT_VELMORA_ERROR(list.SetField(true, 0, "x", 'I', 0, 0, 0, "", "", ""), EListError,
                       "List index out of bounds (2)");
  EXPECT_EQ(c.Count, 2);
  EXPECT_EQ(items[0].Name[0], 0);
  EXPECT_VELMORA_ERROR(velmora::TFieldDefList(static_cast<::TFieldDefList *>(nullptr)), EVelmoraDBError,
                       "No field definition list was given");
}

TEST(IndexDefList, AppendingAndReplacing) {
  velmora::TIndexDefList list;
  list.SetIndex(true, 0, {2, 0}, "ByName");
  list.SetIndex(true, 1, {1}, "ById");
  ASSERT_EQ(list.Count(), 2);
  EXPECT_EQ(list.GetName(0), "ByName");
  EXPECT_EQ(list.GetFieldNos(0), (std::vector<int32_t>{2, 0}));
  // Replacing with a shorter list keeps the entries beyond it.
  list.SetIndex(false, 0, {5}, "N");
  EXPECT_EQ(list.GetName(0), "N");
  EXPECT_EQ(list.GetFieldNos(0), (std::vector<int32_t>{5, 0}));
  // A longer list than the entry holds is refused and changes nothing.
  EXPECT_VELMORA_ERROR(list.SetIndex(false, 1, {1, 2}, "Other"), EListError, "List index out of bounds (1)");
  EXPECT_EQ(list.GetName(1), "ById");
  EXPECT_EQ(list.GetFieldNos(1), (std::vector<int32_t>{1}));
  // Appending must name the new position, and holds at most 10 fields.
  EXPECT_VELMORA_ERROR(list.SetIndex(true, 0, {1}, "X"), EListError, "List index out of bounds (0)");
  EXPECT_VELMORA_ERROR(list.SetIndex(true, 2, std::vector<int32_t>(11, 0), "X"), EListError,
                       "List index out of bounds (10)");
  EXPECT_EQ(list.Count(), 2);
  EXPECT_VELMORA_ERROR(list.GetName(2), EListError, "List index out of bounds (2)");
  EXPECT_VELMORA_ERROR(list.SetIndex(false, -1, {}, "X"), EListError, "List index out of bounds (-1)");
}

TEST(IndexDefList, NamesAreStoredWholeUpTo255Characters) {
  TIndexDef items[1] = {};
  items[0].FieldCount = 1;
  ::TIndexDefList c{1, items};
  velmora::TIndexDefList list(&c);
  list.SetIndex(false, 0, {}, "ab");
  std::string name(255, 'n');
  name[254] = 'Z';
  list.SetIndex(false, 0, {}, name);
  EXPECT_EQ(list.GetName(0), name);
  EXPECT_EQ(items[0].Name[0], 255);
  list.SetIndex(false, 0, {}, std::string(300, 'q'));
  EXPECT_EQ(list.GetName(0), std::string(255, 'q'));
  // A client structure never grows.
  EXPECT_VELMORA_ERROR(list.SetIndex(true, 1, {0}, "x"), EListError, "List index out of bounds (1)");
  EXPECT_EQ(c.Count, 1);
}

TEST(IndexDefList, ClientEntryWithImpossibleFieldCountIsRefused) {
  TIndexDef items[1] = {};
  items[0].FieldCount = 11;
  ::TIndexDefList c{1, items};
  velmora::TIndexDefList list(&c);
  EXPECT_VELMORA_ERROR(list.GetFieldNos(0), EVelmoraDBError,
                       "Index definition 0 gives 11 key fields; an index has room for 0 to 10");
  items[0].FieldCount = -3;
  EXPECT_VELMORA_ERROR(list.GetName(0), EVelmoraDBError,
                       "Index definition 0 gives -3 key fields; an index has room for 0 to 10");
  EXPECT_VELMORA_ERROR(velmora::TIndexDefList(static_cast<::TIndexDefList *>(nullptr)), EVelmoraDBError,
                       "No index definition list was given");
}

TEST(FileNames, ReplaceExtensionLooksOnlyAtTheLastNameComponent) {
  EXPECT_EQ(ReplaceExtension("orders.vri", ".vrd"), "orders.vrd");
  EXPECT_EQ(ReplaceExtension("orders", ".vri"), "orders.vri");
  EXPECT_EQ(ReplaceExtension("orders.", ".vri"), "orders.vri");
  EXPECT_EQ(ReplaceExtension("a.b.c", ".va1"), "a.b.va1");
  EXPECT_EQ(ReplaceExtension("/data/v1.2/orders", ".vri"), "/data/v1.2/orders.vri");
  EXPECT_EQ(ReplaceExtension("/data/v1.2/orders.dat", ".vri"), "/data/v1.2/orders.vri");
  EXPECT_EQ(ReplaceExtension("./orders", ".vrd"), "./orders.vrd");
  EXPECT_EQ(ReplaceExtension("", ".vri"), ".vri");
#ifdef _WIN32
  EXPECT_EQ(ReplaceExtension("C:\\data.x\\orders", ".vri"), "C:\\data.x\\orders.vri");
  EXPECT_EQ(ReplaceExtension("C:orders", ".vri"), "C:orders.vri");
#else
  // A backslash is an ordinary character of a file name here.
  EXPECT_EQ(ReplaceExtension("data.x\\orders", ".vri"), "data.vri");
#endif
}

// Each file's extension is spelled as the file is created: the schema, data,
// leaf and directory files in lower case, the side file and the rebuild's copy
// in upper case.
TEST(FileNames, EveryFileOfATableIsNamedAfterItsSchemaFile) {
  EXPECT_EQ("/data/ORDERS.vri", SchemaFileName("/data/ORDERS"));
  EXPECT_EQ("/data/ORDERS.vri", SchemaFileName("/data/ORDERS.xyz"));
  EXPECT_EQ("/data/ORDERS.vrd", DataFileName("/data/ORDERS.vri"));
  EXPECT_EQ("/data/ORDERS.VRJ", JournalFileName("/data/ORDERS.vri"));
  EXPECT_EQ("/data/ORDERS.VXX", BackupFileName("/data/ORDERS.vrd"));
}

TEST(FileNames, IndexFilesCarryTheIndexLetterAndOneForTheLeafTwoForTheDirectory) {
  EXPECT_EQ("/data/ORDERS.va1", LeafFileName("/data/ORDERS.vri", 0));
  EXPECT_EQ("/data/ORDERS.vb1", LeafFileName("/data/ORDERS.xyz", 1));
  EXPECT_EQ("/data/ORDERS.vm1", LeafFileName("/data/ORDERS", 12));
  EXPECT_EQ("/data.old/ORDERS.vc1", LeafFileName("/data.old/ORDERS", 2));
  EXPECT_EQ("a.b.va1", LeafFileName("a.b.c", 0));
  EXPECT_EQ("/x/ORDERS.va2", DirectoryFileName("/x/ORDERS.vri", 0));
  EXPECT_EQ("/x.y/ORDERS.vm2", DirectoryFileName("/x.y/ORDERS", 12));
}

}  // namespace
