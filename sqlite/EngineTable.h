// One open table of the engine, seen by the SQL module: the only place that
// calls the library's exports.  Every call is made inside a guard that turns
// an exception into a false result with the message kept in error(), so the
// rest of the module works with plain results and never sees an exception.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vsql {

struct FieldDef {
  std::string name;
  char type = 'X';
  int32_t offset = 0;
  int32_t size = 0;  // storage size in bytes (a String field: characters + 1)
};

struct IndexDef {
  std::string name;
  std::vector<int32_t> fields;  // field numbers in key order
};

// What kind of failure the last error was, for the SQL result code.
enum class Failure { kNone, kKeyViolation, kFull, kCorrupt, kInOut, kOther };

class EngineTable {
 public:
  EngineTable() = default;
  ~EngineTable();
  EngineTable(const EngineTable &) = delete;
  EngineTable &operator=(const EngineTable &) = delete;

  // Reads the definition and opens the table: read-only (others may do
  // anything) or for reading and writing (others may only read).
  bool Open(const std::string &schemaPath, bool writable);
  void Close();

  const std::vector<FieldDef> &fields() const { return fields_; }
  const std::vector<IndexDef> &indexes() const { return indexes_; }
  int32_t recordSize() const { return recordSize_; }
  int32_t activeIndex() const { return active_; }

  const std::string &error() const { return error_; }
  Failure failure() const { return failure_; }

  // Number of records, or -1 on failure.
  int32_t RecordCount();
  // Makes the index the active one (whole index as the range) unless it is already.
  bool UseIndex(int32_t indexNo);
  // Cursor moves within the active index.  *onRecord is false when the
  // cursor could not move (end of the index) or the table is empty.
  bool First(bool *onRecord);
  bool Last(bool *onRecord);
  bool Next(bool *onRecord);
  bool Prior(bool *onRecord);
  // Puts the cursor on the first record of the active index whose key on
  // index indexNo does not sort before the key image (the last record when
  // every one does).  *onRecord is false for an empty table.
  bool Seek(int32_t indexNo, const std::vector<uint8_t> &key, bool *onRecord);
  // Puts the cursor on record recNo; *onRecord is false when there is none.
  bool GoToRecord(int32_t recNo, bool *onRecord);
  // The current record's image and number.
  bool Current(std::vector<uint8_t> *image, int32_t *recNo);

  // Changes: a new record, the current record edited or deleted.
  bool Insert(const std::vector<uint8_t> &image);
  bool EditCurrent(const std::vector<uint8_t> &image);
  bool DeleteCurrent();

 private:
  template <class Call>
  bool Guard(Call &&call);
  void Fail(const std::string &message, const char *className);

  int32_t h_ = 0;
  bool open_ = false;
  int32_t recordSize_ = 0;
  int32_t active_ = 0;
  std::vector<FieldDef> fields_;
  std::vector<IndexDef> indexes_;
  std::string error_;
  Failure failure_ = Failure::kNone;
};

}  // namespace vsql
