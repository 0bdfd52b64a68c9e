// Reading a schema file: the header, then the field and index blocks, each
// checked so that no count, length or number read from the file can reach
// outside a buffer or a descriptor.  Both the reader into a client's
// definition lists and the table's own open use it; each adds the checks and
// messages of its own purpose.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace velmora {

struct SchemaFieldImage {
  std::string name;
  char type = 0;
  int32_t size = 0;       // storage size in bytes
  int32_t offset = 0;     // position of the value in the record
  int32_t flagsWord = 0;  // the field flags word (0 in files without parameters)
  int32_t hasParam[4] = {};
  std::string params[3];
};

struct SchemaIndexImage {
  std::string name;
  std::vector<int32_t> fieldNos;
};

struct SchemaImage {
  int32_t fieldCount = 0;
  int32_t indexCount = 0;
  int32_t recordSize = 0;
  uint8_t version[6] = {};
  bool withParams = false;  // version 2.0 or later: the field parameters count
  std::vector<SchemaFieldImage> fields;
  std::vector<SchemaIndexImage> indexes;
};

class SchemaReader {
 public:
  // raise must not return: it reports a damaged file with the given text.
  using Raiser = std::function<void(const std::string &message)>;

  SchemaReader(platform::File &file, const std::string &name, Raiser raise);

  // The header block.  The counts are not checked here: each caller has its
  // own limits and messages for them.
  void ReadHeader(SchemaImage &image);
  // The field and index blocks, for counts already checked to lie within the
  // limits of a table.  A file cut short raises EInOutError "Read beyond end of file".
  void ReadBlocks(SchemaImage &image);
  // Reports "The schema file <name> is damaged: <what>".
  [[noreturn]] void Damaged(const std::string &what) const;

 private:
  void ReadBlock(int32_t blockNo);
  std::string Text(int32_t offset, const std::string &what) const;

  platform::File &file_;
  std::string name_;
  Raiser raise_;
  std::vector<uint8_t> block_;
};

}  // namespace velmora
