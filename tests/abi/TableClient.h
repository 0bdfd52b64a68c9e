// A client of the library for tests: defines a table in a fresh temporary
// folder through the exports, opens it, and moves records and keys in and out
// the way a program written against the C interface does.
#pragma once

#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "abi/LibraryApi.h"
#include "support/ExpectError.h"
#include "support/TempDir.h"

namespace client {

struct FieldDef {
  std::string name;
  char type;
  int len = 0;  // characters of a String field
};

struct IndexDef {
  std::string name;
  std::vector<int32_t> fields;
};

// One field value: nullopt is null.
using Value = std::optional<std::string>;

// A run of 256-byte short strings, the form of a key text array.
class KeyTexts {
 public:
  KeyTexts(std::initializer_list<std::string> texts);
  explicit KeyTexts(const std::vector<std::string> &texts);
  const uint8_t *data() const { return bytes_.data(); }
  int32_t high() const { return static_cast<int32_t>(bytes_.size() / 256) - 1; }

 private:
  std::vector<uint8_t> bytes_;
};

class TableClient {
 public:
  // Defines the table (schema, data and index files) and opens it with mode 34.
  TableClient(const std::vector<FieldDef> &fields, const std::vector<IndexDef> &indexes,
              const std::string &name = "orders.vri");
  ~TableClient();

  int32_t handle() const { return h_; }
  const std::string &schemaPath() const { return schema_; }
  std::string FilePath(const std::string &extension) const;
  LibraryApi &api() const { return Api(); }

  // Record buffers laid out as the table's records.
  std::vector<uint8_t> NewRecord() const { return std::vector<uint8_t>(recordSize_, 0); }
  void Set(std::vector<uint8_t> &record, int32_t field, const Value &value) const;
  Value Get(const std::vector<uint8_t> &record, int32_t field) const;
  std::vector<uint8_t> Make(const std::vector<Value> &values) const;

  // Through the record buffer.
  std::vector<uint8_t> Current() const;
  void Put(const std::vector<uint8_t> &record) const;
  void Post(const std::vector<Value> &values) const;

  // The values of field 'field' of every record of the range, in cursor order.
  std::vector<std::string> Walk(int32_t field) const;

  int32_t fieldOffset(int32_t f) const { return offsets_[f]; }
  int32_t recordSize() const { return recordSize_; }

  // Raw index file contents.
  std::vector<int32_t> FileInts(const std::string &extension) const;

 private:
  velmora::testing::TempDir dir_{"velmora-abi"};
  std::string schema_;
  int32_t h_ = 0;
  int32_t recordSize_ = 0;
  std::vector<FieldDef> fields_;
  std::vector<int32_t> offsets_;
};

}  // namespace client
