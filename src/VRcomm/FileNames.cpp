#include "VRcomm/FileNames.h"

namespace velmora {

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

}  // namespace velmora
