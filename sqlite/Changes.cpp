#include "Changes.h"

#include "FieldValues.h"

namespace vsql {

void UndoLog::Forget() {
  changes_.clear();
  marks_.clear();
}

void UndoLog::Savepoint(int level) {
  if (level < 0) return;
  marks_.resize(static_cast<size_t>(level), changes_.size());
  marks_.push_back(changes_.size());
}

void UndoLog::Release(int level) {
  if (level >= 0 && static_cast<size_t>(level) < marks_.size()) marks_.resize(static_cast<size_t>(level));
}

bool UndoLog::RollbackTo(int level, EngineTable &engine, std::string *error) {
  size_t keep = 0;
  if (level >= 0) {
    if (static_cast<size_t>(level) >= marks_.size()) return true;
    keep = marks_[static_cast<size_t>(level)];
    marks_.resize(static_cast<size_t>(level) + 1);
  } else {
    marks_.clear();
  }
  while (changes_.size() > keep) {
    if (!Undo(changes_.back(), engine, error)) return false;
    changes_.pop_back();
  }
  return true;
}

bool UndoLog::Undo(const Change &change, EngineTable &engine, std::string *error) {
  bool found = false;
  auto failed = [&](const std::string &what) {
    *error = "could not undo a change of the table: " + what;
    return false;
  };
  switch (change.kind) {
    case Change::kInsert:
      if (!FindByUniqueKey(engine, change.after, &found)) return failed(engine.error());
      if (!found) return failed("the inserted record is no longer there");
      if (!engine.DeleteCurrent()) return failed(engine.error());
      return true;
    case Change::kEdit:
      if (!FindByUniqueKey(engine, change.after, &found)) return failed(engine.error());
      if (!found) return failed("the edited record is no longer there");
      if (!engine.EditCurrent(change.before)) return failed(engine.error());
      return true;
    case Change::kDelete:
      if (!engine.Insert(change.before)) return failed(engine.error());
      return true;
  }
  return true;
}

int32_t RecordRenames::Current(int32_t seen) const {
  auto it = forward_.find(seen);
  return it == forward_.end() ? seen : it->second;
}

void RecordRenames::Deleted(int32_t at, int32_t last) {
  auto seenAs = [&](int32_t now) {
    auto it = backward_.find(now);
    return it == backward_.end() ? now : it->second;
  };
  int32_t deletedSeen = seenAs(at);
  int32_t movedSeen = seenAs(last);
  forward_[deletedSeen] = -1;
  backward_.erase(at);
  if (last != at) {
    forward_[movedSeen] = at;
    backward_[at] = movedSeen;
    backward_.erase(last);
  }
}

bool FindByUniqueKey(EngineTable &engine, const std::vector<uint8_t> &image, bool *found) {
  *found = false;
  bool onRecord = false;
  if (!engine.Seek(0, image, &onRecord)) return false;
  if (!onRecord) return true;
  std::vector<uint8_t> current;
  int32_t recNo = -1;
  if (!engine.Current(&current, &recNo)) return false;
  const std::vector<FieldDef> &fields = engine.fields();
  for (int32_t f : engine.indexes()[0].fields) {
    const FieldDef &field = fields[static_cast<size_t>(f)];
    if (CompareSql(ReadField(field, f, current.data()), ReadField(field, f, image.data())) != 0) return true;
  }
  *found = true;
  return true;
}

}  // namespace vsql
