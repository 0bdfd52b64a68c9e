// Test kit for the index layer: a fresh temporary directory per test, table
// index files written byte for byte, little-endian helpers, and a platform
// that forwards to the native one and can make writes come up short.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <velmora/velmora.hpp>

#include "platform/ForwardingPlatform.h"
#include "support/ExpectError.h"
#include "support/FileBytes.h"
#include "support/PlatformInstall.h"
#include "support/TempDir.h"

namespace velmora::indextest {

using testing::Bytes;
using testing::ReadBytes;
using testing::TempDir;
using testing::WriteBytes;

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
    WriteBytes(dir / (base + ".V" + letter + "1"), EmptyLeaf());
    WriteBytes(dir / (base + ".V" + letter + "2"), EmptyDirectory());
  }
  return dir / (base + ".vri");
}

// Forwards to the native platform; writes can be made to put one byte less
// than asked, as a full device would.
struct ShortWrites {
  bool on = false;
};

class ShortWriteFile : public platform::ForwardingFile {
 public:
  ShortWriteFile(std::unique_ptr<platform::File> inner, ShortWrites &flag)
      : ForwardingFile(std::move(inner)), flag_(flag) {}
  size_t WriteAt(int64_t offset, const void *buffer, size_t n) override {
    if (flag_.on && n > 0) return ForwardingFile::WriteAt(offset, buffer, n - 1);
    return ForwardingFile::WriteAt(offset, buffer, n);
  }

 private:
  ShortWrites &flag_;
};

// Installed for the length of its life; every file it opens or creates can
// be made to write short.
class ShortWritePlatform : public platform::ForwardingPlatform {
 public:
  ShortWritePlatform() : ForwardingPlatform(platform::NativePlatform()) {}
  ShortWrites flag;

  std::unique_ptr<platform::File> Open(const std::string &path, int32_t mode, int32_t *error) override {
    return Wrap(ForwardingPlatform::Open(path, mode, error));
  }
  std::unique_ptr<platform::File> Create(const std::string &path) override {
    return Wrap(ForwardingPlatform::Create(path));
  }
  std::unique_ptr<platform::File> OpenOrCreate(const std::string &path, int32_t *error) override {
    return Wrap(ForwardingPlatform::OpenOrCreate(path, error));
  }

 private:
  std::unique_ptr<platform::File> Wrap(std::unique_ptr<platform::File> file) {
    if (!file) return file;
    return std::make_unique<ShortWriteFile>(std::move(file), flag);
  }

  testing::PlatformInstall install_{*this};
};

}  // namespace velmora::indextest
