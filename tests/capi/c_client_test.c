/* A C client of the C interface: defines a table, fills it, moves through it,
 * searches, edits, deletes and rebuilds it, and checks that every failure
 * comes back as a status with the engine's message, class and I/O code
 * instead of ending the program.  Compiled as C.
 * Usage: c_client_test FOLDER (an empty folder for the table's files). */
#include <velmora/velmora_c.h>

#include <fenv.h>
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static int failures = 0;
static int checks = 0;

#define CHECK(cond)                                                            \
  do {                                                                         \
    ++checks;                                                                  \
    if (!(cond)) {                                                             \
      ++failures;                                                              \
      fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
    }                                                                          \
  } while (0)

#define CHECK_OK(call) CHECK((call) == VR_OK)

static void CheckFailure(int status, int expectedStatus, const char *className, const char *message, int line) {
  ++checks;
  if (status != expectedStatus || vr_LastErrorStatus() != expectedStatus ||
      strcmp(vr_LastErrorClass(), className) != 0 || strcmp(vr_LastErrorMessage(), message) != 0) {
    ++failures;
    fprintf(stderr, "line %d: expected %d %s \"%s\", got %d %s \"%s\"\n", line, expectedStatus, className, message,
            status, vr_LastErrorClass(), vr_LastErrorMessage());
  }
}
#define CHECK_FAILS(call, status, className, message) CheckFailure((call), (status), (className), (message), __LINE__)

/* Table layout: Id I, Name S:20, Active B -> flags 0-2, Id at 4, Name at 8 (21 bytes), Active at 32. */
enum { kIdOffset = 4, kNameOffset = 8, kActiveOffset = 32, kRecordSize = 36 };

static void SetField(TFieldDescriptor *field, const char *name, char type, int16_t len) {
  memset(field, 0, sizeof *field);
  vr_ShortString(field->Name, name);
  field->FieldType = type;
  field->Len = len;
}

static void SetIndex(TIndexDef *index, const char *name, int32_t fieldNo) {
  memset(index, 0, sizeof *index);
  vr_ShortString(index->Name, name);
  index->FieldCount = 1;
  index->FieldNos[0] = fieldNo;
}

static void Insert(int32_t h, int32_t id, const char *name) {
  uint8_t record[kRecordSize];
  memset(record, 0, sizeof record);
  record[0] = 1;
  record[1] = 1;
  record[2] = 1;
  memcpy(record + kIdOffset, &id, 4);
  strcpy((char *)record + kNameOffset, name);
  record[kActiveOffset] = (uint8_t)(id % 2);
  CHECK_OK(vr_MoveToDB(h, record));
  CHECK_OK(vr_PostNewRecord(h, NULL));
}

static int32_t CurrentId(int32_t h) {
  uint8_t record[kRecordSize];
  int32_t id = -1;
  CHECK_OK(vr_MoveFromDB(h, record));
  memcpy(&id, record + kIdOffset, 4);
  return id;
}

static void Key(uint8_t *key256, const char *text) { vr_ShortString(key256, text); }

/* A failure on another thread: its last error is its own. */
static void *FailElsewhere(void *seen) {
  uint8_t flag = 0;
  int status = vr_CheckOpen(0, &flag);
  snprintf((char *)seen, 128, "%d %s", status, vr_LastErrorClass());
  return NULL;
}

int main(int argc, char **argv) {
  if (argc != 2) return 2;
  char path[4096];
  snprintf(path, sizeof path, "%s/people.vri", argv[1]);
  uint8_t name[256], text[256];
  char buffer[256];
  int32_t h = 0, result = 0;
  uint8_t flag = 0;

  CHECK_OK(vr_Connect(7, &h));
  CHECK(h >= 1);
  CHECK(strcmp(vr_Version(), "") != 0);

  /* Failures before any table: a bad handle, a missing schema file. */
  CHECK_FAILS(vr_CheckOpen(0, &flag), VR_E_USER_ACCESS, "EUserAccessError", "Invalid user handle for Velmora access");
  CHECK(vr_LastErrorIOCode() == 0);
  {
    TFieldDescriptor field;
    TIndexDef index;
    TFieldDefList fields = {1, &field};
    TIndexDefList indexes = {1, &index};
    char missing[4200];
    snprintf(missing, sizeof missing, "%s/missing.vri", argv[1]);
    vr_ShortString(name, missing);
    CHECK_FAILS(vr_VRIFileOps(h, VR_SCHEMA_READ, name, &fields, &indexes, &result), VR_E_IN_OUT, "EInOutError",
                "File not found");
    CHECK(vr_LastErrorIOCode() == 2);
    result = 99;
    CHECK_OK(vr_OpenTable(h, name, VR_OPEN_READ_WRITE, &result));
    CHECK(result < 0);
  }
  /* A success clears the last error. */
  CHECK_OK(vr_CheckOpen(h, &flag));
  CHECK(flag == 0);
  CHECK(strcmp(vr_LastErrorMessage(), "") == 0 && vr_LastErrorStatus() == VR_OK);
  {
    pthread_t thread;
    char seen[128] = "";
    CHECK(pthread_create(&thread, NULL, FailElsewhere, seen) == 0);
    CHECK(pthread_join(thread, NULL) == 0);
    CHECK(strcmp(seen, "3 EUserAccessError") == 0);
    CHECK(vr_LastErrorStatus() == VR_OK && strcmp(vr_LastErrorClass(), "") == 0);
  }

  /* Define and open the table. */
  {
    TFieldDescriptor fieldItems[3];
    TIndexDef indexItems[2];
    TFieldDefList fields = {3, fieldItems};
    TIndexDefList indexes = {2, indexItems};
    SetField(&fieldItems[0], "Id", 'I', 0);
    SetField(&fieldItems[1], "Name", 'S', 20);
    SetField(&fieldItems[2], "Active", 'B', 0);
    SetIndex(&indexItems[0], "ById", 0);
    SetIndex(&indexItems[1], "ByName", 1);
    vr_ShortString(name, path);
    CHECK_OK(vr_VRIFileOps(h, VR_SCHEMA_WRITE, name, &fields, &indexes, &result));
    CHECK(result == 5);
  }
  CHECK_OK(vr_OpenTable(h, name, VR_OPEN_READ_WRITE, &result));
  CHECK(result > 0);
  CHECK_OK(vr_RecordSize(h, &result));
  CHECK(result == kRecordSize);
  CHECK_OK(vr_FieldCount(h, &result));
  CHECK(result == 3);
  CHECK_OK(vr_FieldName(text, h, 1));
  CHECK(strcmp(vr_CString(buffer, text), "Name") == 0);
  {
    int32_t offset = 0, length = 0;
    char type = 0;
    CHECK_OK(vr_FieldInfo(h, 1, &offset, &length, &type));
    CHECK(offset == kNameOffset && length == 21 && type == 'S');
  }
  CHECK_FAILS(vr_FieldInfo(h, 9, NULL, NULL, NULL), VR_E_VELMORA_DB, "EVelmoraDBError",
              "DLL_FieldInfo: 9 is not a valid field number.");

  Insert(h, 3, "Carla");
  Insert(h, 1, "Anna");
  Insert(h, 2, "Bert");
  CHECK_OK(vr_TotalRecords(h, &result));
  CHECK(result == 3);

  /* A duplicate key of the unique index is refused; the table is unchanged. */
  {
    uint8_t record[kRecordSize];
    int32_t id = 2;
    memset(record, 0, sizeof record);
    record[0] = 1;
    memcpy(record + kIdOffset, &id, 4);
    CHECK_OK(vr_MoveToDB(h, record));
    CHECK_FAILS(vr_PostNewRecord(h, NULL), VR_E_VELMORA_DB, "EVelmoraDBError",
                "Insertion Error. Key violation in Velmora.");
    CHECK_OK(vr_TotalRecords(h, &result));
    CHECK(result == 3);
  }

  /* Navigation in both indexes. */
  CHECK_OK(vr_First(h, NULL));
  CHECK(CurrentId(h) == 1);
  CHECK_OK(vr_Next(h, NULL));
  CHECK(CurrentId(h) == 2);
  CHECK_OK(vr_Last(h, NULL));
  CHECK(CurrentId(h) == 3);
  CHECK_OK(vr_Next(h, NULL));
  CHECK_OK(vr_EOF(h, &flag));
  CHECK(flag == 1);
  vr_ShortString(text, "ByName");
  CHECK_OK(vr_FindIndexName(h, text, &result));
  CHECK(result == 1);
  CHECK_OK(vr_ChangeIndex(h, 1, NULL));
  CHECK_OK(vr_CurrentIndexName(text, h));
  CHECK(strcmp(vr_CString(buffer, text), "ByName") == 0);
  CHECK_OK(vr_IndexFieldName(text, h, 0));
  CHECK(strcmp(vr_CString(buffer, text), "Name") == 0);
  CHECK_FAILS(vr_IndexFieldName(text, h, 1), VR_E_USER_ACCESS, "EUserAccessError", "Invalid field number used.");

  /* Search and ranges. */
  {
    uint8_t keys[2][256];
    Key(keys[0], "Bert");
    CHECK_OK(vr_FindKeyRecord(h, keys[0], 0, &result));
    CHECK(result == 1 && CurrentId(h) == 2);
    Key(keys[0], "Zed");
    CHECK_OK(vr_FindKeyRecord(h, keys[0], 0, &result));
    CHECK(result == 0);
    Key(keys[0], "B");
    Key(keys[1], "Z");
    CHECK_OK(vr_ApplyRange(h, keys[0], 0, keys[1], 0, NULL));
    CHECK_OK(vr_RangeCount(h, &result));
    CHECK(result == 2);
    CHECK_OK(vr_CancelRange(h, NULL));
    CHECK_OK(vr_ChangeIndex(h, 0, NULL));
    Key(keys[0], "two");
    CHECK_FAILS(vr_FindKeyRecord(h, keys[0], 0, &result), VR_E_VELMORA_DB, "EVelmoraDBError",
                "Unable to convert array to field values");
  }

  /* Bookmarks. */
  {
    int32_t bookmark = 0, slot = 0;
    CHECK_OK(vr_First(h, NULL));
    CHECK_OK(vr_GetCurrentBookMarkData(h, &bookmark));
    CHECK_OK(vr_AddBookmark(h, bookmark, &slot));
    CHECK_OK(vr_Last(h, NULL));
    CHECK_OK(vr_GoToBookmark(h, slot, &result));
    CHECK(result == 1 && CurrentId(h) == 1);
    CHECK_OK(vr_DeleteBookmark(h, slot));
  }

  /* Locate by the Name field. */
  {
    uint8_t record[kRecordSize];
    int32_t fieldNo = 1;
    TFieldNoList list = {1, &fieldNo};
    memset(record, 0, sizeof record);
    record[1] = 1;
    strcpy((char *)record + kNameOffset, "carla");
    CHECK_OK(vr_LocateRecord(h, &list, record, -1, 0, 1, 1, &result));
    CHECK(result == 1 && CurrentId(h) == 3);
  }

  /* Callers that write a boolean as one byte leave garbage in the rest of its
   * slot: only the low byte counts.  The calls go through prototypes whose
   * boolean slots are 32 bits wide, as such a caller sees them. */
  {
    typedef int (*LocateWide)(int32_t, TFieldNoList *, void *, int32_t, int32_t, uint32_t, uint32_t, int32_t *);
    LocateWide locate = (LocateWide)(void (*)(void))vr_LocateRecord;
    uint8_t record[kRecordSize];
    int32_t fieldNo = 1;
    TFieldNoList list = {1, &fieldNo};
    memset(record, 0, sizeof record);
    record[1] = 1;
    strcpy((char *)record + kNameOffset, "bert");
    CHECK_OK(locate(h, &list, record, -1, 0, 0xABCD0001u, 0xFFFFFF00u, &result));
    CHECK(result == 1);                                       /* case-insensitive: true; move cursor: false */
    CHECK(strcmp((char *)record + kNameOffset, "Bert") == 0); /* the record found */
    strcpy((char *)record + kNameOffset, "bert");
    CHECK_OK(locate(h, &list, record, -1, 0, 0x12345600u, 0u, &result));
    CHECK(result == 0); /* case-sensitive: "bert" is not "Bert" */
  }

  /* Floating-point exceptions unmasked by the caller do not trap inside. */
  {
    uint8_t keys[256];
    feenableexcept(FE_OVERFLOW | FE_INVALID | FE_DIVBYZERO);
    Key(keys, "2");
    CHECK_OK(vr_FindKeyRecord(h, keys, 0, &result));
    CHECK(result == 1);
    Key(keys, "99999999999999999999");
    CHECK_FAILS(vr_FindKeyRecord(h, keys, 0, &result), VR_E_VELMORA_DB, "EVelmoraDBError",
                "Unable to convert array to field values");
    fedisableexcept(FE_ALL_EXCEPT);
  }

  /* Edit, delete, rebuild. */
  {
    uint8_t record[kRecordSize];
    int32_t kept = 0, before = 0;
    CHECK_OK(vr_EditRecord(h));
    CHECK_OK(vr_MoveFromDB(h, record));
    strcpy((char *)record + kNameOffset, "Clara");
    CHECK_OK(vr_MoveToDB(h, record));
    CHECK_OK(vr_PostEditedRecord(h));
    CHECK_OK(vr_First(h, NULL));
    CHECK_OK(vr_DeleteRecord(h, NULL));
    CHECK_OK(vr_TotalRecords(h, &result));
    CHECK(result == 2);
    CHECK_OK(vr_RebuildTable(h, &kept, &before));
    CHECK(kept == 2 && before == 2);
    CHECK_OK(vr_InternalStatus(text, h, 0));
    CHECK(text[0] > 0);
  }

  /* While the table is open read-write, another user cannot open it for writing. */
  {
    int32_t other = 0;
    CHECK_OK(vr_Connect(8, &other));
    CHECK_OK(vr_OpenTable(other, name, VR_OPEN_READ_WRITE, &result));
    CHECK(result < 0);
    CHECK_OK(vr_OpenTable(other, name, VR_OPEN_READ_ONLY, &result));
    CHECK(result > 0);
    CHECK_OK(vr_Disconnect(other));
    snprintf(buffer, sizeof buffer, "User handle %d has been disconnected from Velmora", (int)other);
    CHECK_FAILS(vr_CheckOpen(other, &flag), VR_E_USER_ACCESS, "EUserAccessError", buffer);
  }

  CHECK_OK(vr_CloseTable(h));
  CHECK_OK(vr_TableUtils(name, name, VR_UTIL_DELETE, &result));
  CHECK(result == 1);
  CHECK_OK(vr_ShowStats(text));
  CHECK_FAILS(vr_ShowStats(NULL), VR_E_VELMORA_DB, "EVelmoraDBError", "ShowStats needs a text buffer");
  CHECK_OK(vr_Disconnect(h));

  printf("C interface: %d checks, %d failed\n", checks, failures);
  return failures == 0 ? 0 : 1;
}
