// Test kit for the data file and record cache: a fresh temporary directory per
// test, whole-file byte helpers, and a platform that forwards to the native one
// while logging allocations and injecting allocation, read, write and close faults.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <velmora/velmora.hpp>

#include "VRcomm/EngineError.h"
#include "Velmoradb/RecBase.h"
#include "platform/ForwardingPlatform.h"
#include "support/ExpectError.h"
#include "support/FileBytes.h"
#include "support/TempDir.h"

namespace velmora::datatest {

using testing::Bytes;

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

class FaultFile : public platform::ForwardingFile {
 public:
  FaultFile(std::unique_ptr<platform::File> inner, Faults &faults)
      : ForwardingFile(std::move(inner)), faults_(faults) {}
  size_t ReadAt(int64_t offset, void *buffer, size_t n) override {
    ++faults_.reads;
    size_t got = ForwardingFile::ReadAt(offset, buffer, n);
    return faults_.shortRead && got > 0 ? got - 1 : got;
  }
  size_t WriteAt(int64_t offset, const void *buffer, size_t n) override {
    if (faults_.shortWrite && n > 0) return ForwardingFile::WriteAt(offset, buffer, n - 1);
    return ForwardingFile::WriteAt(offset, buffer, n);
  }
  void Close() override {
    ForwardingFile::Close();
    if (faults_.failClose) platform::RaiseIoError(13);
  }

 private:
  Faults &faults_;
};

// Files opened (not created) through it carry the file faults.
class FaultyPlatform : public platform::ForwardingPlatform {
 public:
  FaultyPlatform() : ForwardingPlatform(platform::NativePlatform()) {}
  Faults faults;

  std::unique_ptr<platform::File> Open(const std::string &path, int32_t mode, int32_t *error) override {
    auto file = ForwardingPlatform::Open(path, mode, error);
    if (!file) return nullptr;
    return std::make_unique<FaultFile>(std::move(file), faults);
  }
  void *Allocate(size_t bytes) noexcept override {
    faults.allocations.push_back(bytes);
    if (bytes > faults.failAllocAbove || faults.allocations.size() > faults.allowAllocs) return nullptr;
    void *block = ForwardingPlatform::Allocate(bytes);
    if (block != nullptr) ++faults.live;
    return block;
  }
  void Release(void *block) noexcept override {
    if (block != nullptr) --faults.live;
    ForwardingPlatform::Release(block);
  }
};

// Every test gets its own directory and its own faulty platform, installed for
// the length of the test.
class DataLayerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::SetPlatform(&os_);
    TakeEngineError();
  }
  void TearDown() override {
    base_.reset();
    platform::SetPlatform(nullptr);
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
  void WriteFile(const Bytes &bytes) { testing::WriteBytes(path_, bytes); }
  Bytes ReadFile() const { return testing::ReadBytes(path_); }
  // Writes count records of the given size and opens the file.
  void OpenWith(int32_t recordSize, int count) {
    WriteFile(Records(recordSize, count));
    Base().OpenDataFile(path_, recordSize);
  }

  testing::TempDir dir_{"velmora-data"};
  std::string path_ = dir_ / "ORDERS.VRD";
  FaultyPlatform os_;
  std::unique_ptr<TVRRecBase> base_;
};

}  // namespace velmora::datatest
