#include "Table.h"

#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "Cli.h"
#include "TableFiles.h"
#include "VRcomm/FieldTypes.h"
#include "VRcomm/SchemaLayout.h"

namespace vtool {

std::vector<uint8_t> ShortString(const std::string &text, const std::string &what) {
  if (text.size() > 255) throw ToolError(what + " is longer than 255 bytes: " + text);
  std::vector<uint8_t> bytes(256, 0);
  bytes[0] = static_cast<uint8_t>(text.size());
  std::memcpy(bytes.data() + 1, text.data(), text.size());
  return bytes;
}

std::string FromShortString(const uint8_t *bytes) {
  return std::string(reinterpret_cast<const char *>(bytes) + 1, bytes[0]);
}

KeyTexts::KeyTexts(const std::vector<std::string> &texts) {
  for (const std::string &text : texts) {
    std::vector<uint8_t> one = ShortString(text, "a key value");
    bytes_.insert(bytes_.end(), one.begin(), one.end());
  }
}

std::string SchemaPathOf(const std::string &name) { return velmora::SchemaFileName(name); }

namespace {
std::string lastTablePath;
}  // namespace

const std::string &LastTablePath() { return lastTablePath; }

std::string AccessProblems(const std::string &schemaPath) {
  std::vector<std::string> paths = {schemaPath, CompanionPath(velmora::DataFileName(schemaPath))};
  for (int32_t i = 0; i < velmora::kMaxIndexes; ++i) {
    for (const std::string &name : {velmora::LeafFileName(schemaPath, i), velmora::DirectoryFileName(schemaPath, i)}) {
      const std::string path = CompanionPath(name);
      std::error_code ec;
      if (std::filesystem::exists(path, ec)) paths.push_back(path);
    }
  }
  std::string text;
  for (const std::string &path : paths) {
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) continue;
    const bool readable = access(path.c_str(), R_OK) == 0, writable = access(path.c_str(), W_OK) == 0;
    if (readable && writable) continue;
    text += (text.empty() ? "" : ", ") + path + (readable ? " is read-only" : " cannot be read");
  }
  return text;
}

void RequireSchemaFile(const std::string &path) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::path p(path);
  if (fs::is_directory(p, ec)) throw ToolError(path + ": is a folder, not a table's schema file (TABLE.vri)");
  if (!fs::exists(p, ec)) {
    const fs::path folder = p.parent_path();
    if (!folder.empty() && !fs::is_directory(folder, ec))
      throw ToolError(path + ": no such table (the folder " + folder.string() + " does not exist)");
    throw ToolError(path + ": no such table");
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    if (access(path.c_str(), R_OK) != 0) throw ToolError(path + ": cannot be read (permission denied)");
    return;  // the library will say why
  }
  uint8_t header[velmora::schema::kBlockSize] = {};
  in.read(reinterpret_cast<char *>(header), sizeof header);
  const auto size = fs::file_size(p, ec);
  const int32_t fields = ReadInt32(header + velmora::schema::kHeaderFieldCount);
  const int32_t indexes = ReadInt32(header + velmora::schema::kHeaderIndexCount);
  if (ec || in.gcount() != velmora::schema::kBlockSize || fields < 0 || fields > velmora::kMaxFields || indexes < 0 ||
      indexes > velmora::kMaxIndexes || static_cast<int64_t>(size) < velmora::schema::FileSize(fields, indexes))
    throw ToolError(path + ": not a Velmora schema file (a table is named by its .vri file, whose " +
                    "size is 520 bytes for the header and for each field and index)");
}

Table::Table(const std::string &path, int32_t openMode) : path_(path) {
  std::vector<uint8_t> name = ShortString(path, "the table name");
  lastTablePath = path;
  RequireSchemaFile(path);
  h_ = DLL_Connect(0);
  int32_t result = 0;
  try {
    result = DLL_OpenTable(h_, name.data(), openMode);
  } catch (...) {
    DLL_CloseTable(h_);
    DLL_Disconnect(h_);
    throw;
  }
  if (result <= 0) {
    DLL_Disconnect(h_);
    const std::string access = AccessProblems(path);
    if (!access.empty()) throw ToolError(path + ": the table cannot be opened: " + access);
    throw ToolError(path + (openMode == kOpenExclusive
                                ? ": the table cannot be opened for writing (another program has it open)"
                                : ": the table cannot be opened (another program holds it exclusively)"));
  }
  recordSize_ = DLL_RecordSize(h_);
  const int32_t fieldCount = DLL_FieldCount(h_);
  for (int32_t f = 0; f < fieldCount; ++f) {
    uint8_t nameBytes[256];
    DLL_FieldName(nameBytes, h_, f);
    Field field;
    field.name = FromShortString(nameBytes);
    int32_t offset = 0, length = 0;
    char type = 0;
    DLL_FieldInfo(h_, f, &offset, &length, &type);
    field.offset = offset;
    field.size = length;
    field.type = type;
    if (offset < fieldCount || length < 0 || offset + length > recordSize_ ||
        (type == 'S' ? length < 1 : length < TypeSize(type))) {
      DLL_CloseTable(h_);
      DLL_Disconnect(h_);
      throw ToolError(path + ": field " + field.name + " lies outside the record (offset " + std::to_string(offset) +
                      ", size " + std::to_string(length) + ", record size " + std::to_string(recordSize_) + ")");
    }
    fields_.push_back(field);
  }
  // Index names come from the descriptors; key fields are learned through the
  // active index (index 0 after opening, others as UseIndex selects them), so
  // that no other index's files are read before a command needs them.
  try {
    const int32_t indexCount = DLL_IndexCount(h_);
    for (int32_t i = 0; i < indexCount; ++i) {
      uint8_t nameBytes[256];
      DLL_GetIndexName(nameBytes, h_, i);
      indexes_.push_back(Index{FromShortString(nameBytes), {}});
    }
    if (indexCount > 0) LearnActiveIndex(0);
  } catch (...) {
    DLL_CloseTable(h_);
    DLL_Disconnect(h_);
    throw;
  }
}

void Table::LearnActiveIndex(int32_t indexNo) {
  Index &index = indexes_.at(indexNo);
  index.fields.clear();
  const int32_t keyCount = DLL_IndexFieldCount(h_);
  for (int32_t k = 0; k < keyCount; ++k) {
    uint8_t nameBytes[256];
    DLL_IndexFieldName(nameBytes, h_, k);
    index.fields.push_back(FieldNumber(FromShortString(nameBytes)));
  }
}

Table::~Table() {
  try {
    DLL_CloseTable(h_);
    DLL_Disconnect(h_);
  } catch (...) {
  }
}

int32_t Table::FieldNumber(const std::string &name) const {
  std::string names;
  for (size_t f = 0; f < fields_.size(); ++f) {
    if (fields_[f].name == name) return static_cast<int32_t>(f);
    names += (f ? ", " : "") + fields_[f].name;
  }
  throw ToolError("no field named " + name + " (fields: " + names + ")");
}

int32_t Table::IndexNumber(const std::string &name) const {
  std::string names;
  for (size_t i = 0; i < indexes_.size(); ++i) {
    if (indexes_[i].name == name) return static_cast<int32_t>(i);
    names += (i ? ", " : "") + indexes_[i].name;
  }
  throw ToolError("no index named " + name + " (indexes: " + names + ")");
}

std::vector<uint8_t> Table::Current() const {
  std::vector<uint8_t> record = NewRecord();
  DLL_MoveFromDB(h_, record.data());
  return record;
}

std::vector<std::string> Table::Texts(const std::vector<uint8_t> &record) const {
  std::vector<std::string> texts;
  for (size_t f = 0; f < fields_.size(); ++f)
    texts.push_back(FormatValue(fields_[f], static_cast<int32_t>(f), record.data()));
  return texts;
}

void Table::UseIndex(int32_t indexNo) {
  DLL_ChangeIndex(h_, indexNo);
  LearnActiveIndex(indexNo);
}

KeyTexts Table::Keys(int32_t indexNo, const std::vector<std::string> &values) const {
  const Index &index = indexes_.at(indexNo);
  if (values.size() > index.fields.size())
    throw ToolError("index " + index.name + " has " + std::to_string(index.fields.size()) + " key field(s), but " +
                    std::to_string(values.size()) + " values were given");
  std::vector<std::string> texts;
  for (size_t k = 0; k < values.size(); ++k) {
    const Field &field = fields_[index.fields[k]];
    try {
      texts.push_back(EngineKeyText(field, values[k]));
    } catch (const ValueError &e) {
      throw ToolError("key field " + field.name + ": " + e.what());
    }
  }
  return KeyTexts(texts);
}

void Table::ForEach(const std::function<bool(const std::vector<uint8_t> &)> &visit) const {
  DLL_First(h_);
  if (DLL_RangeEmpty(h_)) return;
  for (;;) {
    if (!visit(Current())) return;
    DLL_Next(h_);
    if (DLL_EOF(h_)) return;
  }
}

std::string Table::LastError() const {
  uint8_t text[256];
  DLL_InternalStatus(text, h_, 1);
  return FromShortString(text);
}

void Table::ApplyRange(int32_t indexNo, const std::vector<std::string> &from, const std::vector<std::string> &to) {
  KeyTexts low = Keys(indexNo, from);
  KeyTexts high = Keys(indexNo, to);
  DLL_ApplyRange(h_, low.data(), low.high(), high.data(), high.high());
}

std::vector<std::vector<uint8_t>> Table::FindAll(int32_t indexNo, const std::vector<std::string> &values, int32_t limit,
                                                 int32_t *total) {
  std::vector<std::vector<uint8_t>> found;
  *total = 0;
  KeyTexts keys = Keys(indexNo, values);
  if (DLL_RangeEmpty(h_) || !(DLL_FindKeyRecord(h_, keys.data(), keys.high()) & 0xFF)) return found;
  // Equal keys follow each other in the index: walk on while the given key
  // fields keep the first match's values.
  const std::vector<uint8_t> first = Current();
  const Index &index = indexes_.at(indexNo);
  for (;;) {
    const std::vector<uint8_t> record = Current();
    for (size_t k = 0; k < values.size(); ++k) {
      const int32_t f = index.fields[k];
      if (CompareField(fields_[f], f, first.data(), record.data()) != 0) return found;
    }
    ++*total;
    if (limit < 0 || static_cast<int32_t>(found.size()) < limit) found.push_back(record);
    DLL_Next(h_);
    if (DLL_EOF(h_)) return found;
  }
}

std::string Table::KeyValues(int32_t indexNo, const std::vector<uint8_t> &record) const {
  const Index &index = indexes_.at(indexNo);
  std::string text;
  for (size_t k = 0; k < index.fields.size(); ++k) {
    const int32_t f = index.fields[k];
    text += (k ? ", " : "") + fields_[f].name + "=" +
            (IsNull(record.data(), f) ? std::string("(null)") : FormatValue(fields_[f], f, record.data()));
  }
  return text;
}

std::string Table::PostingFailure(const std::string &message, const std::vector<uint8_t> &record) const {
  if (message.find("Key violation") == std::string::npos && message.find("key violation") == std::string::npos)
    return message;
  if (indexes_.empty() || indexes_[0].fields.empty()) return message;
  return message + " (unique index " + indexes_[0].name + ": another record has " + KeyValues(0, record) + ")";
}

}  // namespace vtool
