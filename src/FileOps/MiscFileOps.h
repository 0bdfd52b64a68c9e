// The schema file: writing it from a client's field and index definition
// lists (together with the table's empty data and index files) and reading it
// back into such lists.  Its layout is in VRcomm/SchemaLayout.h.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <velmora/velmora.h>

#include "VRcomm/SchemaLayout.h"
#include "platform/RecordFile.h"

namespace velmora {

class TFieldDefList;
class TIndexDefList;

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

  // Creates (or replaces) a file with the content of a new, empty table.
  static void CreateDataFile(const std::string &name);
  static void CreateLeafFile(const std::string &name);
  static void CreateDirectoryFile(const std::string &name);

 private:
  // A definition checked whole, from which the schema file is written.
  struct SchemaDefinition {
    std::vector<TFieldDescriptor> fields;
    std::vector<int32_t> sizes;  // storage size of each field
    std::vector<std::string> indexNames;
    std::vector<std::vector<int32_t>> indexFields;
  };

  // The checks of a definition, made before any file is created.  CheckFields
  // places the fields (the running offset ends at the record size).
  void CheckCounts() const;
  void CheckFields(TFieldDefList &fields, SchemaDefinition &def);
  void CheckIndexes(TIndexDefList &indexes, SchemaDefinition &def) const;
  // The blocks of the schema file, written in order; a field block takes the
  // next offset.
  void WriteHeaderBlock();
  void WriteFieldBlock(const TFieldDescriptor &d, int32_t size);
  void WriteIndexBlock(const std::string &name, const std::vector<int32_t> &nos);
  // The record size is known only once every field is placed: it is patched
  // into the header last.
  void PatchRecordSize();
  // The data file and each index's leaf and directory files of a new, empty table.
  void CreateCompanionFiles() const;
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
