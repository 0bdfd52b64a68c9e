// The table exports: opening and closing, the record buffer, definition
// queries, navigation, search, ranges and posting.  Each finds the user's
// table and calls one operation of it.
#include "dll_src/Exports.h"

#include <cstring>

#include "VRcomm/ShortString.h"

using namespace velmora;
using namespace velmora::dll;

namespace {

void RequirePointer(const void *p, const char *operation) {
  if (p == nullptr) throw EVelmoraDBError(std::string(operation) + " needs a buffer");
}

const TFieldDescriptor &FieldOf(TVRVelmoraDB &table, int32_t fieldNo, const char *operation) {
  if (fieldNo < 0 || fieldNo >= table.GetFieldCount())
    throw EVelmoraDBError(std::string(operation) + ": " + std::to_string(fieldNo) + " is not a valid field number.");
  return table.FieldAt(fieldNo);
}

const TIndexDescriptor &IndexOf(TVRVelmoraDB &table, int32_t indexNo, const char *operation) {
  if (indexNo < 0 || indexNo >= table.GetIndexCount())
    throw EVelmoraDBError(std::string(operation) + ": " + std::to_string(indexNo) + " is not a valid index number.");
  return table.IndexAt(indexNo);
}

void CopyName(uint8_t *dest, const uint8_t *name) { ToShort(dest, FromShort(name)); }

}  // namespace

VR_EXPORT int32_t VR_CALL DLL_OpenTable(int32_t h, const uint8_t *path, int32_t openMode) {
  return Run([&] {
    std::string name = FromShort(path);
    Users().ValidateHandle(h);
    TVRVelmoraDB &table = TableOf(h);
    int32_t result = 0;
    if (!table.IsOpen()) result = table.OpenTable(name, openMode);
    Users().UserOf(h).TableName = name;
    return result;
  });
}

VR_EXPORT void VR_CALL DLL_CloseTable(int32_t h) {
  Run([&] {
    TVRVelmoraDB &table = TableOf(h);
    if (table.IsOpen()) table.CloseTable();
  });
}

// Record buffer.

VR_EXPORT void VR_CALL DLL_MoveFromDB(int32_t h, void *dest) {
  Run([&] {
    TVRVelmoraDB &table = ReadingTableOf(h, "DLL_MoveFromDB");
    RequirePointer(dest, "DLL_MoveFromDB");
    table.CopyRecord(table.CurrentBuffer(), dest);
  });
}

VR_EXPORT void VR_CALL DLL_MoveToDB(int32_t h, const void *src) {
  Run([&] {
    TVRVelmoraDB &table = ReadingTableOf(h, "DLL_MoveToDB");
    RequirePointer(src, "DLL_MoveToDB");
    table.CopyRecord(src, table.CurrentBuffer());
  });
}

VR_EXPORT int32_t VR_CALL DLL_RecordSize(int32_t h) {
  return Run([&] { return TableOf(h).GetRecordSize(); });
}

VR_EXPORT void VR_CALL DLL_SetFieldToNull(int32_t h, int32_t fieldNo) {
  Run([&] {
    TVRVelmoraDB &table = ReadingTableOf(h, "DLL_SetFieldToNull");
    FieldOf(table, fieldNo, "DLL_SetFieldToNull");
    table.CurrentBuffer()[fieldNo] = 0;
  });
}

// Definition queries.

VR_EXPORT int32_t VR_CALL DLL_FieldCount(int32_t h) {
  return Run([&] { return TableOf(h).GetFieldCount(); });
}

VR_EXPORT void VR_CALL DLL_FieldName(uint8_t *dest, int32_t h, int32_t fieldNo) {
  Run([&] {
    TVRVelmoraDB &table = TableOf(h);
    const TFieldDescriptor &field = FieldOf(table, fieldNo, "DLL_FieldName");
    RequirePointer(dest, "DLL_FieldName");
    CopyName(dest, field.Name);
  });
}

VR_EXPORT void VR_CALL DLL_FieldInfo(int32_t h, int32_t fieldNo, int32_t *offset, int32_t *length, char *type) {
  Run([&] {
    TVRVelmoraDB &table = TableOf(h);
    const TFieldDescriptor &field = FieldOf(table, fieldNo, "DLL_FieldInfo");
    RequirePointer(offset, "DLL_FieldInfo");
    RequirePointer(length, "DLL_FieldInfo");
    RequirePointer(type, "DLL_FieldInfo");
    *offset = field.Offset;
    *length = field.Len;
    *type = field.FieldType;
  });
}

VR_EXPORT void VR_CALL DLL_GetFieldParams(int32_t h, int32_t fieldNo, int32_t paramNo, uint8_t *present, uint8_t *text,
                                          int32_t maxLen) {
  Run([&] {
    if (text != nullptr) text[0] = 0;
    TVRVelmoraDB &table = TableOf(h);
    const TFieldDescriptor &field = FieldOf(table, fieldNo, "DLL_GetFieldParams");
    RequirePointer(present, "DLL_GetFieldParams");
    RequirePointer(text, "DLL_GetFieldParams");
    size_t limit = static_cast<size_t>(maxLen & 0xFF);
    *present = 0;
    std::string value;
    switch (paramNo) {
      case 0:
        *present = field.HasParam0 != 0;
        value = "true";
        break;
      case 1:
        *present = field.HasParam1 != 0;
        value = FromShort(field.Param1);
        break;
      case 2:
        *present = field.HasParam2 != 0;
        value = FromShort(field.Param2);
        break;
      case 3:
        *present = field.HasParam3 != 0;
        value = FromShort(field.Param3);
        break;
      default: break;
    }
    if (*present) ToShort(text, value, limit);
  });
}

VR_EXPORT int32_t VR_CALL DLL_IndexCount(int32_t h) {
  return Run([&] { return TableOf(h).GetIndexCount(); });
}

VR_EXPORT void VR_CALL DLL_GetIndexName(uint8_t *dest, int32_t h, int32_t indexNo) {
  Run([&] {
    TVRVelmoraDB &table = TableOf(h);
    const TIndexDescriptor &index = IndexOf(table, indexNo, "DLL_GetIndexName");
    RequirePointer(dest, "DLL_GetIndexName");
    CopyName(dest, index.Name);
  });
}

VR_EXPORT void VR_CALL DLL_CurrentIndexName(uint8_t *dest, int32_t h) {
  Run([&] {
    TVRVelmoraDB &table = ReadingTableOf(h, "DLL_CurrentIndexName");
    RequirePointer(dest, "DLL_CurrentIndexName");
    CopyName(dest, table.IndexAt(table.CurrentIndex()).Name);
  });
}

VR_EXPORT int32_t VR_CALL DLL_IndexFieldCount(int32_t h) {
  return Run([&] {
    TVRVelmoraDB &table = ReadingTableOf(h, "DLL_IndexFieldCount");
    return static_cast<int32_t>(table.GetIndexDescriptor(table.CurrentIndex()).FieldCount);
  });
}

VR_EXPORT void VR_CALL DLL_IndexFieldName(uint8_t *dest, int32_t h, int32_t keyPos) {
  Run([&] {
    TVRVelmoraDB &table = ReadingTableOf(h, "DLL_IndexFieldName");
    TIndexDescriptor index = table.GetIndexDescriptor(table.CurrentIndex());
    if (keyPos < 0 || keyPos > index.FieldCount - 1) throw EUserAccessError("Invalid field number used.");
    TFieldDescriptor field = table.GetFieldDescriptor(index.FieldNos[keyPos]);
    RequirePointer(dest, "DLL_IndexFieldName");
    CopyName(dest, field.Name);
  });
}

VR_EXPORT int32_t VR_CALL DLL_FindIndexName(int32_t h, const uint8_t *name) {
  return Run([&] {
    TVRVelmoraDB &table = TableOf(h);
    return table.FindIndexName(FromShort(name));
  });
}

// Navigation and cursor state.

VR_EXPORT int32_t VR_CALL DLL_ChangeIndex(int32_t h, int32_t indexNo) {
  return Run([&] {
    TVRVelmoraDB &table = OpenTableOf(h, "DLL_ChangeIndex");
    IndexOf(table, indexNo, "DLL_ChangeIndex");
    return table.ChangeIndex(indexNo);
  });
}

#define VR_TABLE_CALL_AS(enter, ret, name, expression) \
  VR_EXPORT ret VR_CALL name(int32_t h) {              \
    return Run([&]() -> ret {                          \
      TVRVelmoraDB &table = enter(h, #name);           \
      return expression;                               \
    });                                                \
  }
#define VR_TABLE_CALL(ret, name, expression) VR_TABLE_CALL_AS(OpenTableOf, ret, name, expression)
#define VR_READING_CALL(ret, name, expression) VR_TABLE_CALL_AS(ReadingTableOf, ret, name, expression)
#define VR_POSTING_CALL(ret, name, expression) VR_TABLE_CALL_AS(PostingTableOf, ret, name, expression)

VR_TABLE_CALL(int32_t, DLL_First, table.First())
VR_TABLE_CALL(int32_t, DLL_Last, table.Last())
VR_TABLE_CALL_AS(NextTableOf, int32_t, DLL_Next, table.Next())
VR_TABLE_CALL(int32_t, DLL_Prior, table.Prior())
VR_READING_CALL(int32_t, DLL_CurrentRecordPosition, table.CurrentRecordPosition())
VR_READING_CALL(uint8_t, DLL_BOF, table.IsAtBOF() ? 1 : 0)
VR_READING_CALL(uint8_t, DLL_EOF, table.IsAtEOF() ? 1 : 0)
VR_READING_CALL(uint8_t, DLL_RangeEmpty, table.RangeEmpty() ? 1 : 0)
VR_READING_CALL(uint8_t, DLL_FindResult, table.GetFindResult() ? 1 : 0)
VR_READING_CALL(int32_t, DLL_RangeCount, table.RangeCount())
VR_READING_CALL(int32_t, DLL_ReadRecord, table.ReadRecord() ? 1 : 0)
VR_READING_CALL(int32_t, DLL_GetRecord, table.ReadRecord() ? 1 : 0)
VR_READING_CALL(int32_t, DLL_TotalRecords, table.RecordCount())
VR_TABLE_CALL(int32_t, DLL_CancelRange, table.CancelRange())

VR_EXPORT int32_t VR_CALL DLL_MoveTo(int32_t h, int32_t position) {
  return Run([&] { return OpenTableOf(h, "DLL_MoveTo").MoveTo(position); });
}

// Search and ranges.

VR_EXPORT int32_t VR_CALL DLL_FindNearestRecord(int32_t h, const uint8_t *keys, int32_t high) {
  return Run([&] { return OpenTableOf(h, "DLL_FindNearestRecord").FindNearest(keys, high); });
}

VR_EXPORT int32_t VR_CALL DLL_FindKeyRecord(int32_t h, const uint8_t *keys, int32_t high) {
  return Run([&]() -> int32_t { return OpenTableOf(h, "DLL_FindKeyRecord").FindKey(keys, high) ? 1 : 0; });
}

VR_EXPORT int32_t VR_CALL DLL_ApplyRange(int32_t h, const uint8_t *low, int32_t lowHigh, const uint8_t *high,
                                         int32_t highHigh) {
  return Run([&] { return OpenTableOf(h, "DLL_ApplyRange").ApplyRange(low, lowHigh, high, highHigh); });
}

// Posting.

VR_EXPORT void VR_CALL DLL_EditRecord(int32_t h) {
  Run([&] { ReadingTableOf(h, "DLL_EditRecord").EditRecord(); });
}

VR_EXPORT void VR_CALL DLL_PostEditedRecord(int32_t h) {
  Run([&] { PostingTableOf(h, "DLL_PostEditedRecord").PostEditedRecord(); });
}

VR_POSTING_CALL(int32_t, DLL_PostNewRecord, table.PostNewRecord())
VR_POSTING_CALL(int32_t, DLL_DeleteRecord, table.DeleteRecord())
VR_POSTING_CALL(int32_t, DLL_EmptyTable, table.EmptyTable())
