// Reading rows: the cursor positions the engine's cursor with one key search
// on the plan's index, then walks the index, reading a few rows ahead at a
// time.  Several SQL cursors share the engine's one cursor: one that finds it
// moved by another searches its last record again before reading on.
#include <cmath>
#include <cstring>

#include "VTable.h"

SQLITE_EXTENSION_INIT3

namespace vsql {
namespace {

constexpr size_t kLargestBatch = 256;

const IndexDef &IndexOf(const Cursor *c) { return c->table()->engine.indexes()[static_cast<size_t>(c->plan.index)]; }

// Where a record lies against the constraints that the module tests itself:
// -1 before the rows wanted, 0 among them, 1 after them (in index order).
int Classify(const Cursor *c, const uint8_t *image) {
  const IndexDef &index = IndexOf(c);
  const std::vector<FieldDef> &fields = c->table()->engine.fields();
  for (int32_t j = 0; j < c->usableEq; ++j) {
    int32_t f = index.fields[static_cast<size_t>(j)];
    SqlValue v = ReadField(fields[static_cast<size_t>(f)], f, image);
    int r = CompareSql(v, c->eqValues[static_cast<size_t>(j)]);
    if (r != 0) return r;
  }
  if (c->usableEq < c->plan.eqCount || (!c->useLower && !c->useUpper)) return 0;
  int32_t f = index.fields[static_cast<size_t>(c->plan.eqCount)];
  SqlValue v = ReadField(fields[static_cast<size_t>(f)], f, image);
  if (v.kind == SqlValue::kNull) return -1;  // a range never holds NULL; NULL sorts first
  if (c->useLower) {
    int r = CompareSql(v, c->lower);
    if (r < 0 || (r == 0 && c->plan.lowerStrict)) return -1;
  }
  if (c->useUpper) {
    int r = CompareSql(v, c->upper);
    if (r > 0 || (r == 0 && c->plan.upperStrict)) return 1;
  }
  return 0;
}

// The order of two records in the plan's index: its fields, then the unique key.
int IndexOrder(const Cursor *c, const uint8_t *a, const uint8_t *b) {
  const std::vector<FieldDef> &fields = c->table()->engine.fields();
  auto compare = [&](const IndexDef &index) {
    for (int32_t f : index.fields) {
      const FieldDef &field = fields[static_cast<size_t>(f)];
      int r = CompareSql(ReadField(field, f, a), ReadField(field, f, b));
      if (r != 0) return r;
    }
    return 0;
  };
  int r = compare(IndexOf(c));
  return r != 0 ? r : compare(c->table()->engine.indexes()[0]);
}

// The key image that the first search goes to.  Ascending: at or before the
// first row wanted; descending: after the last one.  Fields not given carry
// the null flag 0 (before every value) or 2 (after every value).
std::vector<uint8_t> StartKey(const Cursor *c) {
  const EngineTable &engine = c->table()->engine;
  const std::vector<FieldDef> &fields = engine.fields();
  const IndexDef &index = IndexOf(c);
  const bool up = c->plan.descending;
  std::vector<uint8_t> key(static_cast<size_t>(engine.recordSize()), 0);
  uint8_t rest = up ? 2 : 0;
  int32_t j = 0;
  for (; j < c->usableEq; ++j) {
    int32_t f = index.fields[static_cast<size_t>(j)];
    const FieldDef &field = fields[static_cast<size_t>(f)];
    if ((c->plan.nullMask >> j) & 1) {
      key[static_cast<size_t>(f)] = 0;
      continue;
    }
    if (!BoundKeyBytes(field, c->eqValues[static_cast<size_t>(j)], up, key.data() + field.offset)) break;
    key[static_cast<size_t>(f)] = 1;
  }
  std::vector<bool> set(fields.size(), false);
  for (int32_t p = 0; p < j; ++p) set[static_cast<size_t>(index.fields[static_cast<size_t>(p)])] = true;
  if (j == c->plan.eqCount && j < static_cast<int32_t>(index.fields.size()) && (c->useLower || c->useUpper)) {
    int32_t f = index.fields[static_cast<size_t>(j)];
    const FieldDef &field = fields[static_cast<size_t>(f)];
    bool have = up ? c->useUpper : c->useLower;
    const SqlValue &bound = up ? c->upper : c->lower;
    if (have && BoundKeyBytes(field, bound, up, key.data() + field.offset)) {
      key[static_cast<size_t>(f)] = 1;
      set[static_cast<size_t>(f)] = true;
    } else if (!up) {
      // Past the NULLs of the range field, which no range holds.
      key[static_cast<size_t>(f)] = 0;
      set[static_cast<size_t>(f)] = true;
      rest = 2;
    }
  }
  for (size_t f = 0; f < fields.size(); ++f)
    if (!set[f]) key[f] = rest;
  return key;
}

// Moves the engine's cursor to where this SQL cursor reads next; *pending is
// true when the record it stands on has not been looked at yet.
bool Place(Cursor *c, bool *pending, bool *none) {
  VTable *t = c->table();
  EngineTable &engine = t->engine;
  *none = false;
  // A scan in no particular order reads whichever index is active when it starts.
  if (!c->started && c->plan.anyIndex) c->plan.index = engine.activeIndex();
  if (!engine.UseIndex(c->plan.index)) return false;
  bool onRecord = false;
  std::vector<uint8_t> image;
  int32_t recNo = -1;
  if (!c->started) {
    c->started = true;
    if (!engine.Seek(c->plan.index, StartKey(c), &onRecord)) return false;
    if (!onRecord) {
      *none = true;
      return true;
    }
    *pending = true;
    if (c->plan.descending) {
      // The search lands after the rows wanted, unless none follows them.
      if (!engine.Current(&image, &recNo)) return false;
      *pending = Classify(c, image.data()) <= 0;
    }
    return true;
  }
  if (t->moves == c->epoch) {
    *pending = false;
    return true;
  }
  // Another cursor or a change moved the engine: find the last record again.
  if (!engine.Seek(c->plan.index, c->last, &onRecord)) return false;
  if (!onRecord) {
    *none = true;
    return true;
  }
  if (!engine.Current(&image, &recNo)) return false;
  if (image == c->last) {
    *pending = false;
    return true;
  }
  int order = IndexOrder(c, image.data(), c->last.data());
  if (c->plan.descending) {
    *pending = order < 0;
  } else if (order <= 0) {
    *none = true;  // the search fell back to the index's last record, already read
  } else {
    *pending = true;
  }
  return true;
}

// Reads the next few rows into the cursor.
int Fill(Cursor *c) {
  c->rows.clear();
  c->pos = 0;
  if (c->exhausted) return SQLITE_OK;
  VTable *t = c->table();
  EngineTable &engine = t->engine;
  bool pending = false, none = false;
  if (!Place(c, &pending, &none)) return t->EngineError();
  c->epoch = ++t->moves;
  if (none) {
    c->exhausted = true;
    return SQLITE_OK;
  }
  const size_t want = c->batch;
  c->batch = c->batch * 2 > kLargestBatch ? kLargestBatch : c->batch * 2;
  while (c->rows.size() < want) {
    if (!pending) {
      bool onRecord = false;
      if (!(c->plan.descending ? engine.Prior(&onRecord) : engine.Next(&onRecord))) return t->EngineError();
      if (!onRecord) {
        c->exhausted = true;
        break;
      }
    }
    pending = false;
    Row row;
    if (!engine.Current(&row.image, &row.recNo)) return t->EngineError();
    c->last = row.image;
    int where = Classify(c, row.image.data());
    if (c->plan.descending) where = -where;
    if (where < 0) continue;
    if (where > 0) {
      c->exhausted = true;
      break;
    }
    c->rows.push_back(std::move(row));
    if (c->plan.unique) {
      c->exhausted = true;
      break;
    }
  }
  return SQLITE_OK;
}

int FilterByRecord(Cursor *c, sqlite3_value *value) {
  VTable *t = c->table();
  c->exhausted = true;
  sqlite3_value *copy = sqlite3_value_dup(value);
  if (copy == nullptr) return SQLITE_NOMEM;
  int kind = sqlite3_value_numeric_type(copy);
  sqlite3_int64 n = sqlite3_value_int64(copy);
  double d = sqlite3_value_double(copy);
  sqlite3_value_free(copy);
  if (kind == SQLITE_FLOAT) {
    // A whole number in range names a record; any other number names none.
    if (!(d >= 0 && d <= INT32_MAX && d == std::floor(d))) return SQLITE_OK;
    kind = SQLITE_INTEGER;
    n = static_cast<sqlite3_int64>(d);
  }
  if (kind != SQLITE_INTEGER || n < 0 || n > INT32_MAX) return SQLITE_OK;
  bool onRecord = false;
  c->epoch = ++t->moves;
  if (!t->engine.GoToRecord(static_cast<int32_t>(n), &onRecord)) return t->EngineError();
  if (!onRecord) return SQLITE_OK;
  Row row;
  if (!t->engine.Current(&row.image, &row.recNo)) return t->EngineError();
  c->rows.push_back(std::move(row));
  return SQLITE_OK;
}

}  // namespace

int Filter(Cursor *c, int idxNum, int argc, sqlite3_value **argv) {
  VTable *t = c->table();
  // A new statement reads: the numbers it sees are the records' numbers now.
  t->renames.Clear();
  c->plan = Plan::Decode(idxNum);
  c->rows.clear();
  c->pos = 0;
  c->batch = 1;
  c->started = false;
  c->exhausted = false;
  c->eqValues.assign(static_cast<size_t>(c->plan.eqCount), SqlValue());
  c->useLower = c->useUpper = false;
  if (c->plan.byRecord) return argc >= 1 ? FilterByRecord(c, argv[0]) : SQLITE_OK;
  if (c->plan.index < 0 || c->plan.index >= static_cast<int32_t>(t->engine.indexes().size()))
    return t->Error(SQLITE_ERROR, "the query plan names an index the table does not have");
  const IndexDef &index = IndexOf(c);
  if (c->plan.eqCount > static_cast<int32_t>(index.fields.size()))
    return t->Error(SQLITE_ERROR, "the query plan names more key fields than the index has");

  int arg = 0;
  auto next = [&]() -> sqlite3_value * { return arg < argc ? argv[arg++] : nullptr; };
  c->usableEq = c->plan.eqCount;
  for (int32_t j = 0; j < c->plan.eqCount; ++j) {
    if ((c->plan.nullMask >> j) & 1) continue;  // IS NULL: the NULL value
    sqlite3_value *v = next();
    if (v == nullptr) return t->Error(SQLITE_ERROR, "a key value of the query plan is missing");
    if (sqlite3_value_type(v) == SQLITE_NULL) {
      c->exhausted = true;  // "= NULL" holds for no row
      return SQLITE_OK;
    }
    const FieldDef &field = t->engine.fields()[static_cast<size_t>(index.fields[static_cast<size_t>(j)])];
    if (c->usableEq == c->plan.eqCount && !ConstraintValue(field, v, &c->eqValues[static_cast<size_t>(j)]))
      c->usableEq = j;
  }
  const bool rangeUsable =
      c->usableEq == c->plan.eqCount && c->plan.eqCount < static_cast<int32_t>(index.fields.size());
  const FieldDef *rangeField =
      rangeUsable ? &t->engine.fields()[static_cast<size_t>(index.fields[static_cast<size_t>(c->plan.eqCount)])]
                  : nullptr;
  auto bound = [&](bool present, SqlValue *out, bool *use) -> bool {
    if (!present) return true;
    sqlite3_value *v = next();
    if (v == nullptr) return false;
    if (sqlite3_value_type(v) == SQLITE_NULL) {
      c->exhausted = true;  // a comparison with NULL holds for no row
      return true;
    }
    *use = rangeField != nullptr && ConstraintValue(*rangeField, v, out);
    return true;
  };
  if (!bound(c->plan.lower, &c->lower, &c->useLower) || !bound(c->plan.upper, &c->upper, &c->useUpper))
    return t->Error(SQLITE_ERROR, "a range value of the query plan is missing");
  return Fill(c);
}

int Advance(Cursor *c) {
  ++c->pos;
  if (c->pos < c->rows.size()) return SQLITE_OK;
  return Fill(c);
}

}  // namespace vsql
