// Files of the Linux platform: opening, transfers, errors, and names matched
// without regard to letter case.
#include <gtest/gtest.h>

#include "support/ExpectError.h"
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <set>
#include <string>

#include <velmora/velmora.hpp>

#include "platform/Platform.h"
#include "support/TempDir.h"

namespace velmora::platform {
namespace {

using testing::TempDir;
using Names = std::set<std::string>;

TEST(IoErrorText, NamesTheKnownCodes) {
  EXPECT_EQ(IoErrorText(2), "File not found");
  EXPECT_EQ(IoErrorText(13), "File access denied");
  EXPECT_EQ(IoErrorText(28), "Disk full");
  EXPECT_EQ(IoErrorText(101), "Disk full");
  EXPECT_EQ(IoErrorText(100), "Read beyond end of file");
  EXPECT_EQ(IoErrorText(5), "I/O error 5");
  EXPECT_EQ(IoErrorText(27), "I/O error 27");
}

TEST(PlatformOpen, MissingFileGivesNotFoundAndCreatesNothing) {
  TempDir dir;
  int32_t error = 0;
  EXPECT_EQ(NativePlatform().Open(dir / "absent.vri", kModeSharedReadWrite, &error), nullptr);
  EXPECT_EQ(error, ENOENT);
  EXPECT_TRUE(dir.Names().empty());
}

TEST(PlatformOpen, InvalidModeWordsAreRefused) {
  TempDir dir;
  dir.Write("t.vri", "x");
  for (int32_t mode : {3, 35, 80, 96, 240, 256, 66 | 4, -1}) {
    int32_t error = 0;
    EXPECT_EQ(NativePlatform().Open(dir / "t.vri", mode, &error), nullptr) << mode;
    EXPECT_EQ(error, EINVAL) << mode;
  }
  // Every sharing value that exists is accepted.
  for (int32_t mode : {0, 16, 32, 48, 64}) {
    int32_t error = 0;
    auto file = NativePlatform().Open(dir / "t.vri", mode, &error);
    EXPECT_NE(file, nullptr) << mode;
  }
}

TEST(PlatformOpen, HandlesArePositiveAndDistinct) {
  TempDir dir;
  dir.Write("a", "");
  int32_t error = 0;
  auto first = NativePlatform().Open(dir / "a", 64, &error);
  auto second = NativePlatform().Open(dir / "a", 64, &error);
  ASSERT_TRUE(first && second);
  EXPECT_GT(first->Handle(), 0);
  EXPECT_GT(second->Handle(), 0);
  EXPECT_NE(first->Handle(), second->Handle());
}

TEST(PlatformOpen, DirectoryIsNotAFile) {
  TempDir dir;
  ASSERT_EQ(::mkdir((dir / "sub").c_str(), 0777), 0);
  int32_t error = 0;
  EXPECT_EQ(NativePlatform().Open(dir / "sub", 64, &error), nullptr);
  EXPECT_EQ(error, EISDIR);
  EXPECT_FALSE(NativePlatform().Exists(dir / "sub"));
  EXPECT_FALSE(NativePlatform().Delete(dir / "sub"));
}

TEST(PlatformTransfers, ReadAtEndIsAShortCountNotAnError) {
  TempDir dir;
  dir.Write("f", "0123456789");
  int32_t error = 0;
  auto file = NativePlatform().Open(dir / "f", 64, &error);
  ASSERT_TRUE(file);
  char buffer[16] = {};
  EXPECT_EQ(file->ReadAt(6, buffer, 10), 4u);
  EXPECT_EQ(std::string(buffer, 4), "6789");
  EXPECT_EQ(file->ReadAt(10, buffer, 10), 0u);
  EXPECT_EQ(file->ReadAt(500, buffer, 10), 0u);
  EXPECT_EQ(file->Size(), 10);
}

TEST(PlatformTransfers, WritesExtendAndTruncateCuts) {
  TempDir dir;
  auto file = NativePlatform().Create(dir / "f");
  EXPECT_EQ(file->WriteAt(4, "abcd", 4), 4u);
  EXPECT_EQ(file->Size(), 8);
  file->Truncate(6);
  file->Close();
  EXPECT_EQ(dir.Read("f"), std::string("\0\0\0\0ab", 6));
}

TEST(PlatformTransfers, AccessOfTheModeIsEnforced) {
  TempDir dir;
  dir.Write("f", "data");
  int32_t error = 0;
  auto reader = NativePlatform().Open(dir / "f", kAccessRead | kShareDenyNone, &error);
  ASSERT_TRUE(reader);
  EXPECT_IO_ERROR(reader->WriteAt(0, "x", 1), "I/O error 9", EBADF);
  EXPECT_IO_ERROR(reader->Truncate(0), "I/O error 9", EBADF);
  auto writer = NativePlatform().Open(dir / "f", kAccessWrite | kShareDenyNone, &error);
  ASSERT_TRUE(writer);
  char c;
  EXPECT_IO_ERROR(writer->ReadAt(0, &c, 1), "I/O error 9", EBADF);
  writer->WriteAt(0, "D", 1);
  EXPECT_EQ(dir.Read("f"), "Data");
}

// A mapped head is the file's bytes: another opener reads a store at once,
// a write by another opener shows in it, a child process that stops right
// after a store leaves it in the file, and cutting the file to the head's
// length keeps the mapping usable.
TEST(PlatformTransfers, AMappedHeadIsTheFilesOwnBytes) {
  TempDir dir;
  dir.Write("f", "countertail");
  int32_t error = 0;
  auto file = NativePlatform().Open(dir / "f", kModeSharedReadWrite, &error);
  auto other = NativePlatform().Open(dir / "f", kModeSharedReadWrite, &error);
  ASSERT_TRUE(file && other);
  EXPECT_EQ(nullptr, file->MapHead(12)) << "longer than the file";
  uint8_t *head = file->MapHead(8);
  ASSERT_NE(nullptr, head);
  EXPECT_EQ(0, std::memcmp(head, "counter", 7));
  EXPECT_EQ(head, file->MapHead(8)) << "mapped once";
  std::memcpy(head, "COUNTER!", 8);
  char got[9] = {};
  EXPECT_EQ(8u, other->ReadAt(0, got, 8));
  EXPECT_STREQ("COUNTER!", got);
  other->WriteAt(0, "w", 1);
  EXPECT_EQ('w', head[0]);
  file->Truncate(8);
  std::memcpy(head, "after-cu", 8);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    std::memcpy(head, "by-child", 8);
    ::_exit(0);
  }
  int status = 0;
  ASSERT_EQ(child, ::waitpid(child, &status, 0));
  file->Close();
  EXPECT_EQ(nullptr, file->MapHead(8)) << "closed";
  other->Close();
  EXPECT_EQ(dir.Read("f"), "by-child");
  auto reader = NativePlatform().Open(dir / "f", kAccessRead | kShareDenyNone, &error);
  ASSERT_TRUE(reader);
  EXPECT_EQ(nullptr, reader->MapHead(8)) << "a file open for reading only is not mapped for writing";
}

TEST(PlatformTransfers, ClosedFileRefusesTransfers) {
  TempDir dir;
  auto file = NativePlatform().Create(dir / "f");
  file->Close();
  file->Close();  // a second close does nothing
  char c;
  EXPECT_IO_ERROR(file->ReadAt(0, &c, 1), "I/O error 9", EBADF);
}

// A write that the system completes only in part is continued until the
// system reports why it cannot go on; nothing comes back as a short count.
TEST(PlatformTransfers, PartialWriteIsContinuedUntilTheSystemRefuses) {
  TempDir dir;
  auto file = NativePlatform().Create(dir / "f");
  pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::signal(SIGXFSZ, SIG_IGN);
    struct rlimit limit {
      50, 50
    };
    ::setrlimit(RLIMIT_FSIZE, &limit);
    char data[100];
    std::memset(data, 'w', sizeof data);
    try {
      file->WriteAt(0, data, sizeof data);
    } catch (const EInOutError &error) {
      ::_exit(std::string(error.what()) == "I/O error 27" && error.Code() == EFBIG ? 0 : 2);
    }
    ::_exit(1);  // the short write was not reported
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  // The part that fitted was written.
  EXPECT_EQ(dir.Read("f"), std::string(50, 'w'));
}

TEST(PlatformNames, OpenFindsAnotherSpellingOfTheName) {
  TempDir dir;
  dir.Write("orders.vrd", "abc");
  int32_t error = 0;
  auto file = NativePlatform().Open(dir / "ORDERS.VRD", kModeSharedReadWrite, &error);
  ASSERT_TRUE(file) << error;
  file->WriteAt(3, "d", 1);
  file->Close();
  EXPECT_EQ(dir.Names(), (Names{"orders.vrd"}));
  EXPECT_EQ(dir.Read("orders.vrd"), "abcd");
  EXPECT_TRUE(NativePlatform().Exists(dir / "Orders.Vrd"));
  EXPECT_FALSE(NativePlatform().Exists(dir / "orders.vr"));
}

TEST(PlatformNames, ExactSpellingWinsOverOthers) {
  TempDir dir;
  dir.Write("a.vrd", "lower");
  dir.Write("A.VRD", "upper");
  int32_t error = 0;
  auto file = NativePlatform().Open(dir / "A.VRD", 64, &error);
  ASSERT_TRUE(file);
  char buffer[5];
  ASSERT_EQ(file->ReadAt(0, buffer, 5), 5u);
  EXPECT_EQ(std::string(buffer, 5), "upper");
}

TEST(PlatformNames, CreateReplacesUnderAnySpellingWithoutASecondFile) {
  TempDir dir;
  dir.Write("orders.vrd", "old contents");
  auto file = NativePlatform().Create(dir / "ORDERS.VRD");
  EXPECT_EQ(file->Size(), 0);
  file->WriteAt(0, "new", 3);
  file->Close();
  EXPECT_EQ(dir.Names(), (Names{"orders.vrd"}));
  EXPECT_EQ(dir.Read("orders.vrd"), "new");
  // A name that matches nothing is created as given.
  NativePlatform().Create(dir / "Fresh.VA1")->Close();
  EXPECT_EQ(dir.Names(), (Names{"orders.vrd", "Fresh.VA1"}));
}

TEST(PlatformNames, CreateInAMissingDirectoryRaisesNotFound) {
  TempDir dir;
  EXPECT_IO_ERROR(NativePlatform().Create(dir / "none/x.vrd"), "File not found", ENOENT);
}

TEST(PlatformNames, DeleteFindsAnotherSpelling) {
  TempDir dir;
  dir.Write("orders.vrd", "x");
  dir.Write("keep.vrd", "x");
  EXPECT_TRUE(NativePlatform().Delete(dir / "ORDERS.VRD"));
  EXPECT_EQ(dir.Names(), (Names{"keep.vrd"}));
  EXPECT_FALSE(NativePlatform().Delete(dir / "ORDERS.VRD"));
}

TEST(PlatformNames, RenameFindsTheSourceUnderAnotherSpelling) {
  TempDir dir;
  dir.Write("orders.vrd", "payload");
  EXPECT_TRUE(NativePlatform().Rename(dir / "ORDERS.VRD", dir / "orders.vxx"));
  EXPECT_EQ(dir.Names(), (Names{"orders.vxx"}));
  EXPECT_EQ(dir.Read("orders.vxx"), "payload");
}

TEST(PlatformNames, RenameNeverReplacesADestinationUnderAnySpelling) {
  TempDir dir;
  dir.Write("a.vrd", "source");
  dir.Write("b.vrd", "target");
  EXPECT_FALSE(NativePlatform().Rename(dir / "a.vrd", dir / "b.vrd"));
  EXPECT_FALSE(NativePlatform().Rename(dir / "a.vrd", dir / "B.VRD"));
  EXPECT_EQ(dir.Names(), (Names{"a.vrd", "b.vrd"}));
  EXPECT_EQ(dir.Read("b.vrd"), "target");
  EXPECT_EQ(dir.Read("a.vrd"), "source");
  EXPECT_FALSE(NativePlatform().Rename(dir / "missing", dir / "c.vrd"));
  EXPECT_EQ(dir.Names(), (Names{"a.vrd", "b.vrd"}));
}

TEST(PlatformNames, RenameMayChangeOnlyTheLetterCase) {
  TempDir dir;
  dir.Write("orders.vrd", "x");
  EXPECT_TRUE(NativePlatform().Rename(dir / "orders.vrd", dir / "ORDERS.VRD"));
  EXPECT_EQ(dir.Names(), (Names{"ORDERS.VRD"}));
  // Renaming onto its own exact name is renaming onto an existing file.
  EXPECT_FALSE(NativePlatform().Rename(dir / "ORDERS.VRD", dir / "ORDERS.VRD"));
}

TEST(PlatformNames, CopyCopiesEveryByte) {
  TempDir dir;
  std::string bytes;
  for (int i = 0; i < 200000; ++i) bytes.push_back(static_cast<char>(i * 7));
  dir.Write("big.vrd", bytes);
  EXPECT_TRUE(NativePlatform().Copy(dir / "BIG.VRD", dir / "copy.vrd"));
  EXPECT_EQ(dir.Read("copy.vrd"), bytes);
  EXPECT_EQ(dir.Read("big.vrd"), bytes);
}

TEST(PlatformNames, CopyNeverReplacesADestinationUnderAnySpelling) {
  TempDir dir;
  dir.Write("a.vrd", "source");
  dir.Write("b.vrd", "target");
  EXPECT_FALSE(NativePlatform().Copy(dir / "a.vrd", dir / "B.VRD"));
  EXPECT_FALSE(NativePlatform().Copy(dir / "a.vrd", dir / "b.vrd"));
  EXPECT_EQ(dir.Names(), (Names{"a.vrd", "b.vrd"}));
  EXPECT_EQ(dir.Read("b.vrd"), "target");
  // A missing source creates nothing.
  EXPECT_FALSE(NativePlatform().Copy(dir / "missing", dir / "c.vrd"));
  EXPECT_EQ(dir.Names(), (Names{"a.vrd", "b.vrd"}));
}

TEST(PlatformNames, OpenFilesAreNeitherDeletedNorRenamed) {
  TempDir dir;
  dir.Write("t.vrd", "x");
  int32_t error = 0;
  auto file = NativePlatform().Open(dir / "T.VRD", kModeSharedReadWrite, &error);
  ASSERT_TRUE(file);
  EXPECT_FALSE(NativePlatform().Delete(dir / "t.vrd"));
  EXPECT_FALSE(NativePlatform().Rename(dir / "t.vrd", dir / "u.vrd"));
  // Copying an open file is allowed when its holder lets others read.
  EXPECT_TRUE(NativePlatform().Copy(dir / "t.vrd", dir / "c.vrd"));
  file->Close();
  EXPECT_TRUE(NativePlatform().Rename(dir / "t.vrd", dir / "u.vrd"));
  EXPECT_TRUE(NativePlatform().Delete(dir / "u.vrd"));
  EXPECT_EQ(dir.Names(), (Names{"c.vrd"}));
}

TEST(PlatformMemory, AllocateGivesUsableBlocks) {
  void *block = NativePlatform().Allocate(4096);
  ASSERT_NE(block, nullptr);
  std::memset(block, 0xAB, 4096);
  NativePlatform().Release(block);
  void *empty = NativePlatform().Allocate(0);
  EXPECT_NE(empty, nullptr);
  NativePlatform().Release(empty);
#ifndef __SANITIZE_ADDRESS__  // the address sanitizer aborts on such a request
  // An impossible request fails instead of raising.
  EXPECT_EQ(NativePlatform().Allocate(SIZE_MAX / 2), nullptr);
#endif
}

}  // namespace
}  // namespace velmora::platform
