/* The operations of the Velmora C interface, one line each: the 58 library
 * exports, each as a function that returns a status instead of raising.
 *
 * This file is a list meant to be included with VR_OP defined:
 *   VR_OP(name, parameters, work)
 * name is the C function, parameters its parameter list, and work the export
 * call it makes.  An export with a result hands it back through the last
 * parameter, `result`, which may be NULL when the caller does not want it.
 * velmora_c.h turns every line into a prototype; the library turns every line
 * into a function that runs the work and catches whatever it raises.
 *
 * Arguments have the meaning and the types of the export of the same name
 * (velmora.h): handles are int32_t, short strings are 256-byte buffers whose
 * first byte is the length, booleans are one byte (non-zero true).
 * vr_TableUtils leaves out the export's first argument, which is not used.
 */

/* Users and the library. */
VR_OP(vr_Connect, (int32_t clientId, int32_t *result), VR_STORE(DLL_Connect(clientId)))
VR_OP(vr_Disconnect, (int32_t h), DLL_Disconnect(h))
VR_OP(vr_CheckOpen, (int32_t h, uint8_t *result), VR_STORE(DLL_CheckOpen(h)))
VR_OP(vr_ShowStats, (uint8_t * text256), ShowStats(text256))

/* Opening and closing. result: the schema file handle (> 0), 0 when the table
 * was already open, negative when the schema file could not be opened. */
VR_OP(vr_OpenTable, (int32_t h, const uint8_t *path, int32_t openMode, int32_t *result),
      VR_STORE(DLL_OpenTable(h, path, openMode)))
VR_OP(vr_CloseTable, (int32_t h), DLL_CloseTable(h))

/* The record buffer. */
VR_OP(vr_MoveFromDB, (int32_t h, void *dest), DLL_MoveFromDB(h, dest))
VR_OP(vr_MoveToDB, (int32_t h, const void *src), DLL_MoveToDB(h, src))
VR_OP(vr_RecordSize, (int32_t h, int32_t *result), VR_STORE(DLL_RecordSize(h)))
VR_OP(vr_SetFieldToNull, (int32_t h, int32_t fieldNo), DLL_SetFieldToNull(h, fieldNo))

/* The table's definition. */
VR_OP(vr_FieldCount, (int32_t h, int32_t *result), VR_STORE(DLL_FieldCount(h)))
VR_OP(vr_FieldName, (uint8_t * dest, int32_t h, int32_t fieldNo), DLL_FieldName(dest, h, fieldNo))
VR_OP(vr_FieldInfo, (int32_t h, int32_t fieldNo, int32_t *offset, int32_t *length, char *type),
      DLL_FieldInfo(h, fieldNo, offset, length, type))
VR_OP(vr_GetFieldParams, (int32_t h, int32_t fieldNo, int32_t paramNo, uint8_t *present, uint8_t *text, int32_t maxLen),
      DLL_GetFieldParams(h, fieldNo, paramNo, present, text, maxLen))
VR_OP(vr_IndexCount, (int32_t h, int32_t *result), VR_STORE(DLL_IndexCount(h)))
VR_OP(vr_GetIndexName, (uint8_t * dest, int32_t h, int32_t indexNo), DLL_GetIndexName(dest, h, indexNo))
VR_OP(vr_CurrentIndexName, (uint8_t * dest, int32_t h), DLL_CurrentIndexName(dest, h))
VR_OP(vr_IndexFieldCount, (int32_t h, int32_t *result), VR_STORE(DLL_IndexFieldCount(h)))
VR_OP(vr_IndexFieldName, (uint8_t * dest, int32_t h, int32_t keyPos), DLL_IndexFieldName(dest, h, keyPos))
VR_OP(vr_FindIndexName, (int32_t h, const uint8_t *name, int32_t *result), VR_STORE(DLL_FindIndexName(h, name)))

/* Navigation.  Results are record numbers (-1 for none) unless noted. */
VR_OP(vr_ChangeIndex, (int32_t h, int32_t indexNo, int32_t *result), VR_STORE(DLL_ChangeIndex(h, indexNo)))
VR_OP(vr_First, (int32_t h, int32_t *result), VR_STORE(DLL_First(h)))
VR_OP(vr_Last, (int32_t h, int32_t *result), VR_STORE(DLL_Last(h)))
VR_OP(vr_Next, (int32_t h, int32_t *result), VR_STORE(DLL_Next(h)))
VR_OP(vr_Prior, (int32_t h, int32_t *result), VR_STORE(DLL_Prior(h)))
VR_OP(vr_MoveTo, (int32_t h, int32_t position, int32_t *result), VR_STORE(DLL_MoveTo(h, position)))
VR_OP(vr_CurrentRecordPosition, (int32_t h, int32_t *result), VR_STORE(DLL_CurrentRecordPosition(h)))
VR_OP(vr_BOF, (int32_t h, uint8_t *result), VR_STORE(DLL_BOF(h)))
VR_OP(vr_EOF, (int32_t h, uint8_t *result), VR_STORE(DLL_EOF(h)))
VR_OP(vr_RangeEmpty, (int32_t h, uint8_t *result), VR_STORE(DLL_RangeEmpty(h)))
VR_OP(vr_FindResult, (int32_t h, uint8_t *result), VR_STORE(DLL_FindResult(h)))
VR_OP(vr_RangeCount, (int32_t h, int32_t *result), VR_STORE(DLL_RangeCount(h)))
VR_OP(vr_ReadRecord, (int32_t h, int32_t *result), VR_STORE(DLL_ReadRecord(h)))
VR_OP(vr_GetRecord, (int32_t h, int32_t *result), VR_STORE(DLL_GetRecord(h)))
VR_OP(vr_TotalRecords, (int32_t h, int32_t *result), VR_STORE(DLL_TotalRecords(h)))

/* Search and key ranges: keys is a run of 256-byte short strings, high the
 * number of them minus 1.  vr_FindKeyRecord's result is 1 when found. */
VR_OP(vr_FindNearestRecord, (int32_t h, const uint8_t *keys, int32_t high, int32_t *result),
      VR_STORE(DLL_FindNearestRecord(h, keys, high)))
VR_OP(vr_FindKeyRecord, (int32_t h, const uint8_t *keys, int32_t high, int32_t *result),
      VR_STORE(DLL_FindKeyRecord(h, keys, high)))
VR_OP(vr_ApplyRange,
      (int32_t h, const uint8_t *low, int32_t lowHigh, const uint8_t *high, int32_t highHigh, int32_t *result),
      VR_STORE(DLL_ApplyRange(h, low, lowHigh, high, highHigh)))
VR_OP(vr_CancelRange, (int32_t h, int32_t *result), VR_STORE(DLL_CancelRange(h)))

/* Posting. */
VR_OP(vr_EditRecord, (int32_t h), DLL_EditRecord(h))
VR_OP(vr_PostEditedRecord, (int32_t h), DLL_PostEditedRecord(h))
VR_OP(vr_PostNewRecord, (int32_t h, int32_t *result), VR_STORE(DLL_PostNewRecord(h)))
VR_OP(vr_DeleteRecord, (int32_t h, int32_t *result), VR_STORE(DLL_DeleteRecord(h)))
VR_OP(vr_EmptyTable, (int32_t h, int32_t *result), VR_STORE(DLL_EmptyTable(h)))

/* Bookmarks. */
VR_OP(vr_GetCurrentBookMarkData, (int32_t h, int32_t *result), VR_STORE(DLL_GetCurrentBookMarkData(h)))
VR_OP(vr_AddBookmark, (int32_t h, int32_t value, int32_t *result), VR_STORE(DLL_AddBookmark(h, value)))
VR_OP(vr_DeleteBookmark, (int32_t h, int32_t slot), DLL_DeleteBookmark(h, slot))
VR_OP(vr_CheckBookmarkValid, (int32_t h, int32_t slot, int32_t *result), VR_STORE(DLL_CheckBookmarkValid(h, slot)))
VR_OP(vr_GoToBookmark, (int32_t h, int32_t slot, int32_t *result), VR_STORE(DLL_GoToBookmark(h, slot)))

/* Rebuild, locate, filters, status. */
VR_OP(vr_RebuildTable, (int32_t h, int32_t *kept, int32_t *before), DLL_RebuildTable(h, kept, before))
VR_OP(vr_MapFieldsToIndex, (int32_t h, TFieldNoList *fields, uint8_t useIndex, int32_t *result),
      VR_STORE(DLL_MapFieldsToIndex(h, fields, useIndex)))
VR_OP(vr_LocateRecord,
      (int32_t h, TFieldNoList *fields, void *keyBuffer, int32_t indexNo, int32_t partialLength,
       uint8_t caseInsensitive, uint8_t moveCursor, int32_t *result),
      VR_STORE(DLL_LocateRecord(h, fields, keyBuffer, indexNo, partialLength, caseInsensitive, moveCursor)))
VR_OP(vr_SetFilterProc, (int32_t h, TFilterProc first, intptr_t firstUser, TFilterProc second, intptr_t secondUser),
      DLL_SetFilterProc(h, first, firstUser, second, secondUser))
VR_OP(vr_SetFilterStatus, (int32_t h, uint8_t firstOn, uint8_t secondOn), DLL_SetFilterStatus(h, firstOn, secondOn))
VR_OP(vr_SetFiltered, (int32_t h, uint8_t on), DLL_SetFiltered(h, on))
VR_OP(vr_InternalStatus, (uint8_t * dest, int32_t h, int32_t selector), DLL_InternalStatus(dest, h, selector))

/* Schema files and table utilities (operation codes in velmora_c.h). */
VR_OP(vr_VRIFileOps,
      (int32_t h, uint8_t operation, const uint8_t *fileName, TFieldDefList *fields, TIndexDefList *indexes,
       int32_t *result),
      VR_STORE(DLL_VRIFileOps(h, operation, fileName, fields, indexes)))
VR_OP(vr_TableUtils, (const uint8_t *source, const uint8_t *dest, int32_t op, int32_t *result),
      VR_STORE(DLL_TableUtils(0, source, dest, op)))
