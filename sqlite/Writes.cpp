// INSERT, UPDATE and DELETE: each row becomes one posting, edit or deletion
// of the engine, and is noted in the undo log so that the statement or the
// transaction can be taken back whole.
#include <cstring>

#include "VTable.h"

SQLITE_EXTENSION_INIT3

namespace vsql {
namespace {

// Record numbers are the table's: they cannot be given or changed.
bool NumberGiven(sqlite3_value *value) {
  return value != nullptr && !sqlite3_value_nochange(value) && sqlite3_value_type(value) != SQLITE_NULL;
}

int Refuse(VTable *t, const std::string &message) { return t->Error(SQLITE_ERROR, message); }

// Fills the record from the new column values; unchanged columns keep their
// stored bytes.
int BuildRecord(VTable *t, sqlite3_value **values, std::vector<uint8_t> *record) {
  const std::vector<FieldDef> &fields = t->engine.fields();
  for (size_t f = 0; f < fields.size(); ++f) {
    if (sqlite3_value_nochange(values[f])) continue;
    std::string wrong = StoreField(fields[f], static_cast<int32_t>(f), values[f], record->data());
    if (!wrong.empty()) return t->Error(SQLITE_MISMATCH, wrong);
  }
  return SQLITE_OK;
}

// Puts the engine's cursor on the record the statement knows by this number.
int GoTo(VTable *t, sqlite3_value *rowid, std::vector<uint8_t> *image, int32_t *now) {
  sqlite3_int64 seen = sqlite3_value_int64(rowid);
  if (seen < 0 || seen > INT32_MAX) return t->Error(SQLITE_ERROR, "no record has the number " + std::to_string(seen));
  *now = t->renames.Current(static_cast<int32_t>(seen));
  bool onRecord = false;
  ++t->moves;
  if (*now >= 0 && !t->engine.GoToRecord(*now, &onRecord)) return t->EngineError();
  if (*now < 0 || !onRecord)
    return t->Error(SQLITE_ERROR, "record " + std::to_string(seen) + " is no longer in the table");
  int32_t recNo = -1;
  if (!t->engine.Current(image, &recNo)) return t->EngineError();
  return SQLITE_OK;
}

int Delete(VTable *t, sqlite3_value *rowid) {
  std::vector<uint8_t> before;
  int32_t now = -1;
  int rc = GoTo(t, rowid, &before, &now);
  if (rc != SQLITE_OK) return rc;
  int32_t count = t->engine.RecordCount();
  if (count < 0) return t->EngineError();
  if (!t->engine.DeleteCurrent()) return t->EngineError();
  t->renames.Deleted(now, count - 1);
  t->undo.Add(Change{Change::kDelete, std::move(before), {}});
  return SQLITE_OK;
}

int Insert(VTable *t, int argc, sqlite3_value **argv, sqlite3_int64 *rowid) {
  if (NumberGiven(argv[1]) || (argc > 2 + t->recnoColumn && NumberGiven(argv[2 + t->recnoColumn])))
    return Refuse(t, "a new record's number is given by the table: leave rowid and recno out");
  std::vector<uint8_t> record(static_cast<size_t>(t->engine.recordSize()), 0);
  int rc = BuildRecord(t, argv + 2, &record);
  if (rc != SQLITE_OK) return rc;
  int32_t count = t->engine.RecordCount();
  if (count < 0) return t->EngineError();
  ++t->moves;
  if (!t->engine.Insert(record)) return t->EngineError();
  *rowid = count;  // a new record is appended to the data file
  t->undo.Add(Change{Change::kInsert, {}, std::move(record)});
  return SQLITE_OK;
}

int Edit(VTable *t, int argc, sqlite3_value **argv) {
  if (sqlite3_value_int64(argv[0]) != sqlite3_value_int64(argv[1]) ||
      (argc > 2 + t->recnoColumn && NumberGiven(argv[2 + t->recnoColumn]) &&
       sqlite3_value_int64(argv[2 + t->recnoColumn]) != sqlite3_value_int64(argv[0])))
    return Refuse(t, "record numbers are given by the table and cannot be changed");
  std::vector<uint8_t> before;
  int32_t now = -1;
  int rc = GoTo(t, argv[0], &before, &now);
  if (rc != SQLITE_OK) return rc;
  std::vector<uint8_t> after = before;
  rc = BuildRecord(t, argv + 2, &after);
  if (rc != SQLITE_OK) return rc;
  if (after == before) return SQLITE_OK;
  if (!t->engine.EditCurrent(after)) return t->EngineError();
  t->undo.Add(Change{Change::kEdit, std::move(before), std::move(after)});
  return SQLITE_OK;
}

}  // namespace

int Update(VTable *t, int argc, sqlite3_value **argv, sqlite3_int64 *rowid) {
  if (!t->writable)
    return t->Error(SQLITE_READONLY, "table " + t->name +
                                         " is open read-only: create it with 'readwrite' as the second "
                                         "argument to change its records");
  if (argc == 1) return Delete(t, argv[0]);
  if (argc < 2 + t->recnoColumn) return t->Error(SQLITE_ERROR, "too few column values");
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return Insert(t, argc, argv, rowid);
  return Edit(t, argc, argv);
}

}  // namespace vsql
