// The SQLite module "velmora": a virtual table over one table of the engine,
//   CREATE VIRTUAL TABLE staff USING velmora('path/staff.vri' [, readonly | readwrite]);
// and the extension's entry point.
#include <sqlite3ext.h>

#include <algorithm>
#include <cctype>
#include <set>
#include <string>

#include "VTable.h"

SQLITE_EXTENSION_INIT1

namespace vsql {
namespace {

std::string Trim(const std::string &text) {
  size_t a = text.find_first_not_of(" \t\r\n");
  if (a == std::string::npos) return {};
  size_t b = text.find_last_not_of(" \t\r\n");
  return text.substr(a, b - a + 1);
}

// An argument as written in CREATE VIRTUAL TABLE, without its quotes.
std::string Unquote(const std::string &raw) {
  std::string text = Trim(raw);
  if (text.size() >= 2 && (text[0] == '\'' || text[0] == '"') && text.back() == text[0]) {
    char q = text[0];
    std::string out;
    for (size_t i = 1; i + 1 < text.size(); ++i) {
      out += text[i];
      if (text[i] == q && i + 2 < text.size() && text[i + 1] == q) ++i;
    }
    return out;
  }
  return text;
}

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char ch) { return std::tolower(ch); });
  return text;
}

std::string QuoteIdentifier(const std::string &name) {
  std::string out = "\"";
  for (char ch : name) out += ch == '"' ? std::string("\"\"") : std::string(1, ch);
  return out + "\"";
}

// Column names: the field names, made unique without regard to letter case
// as SQL needs; the record number's hidden column is "recno".
std::string Declaration(const std::vector<FieldDef> &fields) {
  std::set<std::string> taken;
  std::vector<std::string> names;
  for (size_t i = 0; i < fields.size(); ++i) {
    std::string name = fields[i].name.empty() ? "field" + std::to_string(i + 1) : fields[i].name;
    std::string unique = name;
    for (int n = 2; taken.count(Lower(unique)) != 0 || Lower(unique) == "recno"; ++n)
      unique = name + "_" + std::to_string(n);
    taken.insert(Lower(unique));
    names.push_back(unique);
  }
  std::string sql = "CREATE TABLE x(";
  for (size_t i = 0; i < fields.size(); ++i)
    sql += QuoteIdentifier(names[i]) + " " + SqlTypeName(fields[i].type) + ", ";
  return sql + "recno INTEGER HIDDEN)";
}

int Connect(sqlite3 *db, void *, int argc, const char *const *argv, sqlite3_vtab **out, char **error) {
  auto fail = [&](const std::string &message) {
    *error = sqlite3_mprintf("%s", message.c_str());
    return SQLITE_ERROR;
  };
  if (argc < 4 || argc > 5)
    return fail(
        "velmora needs the schema file's path and, optionally, the open mode: "
        "USING velmora('path/table.vri' [, readonly | readwrite])");
  std::string path = Unquote(argv[3]);
  if (path.empty()) return fail("velmora needs the path of the table's schema file");
  bool writable = false;
  if (argc == 5) {
    std::string mode = Lower(Unquote(argv[4]));
    if (mode == "readwrite" || mode == "read-write" || mode == "rw") {
      writable = true;
    } else if (mode != "readonly" && mode != "read-only" && mode != "ro") {
      return fail("unknown open mode '" + Unquote(argv[4]) + "': give readonly or readwrite");
    }
  }
  auto *t = new VTable();
  t->db = db;
  t->name = argv[2];
  t->writable = writable;
  if (!t->engine.Open(path, writable)) {
    std::string message = t->engine.error();
    delete t;
    return fail(message);
  }
  t->recnoColumn = static_cast<int32_t>(t->engine.fields().size());
  int rc = sqlite3_declare_vtab(db, Declaration(t->engine.fields()).c_str());
  if (rc != SQLITE_OK) {
    delete t;
    return fail(std::string("could not declare the table's columns: ") + sqlite3_errstr(rc));
  }
  // A refused key leaves the table unchanged, so ON CONFLICT can act on it.
  sqlite3_vtab_config(db, SQLITE_VTAB_CONSTRAINT_SUPPORT, 1);
  // The table reads and writes files: triggers and views of a database file
  // may not use it behind the user's back.
  sqlite3_vtab_config(db, SQLITE_VTAB_DIRECTONLY);
  *out = t;
  return SQLITE_OK;
}

int Disconnect(sqlite3_vtab *vtab) {
  delete static_cast<VTable *>(vtab);
  return SQLITE_OK;
}

int BestIndex(sqlite3_vtab *vtab, sqlite3_index_info *info) {
  VTable *t = static_cast<VTable *>(vtab);
  int32_t count = t->engine.RecordCount();
  return ChoosePlan(t->engine.fields(), t->engine.indexes(), count < 0 ? 1000 : count, t->recnoColumn, info);
}

int Open(sqlite3_vtab *, sqlite3_vtab_cursor **out) {
  *out = new Cursor();
  return SQLITE_OK;
}

int Close(sqlite3_vtab_cursor *cursor) {
  delete static_cast<Cursor *>(cursor);
  return SQLITE_OK;
}

int FilterCall(sqlite3_vtab_cursor *cursor, int idxNum, const char *, int argc, sqlite3_value **argv) {
  return Filter(static_cast<Cursor *>(cursor), idxNum, argc, argv);
}

int NextCall(sqlite3_vtab_cursor *cursor) { return Advance(static_cast<Cursor *>(cursor)); }

int Eof(sqlite3_vtab_cursor *cursor) {
  Cursor *c = static_cast<Cursor *>(cursor);
  return c->pos >= c->rows.size() ? 1 : 0;
}

int Column(sqlite3_vtab_cursor *cursor, sqlite3_context *context, int column) {
  Cursor *c = static_cast<Cursor *>(cursor);
  if (c->pos >= c->rows.size()) return SQLITE_OK;
  const Row &row = c->rows[c->pos];
  const std::vector<FieldDef> &fields = c->table()->engine.fields();
  if (column >= 0 && column < static_cast<int>(fields.size())) {
    // An UPDATE that leaves the column as it is keeps its stored bytes.
    if (sqlite3_vtab_nochange(context)) return SQLITE_OK;
    ResultField(context, fields[static_cast<size_t>(column)], column, row.image.data());
  } else {
    sqlite3_result_int64(context, row.recNo);
  }
  return SQLITE_OK;
}

int RowId(sqlite3_vtab_cursor *cursor, sqlite3_int64 *rowid) {
  Cursor *c = static_cast<Cursor *>(cursor);
  *rowid = c->pos < c->rows.size() ? c->rows[c->pos].recNo : -1;
  return SQLITE_OK;
}

int UpdateCall(sqlite3_vtab *vtab, int argc, sqlite3_value **argv, sqlite3_int64 *rowid) {
  return Update(static_cast<VTable *>(vtab), argc, argv, rowid);
}

int Begin(sqlite3_vtab *vtab) {
  static_cast<VTable *>(vtab)->undo.Forget();
  return SQLITE_OK;
}

int Sync(sqlite3_vtab *) { return SQLITE_OK; }

int Commit(sqlite3_vtab *vtab) {
  VTable *t = static_cast<VTable *>(vtab);
  t->undo.Forget();
  t->renames.Clear();
  return SQLITE_OK;
}

int RollbackToLevel(VTable *t, int level) {
  std::string error;
  ++t->moves;
  t->renames.Clear();
  if (!t->undo.RollbackTo(level, t->engine, &error)) return t->Error(SQLITE_ERROR, error);
  return SQLITE_OK;
}

int Rollback(sqlite3_vtab *vtab) {
  VTable *t = static_cast<VTable *>(vtab);
  int rc = RollbackToLevel(t, -1);
  t->undo.Forget();
  return rc;
}

int Savepoint(sqlite3_vtab *vtab, int level) {
  static_cast<VTable *>(vtab)->undo.Savepoint(level);
  return SQLITE_OK;
}

int Release(sqlite3_vtab *vtab, int level) {
  static_cast<VTable *>(vtab)->undo.Release(level);
  return SQLITE_OK;
}

int RollbackTo(sqlite3_vtab *vtab, int level) { return RollbackToLevel(static_cast<VTable *>(vtab), level); }

int Rename(sqlite3_vtab *vtab, const char *name) {
  static_cast<VTable *>(vtab)->name = name;
  return SQLITE_OK;
}

sqlite3_module MakeModule() {
  sqlite3_module m{};
  m.iVersion = 2;
  m.xCreate = Connect;  // the table's files must exist: creating and connecting are the same
  m.xConnect = Connect;
  m.xBestIndex = BestIndex;
  m.xDisconnect = Disconnect;
  m.xDestroy = Disconnect;  // DROP TABLE leaves the table's files alone
  m.xOpen = Open;
  m.xClose = Close;
  m.xFilter = FilterCall;
  m.xNext = NextCall;
  m.xEof = Eof;
  m.xColumn = Column;
  m.xRowid = RowId;
  m.xUpdate = UpdateCall;
  m.xBegin = Begin;
  m.xSync = Sync;
  m.xCommit = Commit;
  m.xRollback = Rollback;
  m.xRename = Rename;
  m.xSavepoint = Savepoint;
  m.xRelease = Release;
  m.xRollbackTo = RollbackTo;
  return m;
}

const sqlite3_module kModule = MakeModule();

}  // namespace

int VTable::Error(int rc, const std::string &message) {
  sqlite3_free(zErrMsg);
  zErrMsg = sqlite3_mprintf("%s", message.c_str());
  return rc;
}

int VTable::EngineError() {
  switch (engine.failure()) {
    case Failure::kKeyViolation: return Error(SQLITE_CONSTRAINT, engine.error());
    case Failure::kFull: return Error(SQLITE_FULL, engine.error());
    case Failure::kCorrupt: return Error(SQLITE_CORRUPT, engine.error());
    case Failure::kInOut: return Error(SQLITE_IOERR, engine.error());
    default: return Error(SQLITE_ERROR, engine.error());
  }
}

}  // namespace vsql

extern "C" __attribute__((visibility("default"))) int sqlite3_velmorasqlite_init(sqlite3 *db, char **,
                                                                                 const sqlite3_api_routines *api) {
  SQLITE_EXTENSION_INIT2(api);
  return sqlite3_create_module(db, "velmora", &vsql::kModule, nullptr);
}
