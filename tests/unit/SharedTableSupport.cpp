#include "unit/SharedTableSupport.h"

#include <cstring>
#include <stdexcept>

#include <velmora/velmora.h>
#include <velmora/velmora.hpp>

#include "FileOps/MiscFileOps.h"
#include "VRcomm/DefLists.h"

namespace velmora::testing {

namespace {

std::vector<uint8_t> Short(const std::string &text) {
  std::vector<uint8_t> s(256, 0);
  s[0] = static_cast<uint8_t>(text.size());
  std::memcpy(s.data() + 1, text.data(), text.size());
  return s;
}

std::string Name(std::mt19937 &rng, const char *prefix) { return prefix + std::to_string(rng() % 40); }

}  // namespace

void CreateTable(const std::string &schemaPath) {
  TFieldDefList fields;
  fields.SetField(true, 0, "ID", 'I', 0, 0, 0, "", "", "");
  fields.SetField(true, 1, "NAME", 'S', 16, 0, 0, "", "", "");
  fields.SetField(true, 2, "CITY", 'S', 8, 0, 0, "", "", "");
  fields.SetField(true, 3, "N", 'I', 0, 0, 0, "", "", "");
  fields.SetField(true, 4, "NOTE", 'S', 10, 0, 0, "", "", "");
  TIndexDefList indexes;
  indexes.SetIndex(true, 0, {0}, "PK");
  indexes.SetIndex(true, 1, {1}, "BYNAME");
  indexes.SetIndex(true, 2, {2, 3}, "BYCITY");
  TMiscFileOps().WriteSchema(schemaPath, fields, indexes);
}

std::vector<Row> CreateFilledTable(const std::string &schemaPath, int32_t count, int32_t nameCycle) {
  CreateTable(schemaPath);
  Client fill;
  if (fill.Open(schemaPath, 34) <= 0) throw std::runtime_error("the new table " + schemaPath + " does not open");
  for (int32_t id = 1; id <= count; ++id) fill.Insert(Row{id, "N" + std::to_string(id % nameCycle), "C", id, ""});
  return fill.Walk(0);
}

Client::Client() { handle = DLL_Connect(0); }

Client::~Client() {
  try {
    DLL_CloseTable(handle);
    DLL_Disconnect(handle);
  } catch (...) {
  }
}

int32_t Client::Open(const std::string &schemaPath, int32_t mode) {
  int32_t result = 0;
  try {
    result = DLL_OpenTable(handle, Short(schemaPath).data(), mode);
  } catch (...) {
    // A table left open for its rebuild still has its layout.
    if (DLL_CheckOpen(handle)) Layout();
    throw;
  }
  if (result > 0) Layout();
  return result;
}

void Client::Close() { DLL_CloseTable(handle); }

void Client::Layout() {
  size_ = DLL_RecordSize(handle);
  for (int32_t i = 0; i < 5; ++i) {
    char type;
    DLL_FieldInfo(handle, i, &offset_[i], &length_[i], &type);
  }
}

std::vector<uint8_t> Client::Encode(const Row &row) const {
  std::vector<uint8_t> r(static_cast<size_t>(size_), 0);
  for (int i = 0; i < 5; ++i) r[i] = 1;
  std::memcpy(&r[offset_[0]], &row.id, 4);
  std::memcpy(&r[offset_[3]], &row.n, 4);
  auto text = [&](int f, const std::string &s) {
    std::memcpy(&r[offset_[f]], s.data(), std::min<size_t>(s.size(), length_[f] - 1));
  };
  text(1, row.name);
  text(2, row.city);
  text(4, row.note);
  return r;
}

Row Client::Decode(const std::vector<uint8_t> &r) const {
  Row row;
  std::memcpy(&row.id, &r[offset_[0]], 4);
  std::memcpy(&row.n, &r[offset_[3]], 4);
  auto text = [&](int f) {
    return std::string(reinterpret_cast<const char *>(&r[offset_[f]]),
                       strnlen(reinterpret_cast<const char *>(&r[offset_[f]]), length_[f]));
  };
  row.name = text(1);
  row.city = text(2);
  row.note = text(4);
  return row;
}

void Client::Insert(const Row &row) {
  std::vector<uint8_t> r = Encode(row);
  DLL_MoveToDB(handle, r.data());
  DLL_PostNewRecord(handle);
}

bool Client::Find(int32_t id) {
  DLL_ChangeIndex(handle, 0);
  if (DLL_RangeEmpty(handle)) return false;
  std::vector<uint8_t> key = Short(std::to_string(id));
  return DLL_FindKeyRecord(handle, key.data(), 0) != 0;
}

void Client::Edit(const Row &row) {
  if (!Find(row.id)) throw std::runtime_error("edit: id " + std::to_string(row.id) + " not found");
  DLL_EditRecord(handle);
  std::vector<uint8_t> r = Encode(row);
  DLL_MoveToDB(handle, r.data());
  DLL_PostEditedRecord(handle);
}

void Client::Delete(int32_t id) {
  if (!Find(id)) throw std::runtime_error("delete: id " + std::to_string(id) + " not found");
  DLL_DeleteRecord(handle);
}

void Client::Apply(const Op &op) {
  switch (op.kind) {
    case Op::kInsert: Insert(op.row); break;
    case Op::kEdit: Edit(op.row); break;
    case Op::kDelete: Delete(op.row.id); break;
    case Op::kEmpty: DLL_EmptyTable(handle); break;
    case Op::kRebuild: {
      int32_t kept = 0, before = 0;
      DLL_RebuildTable(handle, &kept, &before);
      break;
    }
  }
}

Row Client::Current() {
  std::vector<uint8_t> r(static_cast<size_t>(size_));
  DLL_MoveFromDB(handle, r.data());
  return Decode(r);
}

std::vector<Row> Client::Walk(int32_t indexNo) {
  std::vector<Row> rows;
  DLL_ChangeIndex(handle, indexNo);
  if (DLL_RangeEmpty(handle)) return rows;
  DLL_First(handle);
  const int32_t limit = DLL_TotalRecords(handle) + 2;
  for (int32_t i = 0; i < limit && !DLL_EOF(handle); ++i) {
    rows.push_back(Current());
    DLL_Next(handle);
  }
  return rows;
}

int32_t Client::Total() { return DLL_TotalRecords(handle); }

std::string Client::ErrorText() {
  uint8_t out[256] = {};
  DLL_InternalStatus(out, handle, 1);
  return std::string(reinterpret_cast<const char *>(out + 1), out[0]);
}

std::string Soundness(Client &client, Model *contents) {
  try {
    const int32_t total = client.Total();
    Model first;
    for (int32_t i = 0; i < 3; ++i) {
      std::vector<Row> rows = client.Walk(i);
      if (static_cast<int32_t>(rows.size()) != total)
        return "index " + std::to_string(i) + " walks " + std::to_string(rows.size()) + " of " + std::to_string(total) +
               " records";
      Model seen;
      for (size_t k = 0; k < rows.size(); ++k) {
        seen[rows[k].id] = rows[k];
        if (k == 0) continue;
        const Row &a = rows[k - 1], &b = rows[k];
        bool ordered = i == 0   ? a.id < b.id
                       : i == 1 ? (a.name < b.name || (a.name == b.name && a.id < b.id))
                                : (a.city < b.city || (a.city == b.city && (a.n < b.n || (a.n == b.n && a.id < b.id))));
        if (!ordered) return "index " + std::to_string(i) + " out of order at " + std::to_string(k);
      }
      if (static_cast<int32_t>(seen.size()) != total) return "index " + std::to_string(i) + " repeats records";
      if (i == 0)
        first = seen;
      else if (seen != first)
        return "index " + std::to_string(i) + " holds other records than index 0";
    }
    if (contents) *contents = first;
    return "";
  } catch (const std::exception &e) {
    return std::string("walking failed: ") + e.what();
  }
}

void ApplyToModel(const Op &op, Model &model) {
  switch (op.kind) {
    case Op::kInsert:
    case Op::kEdit: model[op.row.id] = op.row; break;
    case Op::kDelete: model.erase(op.row.id); break;
    case Op::kEmpty: model.clear(); break;
    case Op::kRebuild: break;
  }
}

std::vector<Op> MakeWorkload(uint32_t seed, int count, int32_t firstId, const Model &start, std::vector<Model> *models,
                             bool withEmptyAndRebuild) {
  std::mt19937 rng(seed);
  Model model = start;
  int32_t next = firstId;
  std::vector<Op> ops;
  if (models) models->assign(1, model);
  for (int k = 0; k < count; ++k) {
    Op op{Op::kInsert, {}};
    unsigned pick = rng() % 10;
    if (withEmptyAndRebuild && k == count / 2) {
      op.kind = Op::kRebuild;
    } else if (withEmptyAndRebuild && k == count - 3) {
      op.kind = Op::kEmpty;
    } else if (model.size() < 3 || pick < 5) {
      op.row = Row{next, Name(rng, "N"), Name(rng, "C"), static_cast<int32_t>(rng() % 5), "new"};
      next += 2 * (1 + static_cast<int32_t>(rng() % 3));
    } else {
      auto it = model.begin();
      std::advance(it, static_cast<long>(rng() % model.size()));
      op.row = it->second;
      if (pick < 8) {
        op.kind = Op::kEdit;
        switch (rng() % 3) {
          case 0: op.row.note = "e" + std::to_string(k); break;  // no key changes
          case 1: op.row.name = Name(rng, "N"); break;           // index 1 changes
          default:
            op.row.city = Name(rng, "C");
            op.row.n = 7;
            break;  // index 2 changes
        }
      } else {
        op.kind = Op::kDelete;
      }
    }
    ApplyToModel(op, model);
    ops.push_back(op);
    if (models) models->push_back(model);
  }
  return ops;
}

}  // namespace velmora::testing
