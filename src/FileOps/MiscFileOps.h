// The schema file: writing it from a client's field and index definition
// lists (together with the table's empty data and index files) and reading it
// back into such lists.
//
// The file is a run of 520-byte blocks: a header, one block per field, one
// block per index.  All integers are little-endian.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/RecordFile.h"

namespace velmora {

class TFieldDefList;
class TIndexDefList;

namespace schema {
constexpr int32_t kBlockSize = 520;
constexpr int32_t kTextWidth = 64;  // short string of at most 63 characters
constexpr int32_t kTextMax = kTextWidth - 1;
// Header block.
constexpr int32_t kHeaderFieldCount = 320;
constexpr int32_t kHeaderIndexCount = 324;
constexpr int32_t kHeaderRecordSize = 328;
constexpr int32_t kHeaderVersion = 418;
// Field block.
constexpr int32_t kFieldName = 0;
constexpr int32_t kFieldType = 65;
constexpr int32_t kFieldParam1 = 128;
constexpr int32_t kFieldParam2 = 192;
constexpr int32_t kFieldParam3 = 256;
constexpr int32_t kFieldSize = 320;
constexpr int32_t kFieldOffset = 324;
constexpr int32_t kFieldFlags = 328;
constexpr int32_t kFieldHasParam0 = 332;  // then HasParam1..3, 4 bytes each
// Index block.
constexpr int32_t kIndexName = 0;
constexpr int32_t kIndexFieldCount = 320;
constexpr int32_t kIndexFieldNos = 324;
// Version written by this system.
constexpr double kVersion = 2.1;
// Files of an older version carry no field parameters.
constexpr double kParamsVersion = 2.0;
// Companion files.
constexpr int32_t kLeafBlockSize = 32;
constexpr int32_t kLeafInitialBlocks = 3;
constexpr int32_t kDirectoryEntrySize = 8;
}  // namespace schema

class TMiscFileOps {
 public:
  TMiscFileOps();
  ~TMiscFileOps();
  TMiscFileOps(const TMiscFileOps &) = delete;
  TMiscFileOps &operator=(const TMiscFileOps &) = delete;

  // Writes the schema file (fileName with its extension replaced by ".vri")
  // and creates the table's empty data file and index files.  The definition
  // is checked whole before any file is created.  Returns fields + indexes.
  int32_t WriteSchema(const std::string &fileName, TFieldDefList &fields, TIndexDefList &indexes);
  // Reads the schema file named exactly fileName into the lists, replacing
  // their entries in place.  The file is checked whole before either list is
  // changed.  Returns fields + indexes.
  int32_t ReadSchema(const std::string &fileName, TFieldDefList &fields, TIndexDefList &indexes);

  // Returns the running offset and advances it past size bytes, to a multiple of 4.
  int32_t AllocateOffset(int32_t size);

  // Names of a table's companion files, from its schema file name.
  static std::string DataFileName(const std::string &schemaName);
  // which: 1 for the leaf file, 2 for the directory file of index k (0-based).
  static std::string IndexFileName(const std::string &schemaName, int32_t k, int which);
  // Creates (or replaces) a file with the content of a new, empty table.
  static void CreateDataFile(const std::string &name);
  static void CreateLeafFile(const std::string &name);
  static void CreateDirectoryFile(const std::string &name);

 private:
  void ReadBlock();
  void WriteBlock();

  platform::RecordFile schemaFile_{schema::kBlockSize};
  uint8_t block_[schema::kBlockSize] = {};
  int32_t runningOffset_ = 0;
  std::string schemaName_;
  int32_t indexCount_ = 0;
  int32_t fieldCount_ = 0;
  uint8_t version_[6] = {};
};

}  // namespace velmora
