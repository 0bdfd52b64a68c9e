// Tables shared between processes: two writers lose nothing, a reader walking
// beside a writer sees every record that stayed the same exactly once and in
// order, a holder that denies others writing keeps posters out, a table that
// may only be read opens for reading, and a refused open says why.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <thread>

#include <velmora/velmora.h>
#include <velmora/velmora.hpp>

#include "Velmoradb/VelmoraDB.h"
#include "support/ExpectError.h"
#include "support/TempDir.h"
#include "unit/SharedTableSupport.h"

namespace velmora::testing {
namespace {

// Forks a child running body (its result is the exit code), stopped by an
// alarm if it runs too long.
template <class Body>
pid_t Spawn(Body body, unsigned seconds = 60) {
  pid_t pid = ::fork();
  if (pid == 0) {
    ::alarm(seconds);
    int code = 1;
    try {
      code = body();
    } catch (const std::exception &e) {
      std::fprintf(stderr, "child %d: %s\n", static_cast<int>(::getpid()), e.what());
      code = 3;
    } catch (...) {
      code = 3;
    }
    ::_exit(code);
  }
  return pid;
}

// Waits for a child; kills it when it is still running at the deadline.
int Reap(pid_t pid, int seconds = 90) {
  int status = 0;
  for (int i = 0; i < seconds * 100; ++i) {
    if (::waitpid(pid, &status, WNOHANG) == pid)
      return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ::kill(pid, SIGKILL);
  ::waitpid(pid, &status, 0);
  return -1;
}

Model Merge(const Model &a, const Model &b) {
  Model m = a;
  m.insert(b.begin(), b.end());
  return m;
}

TEST(SharedTable, TwoWritersLoseNothing) {
  TempDir dir;
  const std::string path = dir / "t.vri";
  CreateTable(path);
  std::vector<Model> first, second;
  const std::vector<Op> a = MakeWorkload(21, 250, 1, Model{}, &first);
  const std::vector<Op> b = MakeWorkload(22, 250, 100001, Model{}, &second);
  auto writer = [&](const std::vector<Op> &ops) {
    return [&, ops] {
      Client client;
      if (client.Open(path, 64) <= 0) return 2;
      for (const Op &op : ops) client.Apply(op);
      return 0;
    };
  };
  pid_t one = Spawn(writer(a));
  pid_t two = Spawn(writer(b));
  EXPECT_EQ(0, Reap(one));
  EXPECT_EQ(0, Reap(two));
  Client check;
  ASSERT_GT(check.Open(path, 34), 0);
  Model contents;
  ASSERT_EQ("", Soundness(check, &contents));
  EXPECT_TRUE(contents == Merge(first.back(), second.back())) << "every completed operation is in the table";
}

TEST(SharedTable, AReaderWalkingBesideAWriterSeesEveryUnchangedRecordOnceAndInOrder) {
  TempDir dir;
  const std::string path = dir / "t.vri";
  CreateTable(path);
  Model stable;
  {
    Client fill;
    ASSERT_GT(fill.Open(path, 34), 0);
    // Stable rows spread among the writer's, in both orders walked.
    for (int32_t id = 0; id < 4000; id += 20) {
      Row row{id, "N" + std::to_string(id % 37) + "s", "C" + std::to_string(id % 5), id % 3, "stable"};
      fill.Insert(row);
      stable[id] = row;
    }
  }
  // The writer only touches rows of its own, with odd ids from 1001 on.
  const std::vector<Op> ops = MakeWorkload(5, 1200, 1001, Model{}, nullptr);
  pid_t writer = Spawn([&] {
    Client client;
    if (client.Open(path, 64) <= 0) return 2;
    for (const Op &op : ops) client.Apply(op);
    return 0;
  });
  Client reader;
  ASSERT_GT(reader.Open(path, 64), 0);
  int walks = 0, hung = 0, disordered = 0, incomplete = 0, failures = 0;
  int status = -1;
  std::string firstFailure;
  for (;;) {
    const bool writerDone = ::waitpid(writer, &status, WNOHANG) == writer;
    for (int32_t indexNo : {0, 1}) {
      try {
        std::map<int32_t, int> seen;
        bool ordered = true;
        Row last;
        DLL_ChangeIndex(reader.handle, indexNo);
        DLL_First(reader.handle);
        int steps = 0;
        for (; steps < 5000 && !DLL_EOF(reader.handle); ++steps) {
          Row row = reader.Current();
          if (steps > 0) {
            bool after =
                indexNo == 0 ? row.id > last.id : (row.name > last.name || (row.name == last.name && row.id > last.id));
            ordered = ordered && after;
          }
          last = row;
          ++seen[row.id];
          DLL_Next(reader.handle);
        }
        if (steps == 5000) ++hung;
        if (!ordered) ++disordered;
        for (const auto &[id, row] : stable)
          if (seen[id] != 1) {
            ++incomplete;
            break;
          }
        ++walks;
      } catch (const std::exception &e) {
        if (failures++ == 0) firstFailure = e.what();
      }
    }
    if (writerDone) break;
  }
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  std::printf("%d walks beside the writer: %d hung, %d out of order, %d incomplete, %d failed\n", walks, hung,
              disordered, incomplete, failures);
  EXPECT_GT(walks, 2);
  EXPECT_EQ(0, hung);
  EXPECT_EQ(0, disordered);
  EXPECT_EQ(0, incomplete);
  EXPECT_EQ(0, failures) << firstFailure;
  Model contents;
  EXPECT_EQ("", Soundness(reader, &contents));
}

int32_t CurrentId(Client &client) { return client.Current().id; }

// An owner in another process edits records in place, one at a time while a
// reader that keeps what it read looks between the edits (no journal: the
// change counter is written once, then raised through the mapped side file),
// and stops without closing the table: the reader sees every edit at once.
TEST(SharedTable, AReaderSeesEachEditInPlaceOfAnOwnerInAnotherProcess) {
  TempDir dir;
  const std::string path = dir / "t.vri";
  std::vector<Row> rows = CreateFilledTable(path, 60, 9);
  Client reader;
  ASSERT_GT(reader.Open(path, 64), 0);
  ASSERT_TRUE(reader.Walk(0) == rows);  // the reader keeps its images
  std::vector<Row> edited;
  for (int k = 0; k < 4; ++k) {
    Row row = rows[static_cast<size_t>(13 * k + 2)];
    row.note = "p" + std::to_string(k);
    edited.push_back(row);
  }
  int done[2] = {-1, -1}, next[2] = {-1, -1};  // the owner says an edit is done; the reader says go on
  ASSERT_EQ(0, ::pipe(done));
  ASSERT_EQ(0, ::pipe(next));
  pid_t owner = -1;
  // However the test ends, the pipes close and the owner is gone.
  struct Cleanup {
    int *fds[2];
    pid_t *pid;
    ~Cleanup() {
      for (int *pair : fds)
        for (int i = 0; i < 2; ++i) ::close(pair[i]);
      if (*pid > 0) Reap(*pid, 5);
    }
  } cleanup{{done, next}, &owner};
  owner = Spawn(
      [&] {
        Client client;
        if (client.Open(path, 34) <= 0) return 2;
        char c = 0;
        for (const Row &row : edited) {
          client.Edit(row);
          if (::write(done[1], "e", 1) != 1 || ::read(next[0], &c, 1) != 1) return 4;
        }
        ::_exit(0);  // stops holding the table open, as a killed program does
        return 0;
      },
      30);
  for (const Row &row : edited) {
    char c = 0;
    ASSERT_EQ(1, ::read(done[0], &c, 1));
    ASSERT_TRUE(reader.Find(row.id));
    EXPECT_TRUE(reader.Current() == row) << row.id;
    for (Row &kept : rows)
      if (kept.id == row.id) kept = row;
    EXPECT_TRUE(reader.Walk(0) == rows);
    ASSERT_EQ(1, ::write(next[1], "n", 1));
  }
  EXPECT_EQ(0, Reap(owner));
  owner = -1;
  EXPECT_EQ("", Soundness(reader));
}

TEST(SharedTable, ACursorKeepsItsPlaceWhenTheTableChangesUnderIt) {
  TempDir dir;
  const std::string path = dir / "t.vri";
  CreateTable(path);
  Client reader, writer;
  ASSERT_GT(writer.Open(path, 64), 0);
  for (int32_t id : {10, 20, 30, 40, 50}) writer.Insert(Row{id, "N" + std::to_string(id), "C", 0, ""});
  ASSERT_GT(reader.Open(path, 64), 0);
  DLL_First(reader.handle);
  DLL_Next(reader.handle);
  ASSERT_EQ(20, CurrentId(reader));
  writer.Delete(20);  // the record under the cursor goes
  EXPECT_ENGINE_ERROR(DLL_DeleteRecord(reader.handle), kCursorLost);
  EXPECT_EQ(4, reader.Total());
  DLL_Next(reader.handle);
  EXPECT_EQ(30, CurrentId(reader)) << "the record that followed it comes next";
  writer.Insert(Row{35, "N35", "C", 0, ""});
  writer.Delete(10);  // record numbers move under the cursor
  DLL_Next(reader.handle);
  EXPECT_EQ(35, CurrentId(reader));
  writer.Edit(Row{35, "N35", "C", 0, "noted"});  // same key, other contents
  DLL_Next(reader.handle);
  EXPECT_EQ(40, CurrentId(reader));
  writer.Edit(Row{40, "N00", "C", 0, ""});  // its key in another index changes
  DLL_Prior(reader.handle);
  EXPECT_EQ(35, CurrentId(reader));
  DLL_Last(reader.handle);
  EXPECT_EQ(50, CurrentId(reader));
  writer.Delete(50);
  DLL_Next(reader.handle);
  EXPECT_TRUE(DLL_EOF(reader.handle)) << "nothing follows the last record that went";
  EXPECT_EQ(3, DLL_RangeCount(reader.handle));
  // The range is found again from its keys.
  uint8_t low[256] = {2, '3', '0'}, high[256] = {2, '4', '0'};
  DLL_ApplyRange(reader.handle, low, 0, high, 0);
  EXPECT_EQ(3, DLL_RangeCount(reader.handle));
  writer.Insert(Row{38, "N38", "C", 0, ""});
  writer.Delete(30);
  DLL_First(reader.handle);
  EXPECT_EQ(35, CurrentId(reader));
  EXPECT_EQ(3, DLL_RangeCount(reader.handle));
  EXPECT_EQ("", Soundness(reader));
}

TEST(SharedTable, APosterBesideAHolderThatDeniesWritingIsRefused) {
  TempDir dir;
  const std::string path = dir / "t.vri";
  CreateTable(path);
  Client holder;
  ASSERT_GT(holder.Open(path, 34), 0);
  holder.Insert(Row{1, "A", "X", 1, ""});
  pid_t poster = Spawn([&] {
    Client client;
    if (client.Open(path, 64) <= 0) return 2;
    if (client.Total() != 1) return 4;
    try {
      client.Insert(Row{2, "B", "Y", 2, ""});
      return 5;
    } catch (const EVelmoraDBError &e) {
      const std::string expected = "Unable to change the table " + path +
                                   ": another program holds it open with a mode that denies others writing.";
      if (expected != e.what()) return 6;
    }
    return client.Total() == 1 ? 0 : 7;
  });
  EXPECT_EQ(0, Reap(poster));
  EXPECT_EQ(1, holder.Total());
  holder.Insert(Row{3, "C", "Z", 3, ""});
  holder.Close();
  // Once the holder is gone the same poster gets in.
  pid_t later = Spawn([&] {
    Client client;
    if (client.Open(path, 64) <= 0) return 2;
    client.Insert(Row{2, "B", "Y", 2, ""});
    return client.Total() == 3 ? 0 : 4;
  });
  EXPECT_EQ(0, Reap(later));
}

TEST(SharedTable, ATableInAReadOnlyFolderOpensForReading) {
  TempDir dir;
  const std::string path = dir / "t.vri";
  const std::vector<Row> rows = CreateFilledTable(path, 20, 21);  // names N1 to N20, each once
  ::unlink((dir / "t.VRJ").c_str());
  for (const std::string &name : dir.Names()) ::chmod((dir / name).c_str(), 0444);
  ::chmod(dir.Path().c_str(), 0555);
  pid_t child = Spawn([&] {
    // Root reads and writes anything: become somebody the modes apply to.
    if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) return 9;
    Client client;
    if (client.Open(path, 34) > 0) return 2;
    if (client.Open(path, 64) <= 0) return 3;
    if (client.Walk(0) != rows || client.Walk(1).size() != rows.size()) return 4;
    try {
      client.Insert(Row{99, "X", "Y", 1, ""});
      return 5;
    } catch (const EVelmoraDBError &e) {
      if (std::string(e.what()) != "Unable to change the table " + path + ": its files are open for reading only.")
        return 6;
    }
    return client.Total() == 20 ? 0 : 7;
  });
  const int code = Reap(child);
  ::chmod(dir.Path().c_str(), 0755);
  EXPECT_EQ(0, code);
}

TEST(SharedTable, ARefusedOpenSaysWhy) {
  TempDir dir;
  const std::string path = dir / "t.vri";
  CreateTable(path);
  Client holder, second;
  second.ErrorText();  // whatever earlier work left behind library-wide
  ASSERT_GT(holder.Open(path, 34), 0);
  EXPECT_LT(second.Open(path, 34), 0);
  EXPECT_EQ("The table " + path + " is in use by another program", second.ErrorText());
  EXPECT_LT(second.Open(dir / "missing.vri", 64), 0);
  EXPECT_EQ("File not found: " + (dir / "missing.vri"), second.ErrorText());
  EXPECT_EQ("", second.ErrorText()) << "each reason is told once";
}

}  // namespace
}  // namespace velmora::testing
