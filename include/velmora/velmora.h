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

/* The exports, declared from their list. */
#define VELMORA_EXPORT(ordinal, result, name, parameters) result VR_CALL name parameters;
#include "velmora_exports.h"
#undef VELMORA_EXPORT

#ifdef __cplusplus
}
#endif

#endif /* VELMORA_H */
