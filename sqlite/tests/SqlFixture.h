// Tests of the SQLite module: a table defined through the library's exports
// in a fresh folder, and an SQLite connection with the extension loaded.
#pragma once

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <string>
#include <vector>

namespace sqltest {

struct Field {
  std::string name;
  char type;
  int len = 0;  // characters of a String field
};

struct Index {
  std::string name;
  std::vector<int> fields;
};

class Folder {
 public:
  Folder();
  ~Folder();
  std::string operator/(const std::string &name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Writes the schema file and the empty data and index files.
void DefineTable(const std::string &schemaPath, const std::vector<Field> &fields, const std::vector<Index> &indexes);
// The fields of the staff table the SQL tests share.
const std::vector<Field> &StaffFields();

class Connection {
 public:
  Connection();  // an in-memory database with the module loaded
  ~Connection();
  sqlite3 *db() const { return db_; }
  // Runs the statements; "" when they succeed, else SQLite's message.
  std::string Exec(const std::string &sql) const;
  // Rows of a query as texts, fields joined by "|", NULL written as "NULL".
  std::vector<std::string> Rows(const std::string &sql) const;
  // The EXPLAIN QUERY PLAN details of a query, joined by "; ".
  std::string Plan(const std::string &sql) const;
  // The result code of the last failed statement (extended).
  int lastCode() const { return lastCode_; }

 private:
  sqlite3 *db_ = nullptr;
  mutable int lastCode_ = SQLITE_OK;
};

// The staff table used by most tests: every field type and three indexes.
//   0 Id I, 1 Name S(20), 2 Dept S(10), 3 Salary F, 4 Bonus C, 5 Rate R,
//   6 Hired D, 7 Active B
//   index 0 ById (Id); 1 ByDept (Dept, Salary); 2 ByName (Name)
class StaffTest : public ::testing::Test {
 protected:
  void SetUp() override;
  std::string Create(const std::string &table, const std::string &mode = "readwrite") const;
  Folder folder_;
  std::string schema_;
  Connection sql_;
};

}  // namespace sqltest
