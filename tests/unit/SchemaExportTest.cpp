// The schema operations through the export, called as a client calls them.
#include <velmora/velmora.h>

#include <gtest/gtest.h>

#include <cstring>

#include "DLL_Comm/Registry.h"
#include "SchemaTestSupport.h"
#include "Velmoradb/VelmoraDB.h"

using namespace velmora;
using namespace schema_test;

namespace {

// The same export seen by a caller that leaves garbage above the operation byte.
using WideOperation = int32_t(VR_CALL *)(int32_t, uint32_t, const uint8_t *, TFieldDefList *, TIndexDefList *);

std::vector<uint8_t> Short(const std::string &text) {
  // Exactly length + 1 bytes, as a caller's constant may be.
  std::vector<uint8_t> s(text.size() + 1);
  s[0] = static_cast<uint8_t>(text.size());
  std::memcpy(s.data() + 1, text.data(), text.size());
  return s;
}

void SetName(uint8_t *dest, const std::string &text) {
  dest[0] = static_cast<uint8_t>(text.size());
  std::memcpy(dest + 1, text.data(), text.size());
}

class SchemaExportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    h = DLL_Connect(17);
    std::memset(defs, 0, sizeof defs);
    SetName(defs[0].Name, "Id");
    defs[0].FieldType = 'I';
    SetName(defs[1].Name, "Name");
    defs[1].FieldType = 'S';
    defs[1].Len = 20;
    defs[1].HasParam1 = 1;
    SetName(defs[1].Param1, "x");
    std::memset(idx, 0, sizeof idx);
    SetName(idx[0].Name, "ById");
    idx[0].FieldCount = 1;
    idx[0].FieldNos[0] = 0;
  }
  void TearDown() override { DLL_Disconnect(h); }

  TVRVelmoraDB &Table() { return UserRegistry::Instance().TableOf(h); }

  TempDir dir;
  int32_t h = 0;
  TFieldDescriptor defs[2];
  TIndexDef idx[1];
};

TEST_F(SchemaExportTest, WritesAndReadsWithTheClientsOwnStructures) {
  ASSERT_EQ(DLL_CheckOpen(h), 0);
  TFieldDefList fields{2, defs};
  TIndexDefList indexes{1, idx};
  auto name = Short(dir / "client");
  EXPECT_EQ(DLL_VRIFileOps(h, 0, name.data(), &fields, &indexes), 3);
  EXPECT_EQ(dir.Names(), (std::set<std::string>{"client.vri", "client.vrd", "client.va1", "client.va2"}));
  FieldBlockSpec nameBlock{"Name", 'S', 21, 8, 0, {0, 1, 0, 0}, {"x", "", ""}};
  EXPECT_EQ(ReadBytes(dir / "client.vri"), Concat({HeaderBlock(2, 1, 32), PlainField("Id", 'I', 4, 4),
                                                   FieldBlock(nameBlock), IndexBlock("ById", {0})}));

  TFieldDescriptor back[2];
  std::memset(back, 0x11, sizeof back);
  TIndexDef backIdx[1] = {};
  backIdx[0].FieldCount = 1;
  TFieldDefList backFields{2, back};
  TIndexDefList backIndexes{1, backIdx};
  auto schemaName = Short(dir / "client.vri");
  EXPECT_EQ(DLL_VRIFileOps(h, 1, schemaName.data(), &backFields, &backIndexes), 3);
  EXPECT_EQ(+back[1].Len, 20);
  EXPECT_EQ(+back[1].Offset, 8);
  EXPECT_EQ(+back[1].HasParam1, 1);
  EXPECT_EQ(back[1].Param1[1], 'x');
  EXPECT_EQ(backIdx[0].Name[0], 4);
  EXPECT_EQ(Table().HeldSchemaOps(), nullptr);
}

TEST_F(SchemaExportTest, OnlyTheLowByteOfTheOperationCounts) {
  TFieldDefList fields{2, defs};
  TIndexDefList indexes{1, idx};
  auto wide = reinterpret_cast<WideOperation>(reinterpret_cast<void (*)()>(&DLL_VRIFileOps));
  auto name = Short(dir / "wide.vri");
  // 0x100: the byte is 0, so this writes.
  EXPECT_EQ(wide(h, 0xABCD0100u, name.data(), &fields, &indexes), 3);
  EXPECT_EQ(ReadBytes(dir / "wide.vrd"), Bytes{});
  std::memset(defs, 0, sizeof defs);
  std::memset(idx[0].Name, 0, sizeof idx[0].Name);
  EXPECT_EQ(wide(h, 0xFFFFFF01u, name.data(), &fields, &indexes), 3);
  EXPECT_EQ(+defs[1].Len, 20);
  EXPECT_EQ(idx[0].Name[0], 4);
}

TEST_F(SchemaExportTest, RefusesBadHandlesAndMissingArguments) {
  TFieldDefList fields{2, defs};
  TIndexDefList indexes{1, idx};
  auto name = Short(dir / "t");
  EXPECT_VELMORA_ERROR(DLL_VRIFileOps(0, 0, name.data(), &fields, &indexes), EUserAccessError,
                       "Invalid user handle for Velmora access");
  EXPECT_VELMORA_ERROR(DLL_VRIFileOps(h, 0, nullptr, &fields, &indexes), EVelmoraDBError,
                       "DLL_VRIFileOps needs a schema file name");
  EXPECT_VELMORA_ERROR(DLL_VRIFileOps(h, 0, name.data(), nullptr, &indexes), EVelmoraDBError,
                       "DLL_VRIFileOps needs a field definition list");
  EXPECT_VELMORA_ERROR(DLL_VRIFileOps(h, 1, name.data(), &fields, nullptr), EVelmoraDBError,
                       "DLL_VRIFileOps needs an index definition list");
  int32_t gone = DLL_Connect(18);
  DLL_Disconnect(gone);
  EXPECT_THROW(DLL_VRIFileOps(gone, 0, name.data(), &fields, &indexes), EUserAccessError);
  EXPECT_TRUE(dir.Names().empty());
}

// Records whether the user's table held the schema operations while files were created.
class WatchingPlatform : public StrictConversions {
 public:
  explicit WatchingPlatform(int32_t handle) : handle_(handle) {}
  std::unique_ptr<platform::File> Create(const std::string &path) override {
    if (UserRegistry::Instance().TableOf(handle_).HeldSchemaOps() != nullptr) ++heldDuringCreate;
    return StrictConversions::Create(path);
  }
  int heldDuringCreate = 0;

 private:
  int32_t handle_;
};

TEST_F(SchemaExportTest, TheTableHoldsTheSchemaOperationsOnlyDuringTheCall) {
  TFieldDefList fields{2, defs};
  TIndexDefList indexes{1, idx};
  auto name = Short(dir / "held");
  {
    WatchingPlatform watching(h);
    EXPECT_EQ(DLL_VRIFileOps(h, 0, name.data(), &fields, &indexes), 3);
    EXPECT_EQ(watching.heldDuringCreate, 4);  // schema, data, leaf and directory file
  }
  EXPECT_EQ(Table().HeldSchemaOps(), nullptr);
  // Also after a failure.
  auto missing = Short(dir / "missing.vri");
  EXPECT_VELMORA_ERROR(DLL_VRIFileOps(h, 1, missing.data(), &fields, &indexes), EInOutError, "File not found");
  EXPECT_EQ(Table().HeldSchemaOps(), nullptr);
}

}  // namespace
