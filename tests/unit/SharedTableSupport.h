// A table of five fields and three indexes worked on through the exports as a
// client does, with a model of what it should hold, a deterministic workload
// of insertions, edits and deletions, and a soundness check that walks every
// index.  Used by the crash, failure and sharing tests.
#pragma once

#include <cstdint>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace velmora::testing {

struct Row {
  int32_t id = 0;
  std::string name;  // index 1
  std::string city;  // index 2, with n
  int32_t n = 0;
  std::string note;  // in no index
  bool operator==(const Row &) const = default;
};
using Model = std::map<int32_t, Row>;

struct Op {
  enum Kind { kInsert, kEdit, kDelete, kEmpty, kRebuild } kind;
  Row row;  // the new row (insert, edit) or the row to delete
};

// Writes the schema with empty data and index files.
void CreateTable(const std::string &schemaPath);

class Client {
 public:
  Client();
  ~Client();
  Client(const Client &) = delete;
  Client &operator=(const Client &) = delete;

  int32_t Open(const std::string &schemaPath, int32_t mode);
  void Close();
  void Apply(const Op &op);
  void Insert(const Row &row);
  void Edit(const Row &row);
  void Delete(int32_t id);
  bool Find(int32_t id);
  std::vector<Row> Walk(int32_t indexNo);
  Row Current();
  int32_t Total();
  // The error text (selector 1) of the status export.
  std::string ErrorText();

  // The record buffer of a row, and the row of a record buffer.
  std::vector<uint8_t> Encode(const Row &row) const;
  Row Decode(const std::vector<uint8_t> &record) const;

  int32_t handle = 0;

 private:
  void Layout();
  int32_t size_ = 0;
  int32_t offset_[5] = {};
  int32_t length_[5] = {};
};

// Creates the table and fills it, through a client that closes again, with
// rows 1 to `count`: name "N" + (id modulo nameCycle), city "C", n = id, no
// note.  Returns the rows in the order of index 0.
std::vector<Row> CreateFilledTable(const std::string &schemaPath, int32_t count, int32_t nameCycle);

// Empty when every index walks all records in key order with the same set of
// record contents; otherwise what is wrong.
std::string Soundness(Client &client, Model *contents = nullptr);

// A workload of `count` operations on ids from `firstId` on, starting from
// `start`; the model after each operation is model[k + 1].
std::vector<Op> MakeWorkload(uint32_t seed, int count, int32_t firstId, const Model &start, std::vector<Model> *models,
                             bool withEmptyAndRebuild = false);
void ApplyToModel(const Op &op, Model &model);

}  // namespace velmora::testing
