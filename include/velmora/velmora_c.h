/* Velmora embedded table engine: the C interface that reports errors.
 *
 * The library's own exports (velmora.h) report failures by raising C++
 * exceptions, which a C program or a foreign-function interface (Python's
 * ctypes, Rust, Go, C#) cannot catch.  This interface, in the companion
 * library libvelmora_c.so (link with -lvelmora_c), offers every export as a
 * function named vr_ + the export's name without "DLL_" (vr_OpenTable,
 * vr_First, vr_ShowStats, ...) that never lets an exception out:
 *
 *   - it returns VR_OK (0) on success, or the VR_E_... status of the failure;
 *   - an export's result comes back through the last parameter, `result`,
 *     which may be NULL;
 *   - the failure's message, class name and I/O error code stay readable
 *     through vr_LastErrorMessage, vr_LastErrorClass and vr_LastErrorIOCode
 *     until the next vr_ call on the same thread (each thread has its own
 *     last error; a call that succeeds clears it).
 *
 *   uint8_t name[256];
 *   int32_t h, opened;
 *   vr_Connect(0, &h);
 *   vr_ShortString(name, "orders.vri");
 *   if (vr_OpenTable(h, name, VR_OPEN_READ_WRITE, &opened) != VR_OK)
 *     fprintf(stderr, "%s: %s\n", vr_LastErrorClass(), vr_LastErrorMessage());
 *
 * The complete list of functions with their parameters is velmora_c_ops.h;
 * the arguments mean what they mean for the export of the same name.
 * Like the exports, a handle must not be used by two threads at once.
 */
#ifndef VELMORA_C_H
#define VELMORA_C_H

#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include "velmora.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Open modes of vr_OpenTable (and DLL_OpenTable).  The schema file stays open
 * with this mode while the table is open; that is how two programs share a
 * table.  The word is the access (bits 0-1: 0 read, 1 write, 2 read and
 * write) plus the sharing (bits 4-7: 16 others may not open the file,
 * 32 others may only read, 48 others may only write, 64 others may do
 * anything).  The two modes clients use: */
#define VR_OPEN_READ_WRITE 34 /* read and write; other programs may only read */
#define VR_OPEN_READ_ONLY 64  /* read only; other programs may read and write */

/* Operations of vr_VRIFileOps. */
#define VR_SCHEMA_WRITE 0 /* write the schema file and create the table's empty files */
#define VR_SCHEMA_READ 1  /* read the schema file into the definition lists */

/* Operations of vr_TableUtils (result 1 done, -1 refused, or the negative
 * result of opening the source table). */
#define VR_UTIL_RENAME 0 /* every file of the table to the destination name */
#define VR_UTIL_DELETE 1 /* every file of the table */
#define VR_UTIL_COPY 2   /* every file of the table to the destination name */
#define VR_UTIL_RESET 3  /* empty the data file and reset the index files */

/* Status of a call: VR_OK, or the class of the failure. */
typedef enum vr_status {
  VR_OK = 0,
  VR_E_VELMORA_DB = 1,    /* EVelmoraDBError: table engine, data file, cache, indexes */
  VR_E_VRB = 2,           /* EVRBError: a text that is no value of its field type */
  VR_E_USER_ACCESS = 3,   /* EUserAccessError: bad user handle or key position */
  VR_E_IN_OUT = 4,        /* EInOutError: a file operation failed; see vr_LastErrorIOCode */
  VR_E_CONVERT = 5,       /* EConvertError: a number or date text that does not convert */
  VR_E_LIST = 6,          /* EListError: a list position out of bounds */
  VR_E_MATH = 7,          /* EMathError: floating-point overflow or invalid operation */
  VR_E_OUT_OF_MEMORY = 8, /* EOutOfMemory */
  VR_E_UNKNOWN = 9        /* any other failure */
} vr_status;

/* The last failure of a vr_ call on this thread: message and class name
 * ("EVelmoraDBError", ...) as NUL-terminated texts ("" after a success),
 * the I/O error code (errno, or 100 read beyond end of file, 101 disk full;
 * 0 unless the class is EInOutError), and the status. */
const char *vr_LastErrorMessage(void);
const char *vr_LastErrorClass(void);
int32_t vr_LastErrorIOCode(void);
int vr_LastErrorStatus(void);

/* The version of the library, "MAJOR.MINOR.PATCH". */
const char *vr_Version(void);

#define VR_OP(name, parameters, work) int name parameters;
#include "velmora_c_ops.h"
#undef VR_OP

/* Helpers for short strings: a NUL-terminated text into a 256-byte buffer
 * (cut at 255 bytes), and a short string back into a NUL-terminated text
 * (`text` must hold 256 bytes). */
static inline void vr_ShortString(uint8_t *dest256, const char *text) {
  size_t n = strlen(text);
  if (n > 255) n = 255;
  dest256[0] = (uint8_t)n;
  memcpy(dest256 + 1, text, n);
}

static inline const char *vr_CString(char *text, const uint8_t *shortString) {
  memcpy(text, shortString + 1, shortString[0]);
  text[shortString[0]] = '\0';
  return text;
}

#ifdef __cplusplus
}
#endif

#endif /* VELMORA_C_H */
