// Loads libvelmora.so with dlopen and resolves every export by name, as a
// client written against the C interface does.
#pragma once

#include <dlfcn.h>

#include <stdexcept>
#include <string>

#include <velmora/velmora.hpp>

namespace client {

// Exports whose boolean arguments are declared as whole 32-bit slots here, so
// tests can put garbage above the low byte the library must read.
using BoolSlot = uint32_t;

struct LibraryApi {
  void *handle = nullptr;

#define VR_FN(name, ret, ...) ret(VR_CALL *name)(__VA_ARGS__) = nullptr;
  VR_FN(DLL_Connect, int32_t, int32_t)
  VR_FN(DLL_Disconnect, int32_t, int32_t)
  VR_FN(DLL_CheckOpen, uint8_t, int32_t)
  VR_FN(ShowStats, void, uint8_t *)
  VR_FN(DLL_OpenTable, int32_t, int32_t, const uint8_t *, int32_t)
  VR_FN(DLL_CloseTable, void, int32_t)
  VR_FN(DLL_MoveFromDB, void, int32_t, void *)
  VR_FN(DLL_MoveToDB, void, int32_t, const void *)
  VR_FN(DLL_RecordSize, int32_t, int32_t)
  VR_FN(DLL_SetFieldToNull, void, int32_t, int32_t)
  VR_FN(DLL_FieldCount, int32_t, int32_t)
  VR_FN(DLL_FieldName, void, uint8_t *, int32_t, int32_t)
  VR_FN(DLL_FieldInfo, void, int32_t, int32_t, int32_t *, int32_t *, char *)
  VR_FN(DLL_GetFieldParams, void, int32_t, int32_t, int32_t, uint8_t *, uint8_t *, int32_t)
  VR_FN(DLL_IndexCount, int32_t, int32_t)
  VR_FN(DLL_GetIndexName, void, uint8_t *, int32_t, int32_t)
  VR_FN(DLL_CurrentIndexName, void, uint8_t *, int32_t)
  VR_FN(DLL_IndexFieldCount, int32_t, int32_t)
  VR_FN(DLL_IndexFieldName, void, uint8_t *, int32_t, int32_t)
  VR_FN(DLL_FindIndexName, int32_t, int32_t, const uint8_t *)
  VR_FN(DLL_ChangeIndex, int32_t, int32_t, int32_t)
  VR_FN(DLL_First, int32_t, int32_t)
  VR_FN(DLL_Last, int32_t, int32_t)
  VR_FN(DLL_Next, int32_t, int32_t)
  VR_FN(DLL_Prior, int32_t, int32_t)
  VR_FN(DLL_MoveTo, int32_t, int32_t, int32_t)
  VR_FN(DLL_CurrentRecordPosition, int32_t, int32_t)
  VR_FN(DLL_BOF, uint8_t, int32_t)
  VR_FN(DLL_EOF, uint8_t, int32_t)
  VR_FN(DLL_RangeEmpty, uint8_t, int32_t)
  VR_FN(DLL_FindResult, uint8_t, int32_t)
  VR_FN(DLL_RangeCount, int32_t, int32_t)
  VR_FN(DLL_ReadRecord, int32_t, int32_t)
  VR_FN(DLL_GetRecord, int32_t, int32_t)
  VR_FN(DLL_TotalRecords, int32_t, int32_t)
  VR_FN(DLL_FindNearestRecord, int32_t, int32_t, const uint8_t *, int32_t)
  VR_FN(DLL_FindKeyRecord, int32_t, int32_t, const uint8_t *, int32_t)
  VR_FN(DLL_ApplyRange, int32_t, int32_t, const uint8_t *, int32_t, const uint8_t *, int32_t)
  VR_FN(DLL_CancelRange, int32_t, int32_t)
  VR_FN(DLL_EditRecord, void, int32_t)
  VR_FN(DLL_PostEditedRecord, void, int32_t)
  VR_FN(DLL_PostNewRecord, int32_t, int32_t)
  VR_FN(DLL_DeleteRecord, int32_t, int32_t)
  VR_FN(DLL_EmptyTable, int32_t, int32_t)
  VR_FN(DLL_GetCurrentBookMarkData, int32_t, int32_t)
  VR_FN(DLL_AddBookmark, int32_t, int32_t, int32_t)
  VR_FN(DLL_DeleteBookmark, void, int32_t, int32_t)
  VR_FN(DLL_CheckBookmarkValid, int32_t, int32_t, int32_t)
  VR_FN(DLL_GoToBookmark, int32_t, int32_t, int32_t)
  VR_FN(DLL_RebuildTable, void, int32_t, int32_t *, int32_t *)
  VR_FN(DLL_MapFieldsToIndex, int32_t, int32_t, TFieldNoList *, BoolSlot)
  VR_FN(DLL_LocateRecord, int32_t, int32_t, TFieldNoList *, void *, int32_t, int32_t, BoolSlot,
        BoolSlot)
  VR_FN(DLL_SetFilterProc, void, int32_t, TFilterProc, intptr_t, TFilterProc, intptr_t)
  VR_FN(DLL_SetFilterStatus, void, int32_t, BoolSlot, BoolSlot)
  VR_FN(DLL_SetFiltered, void, int32_t, BoolSlot)
  VR_FN(DLL_InternalStatus, void, uint8_t *, int32_t, int32_t)
  VR_FN(DLL_VRIFileOps, int32_t, int32_t, BoolSlot, const uint8_t *, TFieldDefList *,
        TIndexDefList *)
  VR_FN(DLL_TableUtils, int32_t, int32_t, const uint8_t *, const uint8_t *, int32_t)
#undef VR_FN

  // Loads the library under test; with a private copy, an instance of its own
  // that shares no state with any other loaded copy.
  explicit LibraryApi(bool privateCopy = false);
  ~LibraryApi();
  LibraryApi(const LibraryApi &) = delete;
  LibraryApi &operator=(const LibraryApi &) = delete;

  void *Symbol(const char *name) const { return dlsym(handle, name); }
  std::string copyPath;
  std::string Stats() const;
};

// The one loaded instance shared by the tests of this process.
LibraryApi &Api();

// A short string of exactly length + 1 bytes on the heap, as a Pascal constant
// is laid out: reading past it is caught by the sanitizers.
class TightShortString {
 public:
  explicit TightShortString(const std::string &text);
  ~TightShortString();
  TightShortString(const TightShortString &) = delete;
  TightShortString &operator=(const TightShortString &) = delete;
  const uint8_t *get() const { return bytes_; }

 private:
  uint8_t *bytes_;
};

std::string FromShortBuffer(const uint8_t *buffer);

}  // namespace client
