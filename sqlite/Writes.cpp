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

bool SameUniqueKey(VTable *t, const std::vector<uint8_t> &a, const std::vector<uint8_t> &b) {
  const std::vector<FieldDef> &fields = t->engine.fields();
  for (int32_t f : t->engine.indexes()[0].fields) {
    const FieldDef &field = fields[static_cast<size_t>(f)];
    if (CompareSql(ReadField(field, f, a.data()), ReadField(field, f, b.data())) != 0) return false;
  }
  return true;
}

// Puts the engine's cursor on the record the statement knows by this number.
// *gone tells that the statement itself deleted it already (OR REPLACE): the
// row is then passed over, as SQL passes over rows that no longer exist.
int GoTo(VTable *t, sqlite3_value *rowid, std::vector<uint8_t> *image, int32_t *now, bool *gone) {
  sqlite3_int64 seen = sqlite3_value_int64(rowid);
  if (seen < 0 || seen > INT32_MAX) return t->Error(SQLITE_ERROR, "no record has the number " + std::to_string(seen));
  *now = t->renames.Current(static_cast<int32_t>(seen));
  *gone = *now < 0;
  if (*gone) return SQLITE_OK;
  bool onRecord = false;
  ++t->moves;
  if (!t->engine.GoToRecord(*now, &onRecord)) return t->EngineError();
  if (!onRecord) return t->Error(SQLITE_ERROR, "record " + std::to_string(seen) + " is no longer in the table");
  int32_t recNo = -1;
  if (!t->engine.Current(image, &recNo)) return t->EngineError();
  return SQLITE_OK;
}

// Deletes the record the engine's cursor stands on, noting it for undo.
int DeleteCurrent(VTable *t) {
  std::vector<uint8_t> before;
  int32_t now = -1;
  if (!t->engine.Current(&before, &now)) return t->EngineError();
  int32_t count = t->engine.RecordCount();
  if (count < 0) return t->EngineError();
  ++t->moves;
  if (!t->engine.DeleteCurrent()) return t->EngineError();
  t->renames.Deleted(now, count - 1);
  t->undo.Add(Change{Change::kDelete, std::move(before), {}});
  return SQLITE_OK;
}

// With OR REPLACE, the record that holds the unique key a row is about to
// take is deleted first.  *replaced tells whether there was one.
int MakeRoom(VTable *t, const std::vector<uint8_t> &record, bool *replaced) {
  *replaced = false;
  if (sqlite3_vtab_on_conflict(t->db) != SQLITE_REPLACE) return SQLITE_OK;
  ++t->moves;
  if (!FindByUniqueKey(t->engine, record, replaced)) return t->EngineError();
  return *replaced ? DeleteCurrent(t) : SQLITE_OK;
}

int Delete(VTable *t, sqlite3_value *rowid) {
  std::vector<uint8_t> before;
  int32_t now = -1;
  bool gone = false;
  int rc = GoTo(t, rowid, &before, &now, &gone);
  return rc != SQLITE_OK || gone ? rc : DeleteCurrent(t);
}

int Insert(VTable *t, int argc, sqlite3_value **argv, sqlite3_int64 *rowid) {
  if (NumberGiven(argv[1]) || (argc > 2 + t->recnoColumn && NumberGiven(argv[2 + t->recnoColumn])))
    return Refuse(t, "a new record's number is given by the table: leave rowid and recno out");
  std::vector<uint8_t> record(static_cast<size_t>(t->engine.recordSize()), 0);
  int rc = BuildRecord(t, argv + 2, &record);
  if (rc != SQLITE_OK) return rc;
  bool replaced = false;
  rc = MakeRoom(t, record, &replaced);
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
  bool gone = false;
  int rc = GoTo(t, argv[0], &before, &now, &gone);
  if (rc != SQLITE_OK || gone) return rc;
  std::vector<uint8_t> after = before;
  rc = BuildRecord(t, argv + 2, &after);
  if (rc != SQLITE_OK) return rc;
  if (after == before) return SQLITE_OK;
  if (!SameUniqueKey(t, before, after)) {
    bool replaced = false;
    rc = MakeRoom(t, after, &replaced);
    if (rc != SQLITE_OK) return rc;
    bool found = true;
    if (replaced && (!FindByUniqueKey(t->engine, before, &found) || !found))
      return found ? t->EngineError() : t->Error(SQLITE_ERROR, "the edited record could not be found again");
  }
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
