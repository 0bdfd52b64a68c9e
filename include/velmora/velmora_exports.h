/* The library's exports, one entry each in the order of their ordinals on
 * 32-bit Windows (ordinal 10 stays empty).  This file is a list meant to be
 * included with VELMORA_EXPORT defined:
 *   VELMORA_EXPORT(ordinal, result, name, parameters)
 * velmora.h turns every entry into a prototype; the build writes the Linux
 * version script and the Windows module-definition file from it (each entry
 * starts a line, with its ordinal and name on that line), and the export tests
 * load every entry by name.
 *
 * Booleans are one byte (non-zero true); short strings are described in
 * velmora.h.
 */

VELMORA_EXPORT(1, int32_t, DLL_Connect, (int32_t clientId))
VELMORA_EXPORT(2, int32_t, DLL_Disconnect, (int32_t h))
VELMORA_EXPORT(3, int32_t, DLL_OpenTable, (int32_t h, const uint8_t *path, int32_t openMode))
VELMORA_EXPORT(4, void, DLL_CloseTable, (int32_t h))
VELMORA_EXPORT(5, void, DLL_MoveFromDB, (int32_t h, void *dest))
VELMORA_EXPORT(6, void, DLL_MoveToDB, (int32_t h, const void *src))
VELMORA_EXPORT(7, int32_t, DLL_MoveTo, (int32_t h, int32_t position))
VELMORA_EXPORT(8, int32_t, DLL_CurrentRecordPosition, (int32_t h))
VELMORA_EXPORT(9, int32_t, DLL_RecordSize, (int32_t h))
VELMORA_EXPORT(11, int32_t, DLL_FieldCount, (int32_t h))
VELMORA_EXPORT(12, void, DLL_FieldName, (uint8_t * dest, int32_t h, int32_t fieldNo))
VELMORA_EXPORT(13, void, DLL_FieldInfo, (int32_t h, int32_t fieldNo, int32_t *offset, int32_t *length, char *type))
VELMORA_EXPORT(14, void, DLL_SetFieldToNull, (int32_t h, int32_t fieldNo))
VELMORA_EXPORT(15, uint8_t, DLL_BOF, (int32_t h))
VELMORA_EXPORT(16, uint8_t, DLL_EOF, (int32_t h))
VELMORA_EXPORT(17, uint8_t, DLL_RangeEmpty, (int32_t h))
VELMORA_EXPORT(18, int32_t, DLL_First, (int32_t h))
VELMORA_EXPORT(19, int32_t, DLL_Last, (int32_t h))
VELMORA_EXPORT(20, int32_t, DLL_Next, (int32_t h))
VELMORA_EXPORT(21, int32_t, DLL_Prior, (int32_t h))
VELMORA_EXPORT(22, int32_t, DLL_RangeCount, (int32_t h))
VELMORA_EXPORT(23, int32_t, DLL_TotalRecords, (int32_t h))
VELMORA_EXPORT(24, int32_t, DLL_PostNewRecord, (int32_t h))
VELMORA_EXPORT(25, void, DLL_PostEditedRecord, (int32_t h))
VELMORA_EXPORT(26, int32_t, DLL_ReadRecord, (int32_t h))
VELMORA_EXPORT(27, int32_t, DLL_DeleteRecord, (int32_t h))
VELMORA_EXPORT(28, void, DLL_EditRecord, (int32_t h))
VELMORA_EXPORT(29, void, DLL_GetIndexName, (uint8_t * dest, int32_t h, int32_t indexNo))
VELMORA_EXPORT(30, int32_t, DLL_IndexCount, (int32_t h))
VELMORA_EXPORT(31, int32_t, DLL_IndexFieldCount, (int32_t h))
VELMORA_EXPORT(32, void, DLL_IndexFieldName, (uint8_t * dest, int32_t h, int32_t keyPos))
VELMORA_EXPORT(33, void, DLL_CurrentIndexName, (uint8_t * dest, int32_t h))
VELMORA_EXPORT(34, int32_t, DLL_FindIndexName, (int32_t h, const uint8_t *name))
VELMORA_EXPORT(35, int32_t, DLL_ChangeIndex, (int32_t h, int32_t indexNo))
VELMORA_EXPORT(36, int32_t, DLL_FindNearestRecord, (int32_t h, const uint8_t *keys, int32_t high))
VELMORA_EXPORT(37, int32_t, DLL_FindKeyRecord, (int32_t h, const uint8_t *keys, int32_t high))
VELMORA_EXPORT(38, int32_t, DLL_ApplyRange,
               (int32_t h, const uint8_t *low, int32_t lowHigh, const uint8_t *high, int32_t highHigh))
VELMORA_EXPORT(39, int32_t, DLL_CancelRange, (int32_t h))
VELMORA_EXPORT(40, int32_t, DLL_EmptyTable, (int32_t h))
VELMORA_EXPORT(41, void, DLL_RebuildTable, (int32_t h, int32_t *kept, int32_t *before))
VELMORA_EXPORT(42, void, ShowStats, (uint8_t * text256))
VELMORA_EXPORT(43, void, DLL_GetFieldParams,
               (int32_t h, int32_t fieldNo, int32_t paramNo, uint8_t *present, uint8_t *text, int32_t maxLen))
VELMORA_EXPORT(44, int32_t, DLL_AddBookmark, (int32_t h, int32_t value))
VELMORA_EXPORT(45, void, DLL_DeleteBookmark, (int32_t h, int32_t slot))
VELMORA_EXPORT(46, int32_t, DLL_GoToBookmark, (int32_t h, int32_t slot))
VELMORA_EXPORT(47, int32_t, DLL_GetCurrentBookMarkData, (int32_t h))
VELMORA_EXPORT(48, int32_t, DLL_MapFieldsToIndex, (int32_t h, TFieldNoList *fields, uint8_t useIndex))
VELMORA_EXPORT(49, int32_t, DLL_LocateRecord,
               (int32_t h, TFieldNoList *fields, void *keyBuffer, int32_t indexNo, int32_t partialLength,
                uint8_t caseInsensitive, uint8_t moveCursor))
VELMORA_EXPORT(50, uint8_t, DLL_CheckOpen, (int32_t h))
VELMORA_EXPORT(51, void, DLL_SetFilterProc,
               (int32_t h, TFilterProc first, intptr_t firstUser, TFilterProc second, intptr_t secondUser))
VELMORA_EXPORT(52, void, DLL_SetFiltered, (int32_t h, uint8_t on))
VELMORA_EXPORT(53, int32_t, DLL_GetRecord, (int32_t h))
VELMORA_EXPORT(54, uint8_t, DLL_FindResult, (int32_t h))
VELMORA_EXPORT(55, void, DLL_InternalStatus, (uint8_t * dest, int32_t h, int32_t selector))
VELMORA_EXPORT(56, void, DLL_SetFilterStatus, (int32_t h, uint8_t firstOn, uint8_t secondOn))
VELMORA_EXPORT(57, int32_t, DLL_VRIFileOps,
               (int32_t h, uint8_t operation, const uint8_t *fileName, TFieldDefList *fields, TIndexDefList *indexes))
VELMORA_EXPORT(58, int32_t, DLL_CheckBookmarkValid, (int32_t h, int32_t slot))
VELMORA_EXPORT(59, int32_t, DLL_TableUtils, (int32_t ignored, const uint8_t *source, const uint8_t *dest, int32_t op))
