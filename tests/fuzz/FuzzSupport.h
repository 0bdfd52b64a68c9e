// Shared parts of the fuzz targets: a small valid table written once, fresh
// copies of its files for every input, and drivers that call the library's
// exports the way clients do, every call guarded, so that only crashes,
// sanitizer reports, endless loops and broken table invariants stop a run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include <velmora/velmora.h>

namespace fuzz {

// The fuzz table: fields Id:I, Name:S:12, Amount:F, When:D, Flag:B, Price:C,
// Ratio:R, Note:S:300; indexes ById(Id), ByName(Name, Amount),
// ByWhen(When, Ratio), ByPrice(Price).
constexpr int32_t kFieldCount = 8;
constexpr int32_t kIndexCount = 4;

// Reads input bytes one value at a time; past the end every read gives zeros.
class Input {
 public:
  Input(const uint8_t *data, size_t size) : data_(data), size_(size) {}
  bool done() const { return at_ >= size_; }
  uint8_t byte();
  int32_t int32();
  double number();  // from a list of awkward values, or raw bits
  std::string text(size_t maxLen);

 private:
  const uint8_t *data_;
  size_t size_;
  size_t at_ = 0;
};

// A short string built in a buffer only as long as its length byte says.
std::vector<uint8_t> Short(const std::string &text);
std::string FromShort(const uint8_t *text);
// A key text array of the given texts (256-byte short strings).
std::vector<uint8_t> KeyArray(const std::vector<std::string> &texts);

// The folder of the work copy and the schema path in it.
const std::string &WorkSchema();
// Writes the pristine files of the fuzz table into the work folder (created
// on first use), with the file of the given extension replaced by the bytes
// given; an extension of "" replaces nothing.  With empty = true the pristine
// table holds no records.
void PrepareWorkTable(const std::string &extension, const uint8_t *data, size_t size, bool empty = false);
// The pristine bytes of one of the table's files (for seeds).
const std::vector<uint8_t> &PristineFile(const std::string &extension);

// A record of the fuzz table, built by field.
struct Layout {
  int32_t recordSize = 0;
  int32_t offsets[kFieldCount] = {};
  char types[kFieldCount] = {};
  int32_t lengths[kFieldCount] = {};
  bool Load(int32_t h);  // false (and empty) when the open table is not the fuzz table's shape

 private:
  bool Read(int32_t h);
};
void SetField(const Layout &layout, std::vector<uint8_t> &record, int32_t field, Input &in);

// Drives an open table through every kind of operation (the bytes choose
// arguments); every call is guarded.  Ends with a rebuild and, when it
// succeeds, checks that the table is whole again.
void Exercise(int32_t h, Input &in);

// Runs one export call chosen by the input on the open table.
void RunOneCall(int32_t h, const Layout &layout, Input &in);

// Checks the open table: every index walks exactly the record numbers 0 to
// TotalRecords - 1 once, in key order.  Aborts the run when it does not.
void CheckTable(int32_t h, const Layout &layout, const char *when);

// Aborts the run with a message: a finding.
[[noreturn]] void Finding(const std::string &what);

}  // namespace fuzz
