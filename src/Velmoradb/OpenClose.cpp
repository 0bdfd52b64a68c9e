// Opening a table (its definition from the schema file, the data file, the
// index files and the cursor on the first record of index 0) and closing it.
#include <cstring>

#include <velmora/velmora.hpp>

#include "FileOps/MiscFileOps.h"
#include "Ind1/Index.h"
#include "VRcomm/FileNames.h"
#include "VRcomm/LittleEndian.h"
#include "VRcomm/ShortString.h"
#include "Velmoradb/VelmoraDB.h"

namespace velmora {

namespace {

// A String field holds at most 255 characters and its NUL.
constexpr int32_t kMaxStringSize = 256;

int32_t Int32At(const uint8_t *block, int32_t offset) { return GetInt32(block + offset); }

}  // namespace

// Reads one 520-byte block of the schema file; a short file is damaged.
static void ReadSchemaBlock(TVRVelmoraDB &table, platform::File &file, int32_t blockNo,
                            uint8_t *block) {
  std::memset(block, 0, schema::kBlockSize);
  size_t got = file.ReadAt(static_cast<int64_t>(blockNo) * schema::kBlockSize, block,
                           schema::kBlockSize);
  if (got != static_cast<size_t>(schema::kBlockSize))
    table.RaiseTableError("Schema file is damaged: block " + std::to_string(blockNo) +
                          " is missing or short");
}

// A short string of at most 63 characters stored in a 64-byte text field.
static std::string SchemaText(TVRVelmoraDB &table, const uint8_t *block, int32_t offset,
                              const std::string &what) {
  if (block[offset] > schema::kTextMax)
    table.RaiseTableError("Schema file is damaged: " + what + " is longer than " +
                          std::to_string(schema::kTextMax) + " characters");
  return FromShort(block + offset);
}

int32_t TVRVelmoraDB::OpenTable(const std::string &path, int32_t openMode) {
  int32_t error = 0;
  std::unique_ptr<platform::File> file = platform::Os().Open(path, openMode, &error);
  if (!file) {
    SchemaHandle = -1;
    return SchemaHandle;
  }
  SchemaFile = std::move(file);
  SchemaHandle = SchemaFile->Handle() > 0 ? SchemaFile->Handle() : 1;
  try {
    LoadDefinition();
    OpenDataFile(Cut255(ReplaceExtension(path, ".VRD")), RecordSize);
    PrimaryIndex->OpenIndexes(path, IndexCount);
    ChangeIndex(0);
    Bookmarks.clear();
  } catch (...) {
    // A table that failed to open is left closed, with nothing held open.
    try {
      CloseTable();
    } catch (...) {
    }
    throw;
  }
  return SchemaHandle;
}

void TVRVelmoraDB::LoadDefinition() {
  uint8_t block[schema::kBlockSize];
  platform::File &file = *SchemaFile;
  ReadSchemaBlock(*this, file, 0, block);
  FieldCount = Int32At(block, schema::kHeaderFieldCount);
  if (FieldCount > kMaxFields) RaiseTableError("Number of fields in table exceeds maximum");
  IndexCount = Int32At(block, schema::kHeaderIndexCount);
  if (IndexCount > kMaxIndexes) RaiseTableError("Number of indexes in table exceeds maximum");
  if (FieldCount < 0 || IndexCount < 0)
    RaiseTableError("Schema file is damaged: negative field or index count");
  if (IndexCount == 0) RaiseTableError("Unable to open a table without an index");
  int32_t recordSize = Int32At(block, schema::kHeaderRecordSize);
  if (recordSize < RoundUp4(FieldCount) || recordSize > kMaxRecordSize)
    RaiseTableError("Schema file is damaged: record size " + std::to_string(recordSize) +
                    " is not valid");
  bool withParams = Real48ToLongDouble(block + schema::kHeaderVersion) >= 2.0L;

  for (int32_t i = 0; i < FieldCount; ++i) {
    ReadSchemaBlock(*this, file, 1 + i, block);
    TFieldDescriptor &field = Fields[i];
    std::memset(&field, 0, sizeof field);
    std::string what = "field " + std::to_string(i);
    ToShort(field.Name, SchemaText(*this, block, schema::kFieldName, what + " name"));
    field.FieldType = static_cast<char>(block[schema::kFieldType]);
    int32_t size = Int32At(block, schema::kFieldSize);
    int32_t offset = Int32At(block, schema::kFieldOffset);
    if (LookupFieldType(field.FieldType) < 0)
      RaiseTableError("Schema file is damaged: " + what + " has the unknown type letter '" +
                      std::string(1, field.FieldType) + "'");
    bool sizeOk = field.FieldType == 'S' ? size >= 1 && size <= kMaxStringSize
                                         : size == FieldTypeSize(field.FieldType);
    if (!sizeOk)
      RaiseTableError("Schema file is damaged: " + what + " has the invalid size " +
                      std::to_string(size));
    if (offset < FieldCount || offset > recordSize - size)
      RaiseTableError("Schema file is damaged: " + what + " at offset " + std::to_string(offset) +
                      " does not fit the record");
    field.Len = static_cast<int16_t>(size);
    field.Offset = static_cast<int16_t>(offset);
    if (withParams) {
      field.HasParam0 = Int32At(block, schema::kFieldHasParam0);
      field.HasParam1 = Int32At(block, schema::kFieldHasParam0 + 4);
      field.HasParam2 = Int32At(block, schema::kFieldHasParam0 + 8);
      field.HasParam3 = Int32At(block, schema::kFieldHasParam0 + 12);
      field.FieldFlags = Int32At(block, schema::kFieldFlags) == 1 ? 1 : 0;
      ToShort(field.Param1, SchemaText(*this, block, schema::kFieldParam1, what + " parameter 1"));
      ToShort(field.Param2, SchemaText(*this, block, schema::kFieldParam2, what + " parameter 2"));
      ToShort(field.Param3, SchemaText(*this, block, schema::kFieldParam3, what + " parameter 3"));
    }
  }

  for (int32_t j = 0; j < IndexCount; ++j) {
    ReadSchemaBlock(*this, file, 1 + FieldCount + j, block);
    TIndexDescriptor &index = Indexes[j];
    std::memset(&index, 0, sizeof index);
    std::string what = "index " + std::to_string(j);
    ToShort(index.Name, SchemaText(*this, block, schema::kIndexName, what + " name"));
    int32_t n = Int32At(block, schema::kIndexFieldCount);
    if (n < 0 || n > kMaxIndexFields)
      RaiseTableError("Schema file is damaged: " + what + " has " + std::to_string(n) +
                      " key fields");
    for (int32_t k = 0; k < n; ++k) {
      int32_t f = Int32At(block, schema::kIndexFieldNos + 4 * k);
      if (f < 0 || f >= FieldCount)
        RaiseTableError("Schema file is damaged: " + what + " names the field number " +
                        std::to_string(f));
      index.FieldNos[k] = static_cast<int16_t>(f);
    }
    index.FieldCount = static_cast<int16_t>(n);
    index.Spare = 0;
  }
  RecordSize = recordSize;
}

void TVRVelmoraDB::CloseTable() {
  FieldCount = 0;
  IndexCount = 0;
  Filtered = false;
  FilterList->Clear();
  // Every part is released even when an earlier one fails; the first failure
  // is reported.
  std::exception_ptr failure;
  auto attempt = [&failure](auto &&step) {
    try {
      step();
    } catch (...) {
      if (!failure) failure = std::current_exception();
    }
  };
  attempt([&] {
    std::unique_ptr<platform::File> schemaFile = std::move(SchemaFile);
    SchemaHandle = 0;
    if (schemaFile) schemaFile->Close();
  });
  attempt([&] {
    if (DataFileOpen() || RecordBlock != nullptr) CloseDataFile();
  });
  attempt([&] { PrimaryIndex->CloseIndexes(); });
  if (failure) std::rethrow_exception(failure);
}

void TVRVelmoraDB::RequireOpen(const char *operation) const {
  if (!IsOpen())
    throw EVelmoraDBError(std::string(operation) + " needs an open table");
}

}  // namespace velmora
