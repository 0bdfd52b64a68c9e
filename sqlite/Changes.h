// What a transaction changed, so that a failed statement or a ROLLBACK can be
// undone, and how record numbers moved while a statement deleted records.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "EngineTable.h"

namespace vsql {

struct Change {
  enum Kind { kInsert, kEdit, kDelete } kind;
  std::vector<uint8_t> before;  // the record as it was (edit, delete)
  std::vector<uint8_t> after;   // the record as it became (insert, edit)
};

// Changes since the transaction began, with a mark per open savepoint.
// Records are found again by their unique key (index 0), since record
// numbers change when records are deleted.
class UndoLog {
 public:
  void Add(Change change) { changes_.push_back(std::move(change)); }
  void Forget();  // transaction committed
  void Savepoint(int level);
  void Release(int level);
  // Undoes, newest first, the changes after the savepoint's mark (all of them
  // for level -1).  False, with the reason in *error, when the engine refuses
  // an undo step; the log then holds the steps not yet undone.
  bool RollbackTo(int level, EngineTable &engine, std::string *error);

 private:
  bool Undo(const Change &change, EngineTable &engine, std::string *error);
  std::vector<Change> changes_;
  std::vector<size_t> marks_;
};

// Record numbers seen by the statement running now, mapped to the numbers the
// same records have after the statement's deletions moved the last record
// into each gap.
class RecordRenames {
 public:
  void Clear() {
    forward_.clear();
    backward_.clear();
  }
  // The record's number now, or -1 when the statement deleted it.
  int32_t Current(int32_t seen) const;
  // Record `at` was deleted and the last record, `last`, took its number.
  void Deleted(int32_t at, int32_t last);

 private:
  std::unordered_map<int32_t, int32_t> forward_;   // number seen -> number now
  std::unordered_map<int32_t, int32_t> backward_;  // number now -> number seen
};

// Puts the engine's cursor on the record whose unique key equals the image's.
bool FindByUniqueKey(EngineTable &engine, const std::vector<uint8_t> &image, bool *found);

}  // namespace vsql
