// Direct, read-only access to a table's files for inspection: the schema
// file's blocks, the data file's records, and each index's leaf blocks and
// directory entries.  Nothing here writes, and nothing goes through the
// library, so a damaged table can be looked at without touching it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Values.h"

namespace vtool {

// The existing file that a companion extension (".vrd", ".va1", ...) names
// beside the schema file, matched without regard to letter case; the
// lower-case spelling when there is none.
std::string CompanionPath(const std::string &schemaPath, const std::string &extension);
// Leaf (part 1) or directory (part 2) file extension of an index: ".va1", ".vb2", ...
std::string IndexExtension(int32_t indexNo, int part);

// The whole file; false (with the reason) when it cannot be read.
bool ReadFileBytes(const std::string &path, std::vector<uint8_t> *bytes, std::string *error);

int32_t ReadInt32(const uint8_t *at);

struct SchemaIndex {
  std::string name;
  std::vector<int32_t> fields;
};

struct Schema {
  int32_t fieldCount = 0, indexCount = 0, recordSize = 0;
  double version = 0;
  std::vector<Field> fields;
  std::vector<SchemaIndex> indexes;
  // Inconsistencies of the schema file itself (size, counts, offsets, key fields).
  std::vector<std::string> problems;
  // The key comparisons can rely on the layout (every index field is usable).
  bool usable = true;
};

// Reads the schema file; raises ToolError when its header cannot be read.
Schema ReadSchema(const std::string &path);

struct LeafBlock {
  int32_t count = 0;
  int32_t slots[7] = {};
};

struct IndexFiles {
  std::string leafPath, dirPath;
  std::vector<uint8_t> leaf, dir;
  std::string leafError, dirError;  // non-empty when a file could not be read
  size_t blockCount() const { return leaf.size() / 32; }
  size_t entryCount() const { return dir.size() / 8; }
  LeafBlock Block(size_t blockNo) const;
  int32_t EntryBlock(size_t entry) const { return ReadInt32(&dir[8 * entry]); }
  int32_t EntryFirst(size_t entry) const { return ReadInt32(&dir[8 * entry + 4]); }
};

IndexFiles ReadIndexFiles(const std::string &schemaPath, int32_t indexNo);

// Three-way comparison of one field of two records in the order the indexes
// keep: a null sorts before every value; numbers by value (differences below
// 2^-128 count as equal); strings byte by byte up to the field's length.
int CompareField(const Field &field, int32_t fieldNo, const uint8_t *a, const uint8_t *b);
// On the fields of index i, then, when those are equal and tieBreak is set, on
// those of index 0 (the unique key).
int CompareKeys(const Schema &schema, int32_t indexNo, const uint8_t *a, const uint8_t *b, bool tieBreak);

}  // namespace vtool
