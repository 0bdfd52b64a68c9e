#include "abi/IndexFiles.h"

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>

namespace client {

namespace {
std::vector<int32_t> Ints(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<int32_t> out(bytes.size() / 4);
  for (size_t i = 0; i < out.size(); ++i) std::memcpy(&out[i], &bytes[4 * i], 4);
  return out;
}
}  // namespace

IndexFileImage ReadIndexFiles(const std::string &leafPath, const std::string &dirPath) {
  IndexFileImage image;
  std::vector<int32_t> dir = Ints(dirPath);
  for (size_t i = 0; i + 1 < dir.size(); i += 2) image.directory.emplace_back(dir[i], dir[i + 1]);
  std::vector<int32_t> leaf = Ints(leafPath);
  for (size_t b = 0; b + 8 <= leaf.size(); b += 8) {
    int32_t count = leaf[b];
    std::vector<int32_t> slots;
    for (int32_t s = 1; s <= count && s <= 7; ++s) slots.push_back(leaf[b + s]);
    if (count < 0 || count > 7) slots.assign(1, INT32_MIN);  // damaged count marker
    image.blocks.push_back(slots);
  }
  return image;
}

std::vector<int32_t> IndexFileImage::InOrder() const {
  std::vector<int32_t> out;
  for (auto [block, first] : directory)
    if (block >= 0 && static_cast<size_t>(block) < blocks.size())
      out.insert(out.end(), blocks[block].begin(), blocks[block].end());
  return out;
}

std::string CheckIndexStructure(const IndexFileImage &image, int32_t recordCount) {
  if (image.directory.empty()) return "directory file is empty";
  if (image.blocks.size() != image.directory.size() + 2)
    return "leaf file has " + std::to_string(image.blocks.size()) + " blocks for " +
           std::to_string(image.directory.size()) + " directory entries";
  if (recordCount == 0) {
    if (image.directory.size() != 1 || image.directory[0] != std::make_pair(2, -1))
      return "empty index directory is not (2, -1)";
    if (!image.blocks[2].empty()) return "empty index block 2 is not empty";
    return "";
  }
  std::set<int32_t> seenBlocks;
  for (auto [block, first] : image.directory) {
    if (block < 2 || static_cast<size_t>(block) >= image.blocks.size())
      return "directory names block " + std::to_string(block);
    if (!seenBlocks.insert(block).second) return "block named twice: " + std::to_string(block);
    const auto &slots = image.blocks[block];
    if (slots.empty()) return "live block " + std::to_string(block) + " is empty";
    if (slots[0] == INT32_MIN) return "block " + std::to_string(block) + " has a bad count";
    if (slots[0] != first)
      return "directory entry of block " + std::to_string(block) + " says " + std::to_string(first) +
             ", slot 1 holds " + std::to_string(slots[0]);
  }
  std::vector<int32_t> order = image.InOrder();
  std::set<int32_t> records(order.begin(), order.end());
  if (order.size() != static_cast<size_t>(recordCount) || records.size() != order.size() ||
      (!records.empty() && (*records.begin() != 0 || *records.rbegin() != recordCount - 1)))
    return "index does not hold every record exactly once";
  return "";
}

}  // namespace client
