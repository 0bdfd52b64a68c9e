// Direct, read-only access to a table's files for inspection: the schema
// file's blocks, the data file's records, and each index's leaf blocks and
// directory entries.  Nothing here writes, and nothing goes through the
// library, so a damaged table can be looked at without touching it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "VRcomm/IndexLayout.h"
#include "Values.h"

namespace vtool {

// The existing file that name (a table's file, named by VRcomm/FileNames.h)
// names, matched without regard to letter case as the library opens it; name
// itself when there is none.
std::string CompanionPath(const std::string &name);

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
  int32_t slots[velmora::leaf::kBlockCapacity] = {};
};

struct IndexFiles {
  std::string leafPath, dirPath;
  std::vector<uint8_t> leaf, dir;
  std::string leafError, dirError;  // non-empty when a file could not be read
  size_t blockCount() const { return leaf.size() / velmora::leaf::kBlockBytes; }
  size_t entryCount() const { return dir.size() / velmora::directory::kEntryBytes; }
  LeafBlock Block(size_t blockNo) const;
  int32_t EntryBlock(size_t entry) const { return Entry(entry, velmora::directory::kEntryBlock); }
  int32_t EntryFirst(size_t entry) const { return Entry(entry, velmora::directory::kEntryFirst); }

 private:
  int32_t Entry(size_t entry, int32_t at) const {
    return ReadInt32(&dir[velmora::directory::kEntryBytes * entry + at]);
  }
};

IndexFiles ReadIndexFiles(const std::string &schemaPath, int32_t indexNo);

// Three-way comparison of one field of two records in the order the indexes
// keep (the engine's own comparison, VRcomm/FieldOrder.h).  Values the engine
// cannot order (a difference that is not a number or beyond the six-byte
// real's range) count as equal here; the check reports them as values.
int CompareField(const Field &field, int32_t fieldNo, const uint8_t *a, const uint8_t *b);
// On the fields of index i, then, when those are equal and tieBreak is set, on
// those of index 0 (the unique key).
int CompareKeys(const Schema &schema, int32_t indexNo, const uint8_t *a, const uint8_t *b, bool tieBreak);

}  // namespace vtool
