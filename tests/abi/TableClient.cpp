#include "abi/TableClient.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

namespace client {

KeyTexts::KeyTexts(std::initializer_list<std::string> texts) : KeyTexts(std::vector<std::string>(texts)) {}

KeyTexts::KeyTexts(const std::vector<std::string> &texts) : bytes_(256 * texts.size(), 0) {
  for (size_t i = 0; i < texts.size(); ++i) {
    bytes_[256 * i] = static_cast<uint8_t>(texts[i].size());
    std::memcpy(&bytes_[256 * i + 1], texts[i].data(), texts[i].size());
  }
}

TableClient::TableClient(const std::vector<FieldDef> &fields, const std::vector<IndexDef> &indexes,
                         const std::string &name)
    : schema_(dir_.Path() + "/" + name), fields_(fields) {
  std::vector<TFieldDescriptor> fieldItems(fields.size());
  for (size_t i = 0; i < fields.size(); ++i) {
    TFieldDescriptor &d = fieldItems[i];
    std::memset(&d, 0, sizeof d);
    d.Name[0] = static_cast<uint8_t>(fields[i].name.size());
    std::memcpy(d.Name + 1, fields[i].name.data(), fields[i].name.size());
    d.FieldType = fields[i].type;
    d.Len = static_cast<int16_t>(fields[i].type == 'S' ? fields[i].len : 0);
  }
  std::vector<TIndexDef> indexItems(indexes.size());
  for (size_t i = 0; i < indexes.size(); ++i) {
    TIndexDef &d = indexItems[i];
    std::memset(&d, 0, sizeof d);
    d.Name[0] = static_cast<uint8_t>(indexes[i].name.size());
    std::memcpy(d.Name + 1, indexes[i].name.data(), indexes[i].name.size());
    d.FieldCount = static_cast<int32_t>(indexes[i].fields.size());
    for (size_t k = 0; k < indexes[i].fields.size(); ++k) d.FieldNos[k] = indexes[i].fields[k];
  }
  TFieldDefList fieldList{static_cast<int32_t>(fieldItems.size()), fieldItems.data()};
  TIndexDefList indexList{static_cast<int32_t>(indexItems.size()), indexItems.data()};
  h_ = Api().DLL_Connect(100);
  TightShortString path(schema_);
  int32_t n = Api().DLL_VRIFileOps(h_, 0, path.get(), &fieldList, &indexList);
  if (n != static_cast<int32_t>(fields.size() + indexes.size()))
    throw std::runtime_error("schema writer returned " + std::to_string(n));
  if (Api().DLL_OpenTable(h_, path.get(), 34) <= 0) throw std::runtime_error("open failed");
  recordSize_ = Api().DLL_RecordSize(h_);
  for (size_t i = 0; i < fields.size(); ++i) {
    int32_t offset = 0, length = 0;
    char type = 0;
    Api().DLL_FieldInfo(h_, static_cast<int32_t>(i), &offset, &length, &type);
    offsets_.push_back(offset);
  }
}

TableClient::~TableClient() {
  try {
    Api().DLL_CloseTable(h_);
    Api().DLL_Disconnect(h_);
  } catch (...) {
  }
}

std::string TableClient::FilePath(const std::string &extension) const {
  return schema_.substr(0, schema_.rfind('.')) + extension;
}

void TableClient::Set(std::vector<uint8_t> &record, int32_t field, const Value &value) const {
  uint8_t *p = record.data() + offsets_[field];
  if (!value) {
    record[field] = 0;
    return;
  }
  record[field] = 1;
  switch (fields_[field].type) {
    case 'I': {
      int32_t v = std::stoi(*value);
      std::memcpy(p, &v, 4);
      break;
    }
    case 'F':
    case 'C':
    case 'D': {
      double v = std::stod(*value);
      std::memcpy(p, &v, 8);
      break;
    }
    case 'B': p[0] = *value == "true" ? 1 : 0; break;
    case 'S':
      std::memset(p, 0, fields_[field].len + 1);
      std::memcpy(p, value->data(), std::min<size_t>(value->size(), fields_[field].len));
      break;
    default: throw std::runtime_error("type not supported by the test client");
  }
}

Value TableClient::Get(const std::vector<uint8_t> &record, int32_t field) const {
  if (record[field] != 1) return std::nullopt;
  const uint8_t *p = record.data() + offsets_[field];
  switch (fields_[field].type) {
    case 'I': {
      int32_t v;
      std::memcpy(&v, p, 4);
      return std::to_string(v);
    }
    case 'F':
    case 'C':
    case 'D': {
      double v;
      std::memcpy(&v, p, 8);
      char text[64];
      std::snprintf(text, sizeof text, "%g", v);
      return std::string(text);
    }
    case 'B': return std::string(p[0] ? "true" : "false");
    case 'S':
      return std::string(reinterpret_cast<const char *>(p),
                         strnlen(reinterpret_cast<const char *>(p), fields_[field].len));
    default: return std::string("?");
  }
}

std::vector<uint8_t> TableClient::Make(const std::vector<Value> &values) const {
  std::vector<uint8_t> record = NewRecord();
  for (size_t i = 0; i < values.size(); ++i) Set(record, static_cast<int32_t>(i), values[i]);
  return record;
}

std::vector<uint8_t> TableClient::Current() const {
  std::vector<uint8_t> record = NewRecord();
  Api().DLL_MoveFromDB(h_, record.data());
  return record;
}

void TableClient::Put(const std::vector<uint8_t> &record) const { Api().DLL_MoveToDB(h_, record.data()); }

void TableClient::Post(const std::vector<Value> &values) const {
  Put(Make(values));
  Api().DLL_PostNewRecord(h_);
}

std::vector<std::string> TableClient::Walk(int32_t field) const {
  std::vector<std::string> out;
  Api().DLL_First(h_);
  size_t guard = 0;
  while (!Api().DLL_EOF(h_) && !Api().DLL_RangeEmpty(h_)) {
    out.push_back(Get(Current(), field).value_or("<null>"));
    Api().DLL_Next(h_);
    if (++guard > 100000) throw std::runtime_error("walk does not end");
  }
  return out;
}

std::vector<int32_t> TableClient::FileInts(const std::string &extension) const {
  std::ifstream in(FilePath(extension), std::ios::binary);
  std::vector<int32_t> out;
  int32_t v;
  while (in.read(reinterpret_cast<char *>(&v), 4)) out.push_back(v);
  return out;
}

}  // namespace client
