// The forwarding bases pass every call of the platform and of an open file to
// their target with its arguments unchanged, and hand back the target's result
// (or its failure) unchanged.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <velmora/velmora.hpp>

#include "platform/ForwardingPlatform.h"
#include "support/ExpectError.h"

namespace velmora::testing {
namespace {

using platform::File;
using platform::ForwardingFile;
using platform::ForwardingPlatform;
using platform::Platform;

using Log = std::vector<std::string>;

// Writes each call with its arguments to the log and answers with values no
// default could produce.
class RecordingFile : public File {
 public:
  explicit RecordingFile(Log &log) : log_(log) {}
  int32_t Handle() const override {
    log_.push_back("Handle");
    return 4711;
  }
  int64_t Size() override {
    log_.push_back("Size");
    return 123456789012;
  }
  size_t ReadAt(int64_t offset, void *buffer, size_t n) override {
    log_.push_back("ReadAt " + std::to_string(offset) + " " + std::to_string(n));
    std::memcpy(buffer, "abc", 3);
    return 3;
  }
  size_t WriteAt(int64_t offset, const void *buffer, size_t n) override {
    log_.push_back("WriteAt " + std::to_string(offset) + " " + std::string(static_cast<const char *>(buffer), n));
    return n - 1;
  }
  void Truncate(int64_t size) override { log_.push_back("Truncate " + std::to_string(size)); }
  bool LockSlots(int32_t first, int32_t count, LockKind kind, int32_t waitMs) override {
    log_.push_back("LockSlots " + std::to_string(first) + " " + std::to_string(count) + " " +
                   std::to_string(static_cast<int>(kind)) + " " + std::to_string(waitMs));
    return false;
  }
  void Close() override {
    log_.push_back("Close");
    platform::RaiseIoError(13);
  }

 private:
  Log &log_;
};

class RecordingPlatform : public Platform {
 public:
  Log log;
  char block[16] = {};

  std::unique_ptr<File> Open(const std::string &path, int32_t mode, int32_t *error) override {
    log.push_back("Open " + path + " " + std::to_string(mode));
    *error = 32;
    return nullptr;
  }
  std::unique_ptr<File> Create(const std::string &path) override {
    log.push_back("Create " + path);
    return std::make_unique<RecordingFile>(log);
  }
  std::unique_ptr<File> OpenOrCreate(const std::string &path, int32_t *error) override {
    log.push_back("OpenOrCreate " + path);
    *error = 33;
    return nullptr;
  }
  bool Exists(const std::string &path) override {
    log.push_back("Exists " + path);
    return true;
  }
  std::string ExistingName(const std::string &path) override {
    log.push_back("ExistingName " + path);
    return "/T/Found.VRI";
  }
  bool Delete(const std::string &path) override {
    log.push_back("Delete " + path);
    return true;
  }
  bool Rename(const std::string &from, const std::string &to) override {
    log.push_back("Rename " + from + " " + to);
    return true;
  }
  bool Copy(const std::string &from, const std::string &to) override {
    log.push_back("Copy " + from + " " + to);
    return true;
  }
  double TextToFloat(const std::string &text) override {
    log.push_back("TextToFloat " + text);
    return 2.25;
  }
  int32_t TextToInt(const std::string &text) override {
    log.push_back("TextToInt " + text);
    throw EConvertError("'" + text + "' is not a valid integer value");
  }
  double TextToDateTime(const std::string &text) override {
    log.push_back("TextToDateTime " + text);
    return 45000.5;
  }
  std::string FloatToText(double value) override {
    log.push_back("FloatToText " + std::to_string(value));
    return "one and a half";
  }
  std::string DateTimeToText(double value) override {
    log.push_back("DateTimeToText " + std::to_string(value));
    return "the first day";
  }
  void *Allocate(size_t bytes) noexcept override {
    log.push_back("Allocate " + std::to_string(bytes));
    return block;
  }
  void Release(void *released) noexcept override {
    log.push_back(std::string("Release ") + (released == block ? "block" : "other"));
  }
};

// Each call of the wrapper is the one call the target saw.
class ForwardingPlatformTest : public ::testing::Test {
 protected:
  // The calls the target saw since the last look.
  Log Seen() {
    Log seen;
    seen.swap(target.log);
    return seen;
  }

  RecordingPlatform target;
  ForwardingPlatform wrapper{target};
};

TEST_F(ForwardingPlatformTest, ForwardsTheFileOperationsOfThePlatform) {
  EXPECT_EQ(&wrapper.target(), &target);
  int32_t error = 0;
  EXPECT_EQ(wrapper.Open("/t/a.vrd", 34, &error), nullptr);
  EXPECT_EQ(error, 32);
  EXPECT_EQ(Seen(), Log{"Open /t/a.vrd 34"});

  EXPECT_EQ(wrapper.OpenOrCreate("/t/a.VRJ", &error), nullptr);
  EXPECT_EQ(error, 33);
  // The target's own OpenOrCreate, not one composed from Open, Exists and Create.
  EXPECT_EQ(Seen(), Log{"OpenOrCreate /t/a.VRJ"});

  std::unique_ptr<File> created = wrapper.Create("/t/b.vrd");
  ASSERT_NE(created, nullptr);
  EXPECT_EQ(created->Handle(), 4711);  // the target's file itself
  EXPECT_EQ(Seen(), (Log{"Create /t/b.vrd", "Handle"}));

  EXPECT_TRUE(wrapper.Exists("/t/c.vrd"));
  EXPECT_EQ(wrapper.ExistingName("/t/found.vri"), "/T/Found.VRI");
  EXPECT_TRUE(wrapper.Delete("/t/d.vrd"));
  EXPECT_TRUE(wrapper.Rename("/t/e.vrd", "/t/f.vrd"));
  EXPECT_TRUE(wrapper.Copy("/t/g.vrd", "/t/h.vrd"));
  EXPECT_EQ(Seen(), (Log{"Exists /t/c.vrd", "ExistingName /t/found.vri", "Delete /t/d.vrd", "Rename /t/e.vrd /t/f.vrd",
                         "Copy /t/g.vrd /t/h.vrd"}));
}

TEST_F(ForwardingPlatformTest, ForwardsConversionsAndMemory) {
  EXPECT_EQ(wrapper.TextToFloat("2,25"), 2.25);
  EXPECT_VELMORA_ERROR(wrapper.TextToInt("12x"), EConvertError, "'12x' is not a valid integer value");
  EXPECT_EQ(wrapper.TextToDateTime("1.3.2023 12:00"), 45000.5);
  EXPECT_EQ(wrapper.FloatToText(1.5), "one and a half");
  EXPECT_EQ(wrapper.DateTimeToText(1.0), "the first day");
  void *block = wrapper.Allocate(16);
  EXPECT_EQ(block, target.block);
  wrapper.Release(block);
  EXPECT_EQ(Seen(), (Log{"TextToFloat 2,25", "TextToInt 12x", "TextToDateTime 1.3.2023 12:00", "FloatToText 1.500000",
                         "DateTimeToText 1.000000", "Allocate 16", "Release block"}));
}

TEST(ForwardingFile, ForwardsEveryCallOfAnOpenFile) {
  Log log;
  ForwardingFile file(std::make_unique<RecordingFile>(log));
  EXPECT_EQ(file.Handle(), 4711);
  EXPECT_EQ(file.Size(), 123456789012);
  char buffer[8] = {};
  EXPECT_EQ(file.ReadAt(5000000000, buffer, 8), 3u);
  EXPECT_EQ(std::string(buffer), "abc");
  EXPECT_EQ(file.WriteAt(7, "wxyz", 4), 3u);
  file.Truncate(99);
  EXPECT_FALSE(file.LockSlots(1000, 3, File::LockKind::kExclusive, 250));
  EXPECT_IO_ERROR(file.Close(), "File access denied", 13);
  EXPECT_EQ(log, (Log{"Handle", "Size", "ReadAt 5000000000 8", "WriteAt 7 wxyz", "Truncate 99",
                      "LockSlots 1000 3 2 250", "Close"}));
}

}  // namespace
}  // namespace velmora::testing
