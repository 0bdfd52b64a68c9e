// The tool's hold on the library: a connected user with one table open, its
// layout learned through the exports, and helpers that move short strings,
// key texts and record buffers across.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <velmora/velmora.hpp>

#include "VRcomm/FileNames.h"
#include "Values.h"

namespace vtool {

// A 256-byte short string; refuses texts of more than 255 bytes.
std::vector<uint8_t> ShortString(const std::string &text, const std::string &what = "text");
std::string FromShortString(const uint8_t *bytes);

// A run of 256-byte short strings, the key text array of searches and ranges.
class KeyTexts {
 public:
  explicit KeyTexts(const std::vector<std::string> &texts);
  const uint8_t *data() const { return bytes_.empty() ? nullptr : bytes_.data(); }
  int32_t high() const { return static_cast<int32_t>(bytes_.size() / 256) - 1; }

 private:
  std::vector<uint8_t> bytes_;
};

struct Index {
  std::string name;
  std::vector<int32_t> fields;  // field numbers in key order; known once the index was active
};

// The schema path of a table name: its extension replaced by ".vri" (a name
// without one gets it appended), as the library names the table's files.
std::string SchemaPathOf(const std::string &name);
// The path with its extension replaced, as the library does it.
using velmora::ReplaceExtension;

// Open modes of the schema file.
constexpr int32_t kOpenShared = 64;     // read only; others may read and write
constexpr int32_t kOpenExclusive = 34;  // read and write; others may only read

// The schema path of the table the tool opened last ("" before any), so that a
// failure raised by the library can name the table it happened on.
const std::string &LastTablePath();
// Why a file operation of the library on the table may have been refused: the
// table's files that this process may not read or write, as one text; "" when
// every file is readable and writable.
std::string AccessProblems(const std::string &schemaPath);
// Refuses, with a message naming the cause, a path that is no table's schema
// file: missing (or in a missing folder), a folder, or a file whose size and
// header are not those of a schema file.
void RequireSchemaFile(const std::string &path);

class Table {
 public:
  // Connects a user and opens the table; raises ToolError when the schema
  // file is missing or held by another program.
  Table(const std::string &path, int32_t openMode);
  ~Table();
  Table(const Table &) = delete;
  Table &operator=(const Table &) = delete;

  int32_t handle() const { return h_; }
  const std::string &path() const { return path_; }
  int32_t recordSize() const { return recordSize_; }
  const std::vector<Field> &fields() const { return fields_; }
  const std::vector<Index> &indexes() const { return indexes_; }

  // Field number by name, or ToolError naming the table's fields.
  int32_t FieldNumber(const std::string &name) const;
  // Index number by name, or ToolError naming the table's indexes.
  int32_t IndexNumber(const std::string &name) const;

  std::vector<uint8_t> NewRecord() const { return std::vector<uint8_t>(recordSize_, 0); }
  std::vector<uint8_t> Current() const;
  // Texts of every field of a record ("" for null).
  std::vector<std::string> Texts(const std::vector<uint8_t> &record) const;

  // Makes the index active (whole index, cursor on its first record) and
  // learns its key fields.
  void UseIndex(int32_t indexNo);
  // Key texts for the fields of the active index `indexNo`, checked and converted as the
  // tool converts values (see EngineKeyText).
  KeyTexts Keys(int32_t indexNo, const std::vector<std::string> &values) const;
  // Visits the records of the current range in index order until `visit`
  // returns false.
  void ForEach(const std::function<bool(const std::vector<uint8_t> &)> &visit) const;
  // The table's last error text (empty when none), taken from the library.
  std::string LastError() const;

  // Restricts the active index `indexNo` to the keys from..to (each a list of
  // values for leading key fields; empty for an open end).
  void ApplyRange(int32_t indexNo, const std::vector<std::string> &from, const std::vector<std::string> &to);
  // Every record (at most `limit`, -1 for all) of index `indexNo`, which must be
  // active, whose key equals the values given for its leading fields; `total`
  // receives the number of all such records.
  std::vector<std::vector<uint8_t>> FindAll(int32_t indexNo, const std::vector<std::string> &values, int32_t limit,
                                            int32_t *total);
  // "Id=3, Name=Ann": the values of an index's key fields in a record.
  std::string KeyValues(int32_t indexNo, const std::vector<uint8_t> &record) const;
  // The library's message of a refused posting, with what the tool knows on top:
  // for a key violation, the unique index and the record's values of its fields.
  std::string PostingFailure(const std::string &message, const std::vector<uint8_t> &record) const;

 private:
  void LearnActiveIndex(int32_t indexNo);

  int32_t h_ = 0;
  std::string path_;
  int32_t recordSize_ = 0;
  std::vector<Field> fields_;
  std::vector<Index> indexes_;
};

}  // namespace vtool
