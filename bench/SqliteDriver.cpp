#include "SqliteDriver.h"

#include <sqlite3.h>

#include <stdexcept>

#include "SqliteCountingVfs.h"

namespace bench {

namespace {

std::string Text(sqlite3_stmt *statement, int column) {
  const unsigned char *text = sqlite3_column_text(statement, column);
  return text == nullptr ? std::string() : std::string(reinterpret_cast<const char *>(text));
}

// The record at the statement's current row: columns id, name, city, amount, score.
Row RowOf(sqlite3_stmt *s) {
  return Row{sqlite3_column_int(s, 0), Text(s, 1), Text(s, 2), sqlite3_column_int(s, 3), sqlite3_column_double(s, 4)};
}

// Every query reads whole records, as the engine's record buffer holds them.
std::string SelectRecords(const char *rest) {
  return std::string("SELECT id, name, city, amount, score FROM t ") + rest;
}

}  // namespace

SqliteDriver::SqliteDriver(const std::string &folder, Mode mode) : mode_(mode) {
  const std::string path = folder + "/bench.db";
  if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, CountingVfsName()) != SQLITE_OK)
    Fail("open " + path);
  Exec("PRAGMA synchronous=OFF");
  Exec("PRAGMA journal_mode=MEMORY");
  Exec(
      "CREATE TABLE t(id INTEGER PRIMARY KEY, name TEXT NOT NULL, city TEXT NOT NULL, "
      "amount INTEGER NOT NULL, score REAL NOT NULL)");
  Exec("CREATE INDEX t_name ON t(name)");
  Exec("CREATE INDEX t_city ON t(city, amount)");
  insert_ = Prepare("INSERT INTO t(id, name, city, amount, score) VALUES(?1, ?2, ?3, ?4, ?5)");
  findId_ = Prepare(SelectRecords("WHERE id = ?1"));
  findName_ = Prepare(SelectRecords("WHERE name = ?1 ORDER BY name, id LIMIT 1"));
  // Equal City and Amount stand in Id order, as in the engine's index.
  range_ = Prepare(SelectRecords("WHERE city = ?1 ORDER BY city, amount, id"));
  scan_ = Prepare(SelectRecords("ORDER BY id"));
  updateScore_ = Prepare("UPDATE t SET score = ?2 WHERE id = ?1");
  updateName_ = Prepare("UPDATE t SET name = ?2 WHERE id = ?1");
  delete_ = Prepare("DELETE FROM t WHERE id = ?1");
  byName_ = Prepare("SELECT id FROM t ORDER BY name, id");
  byCity_ = Prepare("SELECT id FROM t ORDER BY city, amount, id");
  count_ = Prepare("SELECT count(*) FROM t");
}

SqliteDriver::~SqliteDriver() {
  for (sqlite3_stmt *s :
       {insert_, findId_, findName_, range_, scan_, updateScore_, updateName_, delete_, byName_, byCity_, count_})
    sqlite3_finalize(s);
  sqlite3_close(db_);
}

CallCounts SqliteDriver::Calls() const { return VfsCounts(); }

void SqliteDriver::Fail(const std::string &what) {
  throw std::runtime_error("SQLite: " + what + ": " + (db_ != nullptr ? sqlite3_errmsg(db_) : "no connection"));
}

void SqliteDriver::Exec(const char *sql) {
  if (sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) != SQLITE_OK) Fail(sql);
}

sqlite3_stmt *SqliteDriver::Prepare(const std::string &sql) {
  sqlite3_stmt *statement = nullptr;
  if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) Fail(sql);
  return statement;
}

bool SqliteDriver::Done(sqlite3_stmt *statement) {
  int rc = sqlite3_step(statement);
  sqlite3_reset(statement);
  return rc == SQLITE_DONE;
}

Digest SqliteDriver::Run(Phase phase, const Workload &w) {
  if (mode_ == Mode::kOneTransaction) Exec("BEGIN");
  Digest d = RunPhase(phase, w);
  if (mode_ == Mode::kOneTransaction) Exec("COMMIT");
  return d;
}

void SqliteDriver::Rows(sqlite3_stmt *s, Digest &d) {
  int rc;
  while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
    d.AddRow(RowOf(s));
    d.Count();
  }
  sqlite3_reset(s);
  if (rc != SQLITE_DONE) Fail("query");
}

Digest SqliteDriver::RunPhase(Phase phase, const Workload &w) {
  Digest d;
  switch (phase) {
    case Phase::kInsert:
      for (int32_t id : w.insertOrder) {
        const Row &row = w.RowOf(id);
        sqlite3_bind_int(insert_, 1, row.id);
        sqlite3_bind_text(insert_, 2, row.name.c_str(), static_cast<int>(row.name.size()), SQLITE_STATIC);
        sqlite3_bind_text(insert_, 3, row.city.c_str(), static_cast<int>(row.city.size()), SQLITE_STATIC);
        sqlite3_bind_int(insert_, 4, row.amount);
        sqlite3_bind_double(insert_, 5, row.score);
        if (!Done(insert_)) Fail("insert");
        d.Add(static_cast<int64_t>(id));
        d.Count();
      }
      break;
    case Phase::kFindId:
      for (int32_t id : w.findIds) {
        d.Add(static_cast<int64_t>(id));
        sqlite3_bind_int(findId_, 1, id);
        if (sqlite3_step(findId_) == SQLITE_ROW) {
          d.AddRow(RowOf(findId_));
          d.Count();
        }
        sqlite3_reset(findId_);
      }
      break;
    case Phase::kFindName:
      for (const std::string &name : w.findNames) {
        d.Add(name);
        sqlite3_bind_text(findName_, 1, name.c_str(), static_cast<int>(name.size()), SQLITE_STATIC);
        if (sqlite3_step(findName_) == SQLITE_ROW) {
          d.AddRow(RowOf(findName_));
          d.Count();
        }
        sqlite3_reset(findName_);
      }
      break;
    case Phase::kRange:
      for (const std::string &city : w.rangeCities) {
        d.Add(city);
        sqlite3_bind_text(range_, 1, city.c_str(), static_cast<int>(city.size()), SQLITE_STATIC);
        Rows(range_, d);
      }
      break;
    case Phase::kScan: Rows(scan_, d); break;
    case Phase::kUpdate:
    case Phase::kRename: {
      const bool names = phase == Phase::kRename;
      sqlite3_stmt *s = names ? updateName_ : updateScore_;
      for (const Change &change : names ? w.nameUpdates : w.scoreUpdates) {
        sqlite3_bind_int(s, 1, change.id);
        if (names)
          sqlite3_bind_text(s, 2, change.name.c_str(), static_cast<int>(change.name.size()), SQLITE_STATIC);
        else
          sqlite3_bind_double(s, 2, change.score);
        if (!Done(s)) Fail("update");
        if (sqlite3_changes(db_) == 1) {
          d.Add(static_cast<int64_t>(change.id));
          d.Count();
        } else {
          d.Add(-static_cast<int64_t>(change.id));
        }
      }
      break;
    }
    case Phase::kDelete:
      for (int32_t id : w.deleteIds) {
        sqlite3_bind_int(delete_, 1, id);
        if (!Done(delete_)) Fail("delete");
        if (sqlite3_changes(db_) == 1) {
          d.Add(static_cast<int64_t>(id));
          d.Count();
        } else {
          d.Add(-static_cast<int64_t>(id));
        }
      }
      break;
  }
  return d;
}

Digest SqliteDriver::Contents() {
  Digest d;
  Rows(scan_, d);
  // The engine's walks of its other indexes add Ids only and count nothing.
  for (sqlite3_stmt *s : {byName_, byCity_}) {
    while (sqlite3_step(s) == SQLITE_ROW) d.Add(static_cast<int64_t>(sqlite3_column_int(s, 0)));
    sqlite3_reset(s);
  }
  if (sqlite3_step(count_) != SQLITE_ROW) Fail("count");
  d.Add(static_cast<int64_t>(sqlite3_column_int(count_, 0)));
  sqlite3_reset(count_);
  return d;
}

}  // namespace bench
