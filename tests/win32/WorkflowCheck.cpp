// A client session through Velmora.dll, run under Wine, the way a Pascal
// program drives it: every export is resolved with GetProcAddress and called
// through a __stdcall pointer, with the floating-point exceptions of such a
// program unmasked on x87 and SSE, boolean arguments carrying garbage in their
// upper 24 bits, filter procedures whose results carry garbage above their
// byte, every input short string exactly its length + 1 bytes long in front of
// a page that faults when touched, and failures caught as structured
// exceptions.  What the engine does with the calls is the export tests'
// (tests/abi) concern; here each step checks that the calls arrive and come
// back intact: it defines a table of every field type, posts, finds, ranges,
// filters, locates, edits, then copies and deletes its files.
//
//   velmora_win32_workflow [path of Velmora.dll]
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <velmora/velmora.h>

#include "ClientSupport.h"
#include "ExportApi.h"

using client::Checks;
using client::GarbageBool;
using client::GuardedBytes;
using client::Raised;
using client::TightKeys;
using client::TightText;

namespace {

using client::ExportApi;

// ---- the table ------------------------------------------------------------------

constexpr int32_t kId = 0, kName = 1, kAmount = 2, kPaid = 3, kPrice = 4, kDue = 5, kWeight = 6, kFieldCount = 7;
constexpr int32_t kById = 0, kByName = 1, kByAmount = 2, kByPaidWeight = 3, kIndexCount = 4;

const char *const kFieldNames[kFieldCount] = {"Id", "Name", "Amount", "Paid", "Price", "Due", "Weight"};
const char kFieldTypes[kFieldCount + 1] = "ISFBCDR";
constexpr int kNameChars = 12;
// The layout that the schema writer gives these fields: null flags in bytes
// 0-6, each value at the previous end rounded up to a multiple of 4.
const int32_t kOffsets[kFieldCount] = {8, 12, 28, 36, 40, 48, 56};
const int32_t kSizes[kFieldCount] = {4, 13, 8, 2, 8, 8, 6};
constexpr int32_t kRecordSize = 64;

struct IndexSpec {
  const char *name;
  std::vector<int32_t> fields;
};
const IndexSpec kIndexes[kIndexCount] = {
    {"ById", {kId}}, {"ByName", {kName}}, {"ByAmount", {kAmount}}, {"ByPaidWeight", {kPaid, kWeight}}};

const char *const kExtensions[] = {".vri", ".vrd", ".va1", ".va2", ".vb1", ".vb2", ".vc1", ".vc2", ".vd1", ".vd2"};

struct Order {
  int32_t id;
  std::string name;
  double amount;
  bool paid;
  std::optional<double> price;  // nullopt: the field is null
  double due;                   // days since 30 December 1899
  double weight;                // stored as a six-byte real
};

// Six-byte real: exponent byte (bias 129, 0 for zero), 39 fraction bits with
// the leading 1 implied, least significant byte first, sign in bit 7 of byte 5.
// Worked out on the double's bits with integer arithmetic only, so that the
// client's own code raises no floating-point flag.
void EncodeReal48(double value, uint8_t out[6]) {
  std::memset(out, 0, 6);
  uint64_t bits;
  std::memcpy(&bits, &value, 8);
  int biased = static_cast<int>((bits >> 52) & 0x7FF);
  if (biased == 0) return;                                                       // zero (and values far too small)
  uint64_t mantissa = (bits & ((uint64_t{1} << 52) - 1)) | (uint64_t{1} << 52);  // 53 bits
  uint64_t rounded = (mantissa + (uint64_t{1} << 12)) >> 13;                     // 40 bits, halves away from zero
  int exponent = biased - 1023 + 129;
  if (rounded >> 40) {
    rounded >>= 1;
    ++exponent;
  }
  uint64_t fraction = rounded - (uint64_t{1} << 39);
  out[0] = static_cast<uint8_t>(exponent);
  for (int i = 1; i <= 5; ++i, fraction >>= 8) out[i] = static_cast<uint8_t>(fraction & 0xFF);
  if (bits >> 63) out[5] |= 0x80;
}

std::vector<uint8_t> Image(const Order &o) {
  std::vector<uint8_t> r(kRecordSize, 0);
  uint8_t *p = r.data();
  for (int f = 0; f < kFieldCount; ++f) p[f] = 1;
  std::memcpy(p + kOffsets[kId], &o.id, 4);
  std::memcpy(p + kOffsets[kName], o.name.data(), std::min<size_t>(o.name.size(), kNameChars));
  std::memcpy(p + kOffsets[kAmount], &o.amount, 8);
  p[kOffsets[kPaid]] = o.paid ? 1 : 0;
  if (o.price) {
    std::memcpy(p + kOffsets[kPrice], &*o.price, 8);
  } else {
    p[kPrice] = 0;
  }
  std::memcpy(p + kOffsets[kDue], &o.due, 8);
  EncodeReal48(o.weight, p + kOffsets[kWeight]);
  return r;
}

int32_t IdOf(const uint8_t *image) {
  int32_t id;
  std::memcpy(&id, image + kOffsets[kId], 4);
  return id;
}

double AmountOf(const uint8_t *image) {
  double amount;
  std::memcpy(&amount, image + kOffsets[kAmount], 8);
  return amount;
}

std::vector<Order> InitialOrders() {
  const int32_t ids[] = {40, 7, 23, 1, 88, 15, 62, 3, 99, 50, 31, 12};
  const char *names[] = {"Kilo",  "Delta",   "Hotel",  "Alpha", "Lima", "Bravo",
                         "India", "Charlie", "Juliet", "Echo",  "Golf", "Foxtrot"};
  const double amounts[] = {250, 75.5, 480, 910, 120, 33, 600, 499.75, 1000, 100, 500, 5};
  const bool paid[] = {true, false, true, true, false, true, false, true, true, false, true, false};
  const double prices[] = {19.99, -1, 5, 12.5, -1, 7.25, 3, 100, -1, 42, 8, 0.5};
  const double weights[] = {3, 2.1, 3, 7, 1, 3, 5, 0.5, 12, 4, 2.1, 6};
  std::vector<Order> orders;
  for (int i = 0; i < 12; ++i) {
    Order o{ids[i], names[i], amounts[i], paid[i], std::nullopt, 45000.25 + 1.5 * i, weights[i]};
    if (prices[i] >= 0) o.price = prices[i];
    orders.push_back(o);
  }
  return orders;
}

// ---- filter procedures ------------------------------------------------------------

constexpr intptr_t kFirstUser = 0x13572468;
constexpr intptr_t kSecondUser = static_cast<intptr_t>(0x9BDF0246u);

struct FilterLog {
  int calls = 0;
  int wrongUser = 0;
  int wrongImage = 0;
  std::set<int32_t> ids;
};
FilterLog firstLog;
FilterLog secondLog;
const std::vector<Order> *filterRows = nullptr;  // the records as the client posted them

void Record(FilterLog &log, intptr_t user, intptr_t expected, const void *record) {
  ++log.calls;
  if (user != expected) ++log.wrongUser;
  const uint8_t *image = static_cast<const uint8_t *>(record);
  bool known = false;
  if (image != nullptr && filterRows != nullptr) {
    for (const Order &o : *filterRows) known = known || std::memcmp(Image(o).data(), image, kRecordSize) == 0;
  }
  if (!known) {
    ++log.wrongImage;
  } else {
    log.ids.insert(IdOf(image));
  }
}

// Only the low byte of a filter's result counts: the upper bytes carry garbage.
uint32_t Verdict(bool passes) { return passes ? 0xC0FFEE01u : 0xFFFFFF00u; }

// Asked on every visit: paid orders pass.
uint32_t __stdcall FirstFilter(intptr_t user, const void *record) {
  Record(firstLog, user, kFirstUser, record);
  return Verdict(static_cast<const uint8_t *>(record)[kOffsets[kPaid]] == 1);
}

// Asked once per record, its verdict recorded: amounts below 600 pass.
uint32_t __stdcall SecondFilter(intptr_t user, const void *record) {
  Record(secondLog, user, kSecondUser, record);
  return Verdict(AmountOf(static_cast<const uint8_t *>(record)) < 600);
}

// The procedures return whole slots, of which the library reads the low byte:
// passed as the library's procedure type.
TFilterProc AsFilterProc(uint32_t(__stdcall *procedure)(intptr_t, const void *)) {
  return reinterpret_cast<TFilterProc>(reinterpret_cast<void (*)()>(procedure));
}

// ---- the session ----------------------------------------------------------------------

std::string Join(const std::vector<int32_t> &values) {
  std::string text;
  for (int32_t v : values) text += (text.empty() ? "" : ",") + std::to_string(v);
  return text;
}

class Session {
 public:
  Session(Checks &checks, const ExportApi &api, const std::string &folder)
      : checks_(checks), api_(api), folder_(folder), rows_(InitialOrders()) {}

  void Run();

 private:
  // Runs one step with the caller's floating-point settings checked after it.
  template <class F>
  void Step(const char *what, F &&body) {
    checks_.Group(what);
    Raised raised = client::Catching(body);
    client::ExpectNoFailure(checks_, raised, what);
    client::ExpectCallerFloatState(checks_, what);
  }

  std::string Path(const std::string &base, const char *extension) const { return folder_ + "\\" + base + extension; }
  std::string Status(int32_t selector) const {
    uint8_t out[256];
    std::memset(out, 0xCC, sizeof out);
    api_.DLL_InternalStatus(out, h_, selector);
    return std::string(reinterpret_cast<const char *>(out) + 1, out[0]);
  }
  std::vector<uint8_t> Current() const {
    GuardedBytes buffer(kRecordSize);
    api_.DLL_MoveFromDB(h_, buffer.data());
    return std::vector<uint8_t>(buffer.data(), buffer.data() + kRecordSize);
  }
  void Put(const std::vector<uint8_t> &image) const {
    GuardedBytes buffer(kRecordSize);
    std::memcpy(buffer.data(), image.data(), kRecordSize);
    api_.DLL_MoveToDB(h_, buffer.data());
  }
  int32_t RecordOf(int32_t id) const {
    for (size_t r = 0; r < rows_.size(); ++r)
      if (rows_[r].id == id) return static_cast<int32_t>(r);
    return -1;
  }
  const Order &Row(int32_t id) const { return rows_[RecordOf(id)]; }
  // The ids of the range in cursor order, without a filter.
  std::vector<int32_t> Walk() const {
    std::vector<int32_t> ids;
    api_.DLL_First(h_);
    for (size_t guard = 0; !api_.DLL_EOF(h_) && guard < 100; ++guard) {
      ids.push_back(IdOf(Current().data()));
      api_.DLL_Next(h_);
    }
    return ids;
  }
  // The ids in the order of an index: its fields, then index 0's.
  template <class Less>
  std::vector<int32_t> Sorted(Less less) const {
    std::vector<Order> sorted = rows_;
    std::stable_sort(sorted.begin(), sorted.end(),
                     [&](const Order &a, const Order &b) { return less(a, b) || (!less(b, a) && a.id < b.id); });
    std::vector<int32_t> ids;
    for (const Order &o : sorted) ids.push_back(o.id);
    return ids;
  }
  std::vector<int32_t> ById() const {
    return Sorted([](const Order &a, const Order &b) { return a.id < b.id; });
  }
  std::vector<int32_t> ByName() const {
    return Sorted([](const Order &a, const Order &b) { return a.name < b.name; });
  }
  std::vector<int32_t> ByAmount() const {
    return Sorted([](const Order &a, const Order &b) { return a.amount < b.amount; });
  }
  bool CurrentIs(int32_t id, const std::string &what) const {
    return checks_.True(Current() == Image(Row(id)), what + ": record buffer holds order " + std::to_string(id));
  }
  void CheckFiles(const std::string &base, bool present, const std::string &what);

  void Define();
  void Open();
  void Post();
  void Find();
  void Ranges();
  void FloatKeys();
  void Filters();
  void Locate();
  void Edit();
  void KeyViolation();
  void CopyAndDelete();

  Checks &checks_;
  const ExportApi &api_;
  std::string folder_;
  std::vector<Order> rows_;  // the model: orders by record number
  int32_t h_ = 0;
};

void Session::CheckFiles(const std::string &base, bool present, const std::string &what) {
  for (const char *extension : kExtensions) {
    std::string path = Path(base, extension);
    checks_.Equal(GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES, present,
                  what + ": " + base + extension + (present ? " exists" : " is gone"));
  }
}

void Session::Define() {
  Step("define the table", [&] {
    std::vector<TFieldDescriptor> fields(kFieldCount);
    for (int f = 0; f < kFieldCount; ++f) {
      TFieldDescriptor &d = fields[f];
      std::memset(&d, 0, sizeof d);
      d.Name[0] = static_cast<uint8_t>(std::strlen(kFieldNames[f]));
      std::memcpy(d.Name + 1, kFieldNames[f], d.Name[0]);
      d.FieldType = kFieldTypes[f];
      d.Len = static_cast<int16_t>(kFieldTypes[f] == 'S' ? kNameChars : 0);
    }
    std::vector<TIndexDef> indexes(kIndexCount);
    for (int i = 0; i < kIndexCount; ++i) {
      TIndexDef &d = indexes[i];
      std::memset(&d, 0, sizeof d);
      d.Name[0] = static_cast<uint8_t>(std::strlen(kIndexes[i].name));
      std::memcpy(d.Name + 1, kIndexes[i].name, d.Name[0]);
      d.FieldCount = static_cast<int32_t>(kIndexes[i].fields.size());
      std::copy(kIndexes[i].fields.begin(), kIndexes[i].fields.end(), d.FieldNos);
    }
    TFieldDefList fieldList{kFieldCount, fields.data()};
    TIndexDefList indexList{kIndexCount, indexes.data()};
    // The writer takes any extension and writes the schema as .vri.
    TightText name(folder_ + "\\orders.def");
    int32_t written = api_.DLL_VRIFileOps(h_, GarbageBool(false), name.data(), &fieldList, &indexList);
    checks_.Equal(written, kFieldCount + kIndexCount, "writing the schema returns fields + indexes");
    checks_.Equal(client::FileSize(Path("orders", ".vri")), 520 * (1 + kFieldCount + kIndexCount),
                  "schema file of 12 blocks");
    checks_.Equal(client::FileSize(Path("orders", ".vrd")), 0, "empty data file");

    // Read back into fresh lists, laid out as a 32-bit client lays them out.
    std::vector<TFieldDescriptor> readFields(kFieldCount);
    std::vector<TIndexDef> readIndexes(kIndexCount);
    std::memset(readFields.data(), 0, sizeof(TFieldDescriptor) * kFieldCount);
    std::memset(readIndexes.data(), 0, sizeof(TIndexDef) * kIndexCount);
    for (TIndexDef &d : readIndexes) d.FieldCount = 10;
    TFieldDefList readFieldList{kFieldCount, readFields.data()};
    TIndexDefList readIndexList{kIndexCount, readIndexes.data()};
    TightText schema(Path("orders", ".vri"));
    int32_t read = api_.DLL_VRIFileOps(h_, GarbageBool(true), schema.data(), &readFieldList, &readIndexList);
    checks_.Equal(read, kFieldCount + kIndexCount, "reading the schema returns fields + indexes");
    for (int f = 0; f < kFieldCount; ++f) {
      const TFieldDescriptor &d = readFields[f];
      std::string at = std::string(" of field ") + kFieldNames[f];
      checks_.Text(std::string(reinterpret_cast<const char *>(d.Name) + 1, d.Name[0]), kFieldNames[f],
                   "name read back" + at);
      checks_.Equal(d.FieldType, kFieldTypes[f], "type read back" + at);
      checks_.Equal(d.Len, kFieldTypes[f] == 'S' ? kNameChars : 0, "length read back" + at);
      checks_.Equal(d.Offset, kOffsets[f], "offset read back" + at);
    }
    for (int i = 0; i < kIndexCount; ++i) {
      const TIndexDef &d = readIndexes[i];
      checks_.Text(std::string(reinterpret_cast<const char *>(d.Name) + 1, d.Name[0]), kIndexes[i].name,
                   "index name read back");
      for (size_t k = 0; k < kIndexes[i].fields.size(); ++k)
        checks_.Equal(d.FieldNos[k], kIndexes[i].fields[k], std::string("key field read back of ") + kIndexes[i].name);
    }
  });
}

void Session::Open() {
  Step("open with mode 34", [&] {
    TightText path(Path("orders", ".vri"));
    checks_.True(api_.DLL_OpenTable(h_, path.data(), 34) > 0, "DLL_OpenTable returns the schema handle");
    checks_.Equal(api_.DLL_CheckOpen(h_), 1, "DLL_CheckOpen after the open");
    checks_.Equal(api_.DLL_RecordSize(h_), kRecordSize, "record size");
    checks_.Equal(api_.DLL_FieldCount(h_), kFieldCount, "field count");
    for (int i = 0; i < kIndexCount; ++i) {
      TightText name(kIndexes[i].name);
      checks_.Equal(api_.DLL_FindIndexName(h_, name.data()), i, std::string("DLL_FindIndexName ") + kIndexes[i].name);
    }
    checks_.Equal(api_.DLL_TotalRecords(h_), 0, "a new table is empty");
  });
}

void Session::Post() {
  Step("post records", [&] {
    uint8_t real[6];
    EncodeReal48(2.1, real);
    const uint8_t expected[6] = {0x82, 0x66, 0x66, 0x66, 0x66, 0x06};
    checks_.True(std::memcmp(real, expected, 6) == 0, "the client's six-byte real of 2.1");
    for (size_t r = 0; r < rows_.size(); ++r) {
      Put(Image(rows_[r]));
      checks_.Equal(api_.DLL_PostNewRecord(h_), 0, "DLL_PostNewRecord of order " + std::to_string(rows_[r].id));
      checks_.Equal(api_.DLL_TotalRecords(h_), static_cast<int64_t>(r + 1), "records after posting");
      checks_.Equal(api_.DLL_GetCurrentBookMarkData(h_), static_cast<int64_t>(r), "the new record is current");
    }
    checks_.Equal(api_.DLL_RangeCount(h_), 12, "range count of the whole table");
    checks_.Text(Join(Walk()), Join(ById()), "index 0 order");
    checks_.Equal(client::FileSize(Path("orders", ".vrd")), 12 * kRecordSize, "data file of 12 records");
    // Every stored record reads back byte for byte.
    for (int32_t id : ById()) {
      TightKeys key({std::to_string(id)});
      if (checks_.Equal(api_.DLL_FindKeyRecord(h_, key.data(), key.high()), 1, "find order " + std::to_string(id)))
        CurrentIs(id, "stored order");
    }
  });
}

void Session::Find() {
  Step("find by key", [&] {
    TightKeys seven({"7"});
    checks_.Equal(api_.DLL_FindKeyRecord(h_, seven.data(), seven.high()), 1, "DLL_FindKeyRecord 7");
    checks_.Equal(api_.DLL_GetCurrentBookMarkData(h_), RecordOf(7), "order 7 is current");
    CurrentIs(7, "after finding 7");
    TightKeys missing({"8"});
    checks_.Equal(api_.DLL_FindKeyRecord(h_, missing.data(), missing.high()), 0, "DLL_FindKeyRecord 8");
    checks_.Equal(api_.DLL_GetCurrentBookMarkData(h_), RecordOf(7), "a failed find leaves the cursor");
    CurrentIs(7, "after the failed find");

    uint8_t name[256];
    checks_.Equal(api_.DLL_ChangeIndex(h_, kByName), RecordOf(ByName().front()), "DLL_ChangeIndex to ByName");
    api_.DLL_CurrentIndexName(name, h_);
    checks_.Text(std::string(reinterpret_cast<const char *>(name) + 1, name[0]), "ByName", "current index name");
    checks_.Text(Join(Walk()), Join(ByName()), "ByName order");
    TightKeys delta({"Delta"});
    checks_.Equal(api_.DLL_FindKeyRecord(h_, delta.data(), delta.high()), 1, "DLL_FindKeyRecord Delta");
    CurrentIs(7, "after finding Delta");
    // No key texts: the array pointer is the guard page, and nothing is read.
    TightKeys none({});
    checks_.Equal(api_.DLL_FindNearestRecord(h_, none.data(), none.high()), RecordOf(ByName().front()),
                  "DLL_FindNearestRecord without keys lands on the first name");
  });
}

void Session::Ranges() {
  Step("ranges", [&] {
    api_.DLL_ChangeIndex(h_, kByAmount);
    checks_.Text(Join(Walk()), Join(ByAmount()), "ByAmount order");
    TightKeys low({"100"});
    TightKeys high({"500"});
    std::vector<int32_t> inRange;
    for (int32_t id : ByAmount())
      if (Row(id).amount >= 100 && Row(id).amount <= 500) inRange.push_back(id);
    checks_.Equal(api_.DLL_ApplyRange(h_, low.data(), low.high(), high.data(), high.high()), RecordOf(inRange.front()),
                  "DLL_ApplyRange 100 to 500 starts on the first order in range");
    checks_.Equal(api_.DLL_RangeCount(h_), static_cast<int64_t>(inRange.size()), "DLL_RangeCount of 100 to 500");
    checks_.Text(Join(Walk()), Join(inRange), "orders from 100 to 500, both ends included");
    // Open at the top end.
    TightKeys none({});
    api_.DLL_ApplyRange(h_, low.data(), low.high(), none.data(), none.high());
    checks_.Equal(api_.DLL_RangeCount(h_), 9, "DLL_RangeCount from 100 up");
    checks_.Equal(api_.DLL_CancelRange(h_), RecordOf(ByAmount().front()), "DLL_CancelRange");
    checks_.Equal(api_.DLL_RangeCount(h_), 12, "DLL_RangeCount after the range is cancelled");
  });
}

void Session::FloatKeys() {
  Step("float keys whose difference overflows", [&] {
    // ByAmount is active.  Amounts are far below 1e38; a key of 1.7e308 differs
    // from each of them by more than the six-byte real reaches.
    int32_t before = api_.DLL_GetCurrentBookMarkData(h_);
    const char *const texts[] = {"17e307", "-17e307"};
    for (const char *text : texts) {
      TightKeys huge({text});
      Raised raised = client::Catching([&] { api_.DLL_FindNearestRecord(h_, huge.data(), huge.high()); });
      client::ExpectFailure(checks_, raised, "Floating point overflow", "EMathError",
                            std::string("DLL_FindNearestRecord ") + text);
      client::ExpectCallerFloatState(checks_, std::string("after the overflow of ") + text);
      raised = client::Catching([&] { api_.DLL_FindKeyRecord(h_, huge.data(), huge.high()); });
      client::ExpectFailure(checks_, raised, "Floating point overflow", "EMathError",
                            std::string("DLL_FindKeyRecord ") + text);
      client::ExpectCallerFloatState(checks_, std::string("after the overflow of ") + text);
    }
    // A text beyond the double range does not convert.
    TightKeys tooBig({"1e400"});
    Raised raised = client::Catching([&] { api_.DLL_FindKeyRecord(h_, tooBig.data(), tooBig.high()); });
    client::ExpectFailure(checks_, raised, "Unable to convert array to field values", "EVelmoraDBError",
                          "DLL_FindKeyRecord 1e400");
    checks_.Text(Status(1), "Unable to convert array to field values", "error text of 1e400");
    checks_.Equal(api_.DLL_GetCurrentBookMarkData(h_), before, "the failed searches leave the cursor");
    TightKeys amount({"480"});
    checks_.Equal(api_.DLL_FindKeyRecord(h_, amount.data(), amount.high()), 1, "the table works on after them");
    CurrentIs(23, "order of amount 480");
  });
}

void Session::Filters() {
  Step("filters", [&] {
    filterRows = &rows_;
    firstLog = FilterLog();
    secondLog = FilterLog();
    api_.DLL_ChangeIndex(h_, kById);
    api_.DLL_SetFilterProc(h_, AsFilterProc(FirstFilter), kFirstUser, AsFilterProc(SecondFilter), kSecondUser);
    api_.DLL_SetFilterStatus(h_, GarbageBool(true), GarbageBool(true));
    api_.DLL_SetFiltered(h_, GarbageBool(true));
    std::vector<int32_t> passing, paid;
    std::set<int32_t> all;
    for (int32_t id : ById()) {
      all.insert(id);
      if (Row(id).paid) paid.push_back(id);
      if (Row(id).paid && Row(id).amount < 600) passing.push_back(id);
    }
    checks_.Equal(api_.DLL_RangeCount(h_), static_cast<int64_t>(passing.size()), "DLL_RangeCount with both filters");
    checks_.True(secondLog.ids == std::set<int32_t>(all), "the recorded filter was asked about every order");
    checks_.True(firstLog.calls > 0, "the visiting filter was asked");
    std::vector<int32_t> walked;
    for (int32_t ok = api_.DLL_First(h_); ok == 1 && walked.size() < 100; ok = api_.DLL_Next(h_))
      walked.push_back(IdOf(Current().data()));
    checks_.Text(Join(walked), Join(passing), "filtered walk: paid orders below 600");
    checks_.Equal(api_.DLL_FindResult(h_), 0, "DLL_FindResult after the walk ran out");
    checks_.Equal(api_.DLL_First(h_), 1, "filtered DLL_First");
    checks_.Equal(api_.DLL_FindResult(h_), 1, "DLL_FindResult after DLL_First");

    // The recorded filter switched off (a false whose upper bits are set),
    // then filtering rebuilt: only the visiting filter decides.
    int secondCalls = secondLog.calls;
    api_.DLL_SetFilterStatus(h_, GarbageBool(true), GarbageBool(false));
    api_.DLL_SetFiltered(h_, GarbageBool(false));
    checks_.Equal(api_.DLL_RangeCount(h_), 12, "DLL_RangeCount with filtering off");
    api_.DLL_SetFiltered(h_, GarbageBool(true));
    checks_.Equal(api_.DLL_RangeCount(h_), static_cast<int64_t>(paid.size()), "DLL_RangeCount, visiting filter only");
    checks_.Equal(secondLog.calls, secondCalls, "the switched-off filter is not asked");
    api_.DLL_SetFiltered(h_, GarbageBool(false));
    checks_.Equal(api_.DLL_RangeCount(h_), 12, "DLL_RangeCount with filtering off again");
    checks_.Equal(firstLog.wrongUser, 0, "the visiting filter always gets its user value");
    checks_.Equal(secondLog.wrongUser, 0, "the recorded filter always gets its user value");
    checks_.Equal(firstLog.wrongImage, 0, "the visiting filter always gets a stored record's image");
    checks_.Equal(secondLog.wrongImage, 0, "the recorded filter always gets a stored record's image");
  });
}

void Session::Locate() {
  Step("locate", [&] {
    api_.DLL_ChangeIndex(h_, kById);
    int32_t nameField[1] = {kName};
    TFieldNoList names{1, nameField};
    checks_.Equal(api_.DLL_MapFieldsToIndex(h_, &names, GarbageBool(true)), kByName, "DLL_MapFieldsToIndex Name");
    checks_.Equal(api_.DLL_MapFieldsToIndex(h_, &names, GarbageBool(false)), -1,
                  "DLL_MapFieldsToIndex without using an index");

    // A scan of the range, ignoring case, without moving the cursor.
    int32_t before = api_.DLL_GetCurrentBookMarkData(h_);
    std::vector<uint8_t> current = Current();
    GuardedBytes key(kRecordSize);
    Order probe = Row(7);
    probe.name = "dELTA";
    std::memcpy(key.data(), Image(probe).data(), kRecordSize);
    checks_.Equal(api_.DLL_LocateRecord(h_, &names, key.data(), -1, 0, GarbageBool(true), GarbageBool(false)), 1,
                  "DLL_LocateRecord dELTA ignoring case");
    checks_.True(std::memcmp(key.data(), Image(Row(7)).data(), kRecordSize) == 0,
                 "the found record is copied into the key buffer");
    checks_.Equal(api_.DLL_GetCurrentBookMarkData(h_), before, "the cursor stays");
    checks_.True(Current() == current, "the record buffer stays");
    std::memcpy(key.data(), Image(probe).data(), kRecordSize);
    checks_.Equal(api_.DLL_LocateRecord(h_, &names, key.data(), -1, 0, GarbageBool(false), GarbageBool(true)), 0,
                  "DLL_LocateRecord dELTA with case");
    checks_.True(std::memcmp(key.data(), Image(probe).data(), kRecordSize) == 0,
                 "the key buffer stays when nothing is found");

    // Through the name index, the first three characters, moving the cursor.
    probe.name = "Cha";
    std::memcpy(key.data(), Image(probe).data(), kRecordSize);
    checks_.Equal(api_.DLL_LocateRecord(h_, &names, key.data(), kByName, 3, GarbageBool(false), GarbageBool(true)), 1,
                  "DLL_LocateRecord Cha through ByName");
    CurrentIs(3, "located Charlie");

    // A signalling not-a-number in the key is an invalid operation once the
    // engine loads it: reported as the library's failure (which locate turns
    // into 0), never as a processor trap under the caller's unmasked settings.
    int32_t amountField[1] = {kAmount};
    TFieldNoList amounts{1, amountField};
    const uint64_t signallingNan = 0x7FF0000000000001ull;
    std::memcpy(key.data(), Image(Row(7)).data(), kRecordSize);
    std::memcpy(key.data() + kOffsets[kAmount], &signallingNan, 8);
    checks_.Equal(api_.DLL_LocateRecord(h_, &amounts, key.data(), -1, 0, GarbageBool(false), GarbageBool(true)), 0,
                  "DLL_LocateRecord with a signalling not-a-number");
    checks_.Text(Status(1), "Invalid floating point operation", "error text of the invalid operation");
    CurrentIs(3, "the cursor stays after the invalid operation");
  });
}

void Session::Edit() {
  Step("edit", [&] {
    TightKeys key({"23"});
    checks_.Equal(api_.DLL_FindKeyRecord(h_, key.data(), key.high()), 1, "find order 23");
    api_.DLL_EditRecord(h_);
    Order edited = Row(23);
    edited.name = "Zulu";
    edited.amount = 777;
    Put(Image(edited));
    api_.DLL_PostEditedRecord(h_);
    rows_[RecordOf(23)] = edited;
    CurrentIs(23, "after the edit");

    // Giving order 15 the key of order 40 is refused; nothing changes.
    TightKeys fifteen({"15"});
    api_.DLL_FindKeyRecord(h_, fifteen.data(), fifteen.high());
    api_.DLL_EditRecord(h_);
    Order clash = Row(15);
    clash.id = 40;
    Put(Image(clash));
    Raised raised = client::Catching([&] { api_.DLL_PostEditedRecord(h_); });
    client::ExpectFailure(checks_, raised, "Error. Edit changes will create a key violation in Velmora.",
                          "EVelmoraDBError", "an edit onto another record's key");
    CurrentIs(15, "after the refused edit");
    checks_.Text(Status(1), "Error. Edit changes will create a key violation in Velmora.",
                 "error text of the refused edit");
  });
}

void Session::KeyViolation() {
  Step("key violation", [&] {
    TightKeys key({"62"});
    api_.DLL_FindKeyRecord(h_, key.data(), key.high());
    Order twin{7, "Twin", 1, true, 2.0, 45000, 1};
    Put(Image(twin));
    Raised raised = client::Catching([&] { api_.DLL_PostNewRecord(h_); });
    client::ExpectFailure(checks_, raised, "Insertion Error. Key violation in Velmora.", "EVelmoraDBError",
                          "posting a second order 7");
    checks_.Equal(raised.ioCode, 0, "no I/O code with the key violation");
    client::ExpectCallerFloatState(checks_, "after the key violation");
    checks_.Equal(api_.DLL_TotalRecords(h_), 12, "nothing was posted");
    checks_.Equal(api_.DLL_GetCurrentBookMarkData(h_), RecordOf(62), "the cursor stays");
    CurrentIs(62, "the record buffer again holds the current record");
    checks_.Text(Status(1), "Insertion Error. Key violation in Velmora.", "error text of the key violation");
  });
}

void Session::CopyAndDelete() {
  Step("copy, close and delete the files", [&] {
    api_.DLL_CloseTable(h_);
    checks_.Equal(api_.DLL_CheckOpen(h_), 0, "DLL_CheckOpen after the close");
    checks_.Equal(api_.DLL_FieldCount(h_), 0, "no fields after the close");

    TightText source(Path("orders", ".vri"));
    TightText copy(Path("copy", ".vri"));
    checks_.Equal(api_.DLL_TableUtils(0x5A5A5A5A, source.data(), copy.data(), 2), 1, "DLL_TableUtils copy");
    for (const char *extension : kExtensions) {
      checks_.Equal(client::FileSize(Path("copy", extension)), client::FileSize(Path("orders", extension)),
                    std::string("copied file ") + extension);
    }

    // The copy opens as a table of its own, under a second user.
    int32_t other = api_.DLL_Connect(77);
    checks_.True(api_.DLL_OpenTable(other, copy.data(), 34) > 0, "the copy opens");
    checks_.Equal(api_.DLL_TotalRecords(other), static_cast<int64_t>(rows_.size()), "records of the copy");
    TightKeys key({"88"});
    checks_.Equal(api_.DLL_FindKeyRecord(other, key.data(), key.high()), 1, "order 88 in the copy");
    GuardedBytes record(kRecordSize);
    api_.DLL_MoveFromDB(other, record.data());
    checks_.True(std::memcmp(record.data(), Image(Row(88)).data(), kRecordSize) == 0, "order 88 as copied");
    api_.DLL_CloseTable(other);
    checks_.Equal(api_.DLL_Disconnect(other), 0, "DLL_Disconnect of the second user");

    TightText none("");
    checks_.Equal(api_.DLL_TableUtils(0, copy.data(), none.data(), 1), 1, "DLL_TableUtils delete the copy");
    CheckFiles("copy", false, "after deleting the copy");
    CheckFiles("orders", true, "the original after deleting the copy");
    checks_.Equal(api_.DLL_TableUtils(-1, source.data(), none.data(), 1), 1, "DLL_TableUtils delete the table");
    CheckFiles("orders", false, "after deleting the table");
  });
}

void Session::Run() {
  Step("connect", [&] {
    h_ = api_.DLL_Connect(2024);
    checks_.True(h_ > 0, "DLL_Connect");
    checks_.Equal(api_.DLL_CheckOpen(h_), 0, "a new user's table is closed");
  });
  if (h_ <= 0) return;
  // The guard pages work: one byte past a tight text faults.
  TightText probe("abc");
  Raised touched = client::Catching([&] {
    volatile const uint8_t *past = probe.data() + probe.size();
    (void)*past;
  });
  checks_.Equal(touched.code, EXCEPTION_ACCESS_VIOLATION, "reading past a tight text faults");

  Define();
  Open();
  if (api_.DLL_CheckOpen(h_) != 1) return;
  Post();
  Find();
  Ranges();
  FloatKeys();
  Filters();
  Locate();
  Edit();
  KeyViolation();
  CopyAndDelete();
  Step("disconnect", [&] { checks_.Equal(api_.DLL_Disconnect(h_), 0, "DLL_Disconnect"); });
}

}  // namespace

int main(int argc, char **argv) {
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  client::InstallHandlers();
  Checks checks;
  const char *path = argc > 1 ? argv[1] : "Velmora.dll";
  HMODULE module = LoadLibraryA(path);
  if (!checks.True(module != nullptr, std::string("LoadLibrary ") + path))
    return checks.Summary("velmora_win32_workflow");
  ExportApi api{};
  if (client::ResolveExports(checks, module, api)) {
    std::string used;
    {
      client::TempFolder folder;
      used = folder.Path();
      if (checks.True(!used.empty(), "temporary folder created")) {
        client::UnmaskedFloat fpu;
        Session session(checks, api, used);
        session.Run();
      }
    }
    checks.True(!used.empty() && !client::FileExists(used), "the temporary folder is removed");
  }
  FreeLibrary(module);
  return checks.Summary("velmora_win32_workflow");
}
