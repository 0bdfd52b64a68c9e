// Sharing modes of the open-mode word, between openers in one process and
// between processes.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <vector>

#include <velmora/velmora.hpp>

#include "platform/Platform.h"
#include "platform/RecordFile.h"
#include "support/ExpectError.h"
#include "support/TempDir.h"

namespace velmora::platform {
namespace {

using testing::TempDir;

struct Pair {
  int32_t first;
  int32_t second;
  bool secondOpens;
};

// Access 0 read, 1 write, 2 both; sharing 0/16 none, 32 deny write,
// 48 deny read, 64 deny none.
const Pair kPairs[] = {
    {34, 34, false},                   // both write, both deny writing
    {34, 64, true},                    // a reader that lets others write
    {64, 34, true},                    // the reader holds no write access
    {66, 66, true},                    // data and index files
    {66, 34, false},                   // the newcomer denies the holder's writing
    {34, 66, false},                   // the holder denies the newcomer's writing
    {34, 32, false},                   // the newcomer denies the holder's writing
    {64, 32, true},                    // reading and denying writing beside a reader
    {32, 32, true},                    // two readers that deny writing
    {32, 33, false},                   // writing beside a deny-write holder
    {0, 64, false},                    // compatibility mode: nobody else
    {16, 64, false},                   // exclusive: nobody else
    {64, 16, false},                   // exclusive refused beside any holder
    {64, 0, false},  {48, 64, false},  // deny read: no readers
    {48, 65, true},                    // deny read: writers welcome
    {49, 65, true},  {65, 48, true},   // the holder only writes
    {64, 48, false},                   // the holder reads
    {65, 33, false},                   // the newcomer denies the holder's writing
};

TEST(PlatformSharing, PairsOfOpenersInOneProcess) {
  TempDir dir;
  dir.Write("t.vri", "schema");
  for (const Pair &pair : kPairs) {
    int32_t error = 0;
    auto first = NativePlatform().Open(dir / "t.vri", pair.first, &error);
    ASSERT_TRUE(first) << pair.first;
    error = 0;
    auto second = NativePlatform().Open(dir / "t.vri", pair.second, &error);
    EXPECT_EQ(second != nullptr, pair.secondOpens) << pair.first << " then " << pair.second;
    if (!pair.secondOpens) {
      EXPECT_EQ(error, EACCES) << pair.first << " then " << pair.second;
    }
  }
}

TEST(PlatformSharing, ConflictHoldsUnderAnySpellingOfTheName) {
  TempDir dir;
  dir.Write("orders.vri", "schema");
  int32_t error = 0;
  auto holder = NativePlatform().Open(dir / "ORDERS.VRI", 34, &error);
  ASSERT_TRUE(holder);
  EXPECT_EQ(NativePlatform().Open(dir / "orders.vri", 34, &error), nullptr);
  EXPECT_EQ(error, EACCES);
}

TEST(PlatformSharing, ClosingOrDestroyingReleasesTheFile) {
  TempDir dir;
  dir.Write("t.vri", "schema");
  int32_t error = 0;
  auto holder = NativePlatform().Open(dir / "t.vri", 34, &error);
  ASSERT_TRUE(holder);
  holder->Close();
  auto next = NativePlatform().Open(dir / "t.vri", 34, &error);
  ASSERT_TRUE(next);
  next.reset();  // destroyed without Close
  EXPECT_TRUE(NativePlatform().Open(dir / "t.vri", 34, &error));
}

TEST(PlatformSharing, RefusedOpenLeavesNoTrace) {
  TempDir dir;
  dir.Write("t.vri", "schema");
  int32_t error = 0;
  auto holder = NativePlatform().Open(dir / "t.vri", 34, &error);
  ASSERT_TRUE(holder);
  // A refused deny-write opener must not keep its markers: once the holder
  // is gone, a writer gets in.
  EXPECT_EQ(NativePlatform().Open(dir / "t.vri", 32, &error), nullptr);
  holder.reset();
  EXPECT_TRUE(NativePlatform().Open(dir / "t.vri", 66, &error));
}

TEST(PlatformSharing, RecordFileOpenRaisesAccessDenied) {
  TempDir dir;
  dir.Write("t.vri", "schema");
  RecordFile first(520), second(520);
  first.Bind(dir / "t.vri");
  second.Bind(dir / "T.VRI");
  first.Open(34);
  EXPECT_IO_ERROR(second.Open(34), "File access denied", EACCES);
  EXPECT_FALSE(second.IsOpen());
}

TEST(PlatformSharing, CreateDoesNotReplaceAFileHeldAgainstWriting) {
  TempDir dir;
  dir.Write("t.vrd", "precious");
  int32_t error = 0;
  auto holder = NativePlatform().Open(dir / "t.vrd", 34, &error);
  ASSERT_TRUE(holder);
  EXPECT_IO_ERROR(NativePlatform().Create(dir / "T.VRD"), "File access denied", EACCES);
  EXPECT_EQ(dir.Read("t.vrd"), "precious");
  holder.reset();
  // Beside shared openers the file is replaced.
  auto shared = NativePlatform().Open(dir / "t.vrd", kModeSharedReadWrite, &error);
  ASSERT_TRUE(shared);
  NativePlatform().Create(dir / "t.vrd")->Close();
  EXPECT_EQ(dir.Read("t.vrd"), "");
}

// Runs `child` in a forked process and returns its exit code.
template <typename Body>
int RunChild(Body child) {
  pid_t pid = ::fork();
  if (pid == 0) ::_exit(child());
  int status = 0;
  if (pid < 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

// The child's result: 0 when its open succeeded, else the error code.
int OpenInChild(const std::string &path, int32_t mode) {
  return RunChild([&] {
    int32_t error = 0;
    auto file = NativePlatform().Open(path, mode, &error);
    return file ? 0 : (error == 0 ? 255 : error);
  });
}

TEST(PlatformSharing, AnotherProcessIsRefusedOrAdmittedByTheModes) {
  TempDir dir;
  dir.Write("t.vri", "schema");
  int32_t error = 0;
  auto holder = NativePlatform().Open(dir / "t.vri", 34, &error);
  ASSERT_TRUE(holder);
  EXPECT_EQ(OpenInChild(dir / "t.vri", 34), EACCES);
  EXPECT_EQ(OpenInChild(dir / "T.VRI", 34), EACCES);
  EXPECT_EQ(OpenInChild(dir / "t.vri", 64), 0);
  EXPECT_EQ(OpenInChild(dir / "t.vri", 66), EACCES);
  holder->Close();
  EXPECT_EQ(OpenInChild(dir / "t.vri", 34), 0);
}

TEST(PlatformSharing, AHolderInAnotherProcessRefusesUsUntilItEnds) {
  TempDir dir;
  dir.Write("t.vri", "schema");
  int ready[2], release[2];
  ASSERT_EQ(::pipe(ready), 0);
  ASSERT_EQ(::pipe(release), 0);
  pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    int32_t error = 0;
    auto file = NativePlatform().Open(dir / "t.vri", 34, &error);
    char signal = file ? 'y' : 'n';
    ::close(release[1]);
    (void)!::write(ready[1], &signal, 1);
    (void)!::read(release[0], &signal, 1);
    ::_exit(0);  // the markers go with the process
  }
  char signal = 0;
  ASSERT_EQ(::read(ready[0], &signal, 1), 1);
  ASSERT_EQ(signal, 'y');
  int32_t error = 0;
  EXPECT_EQ(NativePlatform().Open(dir / "t.vri", 34, &error), nullptr);
  EXPECT_EQ(error, EACCES);
  EXPECT_TRUE(NativePlatform().Open(dir / "t.vri", 64, &error));
  EXPECT_FALSE(NativePlatform().Delete(dir / "t.vri"));
  (void)!::write(release[1], "x", 1);
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(NativePlatform().Open(dir / "t.vri", 34, &error));
  for (int fd : {ready[0], ready[1], release[0], release[1]}) ::close(fd);
}

// Many processes racing for the same deny-write open: exactly one gets in.
TEST(PlatformSharing, RacingProcessesAdmitExactlyOneWriter) {
  TempDir dir;
  dir.Write("t.vri", "schema");
  constexpr int kChildren = 8;
  int start[2], results[2], release[2];
  ASSERT_EQ(::pipe(start), 0);
  ASSERT_EQ(::pipe(results), 0);
  ASSERT_EQ(::pipe(release), 0);
  std::vector<pid_t> children;
  for (int i = 0; i < kChildren; ++i) {
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      // Only the parent keeps these ends, so that closing them reaches us.
      for (int fd : {start[1], results[0], release[1]}) ::close(fd);
      char c;
      (void)!::read(start[0], &c, 1);
      int32_t error = 0;
      auto file = NativePlatform().Open(dir / "t.vri", 34, &error);
      c = file ? 'y' : (error == EACCES ? 'n' : '?');
      (void)!::write(results[1], &c, 1);
      (void)!::read(release[0], &c, 1);  // hold the file until everyone has tried
      ::_exit(0);
    }
    children.push_back(pid);
  }
  ::close(start[0]);
  ::close(release[0]);
  std::string all(kChildren, 'x');
  ASSERT_EQ(::write(start[1], all.data(), kChildren), kChildren);
  std::string outcome;
  while (outcome.size() < kChildren) {
    char c;
    ASSERT_EQ(::read(results[0], &c, 1), 1);
    outcome.push_back(c);
  }
  ::close(release[1]);  // every child's read returns: they exit
  for (pid_t pid : children) ::waitpid(pid, nullptr, 0);
  for (int fd : {start[1], results[0], results[1]}) ::close(fd);
  EXPECT_EQ(std::count(outcome.begin(), outcome.end(), 'y'), 1) << outcome;
  EXPECT_EQ(std::count(outcome.begin(), outcome.end(), 'n'), kChildren - 1) << outcome;
}

}  // namespace
}  // namespace velmora::platform
