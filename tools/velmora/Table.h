// The tool's hold on the library: a connected user with one table open, its
// layout learned through the exports, and helpers that move short strings,
// key texts and record buffers across.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <velmora/velmora.hpp>

#include "Values.h"

namespace vtool {

// A 256-byte short string; refuses texts of more than 255 characters.
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
// The path with its extension replaced (the text after the last "." that
// follows the last "/"; appended when there is none).
std::string ReplaceExtension(const std::string &path, const std::string &extension);

// Open modes of the schema file.
constexpr int32_t kOpenShared = 64;     // read only; others may read and write
constexpr int32_t kOpenExclusive = 34;  // read and write; others may only read

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

 private:
  void LearnActiveIndex(int32_t indexNo);

  int32_t h_ = 0;
  std::string path_;
  int32_t recordSize_ = 0;
  std::vector<Field> fields_;
  std::vector<Index> indexes_;
};

}  // namespace vtool
