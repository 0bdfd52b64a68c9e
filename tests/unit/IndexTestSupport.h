// Test kit for the index layer: a fresh temporary directory per test, table
// index files written byte for byte, little-endian helpers, and a platform
// that forwards to the native one and can make writes come up short.
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

#include "platform/Platform.h"

namespace velmora::indextest {

using Bytes = std::vector<uint8_t>;

class TempDir {
 public:
  TempDir() {
    char pattern[] = "/tmp/velmora-index-XXXXXX";
    char *made = ::mkdtemp(pattern);
    if (made == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = made;
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  std::string File(const std::string &name) const { return path_ + "/" + name; }
  const std::string &Path() const { return path_; }

 private:
  std::string path_;
};

inline Bytes Ints(const std::vector<int32_t> &values) {
  Bytes out;
  for (int32_t v : values) {
    uint32_t u = static_cast<uint32_t>(v);
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(u >> (8 * i)));
  }
  return out;
}

inline std::vector<int32_t> ToInts(const Bytes &bytes) {
  std::vector<int32_t> out;
  for (size_t i = 0; i + 4 <= bytes.size(); i += 4) {
    uint32_t u = 0;
    for (int k = 0; k < 4; ++k) u |= static_cast<uint32_t>(bytes[i + k]) << (8 * k);
    out.push_back(static_cast<int32_t>(u));
  }
  return out;
}

inline void WriteFile(const std::string &path, const Bytes &bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline Bytes ReadFile(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A leaf block: its count and record numbers, the rest of its eight words zero.
inline std::vector<int32_t> Block(std::vector<int32_t> words) {
  words.resize(8, 0);
  return words;
}

inline Bytes LeafFile(const std::vector<std::vector<int32_t>> &blocks) {
  Bytes out;
  for (const auto &b : blocks) {
    Bytes bytes = Ints(Block(b));
    out.insert(out.end(), bytes.begin(), bytes.end());
  }
  return out;
}

// The files of an empty index as a newly defined table has them.
inline Bytes EmptyLeaf() { return LeafFile({{0, -1}, {0, -1}, {0, -1}}); }
inline Bytes EmptyDirectory() { return Ints({2, -1}); }

// Writes the leaf and directory files of n empty indexes for the table file
// name base + ".vri" in dir; returns the table file name.
inline std::string MakeEmptyTable(const TempDir &dir, const std::string &base, int n) {
  for (int i = 0; i < n; ++i) {
    std::string letter(1, static_cast<char>('A' + i));
    WriteFile(dir.File(base + ".V" + letter + "1"), EmptyLeaf());
    WriteFile(dir.File(base + ".V" + letter + "2"), EmptyDirectory());
  }
  return dir.File(base + ".vri");
}

// Forwards to the native platform; writes can be made to put one byte less
// than asked, as a full device would.
struct ShortWrites {
  bool on = false;
};

class ShortWriteFile : public platform::File {
 public:
  ShortWriteFile(std::unique_ptr<platform::File> inner, ShortWrites &flag) : inner_(std::move(inner)), flag_(flag) {}
  int32_t Handle() const override { return inner_->Handle(); }
  int64_t Size() override { return inner_->Size(); }
  size_t ReadAt(int64_t offset, void *buffer, size_t n) override { return inner_->ReadAt(offset, buffer, n); }
  size_t WriteAt(int64_t offset, const void *buffer, size_t n) override {
    if (flag_.on && n > 0) return inner_->WriteAt(offset, buffer, n - 1);
    return inner_->WriteAt(offset, buffer, n);
  }
  void Truncate(int64_t size) override { inner_->Truncate(size); }
  void Close() override { inner_->Close(); }

 private:
  std::unique_ptr<platform::File> inner_;
  ShortWrites &flag_;
};

class ShortWritePlatform : public platform::Platform {
 public:
  ShortWritePlatform() : native_(platform::NativePlatform()) { platform::SetPlatform(this); }
  ~ShortWritePlatform() override { platform::SetPlatform(nullptr); }
  ShortWrites flag;

  std::unique_ptr<platform::File> Open(const std::string &path, int32_t mode, int32_t *error) override {
    auto file = native_.Open(path, mode, error);
    if (!file) return file;
    return std::make_unique<ShortWriteFile>(std::move(file), flag);
  }
  std::unique_ptr<platform::File> Create(const std::string &path) override {
    return std::make_unique<ShortWriteFile>(native_.Create(path), flag);
  }
  bool Exists(const std::string &path) override { return native_.Exists(path); }
  bool Delete(const std::string &path) override { return native_.Delete(path); }
  bool Rename(const std::string &from, const std::string &to) override { return native_.Rename(from, to); }
  bool Copy(const std::string &from, const std::string &to) override { return native_.Copy(from, to); }
  double TextToFloat(const std::string &text) override { return native_.TextToFloat(text); }
  int32_t TextToInt(const std::string &text) override { return native_.TextToInt(text); }
  double TextToDateTime(const std::string &text) override { return native_.TextToDateTime(text); }
  std::string FloatToText(double value) override { return native_.FloatToText(value); }
  std::string DateTimeToText(double value) override { return native_.DateTimeToText(value); }
  void *Allocate(size_t bytes) noexcept override { return native_.Allocate(bytes); }
  void Release(void *block) noexcept override { native_.Release(block); }

 private:
  platform::Platform &native_;
};

// Runs the statement, expecting EVelmoraDBError with exactly this message.
#define EXPECT_ENGINE_ERROR(statement, message)                              \
  do {                                                                       \
    try {                                                                    \
      statement;                                                             \
      ADD_FAILURE() << "no error raised, expected: " << (message);           \
    } catch (const ::velmora::EVelmoraDBError &e) {                          \
      EXPECT_EQ(std::string(message), std::string(e.what()));                \
    }                                                                        \
  } while (0)

}  // namespace velmora::indextest
