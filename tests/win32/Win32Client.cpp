// A Windows client of Velmora.dll, run under Wine: loads the library the way
// a client program does, checks the export table, and calls the exports
// through __stdcall pointers with the floating-point exceptions of a Pascal
// program unmasked.  Prints a summary and exits non-zero on any failure.
//
//   velmora_win32_client [path of Velmora.dll]
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <velmora/velmora.h>

#include "ClientSupport.h"
#include "ExportApi.h"

using client::Checks;
using client::FileSize;
using client::Raised;
using client::ShortString;
using client::TempFolder;

namespace {

// The export table: every name with its ordinal (10 is empty).  Written out
// here on its own, not taken from the list the library is built from, so that
// a change to that list shows as a difference.
struct ExportEntry {
  const char *name;
  int ordinal;
};
const ExportEntry kExports[] = {
    {"DLL_Connect", 1},
    {"DLL_Disconnect", 2},
    {"DLL_OpenTable", 3},
    {"DLL_CloseTable", 4},
    {"DLL_MoveFromDB", 5},
    {"DLL_MoveToDB", 6},
    {"DLL_MoveTo", 7},
    {"DLL_CurrentRecordPosition", 8},
    {"DLL_RecordSize", 9},
    {"DLL_FieldCount", 11},
    {"DLL_FieldName", 12},
    {"DLL_FieldInfo", 13},
    {"DLL_SetFieldToNull", 14},
    {"DLL_BOF", 15},
    {"DLL_EOF", 16},
    {"DLL_RangeEmpty", 17},
    {"DLL_First", 18},
    {"DLL_Last", 19},
    {"DLL_Next", 20},
    {"DLL_Prior", 21},
    {"DLL_RangeCount", 22},
    {"DLL_TotalRecords", 23},
    {"DLL_PostNewRecord", 24},
    {"DLL_PostEditedRecord", 25},
    {"DLL_ReadRecord", 26},
    {"DLL_DeleteRecord", 27},
    {"DLL_EditRecord", 28},
    {"DLL_GetIndexName", 29},
    {"DLL_IndexCount", 30},
    {"DLL_IndexFieldCount", 31},
    {"DLL_IndexFieldName", 32},
    {"DLL_CurrentIndexName", 33},
    {"DLL_FindIndexName", 34},
    {"DLL_ChangeIndex", 35},
    {"DLL_FindNearestRecord", 36},
    {"DLL_FindKeyRecord", 37},
    {"DLL_ApplyRange", 38},
    {"DLL_CancelRange", 39},
    {"DLL_EmptyTable", 40},
    {"DLL_RebuildTable", 41},
    {"ShowStats", 42},
    {"DLL_GetFieldParams", 43},
    {"DLL_AddBookmark", 44},
    {"DLL_DeleteBookmark", 45},
    {"DLL_GoToBookmark", 46},
    {"DLL_GetCurrentBookMarkData", 47},
    {"DLL_MapFieldsToIndex", 48},
    {"DLL_LocateRecord", 49},
    {"DLL_CheckOpen", 50},
    {"DLL_SetFilterProc", 51},
    {"DLL_SetFiltered", 52},
    {"DLL_GetRecord", 53},
    {"DLL_FindResult", 54},
    {"DLL_InternalStatus", 55},
    {"DLL_SetFilterStatus", 56},
    {"DLL_VRIFileOps", 57},
    {"DLL_CheckBookmarkValid", 58},
    {"DLL_TableUtils", 59},
};
constexpr int kExportCount = sizeof kExports / sizeof kExports[0];

// The loaded library and its exports.
struct Library {
  HMODULE module = nullptr;
  client::ExportApi api;

  std::string Stats() const {
    ShortString text;
    std::memset(text.bytes, 0xCC, sizeof text.bytes);
    api.ShowStats(text.bytes);
    return text.Text();
  }
};

// ---- the DLL file ------------------------------------------------------------

const IMAGE_NT_HEADERS *NtHeaders(HMODULE module) {
  auto base = reinterpret_cast<const uint8_t *>(module);
  auto dos = reinterpret_cast<const IMAGE_DOS_HEADER *>(base);
  return reinterpret_cast<const IMAGE_NT_HEADERS *>(base + dos->e_lfanew);
}

void CheckExportDirectory(Checks &checks, HMODULE module) {
  checks.Group("export directory");
  auto base = reinterpret_cast<const uint8_t *>(module);
  const IMAGE_DATA_DIRECTORY &entry = NtHeaders(module)->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
  if (!checks.True(entry.VirtualAddress != 0, "the DLL has an export directory")) return;
  auto dir = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY *>(base + entry.VirtualAddress);
  checks.Text(reinterpret_cast<const char *>(base + dir->Name), "Velmora.dll", "name in the export directory");
  checks.Equal(dir->Base, 1, "first ordinal");
  checks.Equal(dir->NumberOfFunctions, 59, "ordinal slots");
  checks.Equal(dir->NumberOfNames, kExportCount, "exported names");
  auto functions = reinterpret_cast<const DWORD *>(base + dir->AddressOfFunctions);
  if (dir->NumberOfFunctions >= 10) checks.Equal(functions[10 - 1], 0, "ordinal 10 is an empty slot");
  // Every exported name is one of the table's (so nothing else is exported).
  auto names = reinterpret_cast<const DWORD *>(base + dir->AddressOfNames);
  for (DWORD i = 0; i < dir->NumberOfNames; ++i) {
    const char *name = reinterpret_cast<const char *>(base + names[i]);
    bool known = false;
    for (const ExportEntry &e : kExports) known = known || std::strcmp(e.name, name) == 0;
    checks.True(known, std::string("exported name is in the table: ") + name);
  }
}

// The DLL must need only system DLLs: no MinGW runtime DLL beside it.
void CheckImports(Checks &checks, HMODULE module) {
  checks.Group("imported DLLs");
  const char *allowed[] = {"kernel32.dll", "msvcrt.dll", "ntdll.dll", "user32.dll", "advapi32.dll"};
  auto base = reinterpret_cast<const uint8_t *>(module);
  const IMAGE_DATA_DIRECTORY &entry = NtHeaders(module)->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  if (!checks.True(entry.VirtualAddress != 0, "the DLL has an import directory")) return;
  auto imports = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR *>(base + entry.VirtualAddress);
  for (; imports->Name != 0; ++imports) {
    const char *name = reinterpret_cast<const char *>(base + imports->Name);
    bool system = false;
    for (const char *a : allowed) system = system || lstrcmpiA(a, name) == 0;
    checks.True(system, std::string("imports only system DLLs: ") + name);
  }
}

void CheckExportsByNameAndOrdinal(Checks &checks, HMODULE module) {
  checks.Group("exports by name and by ordinal");
  for (const ExportEntry &e : kExports) {
    FARPROC byName = GetProcAddress(module, e.name);
    FARPROC byOrdinal = GetProcAddress(module, MAKEINTRESOURCEA(e.ordinal));
    std::string what = std::string(e.name) + " @" + std::to_string(e.ordinal);
    if (checks.True(byName != nullptr, what + " resolves by name"))
      checks.True(byName == byOrdinal, what + " resolves to the same function by ordinal");
  }
  checks.True(GetProcAddress(module, MAKEINTRESOURCEA(10)) == nullptr, "ordinal 10 resolves to nothing");
  checks.True(GetProcAddress(module, MAKEINTRESOURCEA(60)) == nullptr, "ordinal 60 resolves to nothing");
  // Names are undecorated: the __stdcall spelling is not exported.
  checks.True(GetProcAddress(module, "DLL_Connect@4") == nullptr, "no decorated name DLL_Connect@4");
  checks.True(GetProcAddress(module, "_DLL_Connect@4") == nullptr, "no decorated name _DLL_Connect@4");
}

// ---- user exports --------------------------------------------------------------

void CheckUsers(Checks &checks, const Library &lib) {
  checks.Group("users and statistics");
  client::UnmaskedFloat fpu;
  std::string stats;
  Raised raised = client::Catching([&] { stats = lib.Stats(); });
  client::ExpectNoFailure(checks, raised, "ShowStats after load");
  checks.Text(stats, "10/-1 nil :", "ShowStats right after load");
  client::ExpectCallerFloatState(checks, "ShowStats");

  int32_t user = -1;
  raised = client::Catching([&] { user = lib.api.DLL_Connect(7); });
  client::ExpectNoFailure(checks, raised, "DLL_Connect(7)");
  checks.Equal(user, 1, "first DLL_Connect returns handle 1");
  client::ExpectCallerFloatState(checks, "DLL_Connect");
  checks.Text(lib.Stats(), "20/-1 nil :1/7 nil :", "ShowStats after connecting client 7");

  uint8_t open = 0xEE;
  raised = client::Catching([&] { open = lib.api.DLL_CheckOpen(user); });
  client::ExpectNoFailure(checks, raised, "DLL_CheckOpen(1)");
  checks.Equal(open, 0, "a new user's table is closed");
  client::ExpectCallerFloatState(checks, "DLL_CheckOpen");

  int32_t second = -1;
  client::Catching([&] { second = lib.api.DLL_Connect(-5); });
  checks.Equal(second, 2, "second DLL_Connect returns handle 2");
  int32_t result = -1;
  raised = client::Catching([&] { result = lib.api.DLL_Disconnect(user); });
  client::ExpectNoFailure(checks, raised, "DLL_Disconnect(1)");
  checks.Equal(result, 0, "DLL_Disconnect returns 0");
  checks.Text(lib.Stats(), "30/-1 nil :1/-1 nil :2/-5 nil :", "ShowStats after disconnecting user 1");
  int32_t third = -1;
  client::Catching([&] { third = lib.api.DLL_Connect(9); });
  checks.Equal(third, 3, "handles are not reused after a disconnect");
  // A handle whose low 16 bits name user 2.
  raised = client::Catching([&] { open = lib.api.DLL_CheckOpen(65536 + second); });
  client::ExpectNoFailure(checks, raised, "DLL_CheckOpen(65538) addresses user 2");
  checks.Equal(open, 0, "DLL_CheckOpen(65538)");
  client::ExpectCallerFloatState(checks, "after the user exports");
}

void CheckFailures(Checks &checks, const Library &lib) {
  checks.Group("failures as structured exceptions");
  client::UnmaskedFloat fpu;
  const char kInvalid[] = "Invalid user handle for Velmora access";
  uint8_t open = 0xEE;
  Raised raised = client::Catching([&] { open = lib.api.DLL_CheckOpen(0); });
  client::ExpectFailure(checks, raised, kInvalid, "EUserAccessError", "DLL_CheckOpen(0)");
  checks.Equal(raised.ioCode, 0, "DLL_CheckOpen(0): no I/O code");
  checks.Equal(open, 0xEE, "DLL_CheckOpen(0) returns nothing");
  client::ExpectCallerFloatState(checks, "after a failure");

  raised = client::Catching([&] { lib.api.DLL_CheckOpen(65536); });
  client::ExpectFailure(checks, raised, kInvalid, "EUserAccessError", "DLL_CheckOpen(65536)");
  raised = client::Catching([&] { lib.api.DLL_Disconnect(1000); });
  client::ExpectFailure(checks, raised, kInvalid, "EUserAccessError", "DLL_Disconnect(1000)");
  // The library keeps working after a failure, and a second failure in a row
  // carries its own texts.
  int32_t user = -1;
  raised = client::Catching([&] { user = lib.api.DLL_Connect(11); });
  client::ExpectNoFailure(checks, raised, "DLL_Connect after failures");
  raised = client::Catching([&] { lib.api.DLL_CheckOpen(user + 1); });
  client::ExpectFailure(checks, raised, kInvalid, "EUserAccessError", "DLL_CheckOpen(count)");
  raised = client::Catching([&] { lib.api.DLL_Disconnect(user); });
  client::ExpectNoFailure(checks, raised, "DLL_Disconnect of the new user");
  raised = client::Catching([&] { lib.api.DLL_CheckOpen(user); });
  checks.True(raised.raised && raised.className == "EUserAccessError",
              "DLL_CheckOpen of a disconnected user is refused");
  raised = client::Catching([&] { lib.api.ShowStats(nullptr); });
  checks.True(raised.raised && raised.code == VELMORA_EXCEPTION_CODE,
              "ShowStats without a buffer is refused with the library's exception");
  client::ExpectCallerFloatState(checks, "after the failures");
}

// Entry points must cope with a stack aligned to 4 bytes only.
void CheckStackAlignment(Checks &checks, const Library &lib) {
  checks.Group("entry with a 4-byte aligned stack");
  client::UnmaskedFloat fpu;
  for (int residue = 0; residue < 16; residue += 4) {
    std::string at = " (stack offset " + std::to_string(residue) + ")";
    bool balanced = false;
    uint32_t handle = 0;
    Raised raised = client::Catching([&] {
      handle = client::CallWithStackOffset(reinterpret_cast<const void *>(lib.api.DLL_Connect), 100 + residue, residue,
                                           &balanced);
    });
    client::ExpectNoFailure(checks, raised, "DLL_Connect" + at);
    checks.True(balanced, "DLL_Connect removes its argument" + at);
    ShortString text;
    raised = client::Catching([&] {
      client::CallWithStackOffset(reinterpret_cast<const void *>(lib.api.ShowStats),
                                  reinterpret_cast<uint32_t>(text.bytes), residue, &balanced);
    });
    client::ExpectNoFailure(checks, raised, "ShowStats" + at);
    checks.True(balanced, "ShowStats removes its argument" + at);
    std::string entry = std::to_string(handle) + "/" + std::to_string(100 + residue) + " nil :";
    std::string stats = text.Text();
    checks.True(stats.size() >= entry.size() && stats.compare(stats.size() - entry.size(), entry.size(), entry) == 0,
                "ShowStats lists the user connected" + at);
    raised = client::Catching([&] {
      client::CallWithStackOffset(reinterpret_cast<const void *>(lib.api.DLL_CheckOpen), 0, residue, &balanced);
    });
    client::ExpectFailure(checks, raised, "Invalid user handle for Velmora access", "EUserAccessError",
                          "DLL_CheckOpen(0)" + at);
    client::Catching([&] { lib.api.DLL_Disconnect(static_cast<int32_t>(handle)); });
  }
}

// ---- boolean arguments -------------------------------------------------------------

// Only the low byte of a boolean argument counts: the schema operation byte
// is 0 (write) in a slot whose upper bits are set, and non-zero (read) in
// another.  Writing an empty definition gives a 520-byte schema file.
void CheckBooleanArguments(Checks &checks, const Library &lib) {
  checks.Group("boolean arguments with garbage in the upper bits");
  client::UnmaskedFloat fpu;
  TempFolder folder;
  if (!checks.True(!folder.Path().empty(), "temporary folder created")) return;
  int32_t user = lib.api.DLL_Connect(21);
  ShortString name(folder.Path() + "\\empty.dat");
  TFieldDefList fields{0, nullptr};
  TIndexDefList indexes{0, nullptr};
  int32_t result = -1;
  Raised raised = client::Catching(
      [&] { result = lib.api.DLL_VRIFileOps(user, client::GarbageBool(false), name.bytes, &fields, &indexes); });
  client::ExpectNoFailure(checks, raised, "DLL_VRIFileOps(write) with 0x5A3C7E00");
  checks.Equal(result, 0, "writing an empty schema returns 0");
  checks.Equal(FileSize(folder.Path() + "\\empty.vri"), 520, "the schema file was written");
  checks.Equal(FileSize(folder.Path() + "\\empty.vrd"), 0, "the empty data file was written");
  result = -1;
  ShortString schema(folder.Path() + "\\empty.vri");
  raised = client::Catching(
      [&] { result = lib.api.DLL_VRIFileOps(user, client::GarbageBool(true), schema.bytes, &fields, &indexes); });
  client::ExpectNoFailure(checks, raised, "DLL_VRIFileOps(read) with 0xA5C3E701");
  checks.Equal(result, 0, "reading the empty schema returns 0");
  // Reading a missing schema raises the I/O error with the Windows code.
  ShortString missing(folder.Path() + "\\missing.vri");
  raised = client::Catching([&] { lib.api.DLL_VRIFileOps(user, 0x00000080u, missing.bytes, &fields, &indexes); });
  client::ExpectFailure(checks, raised, "File not found", "EInOutError", "reading a missing schema");
  checks.Equal(raised.ioCode, ERROR_FILE_NOT_FOUND, "I/O code of a missing schema");
  client::ExpectCallerFloatState(checks, "after the schema operations");
  lib.api.DLL_Disconnect(user);
}

}  // namespace

int main(int argc, char **argv) {
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  client::InstallHandlers();
  Checks checks;
  const char *path = argc > 1 ? argv[1] : "Velmora.dll";

  Library lib;
  lib.module = LoadLibraryA(path);
  if (!checks.True(lib.module != nullptr, std::string("LoadLibrary ") + path)) {
    std::printf("  error %lu\n", static_cast<unsigned long>(GetLastError()));
    return checks.Summary("velmora_win32_client");
  }
  bool resolved = client::ResolveExports(checks, lib.module, lib.api);

  CheckExportDirectory(checks, lib.module);
  CheckImports(checks, lib.module);
  CheckExportsByNameAndOrdinal(checks, lib.module);
  if (resolved) {
    CheckUsers(checks, lib);
    CheckFailures(checks, lib);
    CheckStackAlignment(checks, lib);
    CheckBooleanArguments(checks, lib);
  }
  FreeLibrary(lib.module);
  return checks.Summary("velmora_win32_client");
}
