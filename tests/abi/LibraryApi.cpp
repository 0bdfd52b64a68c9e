#include "abi/LibraryApi.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace client {

LibraryApi::LibraryApi(bool privateCopy) {
  std::string path = VELMORA_LIBRARY_PATH;
  if (privateCopy) {
    char pattern[] = "/tmp/velmora-lib-XXXXXX";
    int fd = mkstemp(pattern);
    if (fd < 0) throw std::runtime_error("mkstemp failed");
    close(fd);
    copyPath = pattern;
    std::filesystem::copy_file(path, copyPath, std::filesystem::copy_options::overwrite_existing);
    path = copyPath;
  }
  handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) throw std::runtime_error(std::string("cannot load library: ") + dlerror());
#define VR_LOAD(name)                                                                  \
  name = reinterpret_cast<decltype(name)>(dlsym(handle, #name));                       \
  if (name == nullptr) throw std::runtime_error("export missing: " #name);
  VR_LOAD(DLL_Connect) VR_LOAD(DLL_Disconnect) VR_LOAD(DLL_CheckOpen) VR_LOAD(ShowStats)
  VR_LOAD(DLL_OpenTable) VR_LOAD(DLL_CloseTable) VR_LOAD(DLL_MoveFromDB) VR_LOAD(DLL_MoveToDB)
  VR_LOAD(DLL_RecordSize) VR_LOAD(DLL_SetFieldToNull) VR_LOAD(DLL_FieldCount)
  VR_LOAD(DLL_FieldName) VR_LOAD(DLL_FieldInfo) VR_LOAD(DLL_GetFieldParams)
  VR_LOAD(DLL_IndexCount) VR_LOAD(DLL_GetIndexName) VR_LOAD(DLL_CurrentIndexName)
  VR_LOAD(DLL_IndexFieldCount) VR_LOAD(DLL_IndexFieldName) VR_LOAD(DLL_FindIndexName)
  VR_LOAD(DLL_ChangeIndex) VR_LOAD(DLL_First) VR_LOAD(DLL_Last) VR_LOAD(DLL_Next)
  VR_LOAD(DLL_Prior) VR_LOAD(DLL_MoveTo) VR_LOAD(DLL_CurrentRecordPosition) VR_LOAD(DLL_BOF)
  VR_LOAD(DLL_EOF) VR_LOAD(DLL_RangeEmpty) VR_LOAD(DLL_FindResult) VR_LOAD(DLL_RangeCount)
  VR_LOAD(DLL_ReadRecord) VR_LOAD(DLL_GetRecord) VR_LOAD(DLL_TotalRecords)
  VR_LOAD(DLL_FindNearestRecord) VR_LOAD(DLL_FindKeyRecord) VR_LOAD(DLL_ApplyRange)
  VR_LOAD(DLL_CancelRange) VR_LOAD(DLL_EditRecord) VR_LOAD(DLL_PostEditedRecord)
  VR_LOAD(DLL_PostNewRecord) VR_LOAD(DLL_DeleteRecord) VR_LOAD(DLL_EmptyTable)
  VR_LOAD(DLL_GetCurrentBookMarkData) VR_LOAD(DLL_AddBookmark) VR_LOAD(DLL_DeleteBookmark)
  VR_LOAD(DLL_CheckBookmarkValid) VR_LOAD(DLL_GoToBookmark) VR_LOAD(DLL_RebuildTable)
  VR_LOAD(DLL_MapFieldsToIndex) VR_LOAD(DLL_LocateRecord) VR_LOAD(DLL_SetFilterProc)
  VR_LOAD(DLL_SetFilterStatus) VR_LOAD(DLL_SetFiltered) VR_LOAD(DLL_InternalStatus)
  VR_LOAD(DLL_VRIFileOps) VR_LOAD(DLL_TableUtils)
#undef VR_LOAD
}

LibraryApi::~LibraryApi() {
  if (handle != nullptr) dlclose(handle);
  if (!copyPath.empty()) unlink(copyPath.c_str());
}

std::string LibraryApi::Stats() const {
  uint8_t text[256];
  std::memset(text, 0xEE, sizeof text);
  ShowStats(text);
  return FromShortBuffer(text);
}

LibraryApi &Api() {
  static LibraryApi api;
  return api;
}

TightShortString::TightShortString(const std::string &text) : bytes_(new uint8_t[text.size() + 1]) {
  bytes_[0] = static_cast<uint8_t>(text.size());
  std::memcpy(bytes_ + 1, text.data(), text.size());
}

TightShortString::~TightShortString() { delete[] bytes_; }

std::string FromShortBuffer(const uint8_t *buffer) {
  return std::string(reinterpret_cast<const char *>(buffer) + 1, buffer[0]);
}

}  // namespace client
