#include "abi/LibraryApi.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace client {

LibraryApi::LibraryApi(bool privateCopy) {
  std::string path = VELMORA_LIBRARY_PATH;
  if (privateCopy) {
    char pattern[] = "/tmp/velmora-lib-XXXXXX";
    int fd = mkstemp(pattern);
    if (fd < 0) throw std::runtime_error("mkstemp failed");
    close(fd);
    copyPath = pattern;
    std::filesystem::copy_file(path, copyPath, std::filesystem::copy_options::overwrite_existing);
    path = copyPath;
  }
  handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) throw std::runtime_error(std::string("cannot load library: ") + dlerror());
#define VR_LOAD(name)                                                     \
  name = reinterpret_cast<decltype(name)::Pointer>(dlsym(handle, #name)); \
  if (name == nullptr) throw std::runtime_error("export missing: " #name);
#define VELMORA_EXPORT(ordinal, result, name, parameters) VR_LOAD(name)
#include <velmora/velmora_exports.h>
#undef VELMORA_EXPORT
#undef VR_LOAD
}

LibraryApi::~LibraryApi() {
  if (handle != nullptr) dlclose(handle);
  if (!copyPath.empty()) unlink(copyPath.c_str());
}

std::string LibraryApi::Stats() const {
  uint8_t text[256];
  std::memset(text, 0xEE, sizeof text);
  ShowStats(text);
  return FromShortBuffer(text);
}

LibraryApi &Api() {
  static LibraryApi api;
  return api;
}

TightShortString::TightShortString(const std::string &text) : bytes_(new uint8_t[text.size() + 1]) {
  bytes_[0] = static_cast<uint8_t>(text.size());
  std::memcpy(bytes_ + 1, text.data(), text.size());
}

TightShortString::~TightShortString() { delete[] bytes_; }

std::string FromShortBuffer(const uint8_t *buffer) {
  return std::string(reinterpret_cast<const char *>(buffer) + 1, buffer[0]);
}

}  // namespace client
