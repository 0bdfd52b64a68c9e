// Test kit for the data file and record cache: a fresh temporary directory per
// test, whole-file byte helpers, and a platform that forwards to the native one
// while logging allocations and injecting allocation, read, write and close faults.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include <velmora/velmora.hpp>

#include "VRcomm/EngineError.h"
#include "Velmoradb/RecBase.h"
#include "platform/Platform.h"

namespace velmora::datatest {

using Bytes = std::vector<uint8_t>;

struct Faults {
  size_t failAllocAbove = SIZE_MAX;  // allocations larger than this fail
  size_t allowAllocs = SIZE_MAX;     // allocations after this many fail
  bool shortRead = false;            // reads deliver one byte less than asked
  bool shortWrite = false;           // writes put one byte less than asked
  bool failClose = false;            // close closes, then reports a failure
  std::vector<size_t> allocations;   // sizes asked for, in order
  int live = 0;                      // blocks allocated and not yet released
  int reads = 0;                     // ReadAt calls on opened files
};

class FaultFile : public platform::File {
 public:
  FaultFile(std::unique_ptr<platform::File> inner, Faults &faults) : inner_(std::move(inner)), faults_(faults) {}
  int32_t Handle() const override { return inner_->Handle(); }
  int64_t Size() override { return inner_->Size(); }
  size_t ReadAt(int64_t offset, void *buffer, size_t n) override {
    ++faults_.reads;
    size_t got = inner_->ReadAt(offset, buffer, n);
    return faults_.shortRead && got > 0 ? got - 1 : got;
  }
  size_t WriteAt(int64_t offset, const void *buffer, size_t n) override {
    if (faults_.shortWrite && n > 0) return inner_->WriteAt(offset, buffer, n - 1);
    return inner_->WriteAt(offset, buffer, n);
  }
  void Truncate(int64_t size) override { inner_->Truncate(size); }
  void Close() override {
    inner_->Close();
    if (faults_.failClose) platform::RaiseIoError(13);
  }

 private:
  std::unique_ptr<platform::File> inner_;
  Faults &faults_;
};

class FaultyPlatform : public platform::Platform {
 public:
  Faults faults;
  platform::Platform &native = platform::NativePlatform();

  std::unique_ptr<platform::File> Open(const std::string &path, int32_t mode, int32_t *error) override {
    auto file = native.Open(path, mode, error);
    if (!file) return nullptr;
    return std::make_unique<FaultFile>(std::move(file), faults);
  }
  std::unique_ptr<platform::File> Create(const std::string &path) override { return native.Create(path); }
  bool Exists(const std::string &path) override { return native.Exists(path); }
  bool Delete(const std::string &path) override { return native.Delete(path); }
  bool Rename(const std::string &from, const std::string &to) override { return native.Rename(from, to); }
  bool Copy(const std::string &from, const std::string &to) override { return native.Copy(from, to); }
  double TextToFloat(const std::string &text) override { return native.TextToFloat(text); }
  int32_t TextToInt(const std::string &text) override { return native.TextToInt(text); }
  double TextToDateTime(const std::string &text) override { return native.TextToDateTime(text); }
  std::string FloatToText(double value) override { return native.FloatToText(value); }
  std::string DateTimeToText(double value) override { return native.DateTimeToText(value); }
  void *Allocate(size_t bytes) noexcept override {
    faults.allocations.push_back(bytes);
    if (bytes > faults.failAllocAbove || faults.allocations.size() > faults.allowAllocs) return nullptr;
    void *block = native.Allocate(bytes);
    if (block != nullptr) ++faults.live;
    return block;
  }
  void Release(void *block) noexcept override {
    if (block != nullptr) --faults.live;
    native.Release(block);
  }
};

// Every test gets its own directory and its own faulty platform, installed for
// the length of the test.
class DataLayerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/velmora-data-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    path_ = dir_ + "/ORDERS.VRD";
    platform::SetPlatform(&os_);
    TakeEngineError();
  }
  void TearDown() override {
    base_.reset();
    platform::SetPlatform(nullptr);
    std::filesystem::remove_all(dir_);
  }

  // The table object under test, created after the platform is installed.
  TVRRecBase &Base() {
    if (!base_) base_ = std::make_unique<TVRRecBase>();
    return *base_;
  }

  // Record n of a test file: every byte is 'a' + n (mod 26), the last is n.
  static Bytes Record(int32_t recordSize, int n) {
    Bytes r(static_cast<size_t>(recordSize), static_cast<uint8_t>('a' + n % 26));
    if (recordSize > 0) r.back() = static_cast<uint8_t>(n);
    return r;
  }
  static Bytes Records(int32_t recordSize, int count) {
    Bytes all;
    for (int n = 0; n < count; ++n) {
      Bytes r = Record(recordSize, n);
      all.insert(all.end(), r.begin(), r.end());
    }
    return all;
  }
  void WriteFile(const Bytes &bytes) {
    std::ofstream out(path_, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
  Bytes ReadFile() const {
    std::ifstream in(path_, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  // Writes count records of the given size and opens the file.
  void OpenWith(int32_t recordSize, int count) {
    WriteFile(Records(recordSize, count));
    Base().OpenDataFile(path_, recordSize);
  }

  std::string dir_;
  std::string path_;
  FaultyPlatform os_;
  std::unique_ptr<TVRRecBase> base_;
};

// Runs the statement, expecting EVelmoraDBError with exactly the message, and
// checks that the library-wide last error text holds the same message.
#define EXPECT_ENGINE_ERROR(statement, text)                              \
  do {                                                                    \
    try {                                                                 \
      statement;                                                          \
      ADD_FAILURE() << "no EVelmoraDBError from " #statement;             \
    } catch (const ::velmora::EVelmoraDBError &error) {                   \
      EXPECT_EQ(std::string(error.what()), std::string(text));            \
      EXPECT_EQ(::velmora::EngineErrorText(), std::string(text));         \
    }                                                                     \
  } while (0)

}  // namespace velmora::datatest
