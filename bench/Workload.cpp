#include "Workload.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>
#include <unordered_set>

namespace bench {

namespace {

// A small generator of our own (splitmix64), so that a seed gives the same
// workload whatever the standard library.
class Random {
 public:
  explicit Random(uint64_t seed) : state_(seed) {}
  uint64_t Next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // A number in 0 .. n-1.
  uint32_t Below(uint32_t n) { return static_cast<uint32_t>(((Next() >> 32) * n) >> 32); }

  template <typename T>
  void Shuffle(std::vector<T> &items) {
    for (size_t i = items.size(); i > 1; --i) std::swap(items[i - 1], items[Below(static_cast<uint32_t>(i))]);
  }

 private:
  uint64_t state_;
};

const char *const kCityNames[] = {
    "Aberdeen", "Bergen",  "Cadiz",   "Dresden",  "Eindhoven", "Faro",   "Galway",   "Hamburg", "Innsbruck",
    "Jena",     "Kaunas",  "Lisbon",  "Malmo",    "Nantes",    "Oslo",   "Porto",    "Quimper", "Riga",
    "Seville",  "Tallinn", "Utrecht", "Valencia", "Warsaw",    "Xanten", "York",     "Zagreb",  "Antwerp",
    "Bologna",  "Cork",    "Dijon",   "Essen",    "Florence",  "Ghent",  "Helsinki", "Ibiza",   "Krakow",
    "Leeds",    "Munich",  "Naples",  "Odense",   "Prague",    "Reims",  "Salzburg", "Turin",   "Uppsala",
    "Vienna",   "Wroclaw", "Zurich",  "Bilbao",   "Coimbra"};
constexpr size_t kCityCount = sizeof kCityNames / sizeof kCityNames[0];

std::string RandomName(Random &random, std::unordered_set<std::string> &taken) {
  for (;;) {
    std::string name(12, 'a');
    name[0] = static_cast<char>('A' + random.Below(26));
    for (size_t i = 1; i < name.size(); ++i) name[i] = static_cast<char>('a' + random.Below(26));
    if (taken.insert(name).second) return name;
  }
}

double RandomScore(Random &random) { return static_cast<double>(random.Below(1000000)) / 100.0; }

std::vector<int32_t> ShuffledIds(Random &random, int32_t records) {
  std::vector<int32_t> ids(static_cast<size_t>(records));
  for (int32_t i = 0; i < records; ++i) ids[static_cast<size_t>(i)] = i + 1;
  random.Shuffle(ids);
  return ids;
}

// `full` scaled from 30,000 records to `records`, at least 1.
size_t Scaled(int32_t records, int64_t full) {
  return static_cast<size_t>(std::max<int64_t>(1, full * records / 30000));
}

}  // namespace

Workload MakeWorkload(int32_t records, uint64_t seed) {
  if (records < 1 || records > 30000) throw std::invalid_argument("records must be 1 to 30000");
  Workload w;
  w.records = records;
  w.seed = seed;
  Random random(seed);

  const size_t cityCount = std::min(kCityCount, static_cast<size_t>((records + kRowsPerCity - 1) / kRowsPerCity));
  w.cities.assign(kCityNames, kCityNames + cityCount);

  std::unordered_set<std::string> names;
  w.rows.resize(static_cast<size_t>(records));
  for (int32_t i = 0; i < records; ++i) {
    Row &row = w.rows[static_cast<size_t>(i)];
    row.id = i + 1;
    row.name = RandomName(random, names);
    row.city = w.cities[random.Below(static_cast<uint32_t>(cityCount))];
    row.amount = static_cast<int32_t>(random.Below(10000));
    row.score = RandomScore(random);
  }

  w.insertOrder = ShuffledIds(random, records);
  w.findIds = ShuffledIds(random, records);

  std::vector<int32_t> order = ShuffledIds(random, records);
  for (size_t i = 0; i < Scaled(records, 3000); ++i) w.findNames.push_back(w.RowOf(order[i]).name);

  for (size_t i = 0; i < Scaled(records, 200); ++i)
    w.rangeCities.push_back(w.cities[random.Below(static_cast<uint32_t>(cityCount))]);

  order = ShuffledIds(random, records);
  for (size_t i = 0; i < Scaled(records, 10000); ++i) w.scoreUpdates.push_back({order[i], RandomScore(random), {}});

  order = ShuffledIds(random, records);
  for (size_t i = 0; i < Scaled(records, 3000); ++i) w.nameUpdates.push_back({order[i], 0, RandomName(random, names)});

  order = ShuffledIds(random, records);
  w.deleteIds.assign(order.begin(), order.begin() + static_cast<std::ptrdiff_t>(Scaled(records, 15000)));
  return w;
}

std::string ScoreText(double score) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", score);
  return text;
}

std::string WorkloadCsv(const Workload &workload) {
  std::string csv = "Id,Name,City,Amount,Score\n";
  for (const Row &row : workload.rows) {
    csv += std::to_string(row.id) + "," + row.name + "," + row.city + "," + std::to_string(row.amount) + "," +
           ScoreText(row.score) + "\n";
  }
  return csv;
}

}  // namespace bench
