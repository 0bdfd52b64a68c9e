#include "VRcomm/FileNames.h"

namespace velmora {

namespace {

// ".v" + the index letter ('a' for index 0) + the file's digit: 1 the leaf
// file, 2 the directory file.
std::string IndexExtension(int32_t i, char digit) {
  std::string ext = ".v";
  ext += static_cast<char>('a' + i);
  ext += digit;
  return ext;
}

}  // namespace

std::string ReplaceExtension(const std::string &path, const std::string &ext) {
#ifdef _WIN32
  const char *separators = "/\\:";
#else
  const char *separators = "/";
#endif
  size_t nameStart = path.find_last_of(separators);
  nameStart = nameStart == std::string::npos ? 0 : nameStart + 1;
  size_t dot = path.rfind('.');
  if (dot == std::string::npos || dot < nameStart) return path + ext;
  return path.substr(0, dot) + ext;
}

std::string SchemaFileName(const std::string &tablePath) { return ReplaceExtension(tablePath, ".vri"); }

std::string DataFileName(const std::string &tablePath) { return ReplaceExtension(tablePath, ".vrd"); }

std::string LeafFileName(const std::string &tablePath, int32_t i) {
  return ReplaceExtension(tablePath, IndexExtension(i, '1'));
}

std::string DirectoryFileName(const std::string &tablePath, int32_t i) {
  return ReplaceExtension(tablePath, IndexExtension(i, '2'));
}

std::string JournalFileName(const std::string &tablePath) { return ReplaceExtension(tablePath, ".VRJ"); }

std::string BackupFileName(const std::string &tablePath) { return ReplaceExtension(tablePath, ".VXX"); }

}  // namespace velmora
