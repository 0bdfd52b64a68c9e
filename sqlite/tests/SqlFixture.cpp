#include "SqlFixture.h"

#include <stdlib.h>

#include <cstring>
#include <filesystem>
#include <stdexcept>

#include <velmora/velmora.hpp>

namespace sqltest {

Folder::Folder() {
  char pattern[] = "/tmp/velmora-sql-XXXXXX";
  if (mkdtemp(pattern) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

Folder::~Folder() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

namespace {
void ToShort(uint8_t *dest, const std::string &text) {
  dest[0] = static_cast<uint8_t>(text.size());
  std::memcpy(dest + 1, text.data(), text.size());
}
}  // namespace

void DefineTable(const std::string &schemaPath, const std::vector<Field> &fields, const std::vector<Index> &indexes) {
  std::vector<TFieldDescriptor> fieldItems(fields.size());
  std::memset(fieldItems.data(), 0, sizeof(TFieldDescriptor) * fieldItems.size());
  for (size_t i = 0; i < fields.size(); ++i) {
    ToShort(fieldItems[i].Name, fields[i].name);
    fieldItems[i].FieldType = fields[i].type;
    fieldItems[i].Len = static_cast<int16_t>(fields[i].type == 'S' ? fields[i].len : 0);
  }
  std::vector<TIndexDef> indexItems(indexes.size());
  std::memset(indexItems.data(), 0, sizeof(TIndexDef) * indexItems.size());
  for (size_t i = 0; i < indexes.size(); ++i) {
    ToShort(indexItems[i].Name, indexes[i].name);
    indexItems[i].FieldCount = static_cast<int32_t>(indexes[i].fields.size());
    for (size_t k = 0; k < indexes[i].fields.size(); ++k) indexItems[i].FieldNos[k] = indexes[i].fields[k];
  }
  TFieldDefList fieldList{static_cast<int32_t>(fieldItems.size()), fieldItems.data()};
  TIndexDefList indexList{static_cast<int32_t>(indexItems.size()), indexItems.data()};
  uint8_t path[256] = {};
  ToShort(path, schemaPath);
  int32_t h = DLL_Connect(7);
  DLL_VRIFileOps(h, 0, path, &fieldList, &indexList);
  DLL_Disconnect(h);
}

Connection::Connection() {
  if (sqlite3_open(":memory:", &db_) != SQLITE_OK) throw std::runtime_error("sqlite3_open failed");
  sqlite3_extended_result_codes(db_, 1);
  sqlite3_enable_load_extension(db_, 1);
  char *error = nullptr;
  if (sqlite3_load_extension(db_, VELMORA_SQLITE_MODULE, nullptr, &error) != SQLITE_OK) {
    std::string message = error != nullptr ? error : "?";
    sqlite3_free(error);
    throw std::runtime_error("cannot load the module: " + message);
  }
}

Connection::~Connection() { sqlite3_close(db_); }

std::string Connection::Exec(const std::string &sql) const {
  char *error = nullptr;
  int rc = sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &error);
  lastCode_ = rc;
  if (rc == SQLITE_OK) return "";
  std::string message = error != nullptr ? error : sqlite3_errstr(rc);
  sqlite3_free(error);
  return message;
}

std::vector<std::string> Connection::Rows(const std::string &sql) const {
  sqlite3_stmt *statement = nullptr;
  if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK)
    throw std::runtime_error("prepare: " + std::string(sqlite3_errmsg(db_)));
  std::vector<std::string> rows;
  int rc;
  while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
    std::string row;
    for (int i = 0; i < sqlite3_column_count(statement); ++i) {
      if (i > 0) row += "|";
      const unsigned char *text = sqlite3_column_text(statement, i);
      row += sqlite3_column_type(statement, i) == SQLITE_NULL ? "NULL" : reinterpret_cast<const char *>(text);
    }
    rows.push_back(row);
  }
  std::string message = sqlite3_errmsg(db_);
  lastCode_ = rc;
  sqlite3_finalize(statement);
  if (rc != SQLITE_DONE) throw std::runtime_error(message);
  return rows;
}

std::string Connection::Plan(const std::string &sql) const {
  std::string all;
  for (const std::string &row : Rows("EXPLAIN QUERY PLAN " + sql)) {
    // id|parent|notused|detail
    size_t at = 0;
    for (int k = 0; k < 3; ++k) at = row.find('|', at) + 1;
    all += (all.empty() ? "" : "; ") + row.substr(at);
  }
  return all;
}

const std::vector<Field> &StaffFields() {
  static const std::vector<Field> fields = {{"Id", 'I'},    {"Name", 'S', 20}, {"Dept", 'S', 10}, {"Salary", 'F'},
                                            {"Bonus", 'C'}, {"Rate", 'R'},     {"Hired", 'D'},    {"Active", 'B'}};
  return fields;
}

void StaffTest::SetUp() {
  schema_ = folder_ / "staff.vri";
  DefineTable(schema_, StaffFields(), {{"ById", {0}}, {"ByDept", {2, 3}}, {"ByName", {1}}});
}

std::string StaffTest::Create(const std::string &table, const std::string &mode) const {
  return sql_.Exec("CREATE VIRTUAL TABLE " + table + " USING velmora('" + schema_ + "'" +
                   (mode.empty() ? "" : ", " + mode) + ")");
}

}  // namespace sqltest
