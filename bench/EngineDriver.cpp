#include "EngineDriver.h"

#include <cstring>
#include <stdexcept>

#include <velmora/velmora.h>

namespace bench {

namespace {

void SetShortString(uint8_t *dest, const std::string &text) {
  dest[0] = static_cast<uint8_t>(text.size());
  std::memcpy(dest + 1, text.data(), text.size());
}

std::vector<uint8_t> ShortString(const std::string &text) {
  std::vector<uint8_t> bytes(256, 0);
  SetShortString(bytes.data(), text);
  return bytes;
}

TFieldDescriptor FieldDef(const char *name, char type, int16_t length = 0) {
  TFieldDescriptor d;
  std::memset(&d, 0, sizeof d);
  SetShortString(d.Name, name);
  d.FieldType = type;
  d.Len = length;
  return d;
}

TIndexDef IndexDef(const char *name, std::initializer_list<int32_t> fields) {
  TIndexDef d;
  std::memset(&d, 0, sizeof d);
  SetShortString(d.Name, name);
  for (int32_t field : fields) d.FieldNos[d.FieldCount++] = field;
  return d;
}

constexpr int32_t kById = 0, kByName = 1, kByCity = 2;

}  // namespace

EngineDriver::EngineDriver(const std::string &folder, int32_t openMode, const CountingPlatform &counting)
    : counting_(counting), key_(256, 0) {
  h_ = DLL_Connect(1);
  const std::string schemaPath = folder + "/bench.vri";
  Define(schemaPath);
  if (DLL_OpenTable(h_, ShortString(schemaPath).data(), openMode) <= 0)
    throw std::runtime_error("the engine could not open " + schemaPath);
  record_.assign(static_cast<size_t>(DLL_RecordSize(h_)), 0);
  for (int32_t f = 0; f < kFieldCount; ++f) {
    int32_t length = 0;
    char type = 0;
    DLL_FieldInfo(h_, f, &offsets_[f], &length, &type);
  }
}

EngineDriver::~EngineDriver() {
  try {
    DLL_CloseTable(h_);
    DLL_Disconnect(h_);
  } catch (...) {
  }
}

void EngineDriver::Define(const std::string &schemaPath) {
  TFieldDescriptor fields[kFieldCount] = {FieldDef("Id", 'I'), FieldDef("Name", 'S', kNameLength),
                                          FieldDef("City", 'S', kCityLength), FieldDef("Amount", 'I'),
                                          FieldDef("Score", 'F')};
  TIndexDef indexes[] = {IndexDef("ById", {kId}), IndexDef("ByName", {kName}), IndexDef("ByCity", {kCity, kAmount})};
  TFieldDefList fieldList{kFieldCount, fields};
  TIndexDefList indexList{3, indexes};
  if (DLL_VRIFileOps(h_, 0, ShortString(schemaPath).data(), &fieldList, &indexList) != kFieldCount + 3)
    throw std::runtime_error("the engine could not define " + schemaPath);
}

void EngineDriver::Fill(const Row &row) {
  std::fill(record_.begin(), record_.end(), 0);
  uint8_t *r = record_.data();
  for (int f = 0; f < kFieldCount; ++f) r[f] = 1;
  std::memcpy(r + offsets_[kId], &row.id, 4);
  std::memcpy(r + offsets_[kName], row.name.data(), row.name.size());
  std::memcpy(r + offsets_[kCity], row.city.data(), row.city.size());
  std::memcpy(r + offsets_[kAmount], &row.amount, 4);
  std::memcpy(r + offsets_[kScore], &row.score, 8);
}

Row EngineDriver::Decode() const {
  const uint8_t *r = record_.data();
  Row row;
  std::memcpy(&row.id, r + offsets_[kId], 4);
  row.name.assign(reinterpret_cast<const char *>(r + offsets_[kName]),
                  strnlen(reinterpret_cast<const char *>(r + offsets_[kName]), kNameLength));
  row.city.assign(reinterpret_cast<const char *>(r + offsets_[kCity]),
                  strnlen(reinterpret_cast<const char *>(r + offsets_[kCity]), kCityLength));
  std::memcpy(&row.amount, r + offsets_[kAmount], 4);
  std::memcpy(&row.score, r + offsets_[kScore], 8);
  return row;
}

bool EngineDriver::FindId(int32_t id) {
  SetShortString(key_.data(), std::to_string(id));
  return (DLL_FindKeyRecord(h_, key_.data(), 0) & 0xFF) != 0;
}

template <typename Visit>
void EngineDriver::Walk(Visit visit) {
  // As a client walks: an empty range is told once, then the records up to the end.
  if (DLL_RangeEmpty(h_)) return;
  DLL_First(h_);
  while (!DLL_EOF(h_)) {
    DLL_MoveFromDB(h_, record_.data());
    visit(Decode());
    DLL_Next(h_);
  }
}

Digest EngineDriver::Run(Phase phase, const Workload &w) {
  switch (phase) {
    case Phase::kInsert: return Insert(w);
    case Phase::kFindId: return FindIds(w);
    case Phase::kFindName: return FindNames(w);
    case Phase::kRange: return Ranges(w);
    case Phase::kScan: return Scan();
    case Phase::kUpdate: return UpdateScores(w);
    case Phase::kRename: return UpdateNames(w);
    case Phase::kDelete: return Delete(w);
  }
  throw std::logic_error("unknown phase");
}

Digest EngineDriver::Insert(const Workload &w) {
  Digest d;
  for (int32_t id : w.insertOrder) {
    Fill(w.RowOf(id));
    DLL_MoveToDB(h_, record_.data());
    DLL_PostNewRecord(h_);
    d.Add(static_cast<int64_t>(id));
    d.Count();
  }
  return d;
}

Digest EngineDriver::FindIds(const Workload &w) {
  Digest d;
  DLL_ChangeIndex(h_, kById);
  for (int32_t id : w.findIds) {
    d.Add(static_cast<int64_t>(id));
    if (!FindId(id)) continue;
    DLL_MoveFromDB(h_, record_.data());
    d.AddRow(Decode());
    d.Count();
  }
  return d;
}

Digest EngineDriver::FindNames(const Workload &w) {
  Digest d;
  DLL_ChangeIndex(h_, kByName);
  for (const std::string &name : w.findNames) {
    d.Add(name);
    SetShortString(key_.data(), name);
    if ((DLL_FindKeyRecord(h_, key_.data(), 0) & 0xFF) == 0) continue;
    DLL_MoveFromDB(h_, record_.data());
    d.AddRow(Decode());
    d.Count();
  }
  return d;
}

Digest EngineDriver::Ranges(const Workload &w) {
  Digest d;
  DLL_ChangeIndex(h_, kByCity);
  for (const std::string &city : w.rangeCities) {
    SetShortString(key_.data(), city);
    DLL_ApplyRange(h_, key_.data(), 0, key_.data(), 0);
    d.Add(city);
    Walk([&](const Row &row) {
      d.AddRow(row);
      d.Count();
    });
  }
  DLL_CancelRange(h_);
  return d;
}

Digest EngineDriver::Scan() {
  Digest d;
  DLL_ChangeIndex(h_, kById);
  Walk([&](const Row &row) {
    d.AddRow(row);
    d.Count();
  });
  return d;
}

Digest EngineDriver::UpdateScores(const Workload &w) {
  Digest d;
  DLL_ChangeIndex(h_, kById);
  for (const Change &change : w.scoreUpdates) {
    if (!FindId(change.id)) {
      d.Add(-static_cast<int64_t>(change.id));
      continue;
    }
    DLL_EditRecord(h_);
    DLL_MoveFromDB(h_, record_.data());
    std::memcpy(record_.data() + offsets_[kScore], &change.score, 8);
    DLL_MoveToDB(h_, record_.data());
    DLL_PostEditedRecord(h_);
    d.Add(static_cast<int64_t>(change.id));
    d.Count();
  }
  return d;
}

Digest EngineDriver::UpdateNames(const Workload &w) {
  Digest d;
  DLL_ChangeIndex(h_, kById);
  for (const Change &change : w.nameUpdates) {
    if (!FindId(change.id)) {
      d.Add(-static_cast<int64_t>(change.id));
      continue;
    }
    DLL_EditRecord(h_);
    DLL_MoveFromDB(h_, record_.data());
    std::memset(record_.data() + offsets_[kName], 0, kNameLength + 1);
    std::memcpy(record_.data() + offsets_[kName], change.name.data(), change.name.size());
    DLL_MoveToDB(h_, record_.data());
    DLL_PostEditedRecord(h_);
    d.Add(static_cast<int64_t>(change.id));
    d.Count();
  }
  return d;
}

Digest EngineDriver::Delete(const Workload &w) {
  Digest d;
  DLL_ChangeIndex(h_, kById);
  for (int32_t id : w.deleteIds) {
    if (!FindId(id)) {
      d.Add(-static_cast<int64_t>(id));
      continue;
    }
    DLL_DeleteRecord(h_);
    d.Add(static_cast<int64_t>(id));
    d.Count();
  }
  return d;
}

Digest EngineDriver::Contents() {
  Digest d = Scan();
  for (int32_t index : {kByName, kByCity}) {
    DLL_ChangeIndex(h_, index);
    Walk([&](const Row &row) { d.Add(static_cast<int64_t>(row.id)); });
  }
  DLL_ChangeIndex(h_, kById);
  d.Add(static_cast<int64_t>(DLL_TotalRecords(h_)));
  return d;
}

}  // namespace bench
