// The state of one virtual table (one CREATE VIRTUAL TABLE ... USING velmora)
// and of one of its cursors, shared by the module's parts.
#pragma once

#include <sqlite3ext.h>

#include <cstdint>
#include <string>
#include <vector>

#include "Changes.h"
#include "EngineTable.h"
#include "FieldValues.h"
#include "Planner.h"

namespace vsql {

struct VTable : sqlite3_vtab {
  sqlite3 *db = nullptr;
  std::string name;         // the SQL table's name
  bool writable = false;    // opened for reading and writing
  int32_t recnoColumn = 0;  // the hidden column of the record number (after the fields)
  EngineTable engine;
  // Counts moves of the engine's one cursor, so that an SQL cursor knows
  // whether it must find its place again before it reads on.
  uint64_t moves = 0;
  UndoLog undo;
  RecordRenames renames;

  // Sets the table's error message; returns rc.
  int Error(int rc, const std::string &message);
  // The SQL result code and message of the engine's last failure.
  int EngineError();
};

struct Row {
  int32_t recNo = -1;
  std::vector<uint8_t> image;
};

struct Cursor : sqlite3_vtab_cursor {
  Plan plan;
  // The constraint values: one per equal key field (NULL for IS NULL), and
  // the range bounds; usableEq counts the leading equal fields whose values
  // the module can test itself, useLower/useUpper the bounds.
  std::vector<SqlValue> eqValues;
  int32_t usableEq = 0;
  SqlValue lower, upper;
  bool useLower = false, useUpper = false;

  std::vector<Row> rows;  // the rows read ahead; rows[pos] is the current one
  size_t pos = 0;
  size_t batch = 1;
  bool started = false;
  bool exhausted = false;
  std::vector<uint8_t> last;  // image of the last record read from the engine
  uint64_t epoch = 0;         // VTable::moves after this cursor's last read

  VTable *table() const { return static_cast<VTable *>(pVtab); }
};

// Reading (Scan.cpp).
int Filter(Cursor *cursor, int idxNum, int argc, sqlite3_value **argv);
int Advance(Cursor *cursor);

// Writing (Writes.cpp).
int Update(VTable *table, int argc, sqlite3_value **argv, sqlite3_int64 *rowid);

}  // namespace vsql
