// The images kept in memory against the files: randomized runs of every
// posting operation through the exports (which work on images and write them
// through) leave files byte for byte equal to the same operations on the
// engine used directly (which reads and writes the files at every step), and
// a second process opening the table sees exactly what the first wrote.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstring>

#include <velmora/velmora.hpp>

#include "Velmoradb/VelmoraDB.h"
#include "support/TempDir.h"
#include "unit/SharedTableSupport.h"

namespace velmora::testing {
namespace {

// The same operations on a table object used directly, without images.
class DirectTable {
 public:
  DirectTable(const std::string &path, const Client &layout) : layout_(layout) {
    if (table_.OpenTable(path, 34) <= 0) throw std::runtime_error("direct open failed");
  }
  ~DirectTable() {
    if (table_.IsOpen()) table_.CloseTable();
  }
  void Apply(const Op &op) {
    switch (op.kind) {
      case Op::kInsert:
        Put(op.row);
        table_.PostNewRecord();
        break;
      case Op::kEdit:
        Find(op.row.id);
        table_.EditRecord();
        Put(op.row);
        table_.PostEditedRecord();
        break;
      case Op::kDelete:
        Find(op.row.id);
        table_.DeleteRecord();
        break;
      case Op::kEmpty: table_.EmptyTable(); break;
      case Op::kRebuild: {
        int32_t kept, before;
        table_.RebuildTable(kept, before);
        break;
      }
    }
  }

 private:
  void Put(const Row &row) {
    std::vector<uint8_t> r = layout_.Encode(row);
    std::memcpy(table_.CurrentBuffer(), r.data(), r.size());
  }
  void Find(int32_t id) {
    table_.ChangeIndex(0);
    uint8_t key[256] = {};
    std::string text = std::to_string(id);
    key[0] = static_cast<uint8_t>(text.size());
    std::memcpy(key + 1, text.data(), text.size());
    if (!table_.FindKey(key, 0)) throw std::runtime_error("direct find failed");
  }

  const Client &layout_;
  TVRVelmoraDB table_;
};

const char *const kExtensions[] = {".vrd", ".va1", ".va2", ".vb1", ".vb2", ".vc1", ".vc2"};

TEST(ImageConsistency, FilesWrittenFromImagesEqualFilesWrittenStepByStep) {
  for (uint32_t seed : {1u, 2u, 3u}) {
    TempDir dir;
    CreateTable(dir / "img.vri");
    CreateTable(dir / "dir.vri");
    std::vector<Model> models;
    const std::vector<Op> ops = MakeWorkload(seed, 160, 1, Model{}, &models, true);
    Client client;
    ASSERT_GT(client.Open(dir / "img.vri", 34), 0);
    DirectTable direct(dir / "dir.vri", client);
    for (size_t k = 0; k < ops.size(); ++k) {
      client.Apply(ops[k]);
      direct.Apply(ops[k]);
      for (const char *ext : kExtensions)
        ASSERT_EQ(dir.Read("dir" + std::string(ext)), dir.Read("img" + std::string(ext)))
            << "seed " << seed << ", operation " << k << ", file " << ext;
    }
    // Another process sees exactly what this one wrote, while it still holds the table.
    pid_t pid = ::fork();
    if (pid == 0) {
      ::alarm(30);
      Client other;
      Model contents;
      bool same =
          other.Open(dir / "img.vri", 64) > 0 && Soundness(other, &contents).empty() && contents == models.back();
      ::_exit(same ? 0 : 1);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "seed " << seed;
  }
}

}  // namespace
}  // namespace velmora::testing
