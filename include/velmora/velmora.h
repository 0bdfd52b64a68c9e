/* Velmora embedded table engine: public C interface.
 *
 * Strings cross the interface as "short strings": a 256-byte buffer whose first
 * byte is the length, followed by that many characters.  Inputs are read up to
 * their length byte only; outputs are written whole into a 256-byte buffer.
 *
 * Failures are reported by exceptions: on Linux a C++ exception derived from
 * velmora::Exception (see velmora.hpp); on 32-bit Windows a structured exception
 * with code VELMORA_EXCEPTION_CODE whose parameters are the message, the class
 * name and the I/O error code.
 */
#ifndef VELMORA_H
#define VELMORA_H

#include <stdint.h>

#if defined(_WIN32) && !defined(_WIN64)
#define VR_CALL __stdcall
#else
#define VR_CALL
#endif

#define VELMORA_EXCEPTION_CODE 0xE0564D52u

#ifdef __cplusplus
extern "C" {
#endif

#pragma pack(push, 1)
/* One field of a table definition (1302 bytes). */
typedef struct TFieldDescriptor {
  uint8_t Name[256];
  char FieldType;
  int16_t Len;
  int16_t Offset;
  int32_t HasParam0, HasParam1, HasParam2, HasParam3;
  uint8_t FieldFlags;
  uint8_t Param1[256], Param2[256], Param3[256];
  uint8_t Reserved[256];
} TFieldDescriptor;
#pragma pack(pop)

typedef struct TFieldDefList {
  int32_t Count;
  TFieldDescriptor *Items;
} TFieldDefList;

typedef struct TIndexDef {
  uint8_t Name[256];  /* short string */
  int32_t FieldCount; /* length of the field-number list */
  int32_t FieldNos[10];
} TIndexDef;

typedef struct TIndexDefList {
  int32_t Count;
  TIndexDef *Items;
} TIndexDefList;

typedef struct TFieldNoList {
  int32_t Count;
  int32_t *Items;
} TFieldNoList;

/* A filter procedure: non-zero in the low byte of the result means the record passes. */
typedef uint8_t(VR_CALL *TFilterProc)(intptr_t userValue, const void *record);

#ifndef VELMORA_NO_PROTOTYPES
int32_t VR_CALL DLL_Connect(int32_t clientId);
int32_t VR_CALL DLL_Disconnect(int32_t h);
uint8_t VR_CALL DLL_CheckOpen(int32_t h);
void VR_CALL ShowStats(uint8_t *text256);
int32_t VR_CALL DLL_OpenTable(int32_t h, const uint8_t *path, int32_t openMode);
void VR_CALL DLL_CloseTable(int32_t h);
void VR_CALL DLL_MoveFromDB(int32_t h, void *dest);
void VR_CALL DLL_MoveToDB(int32_t h, const void *src);
int32_t VR_CALL DLL_RecordSize(int32_t h);
void VR_CALL DLL_SetFieldToNull(int32_t h, int32_t fieldNo);
int32_t VR_CALL DLL_FieldCount(int32_t h);
void VR_CALL DLL_FieldName(uint8_t *dest, int32_t h, int32_t fieldNo);
void VR_CALL DLL_FieldInfo(int32_t h, int32_t fieldNo, int32_t *offset, int32_t *length, char *type);
void VR_CALL DLL_GetFieldParams(int32_t h, int32_t fieldNo, int32_t paramNo, uint8_t *present,
                                uint8_t *text, int32_t maxLen);
int32_t VR_CALL DLL_IndexCount(int32_t h);
void VR_CALL DLL_GetIndexName(uint8_t *dest, int32_t h, int32_t indexNo);
void VR_CALL DLL_CurrentIndexName(uint8_t *dest, int32_t h);
int32_t VR_CALL DLL_IndexFieldCount(int32_t h);
void VR_CALL DLL_IndexFieldName(uint8_t *dest, int32_t h, int32_t keyPos);
int32_t VR_CALL DLL_FindIndexName(int32_t h, const uint8_t *name);
int32_t VR_CALL DLL_ChangeIndex(int32_t h, int32_t indexNo);
int32_t VR_CALL DLL_First(int32_t h);
int32_t VR_CALL DLL_Last(int32_t h);
int32_t VR_CALL DLL_Next(int32_t h);
int32_t VR_CALL DLL_Prior(int32_t h);
int32_t VR_CALL DLL_MoveTo(int32_t h, int32_t position);
int32_t VR_CALL DLL_CurrentRecordPosition(int32_t h);
uint8_t VR_CALL DLL_BOF(int32_t h);
uint8_t VR_CALL DLL_EOF(int32_t h);
uint8_t VR_CALL DLL_RangeEmpty(int32_t h);
uint8_t VR_CALL DLL_FindResult(int32_t h);
int32_t VR_CALL DLL_RangeCount(int32_t h);
int32_t VR_CALL DLL_ReadRecord(int32_t h);
int32_t VR_CALL DLL_GetRecord(int32_t h);
int32_t VR_CALL DLL_TotalRecords(int32_t h);
int32_t VR_CALL DLL_FindNearestRecord(int32_t h, const uint8_t *keys, int32_t high);
int32_t VR_CALL DLL_FindKeyRecord(int32_t h, const uint8_t *keys, int32_t high);
int32_t VR_CALL DLL_ApplyRange(int32_t h, const uint8_t *low, int32_t lowHigh, const uint8_t *high,
                               int32_t highHigh);
int32_t VR_CALL DLL_CancelRange(int32_t h);
void VR_CALL DLL_EditRecord(int32_t h);
void VR_CALL DLL_PostEditedRecord(int32_t h);
int32_t VR_CALL DLL_PostNewRecord(int32_t h);
int32_t VR_CALL DLL_DeleteRecord(int32_t h);
int32_t VR_CALL DLL_EmptyTable(int32_t h);
int32_t VR_CALL DLL_GetCurrentBookMarkData(int32_t h);
int32_t VR_CALL DLL_AddBookmark(int32_t h, int32_t value);
void VR_CALL DLL_DeleteBookmark(int32_t h, int32_t slot);
int32_t VR_CALL DLL_CheckBookmarkValid(int32_t h, int32_t slot);
int32_t VR_CALL DLL_GoToBookmark(int32_t h, int32_t slot);
void VR_CALL DLL_RebuildTable(int32_t h, int32_t *kept, int32_t *before);
int32_t VR_CALL DLL_MapFieldsToIndex(int32_t h, TFieldNoList *fields, uint8_t useIndex);
int32_t VR_CALL DLL_LocateRecord(int32_t h, TFieldNoList *fields, void *keyBuffer, int32_t indexNo,
                                 int32_t partialLength, uint8_t caseInsensitive, uint8_t moveCursor);
void VR_CALL DLL_SetFilterProc(int32_t h, TFilterProc first, intptr_t firstUser, TFilterProc second,
                               intptr_t secondUser);
void VR_CALL DLL_SetFilterStatus(int32_t h, uint8_t firstOn, uint8_t secondOn);
void VR_CALL DLL_SetFiltered(int32_t h, uint8_t on);
void VR_CALL DLL_InternalStatus(uint8_t *dest, int32_t h, int32_t selector);
int32_t VR_CALL DLL_VRIFileOps(int32_t h, uint8_t operation, const uint8_t *fileName,
                               TFieldDefList *fields, TIndexDefList *indexes);
int32_t VR_CALL DLL_TableUtils(int32_t ignored, const uint8_t *source, const uint8_t *dest, int32_t op);
#endif /* VELMORA_NO_PROTOTYPES */

#ifdef __cplusplus
}
#endif

#endif /* VELMORA_H */
