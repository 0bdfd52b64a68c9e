// Rebuilding tables and the table utilities, through the exports, on real files.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "abi/IndexFiles.h"
#include "abi/TableClient.h"
#include "support/FileBytes.h"

using namespace client;
using velmora::testing::ReadBytes;
namespace fs = std::filesystem;

namespace {

void Append(const std::string &path, const std::vector<uint8_t> &bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::app);
  out.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

class Rebuild : public ::testing::Test {
 protected:
  Rebuild() : t({{"ID", 'I'}, {"NAME", 'S', 6}}, {{"PK", {0}}, {"NAME", {1}}}), a(t.api()), h(t.handle()) {}

  void PostTen() {
    for (int i = 0; i < 10; ++i) t.Post({std::to_string(9 - i), std::string(1, static_cast<char>('a' + i))});
  }
  std::pair<int32_t, int32_t> Run() {
    int32_t kept = -5, before = -5;
    a.DLL_RebuildTable(h, &kept, &before);
    return {kept, before};
  }
  std::string LastError() {
    uint8_t text[256];
    a.DLL_InternalStatus(text, h, 1);
    return FromShortBuffer(text);
  }
  void ExpectSound(int32_t records) {
    for (const char *letter : {"a", "b"})
      EXPECT_EQ("", CheckIndexStructure(ReadIndexFiles(t.FilePath(std::string(".v") + letter + "1"),
                                                       t.FilePath(std::string(".v") + letter + "2")),
                                        records))
          << "index " << letter;
    EXPECT_EQ(records, a.DLL_TotalRecords(h));
  }

  TableClient t;
  LibraryApi &a;
  int32_t h;
};

}  // namespace

TEST_F(Rebuild, SoundTableKeepsEveryRecordAndLeavesTheOldFileBeside) {
  PostTen();
  auto data = ReadBytes(t.FilePath(".vrd"));
  EXPECT_EQ(std::make_pair(10, 10), Run());
  ExpectSound(10);
  EXPECT_EQ(data, ReadBytes(t.FilePath(".VXX")));
  EXPECT_EQ(data, ReadBytes(t.FilePath(".vrd"))) << "re-posted in file order";
  EXPECT_EQ((std::vector<std::string>{"0", "1", "2", "3", "4", "5", "6", "7", "8", "9"}), t.Walk(0));
  // Twice in a row: the first rebuild file is replaced.
  EXPECT_EQ(std::make_pair(10, 10), Run());
  ExpectSound(10);
}

TEST_F(Rebuild, TheKeptDataFileIsNoPartOfTheTableForTheUtilities) {
  PostTen();
  Run();
  a.DLL_CloseTable(h);
  std::string dir = fs::path(t.schemaPath()).parent_path().string();
  TightShortString source(t.schemaPath()), copy(dir + "/copy.vri"), none("");
  EXPECT_EQ(1, a.DLL_TableUtils(0, source.get(), copy.get(), 2));
  EXPECT_TRUE(fs::exists(dir + "/copy.vrd"));
  EXPECT_FALSE(fs::exists(dir + "/copy.VXX")) << "not copied";
  auto kept = ReadBytes(t.FilePath(".VXX"));
  EXPECT_EQ(1, a.DLL_TableUtils(0, source.get(), none.get(), 1));
  EXPECT_FALSE(fs::exists(t.FilePath(".vrd")));
  EXPECT_EQ(kept, ReadBytes(t.FilePath(".VXX"))) << "not deleted";
  EXPECT_LT(a.DLL_TableUtils(0, source.get(), none.get(), 1), 0) << "a missing table";
}

TEST_F(Rebuild, CorruptRecordsAndDuplicateKeysAreDropped) {
  PostTen();
  auto bad = t.Make({"50", "bad"});
  bad[1] = 7;  // a null flag that is neither 0 nor 1
  Append(t.FilePath(".vrd"), bad);
  Append(t.FilePath(".vrd"), t.Make({"3", "dup"}));
  Append(t.FilePath(".vrd"), {1, 2, 3});  // a trailing piece shorter than a record
  EXPECT_EQ(std::make_pair(10, 12), Run());
  EXPECT_EQ("Insertion Error. Key violation in Velmora.", LastError());
  ExpectSound(10);
  KeyTexts three{"3"};
  ASSERT_EQ(1, a.DLL_FindKeyRecord(h, three.data(), three.high()));
  EXPECT_EQ("g", *t.Get(t.Current(), 1)) << "of two equal keys the first in file order is kept";
}

TEST_F(Rebuild, BadNullFlagIsReportedAsACorruptRecord) {
  PostTen();
  auto bad = t.Make({"50", "bad"});
  bad[0] = 7;
  Append(t.FilePath(".vrd"), bad);
  EXPECT_EQ(std::make_pair(10, 11), Run());
  EXPECT_EQ("Rebuild error - corrupt record", LastError());
}

TEST_F(Rebuild, EmptyTable) {
  EXPECT_EQ(std::make_pair(0, 0), Run());
  EXPECT_TRUE(a.DLL_RangeEmpty(h));
  ExpectSound(0);
}

TEST_F(Rebuild, ATableWhoseIndexLostItsEntriesIsRepaired) {
  PostTen();
  a.DLL_CloseTable(h);
  // Reset index 1 to an empty index behind the library's back.
  std::vector<uint8_t> emptyLeaf(96, 0);
  for (int b = 0; b < 3; ++b)
    emptyLeaf[32 * b + 4] = emptyLeaf[32 * b + 5] = emptyLeaf[32 * b + 6] = emptyLeaf[32 * b + 7] = 0xFF;
  velmora::testing::WriteBytes(t.FilePath(".vb1"), emptyLeaf);
  std::vector<int32_t> dir{2, -1};
  std::ofstream(t.FilePath(".vb2"), std::ios::binary).write(reinterpret_cast<const char *>(dir.data()), 8);
  TightShortString path(t.schemaPath());
  ASSERT_GT(a.DLL_OpenTable(h, path.get(), 34), 0);
  EXPECT_EQ(std::make_pair(10, 10), Run());
  ExpectSound(10);
  a.DLL_ChangeIndex(h, 1);
  EXPECT_EQ(10u, t.Walk(1).size());
}

class TableUtils : public ::testing::Test {
 protected:
  TableUtils() : t({{"ID", 'I'}}, {{"PK", {0}}, {"SECOND", {0}}}, "orders.vri"), a(t.api()) {
    t.Post({"1"});
    a.DLL_CloseTable(t.handle());
  }
  int32_t Utility(const std::string &dest, int32_t op) {
    TightShortString source(t.schemaPath());
    TightShortString target(dest);
    return a.DLL_TableUtils(0, source.get(), target.get(), op);
  }
  std::vector<std::string> Files(const std::string &base) {
    std::vector<std::string> out;
    for (const char *ext : {".vri", ".vrd", ".va1", ".va2", ".vb1", ".vb2"})
      if (fs::exists(base + ext)) out.push_back(ext);
    return out;
  }
  std::string Base() { return t.FilePath(""); }
  std::string Dir() { return fs::path(t.schemaPath()).parent_path().string(); }

  TableClient t;
  LibraryApi &a;
  const std::vector<std::string> all{".vri", ".vrd", ".va1", ".va2", ".vb1", ".vb2"};
};

TEST_F(TableUtils, CopyRenameAndDelete) {
  EXPECT_EQ(1, Utility(Dir() + "/copy.vri", 2));
  EXPECT_EQ(all, Files(Dir() + "/copy"));
  EXPECT_EQ(ReadBytes(Base() + ".vrd"), ReadBytes(Dir() + "/copy.vrd"));
  EXPECT_EQ(1, Utility(Dir() + "/moved.vri", 0));
  EXPECT_TRUE(Files(Base()).empty());
  EXPECT_EQ(all, Files(Dir() + "/moved"));
  TightShortString moved(Dir() + "/moved.vri");
  EXPECT_EQ(1, a.DLL_TableUtils(0, moved.get(), nullptr, 1));
  EXPECT_TRUE(Files(Dir() + "/moved").empty());
}

TEST_F(TableUtils, NeverOverwritesUnderAnySpelling) {
  std::ofstream(Dir() + "/COPY.VRD") << "precious";
  EXPECT_EQ(-1, Utility(Dir() + "/copy.vri", 2));
  EXPECT_FALSE(fs::exists(Dir() + "/copy.vri"));
  EXPECT_EQ(-1, Utility(Dir() + "/copy.vri", 0));
  EXPECT_EQ(all, Files(Base()));
  auto kept = ReadBytes(Dir() + "/COPY.VRD");
  EXPECT_EQ("precious", std::string(kept.begin(), kept.end()));
}

TEST_F(TableUtils, RenameWithAMissingIndexFileChangesNothing) {
  fs::remove(Base() + ".va1");
  EXPECT_EQ(-1, Utility(Dir() + "/moved.vri", 0));
  EXPECT_EQ((std::vector<std::string>{".vri", ".vrd", ".va2", ".vb1", ".vb2"}), Files(Base()));
  EXPECT_TRUE(Files(Dir() + "/moved").empty());
}

TEST_F(TableUtils, ResetAndCreate) {
  EXPECT_EQ(-1, Utility("", 4)) << "create refuses existing files";
  EXPECT_EQ(1, Utility("", 3));
  EXPECT_EQ(0u, ReadBytes(Base() + ".vrd").size());
  EXPECT_EQ(96u, ReadBytes(Base() + ".vb1").size());
  EXPECT_EQ((std::vector<uint8_t>{2, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF}), ReadBytes(Base() + ".vb2"));
  for (const char *ext : {".vrd", ".va1", ".va2", ".vb1", ".vb2"}) fs::remove(Base() + ext);
  auto schema = ReadBytes(Base() + ".vri");
  EXPECT_EQ(1, Utility("", 4)) << "create works from the schema alone";
  EXPECT_EQ(all, Files(Base()));
  EXPECT_EQ(schema, ReadBytes(Base() + ".vri")) << "the schema file is never touched";
  TightShortString path(t.schemaPath());
  EXPECT_GT(a.DLL_OpenTable(t.handle(), path.get(), 34), 0);
  EXPECT_EQ(0, a.DLL_TotalRecords(t.handle()));
}

TEST_F(TableUtils, UnknownCodesAndTablesHeldOpen) {
  EXPECT_EQ(-1, Utility("", 5));
  EXPECT_EQ(-1, Utility("", -2));
  EXPECT_EQ(all, Files(Base()));
  TightShortString path(t.schemaPath());
  ASSERT_GT(a.DLL_OpenTable(t.handle(), path.get(), 34), 0);
  for (int op : {0, 1, 3, 4}) EXPECT_LT(Utility(Dir() + "/other.vri", op), 0) << op;
  EXPECT_EQ(1, Utility(Dir() + "/other.vri", 2)) << "a copy only reads";
  EXPECT_EQ(all, Files(Base()));
}
