// A fresh directory for one test (or one benchmark run), removed with
// everything in it when the object goes away.  It is made under $TMPDIR when
// that is set, under /tmp otherwise, and named after `prefix`.
#pragma once

#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <stdexcept>
#include <string>

namespace velmora::testing {

class TempDir {
 public:
  explicit TempDir(const std::string &prefix = "velmora-test") {
    const char *root = std::getenv("TMPDIR");
    std::string pattern = std::string(root != nullptr && *root != '\0' ? root : "/tmp") + "/" + prefix + "-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot make a folder from " + pattern);
    path_ = pattern;
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir &) = delete;
  TempDir &operator=(const TempDir &) = delete;

  const std::string &Path() const { return path_; }
  // The path of a name inside the directory.
  std::string operator/(const std::string &name) const { return path_ + "/" + name; }

  // Names of the entries in the directory.
  std::set<std::string> Names() const {
    std::set<std::string> names;
    for (const auto &entry : std::filesystem::directory_iterator(path_)) names.insert(entry.path().filename().string());
    return names;
  }

  void Write(const std::string &name, const std::string &bytes) const {
    std::ofstream out(*this / name, std::ios::binary | std::ios::trunc);
    out << bytes;
  }
  std::string Read(const std::string &name) const {
    std::ifstream in(*this / name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

 private:
  std::string path_;
};

}  // namespace velmora::testing
