// Every posting operation is all or nothing: a process stopped at any write
// call of a workload leaves a table that opens, walks soundly in every index
// and holds every operation that returned plus all or nothing of the one in
// flight; a write that fails (once, or from then on) leaves the table as it
// was, and the next call works.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

#include <velmora/velmora.h>
#include <velmora/velmora.hpp>

#include "support/CountingPlatform.h"
#include "support/TempDir.h"
#include "unit/SharedTableSupport.h"

namespace velmora::testing {
namespace {

struct Outcome {
  bool finished = false;
  int done = 0;  // operations that returned before the stop
};

// Runs the workload in a child process that stops at the n-th write call.
Outcome RunChild(const std::string &path, int32_t mode, const std::vector<Op> &ops, int64_t n) {
  int pipeFds[2];
  if (::pipe(pipeFds) != 0) throw std::runtime_error("pipe");
  pid_t pid = ::fork();
  if (pid == 0) {
    ::close(pipeFds[0]);
    ::alarm(20);
    CountingPlatform platform;
    platform.Arm(CountingPlatform::Fault::kExit, n);
    try {
      Client client;
      if (client.Open(path, mode) <= 0) ::_exit(2);
      for (const Op &op : ops) {
        client.Apply(op);
        if (::write(pipeFds[1], "x", 1) != 1) ::_exit(4);
      }
    } catch (...) {
      ::_exit(3);
    }
    ::_exit(0);
  }
  ::close(pipeFds[1]);
  Outcome outcome;
  char c;
  while (::read(pipeFds[0], &c, 1) == 1) ++outcome.done;
  ::close(pipeFds[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  if (!WIFEXITED(status)) throw std::runtime_error("child ended by signal " + std::to_string(WTERMSIG(status)));
  int code = WEXITSTATUS(status);
  if (code == 0)
    outcome.finished = true;
  else if (code != CountingPlatform::kExitCode)
    throw std::runtime_error("child failed with exit code " + std::to_string(code));
  return outcome;
}

class CrashSafety : public ::testing::TestWithParam<int32_t> {};

TEST_P(CrashSafety, EveryWriteCallOfAWorkloadIsASafeStoppingPoint) {
  std::vector<Model> models;
  const std::vector<Op> ops = MakeWorkload(7, 28, 1, Model{}, &models, true);
  int killPoints = 0, notOpening = 0, unsound = 0, lost = 0;
  for (int64_t n = 1; n < 2000; ++n) {
    TempDir dir;
    const std::string path = dir / "t.vri";
    CreateTable(path);
    Outcome outcome = RunChild(path, GetParam(), ops, n);
    if (outcome.finished) break;
    ++killPoints;
    Client check;
    if (check.Open(path, 34) <= 0) {
      ++notOpening;
      ADD_FAILURE() << "stop at write " << n << ": the table does not open: " << check.ErrorText();
      continue;
    }
    Model contents;
    std::string problem = Soundness(check, &contents);
    if (!problem.empty()) {
      ++unsound;
      ADD_FAILURE() << "stop at write " << n << ": " << problem;
      continue;
    }
    const size_t k = static_cast<size_t>(outcome.done);
    if (contents != models[k] && (k + 1 >= models.size() || contents != models[k + 1])) {
      ++lost;
      ADD_FAILURE() << "stop at write " << n << " after " << k << " operations: the table holds neither state";
    }
  }
  EXPECT_GT(killPoints, 50);
  std::printf("mode %d: %d stopping points, %d tables not opening, %d unsound, %d with lost operations\n", GetParam(),
              killPoints, notOpening, unsound, lost);
}

INSTANTIATE_TEST_SUITE_P(OpenModes, CrashSafety, ::testing::Values(18, 34, 64));

class FailedWrites : public ::testing::TestWithParam<CountingPlatform::Fault> {};

TEST_P(FailedWrites, AFailedOperationHasNoEffectAndTheNextCallWorks) {
  std::vector<Model> models;
  const std::vector<Op> ops = MakeWorkload(11, 24, 1, Model{}, &models, true);
  int failures = 0;
  for (int64_t n = 1; n < 2000; ++n) {
    TempDir dir;
    const std::string path = dir / "t.vri";
    CreateTable(path);
    CountingPlatform platform;
    bool failed = false;
    {
      Client client;
      ASSERT_GT(client.Open(path, 34), 0);
      platform.Arm(GetParam(), n);
      for (size_t k = 0; k < ops.size(); ++k) {
        try {
          client.Apply(ops[k]);
          continue;
        } catch (const Exception &) {
          failed = true;
        }
        ++failures;
        platform.Arm(CountingPlatform::Fault::kNone, 0);
        Model contents;
        ASSERT_EQ("", Soundness(client, &contents)) << "write " << n << ", operation " << k;
        ASSERT_TRUE(contents == models[k]) << "write " << n << ": the failed operation " << k << " left a trace";
        ASSERT_NO_THROW(client.Apply(ops[k])) << "write " << n << ": the call after the failure";
        ASSERT_EQ("", Soundness(client, &contents));
        ASSERT_TRUE(contents == models[k + 1]);
      }
    }
    if (!failed) break;
    // What the files hold is what a new opener sees.
    Client reopened;
    ASSERT_GT(reopened.Open(path, 64), 0);
    Model contents;
    ASSERT_EQ("", Soundness(reopened, &contents));
    EXPECT_TRUE(contents == models.back());
  }
  EXPECT_GT(failures, 50);
}

TEST(DamagedTable, AnOpenThatAdvisesARebuildLeavesTheRebuildReachable) {
  TempDir dir;
  const std::string path = dir / "t.vri";
  const std::vector<Row> rows = CreateFilledTable(path, 30, 7);
  // Index 0's directory names a block its leaf file does not have.
  std::string directory = dir.Read("t.va2");
  directory[0] = 99;
  dir.Write("t.va2", directory);
  Client client;
  try {
    client.Open(path, 34);
    FAIL() << "a damaged table opened";
  } catch (const EVelmoraDBError &e) {
    EXPECT_NE(std::string::npos, std::string(e.what()).find("suggest rebuild")) << e.what();
  }
  EXPECT_TRUE(DLL_CheckOpen(client.handle)) << "the table stays open for the rebuild";
  try {
    DLL_First(client.handle);
    FAIL() << "a damaged table was walked";
  } catch (const EVelmoraDBError &e) {
    EXPECT_EQ(0u, std::string(e.what()).find("Unable to use the table " + path + " before it is rebuilt: "));
  }
  EXPECT_THROW(client.Insert(Row{99, "X", "Y", 1, ""}), EVelmoraDBError);
  uint8_t status[256] = {};
  DLL_InternalStatus(status, client.handle, 0);
  EXPECT_GT(status[0], 0);
  int32_t kept = -1, before = -1;
  DLL_RebuildTable(client.handle, &kept, &before);
  EXPECT_EQ(30, kept);
  EXPECT_EQ(30, before);
  Model contents;
  EXPECT_EQ("", Soundness(client, &contents));
  EXPECT_EQ(rows, client.Walk(0));
  client.Close();
  EXPECT_FALSE(DLL_CheckOpen(client.handle));
}

INSTANTIATE_TEST_SUITE_P(Faults, FailedWrites,
                         ::testing::Values(CountingPlatform::Fault::kFailOnce, CountingPlatform::Fault::kFailFromOn));

}  // namespace
}  // namespace velmora::testing
