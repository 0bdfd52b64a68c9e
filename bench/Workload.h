// The benchmark's data and the order of its operations, all drawn from one
// seed so that every engine, every run and the import script see the same.
//
// The table: Id (Integer, the unique key), Name (String, unique values),
// City (String, about 600 records per city), Amount (Integer), Score (Float,
// in hundredths so that it survives a trip through text exactly).  Indexes:
// ById (Id), ByName (Name), ByCity (City, Amount).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace bench {

constexpr int kNameLength = 24;  // characters of the Name field
constexpr int kCityLength = 20;  // characters of the City field
constexpr int kRowsPerCity = 600;

struct Row {
  int32_t id = 0;
  std::string name;
  std::string city;
  int32_t amount = 0;
  double score = 0;
};

struct Change {
  int32_t id = 0;
  double score = 0;  // the new Score of a non-key update
  std::string name;  // the new Name of a key update
};

struct Workload {
  int32_t records = 0;
  uint64_t seed = 0;
  std::vector<Row> rows;  // rows[i] has the Id i + 1
  std::vector<std::string> cities;

  std::vector<int32_t> insertOrder;      // every Id once, shuffled
  std::vector<int32_t> findIds;          // every Id once, shuffled again
  std::vector<std::string> findNames;    // names of existing records
  std::vector<std::string> rangeCities;  // one city per range
  std::vector<Change> scoreUpdates;      // distinct Ids, new Scores
  std::vector<Change> nameUpdates;       // distinct Ids, new unique Names
  std::vector<int32_t> deleteIds;        // distinct Ids

  const Row &RowOf(int32_t id) const { return rows[static_cast<size_t>(id - 1)]; }
};

// The workload for `records` records (1 to 30000).  The counts of the
// other phases follow the full-size benchmark (30,000 finds, 3,000 finds by
// name, 200 ranges, 10,000 and 3,000 updates, 15,000 deletions) in proportion.
Workload MakeWorkload(int32_t records, uint64_t seed);

// The rows as CSV with a header naming the fields, in Id order.
std::string WorkloadCsv(const Workload &workload);

// The Score as text: hundredths, always two decimals ("12.50").
std::string ScoreText(double score);

}  // namespace bench
