// SQLite under measurement: a table with the same columns and the same three
// keys (Id as the integer primary key, an index on Name, an index on City and
// Amount), synchronous=OFF, the rollback journal in memory, statements
// prepared once.  Either every statement is its own transaction
// ("autocommit") or each phase runs in one transaction.
#pragma once

#include <string>

#include "Driver.h"

struct sqlite3;
struct sqlite3_stmt;

namespace bench {

class SqliteDriver : public Driver {
 public:
  enum class Mode { kAutocommit, kOneTransaction };
  SqliteDriver(const std::string &folder, Mode mode);
  ~SqliteDriver() override;
  SqliteDriver(const SqliteDriver &) = delete;
  SqliteDriver &operator=(const SqliteDriver &) = delete;

  Digest Run(Phase phase, const Workload &workload) override;
  Digest Contents() override;
  CallCounts Calls() const override;

 private:
  void Exec(const char *sql);
  sqlite3_stmt *Prepare(const std::string &sql);
  // Steps a statement that returns no row; false when it failed.
  bool Done(sqlite3_stmt *statement);
  [[noreturn]] void Fail(const std::string &what);
  Digest RunPhase(Phase phase, const Workload &w);
  // Adds every record a query returns (columns id, name, city, amount, score).
  void Rows(sqlite3_stmt *statement, Digest &d);

  Mode mode_;
  sqlite3 *db_ = nullptr;
  sqlite3_stmt *insert_ = nullptr, *findId_ = nullptr, *findName_ = nullptr, *range_ = nullptr;
  sqlite3_stmt *scan_ = nullptr, *updateScore_ = nullptr, *updateName_ = nullptr, *delete_ = nullptr;
  sqlite3_stmt *byName_ = nullptr, *byCity_ = nullptr, *count_ = nullptr;
};

}  // namespace bench
