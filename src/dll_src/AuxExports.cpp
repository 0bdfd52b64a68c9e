// The auxiliary exports: bookmarks, rebuild, locate, filters, status text,
// schema file operations and table utilities.
#include "dll_src/Exports.h"

#include "FileOps/MiscFileOps.h"
#include "FileOps/TableUtils.h"
#include "VRcomm/DefLists.h"
#include "VRcomm/ShortString.h"

using namespace velmora;
using namespace velmora::dll;

// Writes (operation 0) or reads the schema file with the client's own lists.
VR_EXPORT int32_t VR_CALL DLL_VRIFileOps(int32_t h, uint8_t operation, const uint8_t *fileName, ::TFieldDefList *fields,
                                         ::TIndexDefList *indexes) {
  return Run([&]() -> int32_t {
    TVRVelmoraDB &table = TableOf(h);
    if (fileName == nullptr) throw EVelmoraDBError("DLL_VRIFileOps needs a schema file name");
    if (fields == nullptr) throw EVelmoraDBError("DLL_VRIFileOps needs a field definition list");
    if (indexes == nullptr) throw EVelmoraDBError("DLL_VRIFileOps needs an index definition list");
    std::string name = FromShort(fileName);
    velmora::TFieldDefList fieldList(fields);
    velmora::TIndexDefList indexList(indexes);
    TMiscFileOps ops;
    // The table holds the schema operations only for the length of the call.
    struct Hold {
      TVRVelmoraDB &table;
      ~Hold() { table.HoldSchemaOps(nullptr); }
    } hold{table};
    table.HoldSchemaOps(&ops);
    if (operation != 0) return ops.ReadSchema(name, fieldList, indexList);
    return ops.WriteSchema(name, fieldList, indexList);
  });
}

// Bookmarks.

VR_EXPORT int32_t VR_CALL DLL_GetCurrentBookMarkData(int32_t h) {
  return Run([&] { return ReadingTableOf(h, "DLL_GetCurrentBookMarkData").GetCurrentRec(); });
}

VR_EXPORT int32_t VR_CALL DLL_AddBookmark(int32_t h, int32_t value) {
  return Run([&] { return ReadingTableOf(h, "DLL_AddBookmark").AddBookmark(value); });
}

VR_EXPORT void VR_CALL DLL_DeleteBookmark(int32_t h, int32_t slot) {
  Run([&] { ReadingTableOf(h, "DLL_DeleteBookmark").DeleteBookmark(slot); });
}

VR_EXPORT int32_t VR_CALL DLL_CheckBookmarkValid(int32_t h, int32_t slot) {
  return Run([&] { return ReadingTableOf(h, "DLL_CheckBookmarkValid").CheckBookmarkValid(slot); });
}

VR_EXPORT int32_t VR_CALL DLL_GoToBookmark(int32_t h, int32_t slot) {
  return Run([&]() -> int32_t { return OpenTableOf(h, "DLL_GoToBookmark").GoToBookmark(slot) ? 1 : 0; });
}

// Filters.

VR_EXPORT void VR_CALL DLL_SetFilterProc(int32_t h, TFilterProc first, intptr_t firstUser, TFilterProc second,
                                         intptr_t secondUser) {
  Run([&] {
    // The procedures are kept and called with their own type (one-byte result).
    TableOf(h).SetFilterProc(first, firstUser, second, secondUser);
  });
}

VR_EXPORT void VR_CALL DLL_SetFilterStatus(int32_t h, uint8_t firstOn, uint8_t secondOn) {
  Run([&] { TableOf(h).SetFilterStatus(firstOn != 0, secondOn != 0); });
}

VR_EXPORT void VR_CALL DLL_SetFiltered(int32_t h, uint8_t on) {
  Run([&] { OpenTableOf(h, "DLL_SetFiltered").SetFiltered(on != 0); });
}

// Status text.

VR_EXPORT void VR_CALL DLL_InternalStatus(uint8_t *dest, int32_t h, int32_t selector) {
  Run([&] {
    TVRVelmoraDB &table = TableOf(h);
    if (dest == nullptr) throw EVelmoraDBError("DLL_InternalStatus needs a text buffer");
    ToShort(dest, selector == 0 ? table.StatusText() : table.TakeErrorText());
  });
}

// Rebuild.

VR_EXPORT void VR_CALL DLL_RebuildTable(int32_t h, int32_t *kept, int32_t *before) {
  Run([&] {
    TVRVelmoraDB &table = PostingTableOf(h, "DLL_RebuildTable");
    if (kept == nullptr || before == nullptr) throw EVelmoraDBError("DLL_RebuildTable needs both counters");
    int32_t keptCount = 0;
    int32_t beforeCount = 0;
    table.RebuildTable(keptCount, beforeCount);
    *kept = keptCount;
    *before = beforeCount;
  });
}

// Locate.

VR_EXPORT int32_t VR_CALL DLL_MapFieldsToIndex(int32_t h, TFieldNoList *fields, uint8_t useIndex) {
  return Run([&] {
    TVRVelmoraDB &table = ReadingTableOf(h, "DLL_MapFieldsToIndex");
    if (useIndex == 0) return -1;
    if (fields == nullptr) throw EVelmoraDBError("DLL_MapFieldsToIndex needs a field list");
    return table.MapFieldsToIndex(fields->Items, fields->Count, true);
  });
}

// Locate never raises: any failure is the result 0, its message kept for the
// error status text.
VR_EXPORT int32_t VR_CALL DLL_LocateRecord(int32_t h, TFieldNoList *fields, void *keyBuffer, int32_t indexNo,
                                           int32_t partialLength, uint8_t caseInsensitive, uint8_t moveCursor) {
  return Run([&]() -> int32_t {
    TVRVelmoraDB *table = nullptr;
    try {
      table = &TableOf(h);
    } catch (...) {
      return 0;
    }
    try {
      if (table->IsOpen()) CallFrame::Enter(*table, TableCall::kMoving);
    } catch (const std::exception &e) {
      table->NoteError(e.what());
      return 0;
    }
    TVRVelmoraDB::FieldNumbers list;
    try {
      if (fields == nullptr || fields->Count < 0 || (fields->Count > 0 && fields->Items == nullptr))
        throw EVelmoraDBError("DLL_LocateRecord needs a field list");
      list.assign(fields->Items, fields->Items + fields->Count);
    } catch (const std::exception &e) {
      table->NoteError(e.what());
      return 0;
    }
    return table->LocateRecord(list, static_cast<uint8_t *>(keyBuffer), indexNo, partialLength, caseInsensitive != 0,
                               moveCursor != 0)
               ? 1
               : 0;
  });
}

// Works on a private table object of its own: no user handle is tested.
VR_EXPORT int32_t VR_CALL DLL_TableUtils(int32_t, const uint8_t *source, const uint8_t *dest, int32_t op) {
  return Run([&] { return RunTableUtility(FromShort(source), FromShort(dest), op); });
}
