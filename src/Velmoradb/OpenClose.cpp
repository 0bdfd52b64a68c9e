// Opening a table (its definition from the schema file, the data file, the
// index files and the cursor on the first record of index 0) and closing it.
#include <cstring>

#include <velmora/velmora.hpp>

#include "FileOps/MiscFileOps.h"
#include "FileOps/SchemaImage.h"
#include "Ind1/Index.h"
#include "VRcomm/FileNames.h"
#include "VRcomm/ShortString.h"
#include "VRcomm/EngineError.h"
#include "Velmoradb/TableCall.h"
#include "Velmoradb/VelmoraDB.h"

namespace velmora {

namespace {

// A String field holds at most 32766 characters and its NUL (the schema
// writer's limit); it must also fit the record.
constexpr int32_t kMaxStringSize = 32767;

}  // namespace

int32_t TVRVelmoraDB::OpenTable(const std::string &path, int32_t openMode) {
  int32_t error = 0;
  std::unique_ptr<platform::File> file = platform::Os().Open(path, openMode, &error);
  if (!file) {
    SchemaHandle = -1;
    // The result stays the bare refusal; the reason is left for the error text.
    int32_t ignored = 0;
    bool exists = platform::Os().Exists(path);
    bool inUse = exists && (error == 13 || error == 5 || error == 32 || error == 33) &&
                 platform::Os().Open(path, platform::kAccessRead | platform::kShareDenyNone, &ignored) != nullptr;
    if (inUse)
      LastError = "The table " + path + " is in use by another program";
    else
      LastError = platform::IoErrorText(error) + ": " + path;
    return SchemaHandle;
  }
  SchemaFile = std::move(file);
  SchemaPath = path;
  SchemaHandle = SchemaFile->Handle() > 0 ? SchemaFile->Handle() : 1;
  try {
    LoadDefinition();
    // A table that may only be read is read from files that may only be read.
    const bool readAccess = (openMode & 3) == platform::kAccessRead;
    OpenDataFile(Cut255(velmora::DataFileName(path)), RecordSize, readAccess);
    PrimaryIndex->OpenIndexes(path, IndexCount, readAccess);
    std::vector<platform::RecordFile *> files{&DataFile};
    for (int32_t i = 0; i < kMaxIndexes; ++i) files.push_back(&PrimaryIndex->LeafFileAt(i));
    for (int32_t i = 0; i < kMaxIndexes; ++i) files.push_back(&PrimaryIndex->DirFileAt(i));
    const int32_t sharing = openMode & 0xF0;
    const bool denyBoth = sharing == platform::kShareCompat || sharing == platform::kShareExclusive;
    const bool denyWrite = denyBoth || sharing == platform::kShareDenyWrite;
    const bool denyRead = denyBoth || sharing == platform::kShareDenyRead;
    Pager.Open(path, std::move(files), denyWrite, denyRead, DataReadOnly || PrimaryIndex->OpenedReadOnly());
    TableCall call(*this, TableCall::kMoving);
    ChangeIndex(0);
    Bookmarks.clear();
    call.Finish();
  } catch (const EVelmoraDBError &e) {
    // Files that are all there but disagree (the messages advising a
    // rebuild) leave the table open for the rebuild alone.
    const std::string message = e.what();
    if (message.find("suggest rebuild") != std::string::npos && DataFileOpen() &&
        PrimaryIndex->GetLeafFileCount() == IndexCount && PrimaryIndex->GetDirectory().AreDirFilesOpen() &&
        Pager.IsOpen()) {
      DamageReason = message;
      throw;
    }
    CloseAfterFailedOpen();
    throw;
  } catch (...) {
    CloseAfterFailedOpen();
    throw;
  }
  return SchemaHandle;
}

void TVRVelmoraDB::CloseAfterFailedOpen() {
  // A table that failed to open is left closed, with nothing held open; the
  // last error stays the open's failure, whatever the clean-up meets.
  KeepEngineError keep;
  try {
    CloseTable();
  } catch (...) {
  }
}

void TVRVelmoraDB::LoadDefinition() {
  SchemaReader reader(*SchemaFile, SchemaPath, [this](const std::string &message) { RaiseTableError(message); });
  SchemaImage image;
  reader.ReadHeader(image);
  FieldCount = image.fieldCount;
  if (FieldCount > kMaxFields) RaiseTableError("Number of fields in table exceeds maximum");
  IndexCount = image.indexCount;
  if (IndexCount > kMaxIndexes) RaiseTableError("Number of indexes in table exceeds maximum");
  if (FieldCount < 0 || IndexCount < 0) reader.Damaged("it gives a negative field or index count");
  if (IndexCount == 0) RaiseTableError("Unable to open a table without an index");
  int32_t recordSize = image.recordSize;
  if (recordSize < RoundUp4(FieldCount) || recordSize > kMaxRecordSize)
    reader.Damaged("the record size " + std::to_string(recordSize) + " is not valid");
  reader.ReadBlocks(image);

  // Every field must lie inside the record, after the null flags, with the
  // storage size of its type.
  for (int32_t i = 0; i < FieldCount; ++i) {
    const SchemaFieldImage &f = image.fields[static_cast<size_t>(i)];
    std::string what = "field " + std::to_string(i);
    bool sizeOk = f.type == 'S' ? f.size >= 1 && f.size <= kMaxStringSize : f.size == FieldTypeSize(f.type);
    if (!sizeOk) reader.Damaged(what + " has an invalid size " + std::to_string(f.size));
    if (f.offset < FieldCount || f.offset > recordSize - f.size)
      reader.Damaged(what + " at offset " + std::to_string(f.offset) + " does not fit the record");
    TFieldDescriptor &field = Fields[i];
    std::memset(&field, 0, sizeof field);
    ToShort(field.Name, f.name);
    field.FieldType = f.type;
    field.Len = static_cast<int16_t>(f.size);
    field.Offset = static_cast<int16_t>(f.offset);
    if (image.withParams) {
      field.HasParam0 = f.hasParam[0];
      field.HasParam1 = f.hasParam[1];
      field.HasParam2 = f.hasParam[2];
      field.HasParam3 = f.hasParam[3];
      field.FieldFlags = f.flagsWord == 1 ? 1 : 0;
      ToShort(field.Param1, f.params[0]);
      ToShort(field.Param2, f.params[1]);
      ToShort(field.Param3, f.params[2]);
    }
  }
  for (int32_t j = 0; j < IndexCount; ++j) {
    const SchemaIndexImage &x = image.indexes[static_cast<size_t>(j)];
    TIndexDescriptor &index = Indexes[j];
    std::memset(&index, 0, sizeof index);
    ToShort(index.Name, x.name);
    for (size_t k = 0; k < x.fieldNos.size(); ++k) index.FieldNos[k] = static_cast<int16_t>(x.fieldNos[k]);
    index.FieldCount = static_cast<int16_t>(x.fieldNos.size());
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
  PendingNext = false;
  CursorLost = false;
  DamageReason.clear();
  Pager.Close();
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

void TVRVelmoraDB::RefuseUnopened(const char *operation) const {
  if (!IsOpen()) throw EVelmoraDBError(std::string(operation) + " needs an open table");
  if (!DamageReason.empty() && std::string(operation) != "DLL_RebuildTable")
    throw EVelmoraDBError("Unable to use the table " + SchemaPath + " before it is rebuilt: " + DamageReason);
}

}  // namespace velmora
