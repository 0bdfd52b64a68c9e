// The table exports: opening and closing, the record buffer, definition
// queries, navigation, search, ranges and posting.
#include "VRcomm/ShortString.h"
#include "dll_src/Exports.h"

using namespace velmora;
using namespace velmora::dll;

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

VR_EXPORT int32_t VR_CALL DLL_RecordSize(int32_t h) {
  return Run([&] { return TableOf(h).RecordSize; });
}

VR_EXPORT int32_t VR_CALL DLL_FieldCount(int32_t h) {
  return Run([&] { return TableOf(h).FieldCount; });
}

VR_EXPORT int32_t VR_CALL DLL_IndexCount(int32_t h) {
  return Run([&] { return TableOf(h).IndexCount; });
}

#define VR_PENDING(ret, name, params, operation)                 \
  VR_EXPORT ret VR_CALL name params {                             \
    return Run([&]() -> ret {                                     \
      TableOf(h);                                                 \
      NotBuilt(operation);                                        \
    });                                                           \
  }

VR_PENDING(void, DLL_MoveFromDB, (int32_t h, void *), "MoveFromDB")
VR_PENDING(void, DLL_MoveToDB, (int32_t h, const void *), "MoveToDB")
VR_PENDING(void, DLL_SetFieldToNull, (int32_t h, int32_t), "SetFieldToNull")
VR_PENDING(void, DLL_FieldName, (uint8_t *, int32_t h, int32_t), "FieldName")
VR_PENDING(void, DLL_FieldInfo, (int32_t h, int32_t, int32_t *, int32_t *, char *), "FieldInfo")
VR_PENDING(void, DLL_GetIndexName, (uint8_t *, int32_t h, int32_t), "GetIndexName")
VR_PENDING(void, DLL_CurrentIndexName, (uint8_t *, int32_t h), "CurrentIndexName")
VR_PENDING(int32_t, DLL_IndexFieldCount, (int32_t h), "IndexFieldCount")
VR_PENDING(void, DLL_IndexFieldName, (uint8_t *, int32_t h, int32_t), "IndexFieldName")
VR_PENDING(int32_t, DLL_FindIndexName, (int32_t h, const uint8_t *), "FindIndexName")
VR_PENDING(int32_t, DLL_ChangeIndex, (int32_t h, int32_t), "ChangeIndex")
VR_PENDING(int32_t, DLL_First, (int32_t h), "First")
VR_PENDING(int32_t, DLL_Last, (int32_t h), "Last")
VR_PENDING(int32_t, DLL_Next, (int32_t h), "Next")
VR_PENDING(int32_t, DLL_Prior, (int32_t h), "Prior")
VR_PENDING(int32_t, DLL_MoveTo, (int32_t h, int32_t), "MoveTo")
VR_PENDING(int32_t, DLL_CurrentRecordPosition, (int32_t h), "CurrentRecordPosition")
VR_PENDING(uint8_t, DLL_BOF, (int32_t h), "BOF")
VR_PENDING(uint8_t, DLL_EOF, (int32_t h), "EOF")
VR_PENDING(uint8_t, DLL_RangeEmpty, (int32_t h), "RangeEmpty")
VR_PENDING(uint8_t, DLL_FindResult, (int32_t h), "FindResult")
VR_PENDING(int32_t, DLL_RangeCount, (int32_t h), "RangeCount")
VR_PENDING(int32_t, DLL_ReadRecord, (int32_t h), "ReadRecord")
VR_PENDING(int32_t, DLL_GetRecord, (int32_t h), "ReadRecord")
VR_PENDING(int32_t, DLL_TotalRecords, (int32_t h), "TotalRecords")
VR_PENDING(int32_t, DLL_FindNearestRecord, (int32_t h, const uint8_t *, int32_t), "FindNearest")
VR_PENDING(int32_t, DLL_FindKeyRecord, (int32_t h, const uint8_t *, int32_t), "FindKey")
VR_PENDING(int32_t, DLL_ApplyRange, (int32_t h, const uint8_t *, int32_t, const uint8_t *, int32_t),
           "ApplyRange")
VR_PENDING(int32_t, DLL_CancelRange, (int32_t h), "CancelRange")
VR_PENDING(void, DLL_EditRecord, (int32_t h), "EditRecord")
VR_PENDING(void, DLL_PostEditedRecord, (int32_t h), "PostEditedRecord")
VR_PENDING(int32_t, DLL_PostNewRecord, (int32_t h), "PostNewRecord")
VR_PENDING(int32_t, DLL_DeleteRecord, (int32_t h), "DeleteRecord")
VR_PENDING(int32_t, DLL_EmptyTable, (int32_t h), "EmptyTable")
VR_PENDING(void, DLL_GetFieldParams, (int32_t h, int32_t, int32_t, uint8_t *, uint8_t *, int32_t),
           "GetFieldParams")
