// Reads an index's leaf and directory files straight from disk and checks
// their structure, independently of the library.
#pragma once

#include <string>
#include <vector>

namespace client {

struct IndexFileImage {
  std::vector<std::pair<int32_t, int32_t>> directory;  // (block, first record)
  std::vector<std::vector<int32_t>> blocks;            // slots 1..count of every leaf block
  std::vector<int32_t> InOrder() const;                // record numbers in directory order
};

IndexFileImage ReadIndexFiles(const std::string &leafPath, const std::string &dirPath);
// Empty when sound; otherwise what is wrong.
std::string CheckIndexStructure(const IndexFileImage &image, int32_t recordCount);

}  // namespace client
