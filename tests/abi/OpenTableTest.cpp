// Opening and closing tables: open modes between openers, and schemas that
// must be refused, through the exports.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "abi/TableClient.h"

using namespace client;

namespace {

void PatchInt(const std::string &path, long offset, int32_t value) {
  std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
  f.seekp(offset);
  f.write(reinterpret_cast<const char *>(&value), 4);
}

void PatchBytes(const std::string &path, long offset, const std::vector<uint8_t> &bytes) {
  std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
  f.seekp(offset);
  f.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

class OpenTable : public ::testing::Test {
 protected:
  OpenTable() : t({{"ID", 'I'}, {"NAME", 'S', 10}}, {{"PK", {0}}, {"BYNAME", {1}}}), a(t.api()) {
    t.Post({"1", "one"});
    a.DLL_CloseTable(t.handle());
    user = a.DLL_Connect(55);
  }
  ~OpenTable() override { a.DLL_Disconnect(user); }

  // Opens the (possibly damaged) table with a second user.
  int32_t Open(int32_t mode = 34) {
    TightShortString path(t.schemaPath());
    return a.DLL_OpenTable(user, path.get(), mode);
  }

  void ExpectRefused(const std::string &message) {
    EXPECT_VELMORA_ERROR(Open(), EVelmoraDBError, message);
    EXPECT_EQ(0, a.DLL_CheckOpen(user)) << "a failed open leaves the table closed";
  }
  // The file-damage messages name the schema file.
  void ExpectDamaged(const std::string &what) {
    EXPECT_VELMORA_ERROR(Open(), EVelmoraDBError, "The schema file " + t.schemaPath() + " is damaged: " + what);
    EXPECT_EQ(0, a.DLL_CheckOpen(user)) << "a failed open leaves the table closed";
  }

  TableClient t;
  LibraryApi &a;
  int32_t user = 0;
};

}  // namespace

TEST_F(OpenTable, OpensOnTheFirstRecordOfIndexZero) {
  ASSERT_GT(Open(), 0);
  EXPECT_EQ(1, a.DLL_CheckOpen(user));
  EXPECT_EQ(0, Open()) << "an open table is not opened again";
  EXPECT_EQ(1, a.DLL_BOF(user));
  EXPECT_EQ(0, a.DLL_EOF(user));
  EXPECT_EQ(0, a.DLL_GetCurrentBookMarkData(user));
  a.DLL_CloseTable(user);
  EXPECT_EQ(0, a.DLL_CheckOpen(user));
}

TEST_F(OpenTable, MissingSchemaGivesANegativeResultAndKeepsTheName) {
  LibraryApi own(true);
  int32_t u = own.DLL_Connect(55);
  TightShortString missing(t.schemaPath() + ".gone");
  EXPECT_LT(own.DLL_OpenTable(u, missing.get(), 34), 0);
  EXPECT_EQ(0, own.DLL_CheckOpen(u));
  EXPECT_EQ("20/-1 nil :1/55 " + t.schemaPath() + ".gone :", own.Stats());
}

TEST_F(OpenTable, ModeThirtyFourExcludesASecondWriterInThisProcessAndAnother) {
  ASSERT_GT(Open(34), 0);
  int32_t other = a.DLL_Connect(56);
  TightShortString path(t.schemaPath());
  EXPECT_LT(a.DLL_OpenTable(other, path.get(), 34), 0);
  EXPECT_GT(a.DLL_OpenTable(other, path.get(), 64), 0) << "a reader that lets others write may open";
  a.DLL_Disconnect(other);

  pid_t pid = fork();
  if (pid == 0) {
    int code = 0;
    try {
      // The child's own opens are new openers of the files, whatever it inherited.
      int32_t u = a.DLL_Connect(1);
      TightShortString p(t.schemaPath());
      if (a.DLL_OpenTable(u, p.get(), 34) >= 0) code |= 1;
      if (a.DLL_OpenTable(u, p.get(), 64) <= 0) code |= 2;
    } catch (...) {
      code |= 4;
    }
    _exit(code);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(0, WEXITSTATUS(status)) << "bit 1: second writer admitted, 2: reader refused, 4: failure";
  a.DLL_CloseTable(user);
  EXPECT_GT(Open(34), 0) << "closing releases the table";
}

TEST_F(OpenTable, TooManyFieldsOrIndexes) {
  PatchInt(t.schemaPath(), 320, 27);
  ExpectRefused("Number of fields in table exceeds maximum");
  PatchInt(t.schemaPath(), 320, 2);
  PatchInt(t.schemaPath(), 324, 14);
  ExpectRefused("Number of indexes in table exceeds maximum");
  PatchInt(t.schemaPath(), 324, 2);
  EXPECT_GT(Open(), 0) << "the files of the failed opens were all released";
}

TEST_F(OpenTable, DamagedSchemasAreRefusedAndLeaveTheTableClosed) {
  const long field1 = 520 * 2, index0 = 520 * 3;
  PatchBytes(t.schemaPath(), field1 + 65, {'Q'});
  ExpectDamaged("field 1 has an unknown type (character code 81)");
  PatchBytes(t.schemaPath(), field1 + 65, {'S'});
  PatchInt(t.schemaPath(), field1 + 320, 0);
  ExpectDamaged("field 1 has an invalid size 0");
  PatchInt(t.schemaPath(), field1 + 320, 11);
  PatchInt(t.schemaPath(), field1 + 324, 12);
  ExpectDamaged("field 1 at offset 12 does not fit the record");
  PatchInt(t.schemaPath(), field1 + 324, 8);
  PatchInt(t.schemaPath(), 328, -4);
  ExpectDamaged("the record size -4 is not valid");
  PatchInt(t.schemaPath(), 328, 20);
  PatchInt(t.schemaPath(), index0 + 320, 11);
  ExpectDamaged("index 0 gives 11 key fields, where an index covers 0 to 10");
  PatchInt(t.schemaPath(), index0 + 320, 1);
  PatchInt(t.schemaPath(), index0 + 324, 2);
  ExpectDamaged("index 0 names field 2, which the table does not have");
  PatchInt(t.schemaPath(), index0 + 324, 0);
  PatchBytes(t.schemaPath(), index0, {200});
  ExpectDamaged("the name of index 0 claims 200 characters, more than its 63");
  PatchBytes(t.schemaPath(), index0, {2});
  std::filesystem::resize_file(t.schemaPath(), 520 * 3 + 100);
  EXPECT_VELMORA_ERROR(Open(), EInOutError, "Read beyond end of file");
  EXPECT_EQ(0, a.DLL_CheckOpen(user));
}

TEST_F(OpenTable, MissingCompanionFilesAreReportedAndReleased) {
  std::filesystem::rename(t.FilePath(".vrd"), t.FilePath(".bak"));
  EXPECT_IO_ERROR(Open(), "File not found", 2);
  EXPECT_EQ(0, a.DLL_CheckOpen(user));
  std::filesystem::rename(t.FilePath(".bak"), t.FilePath(".vrd"));
  std::filesystem::remove(t.FilePath(".vb1"));
  ExpectRefused("Error on index file opening - unable to open index files.");
}

TEST_F(OpenTable, TableWithoutIndexesIsRefused) {
  PatchInt(t.schemaPath(), 324, 0);
  ExpectRefused("Unable to open a table without an index");
}

TEST_F(OpenTable, OldVersionSchemaOpensWithoutFieldParameters) {
  // Give field 0 a yes/no parameter and a text, then mark the file as version 1.0.
  const long field0 = 520;
  PatchInt(t.schemaPath(), field0 + 328, 1);
  PatchInt(t.schemaPath(), field0 + 332, 1);
  PatchBytes(t.schemaPath(), field0 + 128, {3, 'a', 'b', 'c'});
  PatchInt(t.schemaPath(), field0 + 336, 1);
  ASSERT_GT(Open(), 0);
  uint8_t present = 9;
  uint8_t text[256];
  a.DLL_GetFieldParams(user, 0, 0, &present, text, 255);
  EXPECT_EQ(1, present);
  EXPECT_EQ("true", FromShortBuffer(text));
  a.DLL_GetFieldParams(user, 0, 0, &present, text, 2);
  EXPECT_EQ("tr", FromShortBuffer(text));
  a.DLL_GetFieldParams(user, 0, 1, &present, text, 255);
  EXPECT_EQ("abc", FromShortBuffer(text));
  a.DLL_GetFieldParams(user, 0, 4, &present, text, 255);
  EXPECT_EQ(0, present);
  EXPECT_EQ("", FromShortBuffer(text));
  a.DLL_CloseTable(user);
  PatchBytes(t.schemaPath(), 418, {0x81, 0, 0, 0, 0, 0});
  ASSERT_GT(Open(), 0);
  a.DLL_GetFieldParams(user, 0, 0, &present, text, 255);
  EXPECT_EQ(0, present);
  a.DLL_GetFieldParams(user, 0, 1, &present, text, 255);
  EXPECT_EQ(0, present);
}
