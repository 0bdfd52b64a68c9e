// Measures a query by key through the SQLite module against the same lookup
// on the engine directly:
//   engine: DLL_FindKeyRecord with the key text, then DLL_MoveFromDB
//   SQL:    SELECT * FROM staff WHERE Id = ?  (prepared once; bind, step, read
//           every column, reset)
// Usage: velmora_sqlite_bench [records] [lookups]
#include <sqlite3.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include <velmora/velmora.hpp>

namespace {

struct Short {
  uint8_t b[256] = {};
  explicit Short(const std::string &s) {
    b[0] = static_cast<uint8_t>(s.size());
    std::memcpy(b + 1, s.data(), s.size());
  }
};

void Define(const std::string &schema) {
  std::vector<TFieldDescriptor> f(3);
  std::memset(f.data(), 0, sizeof(TFieldDescriptor) * 3);
  const char *names[] = {"Id", "Name", "Salary"};
  const char types[] = {'I', 'S', 'F'};
  for (int i = 0; i < 3; ++i) {
    f[i].Name[0] = static_cast<uint8_t>(std::strlen(names[i]));
    std::memcpy(f[i].Name + 1, names[i], std::strlen(names[i]));
    f[i].FieldType = types[i];
  }
  f[1].Len = 20;
  std::vector<TIndexDef> x(2);
  std::memset(x.data(), 0, sizeof(TIndexDef) * 2);
  x[0].Name[0] = 4;
  std::memcpy(x[0].Name + 1, "ById", 4);
  x[0].FieldCount = 1;
  x[0].FieldNos[0] = 0;
  x[1].Name[0] = 6;
  std::memcpy(x[1].Name + 1, "ByName", 6);
  x[1].FieldCount = 1;
  x[1].FieldNos[0] = 1;
  TFieldDefList fl{3, f.data()};
  TIndexDefList il{2, x.data()};
  int32_t h = DLL_Connect(1);
  DLL_VRIFileOps(h, 0, Short(schema).b, &fl, &il);
  DLL_Disconnect(h);
}

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

}  // namespace

int main(int argc, char **argv) {
  const int records = argc > 1 ? std::atoi(argv[1]) : 20000;
  const int lookups = argc > 2 ? std::atoi(argv[2]) : 100000;
  char pattern[] = "/tmp/velmora-sqlbench-XXXXXX";
  if (mkdtemp(pattern) == nullptr) return 1;
  const std::string dir = pattern;
  const std::string schema = dir + "/staff.vri";
  try {
    Define(schema);
    int32_t h = DLL_Connect(2);
    DLL_OpenTable(h, Short(schema).b, 34);
    std::vector<uint8_t> rec(static_cast<size_t>(DLL_RecordSize(h)));
    int32_t off[3], len;
    char type;
    for (int i = 0; i < 3; ++i) DLL_FieldInfo(h, i, &off[i], &len, &type);
    std::vector<int32_t> ids(static_cast<size_t>(records));
    for (int i = 0; i < records; ++i) ids[static_cast<size_t>(i)] = i * 7 + 1;
    std::shuffle(ids.begin(), ids.end(), std::mt19937(42));
    for (int32_t id : ids) {
      std::fill(rec.begin(), rec.end(), 0);
      rec[0] = rec[1] = rec[2] = 1;
      std::memcpy(&rec[static_cast<size_t>(off[0])], &id, 4);
      std::string name = "name" + std::to_string(id);
      std::memcpy(&rec[static_cast<size_t>(off[1])], name.data(), name.size());
      double salary = id * 1.5;
      std::memcpy(&rec[static_cast<size_t>(off[2])], &salary, 8);
      DLL_MoveToDB(h, rec.data());
      DLL_PostNewRecord(h);
    }
    DLL_CloseTable(h);
    DLL_OpenTable(h, Short(schema).b, 64);

    std::mt19937 random(7);
    std::vector<int32_t> keys(static_cast<size_t>(lookups));
    for (int32_t &k : keys) k = ids[random() % ids.size()];

    auto start = std::chrono::steady_clock::now();
    long found = 0;
    for (int32_t k : keys) {
      Short text(std::to_string(k));
      if (DLL_FindKeyRecord(h, text.b, 0) != 0) {
        DLL_MoveFromDB(h, rec.data());
        ++found;
      }
    }
    double engineTime = Seconds(start);

    sqlite3 *db = nullptr;
    sqlite3_open(":memory:", &db);
    sqlite3_enable_load_extension(db, 1);
    char *error = nullptr;
    if (sqlite3_load_extension(db, VELMORA_SQLITE_MODULE, nullptr, &error) != SQLITE_OK) {
      std::fprintf(stderr, "load: %s\n", error);
      return 1;
    }
    std::string create = "CREATE VIRTUAL TABLE staff USING velmora('" + schema + "')";
    if (sqlite3_exec(db, create.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
      std::fprintf(stderr, "create: %s\n", error);
      return 1;
    }
    sqlite3_stmt *query = nullptr;
    sqlite3_prepare_v2(db, "SELECT * FROM staff WHERE Id = ?", -1, &query, nullptr);
    start = std::chrono::steady_clock::now();
    long sqlFound = 0;
    for (int32_t k : keys) {
      sqlite3_bind_int(query, 1, k);
      while (sqlite3_step(query) == SQLITE_ROW) {
        (void)sqlite3_column_int(query, 0);
        (void)sqlite3_column_text(query, 1);
        (void)sqlite3_column_double(query, 2);
        ++sqlFound;
      }
      sqlite3_reset(query);
    }
    double sqlTime = Seconds(start);
    sqlite3_finalize(query);
    sqlite3_close(db);
    DLL_CloseTable(h);
    DLL_Disconnect(h);

    std::printf("records %d, lookups %d (found %ld / %ld)\n", records, lookups, found, sqlFound);
    std::printf("engine  DLL_FindKeyRecord + DLL_MoveFromDB : %8.2f us per lookup\n", 1e6 * engineTime / lookups);
    std::printf("SQL     SELECT * FROM staff WHERE Id = ?   : %8.2f us per lookup\n", 1e6 * sqlTime / lookups);
    std::printf("ratio   SQL / engine                        : %8.2f\n", sqlTime / engineTime);
  } catch (const std::exception &e) {
    std::fprintf(stderr, "failed: %s\n", e.what());
    std::filesystem::remove_all(dir);
    return 1;
  }
  std::filesystem::remove_all(dir);
  return 0;
}
