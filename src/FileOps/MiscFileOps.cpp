#include "FileOps/MiscFileOps.h"
#include "FileOps/SchemaImage.h"

#include <cstring>

#include <velmora/velmora.hpp>

#include "VRcomm/DefLists.h"
#include "VRcomm/FieldTypes.h"
#include "VRcomm/FileNames.h"
#include "VRcomm/IndexLayout.h"
#include "VRcomm/ShortString.h"
#include "VRcomm/LittleEndian.h"

namespace velmora {

using namespace schema;

namespace {

// A text of the block: a short string cut to the 63 characters its 64 bytes hold.
void PutText(uint8_t *at, const std::string &text) { ToShort(at, text, kTextMax); }

std::string Quoted(const std::string &name) { return "\"" + name + "\""; }

[[noreturn]] void RaiseDefinition(const std::string &message) {
  throw EVelmoraDBError("Cannot write the table definition: " + message);
}

void WriteWhole(platform::RecordFile &file, const void *records, int32_t n) {
  if (file.Write(records, n) != n) platform::RaiseIoError(platform::kErrorDiskFull);
}

// Creates the file and fills it with n records of its record size.
void CreateWith(const std::string &name, int32_t recordSize, const void *records, int32_t n) {
  platform::RecordFile file(recordSize);
  file.Bind(name);
  file.Create();
  if (n > 0) WriteWhole(file, records, n);
  file.Close();
}

}  // namespace

TMiscFileOps::TMiscFileOps() = default;
TMiscFileOps::~TMiscFileOps() = default;

int32_t TMiscFileOps::AllocateOffset(int32_t size) {
  int32_t at = runningOffset_;
  runningOffset_ = RoundUp4(runningOffset_ + size);
  return at;
}

void TMiscFileOps::CreateDataFile(const std::string &name) { CreateWith(name, 1, nullptr, 0); }

void TMiscFileOps::CreateLeafFile(const std::string &name) {
  // Each block: entry count 0, word 1 -1, 24 bytes of zero.
  uint8_t blocks[leaf::kInitialBlocks * leaf::kBlockBytes] = {};
  for (int b = 0; b < leaf::kInitialBlocks; ++b) PutInt32(blocks + b * leaf::kBlockBytes + 4, -1);
  CreateWith(name, leaf::kBlockBytes, blocks, leaf::kInitialBlocks);
}

void TMiscFileOps::CreateDirectoryFile(const std::string &name) {
  uint8_t entry[directory::kEntryBytes];
  PutInt32(entry + directory::kEntryBlock, leaf::kFirstLiveBlock);
  PutInt32(entry + directory::kEntryFirst, -1);
  CreateWith(name, directory::kEntryBytes, entry, 1);
}

void TMiscFileOps::ReadBlock() {
  std::memset(block_, 0, sizeof block_);
  if (schemaFile_.Read(block_, 1) != 1) platform::RaiseIoError(platform::kErrorReadBeyondEnd);
}

void TMiscFileOps::WriteBlock() { WriteWhole(schemaFile_, block_, 1); }

int32_t TMiscFileOps::WriteSchema(const std::string &fileName, TFieldDefList &fields, TIndexDefList &indexes) {
  if (fileName.empty()) RaiseDefinition("no schema file name was given");
  schemaName_ = SchemaFileName(fileName);
  fieldCount_ = fields.Count();
  indexCount_ = indexes.Count();

  // The whole definition is checked first, so that a refused one creates no file.
  CheckCounts();
  SchemaDefinition def;
  CheckFields(fields, def);
  CheckIndexes(indexes, def);

  schemaFile_.Bind(schemaName_);
  schemaFile_.Create();
  WriteHeaderBlock();
  runningOffset_ = RoundUp4(fieldCount_);
  for (int32_t i = 0; i < fieldCount_; ++i) {
    WriteFieldBlock(def.fields[static_cast<size_t>(i)], def.sizes[static_cast<size_t>(i)]);
  }
  for (int32_t i = 0; i < indexCount_; ++i) {
    WriteIndexBlock(def.indexNames[static_cast<size_t>(i)], def.indexFields[static_cast<size_t>(i)]);
  }
  PatchRecordSize();
  int32_t result = static_cast<int32_t>(schemaFile_.Size() - 1);
  schemaFile_.Close();

  CreateCompanionFiles();
  return result;
}

void TMiscFileOps::CheckCounts() const {
  if (fieldCount_ < 0) RaiseDefinition("invalid field count " + std::to_string(fieldCount_));
  if (fieldCount_ > kMaxFields) {
    RaiseDefinition(std::to_string(fieldCount_) + " fields given; a table has at most 26 fields");
  }
  if (indexCount_ < 0) RaiseDefinition("invalid index count " + std::to_string(indexCount_));
  if (indexCount_ > kMaxIndexes) {
    RaiseDefinition(std::to_string(indexCount_) + " indexes given; a table has at most 13 indexes");
  }
}

void TMiscFileOps::CheckFields(TFieldDefList &fields, SchemaDefinition &def) {
  def.fields.resize(static_cast<size_t>(fieldCount_));
  def.sizes.resize(def.fields.size());
  runningOffset_ = RoundUp4(fieldCount_);  // room of the null flags
  for (int32_t i = 0; i < fieldCount_; ++i) {
    TFieldDescriptor &d = def.fields[static_cast<size_t>(i)];
    fields.GetField(i, d);
    std::string name = FromShort(d.Name);
    std::string what = "field " + std::to_string(i) + " " + Quoted(name);
    if (LookupFieldType(d.FieldType) < 0) {
      RaiseDefinition(what + " has an unknown type (character code " +
                      std::to_string(static_cast<uint8_t>(d.FieldType)) + ")");
    }
    int32_t size = FieldTypeSize(d.FieldType);
    if (d.FieldType == 'S') {
      if (d.Len < 0 || d.Len >= kMaxFieldPosition) {
        RaiseDefinition(what + " has an invalid string length " + std::to_string(d.Len) +
                        "; a string field holds 0 to 32766 characters");
      }
      size = d.Len + 1;
    }
    def.sizes[static_cast<size_t>(i)] = size;
    int32_t offset = AllocateOffset(size);
    if (offset > kMaxFieldPosition) {
      RaiseDefinition(what + " would start at byte " + std::to_string(offset) +
                      " of the record; fields must start within its first 32768 bytes");
    }
  }

  // The table must open again: its record has to fit a cache slot.
  if (runningOffset_ > kMaxRecordSize) {
    RaiseDefinition("the record would be " + std::to_string(runningOffset_) + " bytes long; a record holds at most " +
                    std::to_string(kMaxRecordSize) + " bytes");
  }
}

void TMiscFileOps::CheckIndexes(TIndexDefList &indexes, SchemaDefinition &def) const {
  def.indexNames.resize(static_cast<size_t>(indexCount_));
  def.indexFields.resize(def.indexNames.size());
  for (int32_t i = 0; i < indexCount_; ++i) {
    def.indexNames[static_cast<size_t>(i)] = indexes.GetName(i);
    std::vector<int32_t> &nos = def.indexFields[static_cast<size_t>(i)];
    nos = indexes.GetFieldNos(i);
    std::string what = "index " + std::to_string(i) + " " + Quoted(def.indexNames[static_cast<size_t>(i)]);
    if (nos.size() > static_cast<size_t>(kMaxIndexFields)) {
      RaiseDefinition(what + " has " + std::to_string(nos.size()) + " key fields; an index covers at most 10 fields");
    }
    for (int32_t no : nos) {
      if (no < 0 || no >= fieldCount_) {
        RaiseDefinition(what + " names field " + std::to_string(no) + ", which the table does not have");
      }
    }
  }
}

void TMiscFileOps::WriteHeaderBlock() {
  std::memset(block_, 0, sizeof block_);
  PutInt32(block_ + kHeaderFieldCount, fieldCount_);
  PutInt32(block_ + kHeaderIndexCount, indexCount_);
  PutInt32(block_ + kHeaderRecordSize, 0);
  DoubleToReal48(kVersion, version_);
  std::memcpy(block_ + kHeaderVersion, version_, sizeof version_);
  WriteBlock();
}

void TMiscFileOps::WriteFieldBlock(const TFieldDescriptor &d, int32_t size) {
  std::memset(block_, 0, sizeof block_);
  PutText(block_ + kFieldName, FromShort(d.Name));
  block_[kFieldType] = static_cast<uint8_t>(d.FieldType);
  PutInt32(block_ + kFieldSize, size);
  PutInt32(block_ + kFieldOffset, AllocateOffset(size));
  const int32_t has[4] = {d.HasParam0, d.HasParam1, d.HasParam2, d.HasParam3};
  for (int p = 0; p < 4; ++p) PutInt32(block_ + kFieldHasParam0 + 4 * p, has[p]);
  if (d.HasParam0 != 0) PutInt32(block_ + kFieldFlags, d.FieldFlags);
  const uint8_t *texts[3] = {d.Param1, d.Param2, d.Param3};
  const int32_t at[3] = {kFieldParam1, kFieldParam2, kFieldParam3};
  for (int p = 0; p < 3; ++p) {
    if (has[p + 1] == 0) continue;
    std::string text = FromShort(texts[p]);
    // Currency parameters hold plain numbers: the sign is not stored.
    if (d.FieldType == 'C') text = StripCurrencySign(text);
    PutText(block_ + at[p], text);
  }
  WriteBlock();
}

void TMiscFileOps::WriteIndexBlock(const std::string &name, const std::vector<int32_t> &nos) {
  std::memset(block_, 0, sizeof block_);
  PutText(block_ + kIndexName, name);
  PutInt32(block_ + kIndexFieldCount, static_cast<int32_t>(nos.size()));
  for (size_t j = 0; j < nos.size(); ++j) PutInt32(block_ + kIndexFieldNos + 4 * j, nos[j]);
  WriteBlock();
}

void TMiscFileOps::PatchRecordSize() {
  schemaFile_.Seek(0);
  ReadBlock();
  PutInt32(block_ + kHeaderRecordSize, runningOffset_);
  schemaFile_.Seek(0);
  WriteBlock();
}

void TMiscFileOps::CreateCompanionFiles() const {
  CreateDataFile(DataFileName(schemaName_));
  for (int32_t k = 0; k < indexCount_; ++k) {
    CreateLeafFile(LeafFileName(schemaName_, k));
    CreateDirectoryFile(DirectoryFileName(schemaName_, k));
  }
}

int32_t TMiscFileOps::ReadSchema(const std::string &fileName, TFieldDefList &fields, TIndexDefList &indexes) {
  if (fileName.empty()) throw EVelmoraDBError("Cannot read a schema file: no file name was given");
  schemaName_ = fileName;
  int32_t error = 0;
  std::unique_ptr<platform::File> file =
      platform::Os().Open(schemaName_, platform::kAccessRead | platform::kShareDenyNone, &error);
  if (!file) platform::RaiseIoError(error);
  SchemaReader reader(*file, schemaName_, [](const std::string &message) { throw EVelmoraDBError(message); });

  // Every block is read and checked before either list changes.
  SchemaImage image;
  reader.ReadHeader(image);
  fieldCount_ = image.fieldCount;
  indexCount_ = image.indexCount;
  std::memcpy(version_, image.version, sizeof version_);
  if (fieldCount_ < 0 || fieldCount_ > kMaxFields)
    reader.Damaged("it gives " + std::to_string(fieldCount_) + " fields, where a table has 0 to 26");
  if (indexCount_ < 0 || indexCount_ > kMaxIndexes)
    reader.Damaged("it gives " + std::to_string(indexCount_) + " indexes, where a table has 0 to 13");
  reader.ReadBlocks(image);
  file->Close();

  // The lists must already hold the entries that are replaced: checked here
  // so that a list too short is refused before anything in it changes.
  if (fields.Count() < fieldCount_) RaiseListError(fields.Count() < 0 ? 0 : fields.Count());
  for (int32_t i = 0; i < indexCount_; ++i) {
    std::vector<int32_t> existing = indexes.GetFieldNos(i);
    const std::vector<int32_t> &nos = image.indexes[static_cast<size_t>(i)].fieldNos;
    if (existing.size() < nos.size()) RaiseListError(static_cast<int32_t>(existing.size()));
  }

  for (int32_t i = 0; i < fieldCount_; ++i) {
    const SchemaFieldImage &f = image.fields[static_cast<size_t>(i)];
    // The length is kept for String fields only (their size was checked above);
    // the flags are the low byte of the flags word.
    int32_t len = f.type == 'S' ? f.size - 1 : 0;
    fields.SetField(false, i, f.name, f.type, len, f.offset, static_cast<uint8_t>(f.flagsWord & 0xFF), f.params[0],
                    f.params[1], f.params[2]);
  }
  for (int32_t i = 0; i < indexCount_; ++i) {
    const SchemaIndexImage &x = image.indexes[static_cast<size_t>(i)];
    indexes.SetIndex(false, i, x.fieldNos, x.name);
  }
  return fieldCount_ + indexCount_;
}

}  // namespace velmora
