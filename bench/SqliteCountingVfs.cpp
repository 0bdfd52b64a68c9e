#include "SqliteCountingVfs.h"

#include <sqlite3.h>

#include <stdexcept>

namespace bench {

namespace {

CallCounts counts;
sqlite3_vfs *inner = nullptr;
sqlite3_vfs vfs;
sqlite3_io_methods methods;

// Our file: the header SQLite sees, followed by the default VFS's own file.
struct CountingFile {
  sqlite3_file base;
  sqlite3_file *real;
};

sqlite3_file *Real(sqlite3_file *file) { return reinterpret_cast<CountingFile *>(file)->real; }

int Close(sqlite3_file *file) {
  ++counts.close;
  return Real(file)->pMethods->xClose(Real(file));
}
int Read(sqlite3_file *file, void *buffer, int n, sqlite3_int64 offset) {
  ++counts.read;
  counts.bytesRead += n;
  return Real(file)->pMethods->xRead(Real(file), buffer, n, offset);
}
int Write(sqlite3_file *file, const void *buffer, int n, sqlite3_int64 offset) {
  ++counts.write;
  counts.bytesWritten += n;
  return Real(file)->pMethods->xWrite(Real(file), buffer, n, offset);
}
int Truncate(sqlite3_file *file, sqlite3_int64 size) {
  ++counts.truncate;
  return Real(file)->pMethods->xTruncate(Real(file), size);
}
int Sync(sqlite3_file *file, int flags) {
  ++counts.sync;
  return Real(file)->pMethods->xSync(Real(file), flags);
}
int FileSize(sqlite3_file *file, sqlite3_int64 *size) {
  ++counts.size;
  return Real(file)->pMethods->xFileSize(Real(file), size);
}
int Lock(sqlite3_file *file, int level) {
  ++counts.lock;
  return Real(file)->pMethods->xLock(Real(file), level);
}
int Unlock(sqlite3_file *file, int level) {
  ++counts.lock;
  return Real(file)->pMethods->xUnlock(Real(file), level);
}
int CheckReservedLock(sqlite3_file *file, int *out) {
  ++counts.lock;
  return Real(file)->pMethods->xCheckReservedLock(Real(file), out);
}
int FileControl(sqlite3_file *file, int op, void *arg) {
  return Real(file)->pMethods->xFileControl(Real(file), op, arg);
}
int SectorSize(sqlite3_file *file) { return Real(file)->pMethods->xSectorSize(Real(file)); }
int DeviceCharacteristics(sqlite3_file *file) { return Real(file)->pMethods->xDeviceCharacteristics(Real(file)); }

int Open(sqlite3_vfs *, const char *name, sqlite3_file *file, int flags, int *outFlags) {
  ++counts.open;
  auto *ours = reinterpret_cast<CountingFile *>(file);
  ours->real = reinterpret_cast<sqlite3_file *>(ours + 1);
  int rc = inner->xOpen(inner, name, ours->real, flags, outFlags);
  // Only the first version of the file methods: no shared memory (the
  // journal is in memory, not a write-ahead log) and no memory mapping.
  ours->base.pMethods = ours->real->pMethods != nullptr ? &methods : nullptr;
  return rc;
}
int Delete(sqlite3_vfs *, const char *name, int syncDir) {
  ++counts.remove;
  return inner->xDelete(inner, name, syncDir);
}
int Access(sqlite3_vfs *, const char *name, int flags, int *out) {
  ++counts.exists;
  return inner->xAccess(inner, name, flags, out);
}
int FullPathname(sqlite3_vfs *, const char *name, int n, char *out) {
  return inner->xFullPathname(inner, name, n, out);
}
void *DlOpen(sqlite3_vfs *, const char *name) { return inner->xDlOpen(inner, name); }
void DlError(sqlite3_vfs *, int n, char *out) { inner->xDlError(inner, n, out); }
void (*DlSym(sqlite3_vfs *, void *handle, const char *symbol))(void) { return inner->xDlSym(inner, handle, symbol); }
void DlClose(sqlite3_vfs *, void *handle) { inner->xDlClose(inner, handle); }
int Randomness(sqlite3_vfs *, int n, char *out) { return inner->xRandomness(inner, n, out); }
int Sleep(sqlite3_vfs *, int microseconds) { return inner->xSleep(inner, microseconds); }
int CurrentTime(sqlite3_vfs *, double *out) { return inner->xCurrentTime(inner, out); }
int GetLastError(sqlite3_vfs *, int n, char *out) {
  return inner->xGetLastError != nullptr ? inner->xGetLastError(inner, n, out) : 0;
}

void Register() {
  inner = sqlite3_vfs_find(nullptr);
  if (inner == nullptr) throw std::runtime_error("SQLite has no default VFS");
  methods = sqlite3_io_methods{};
  methods.iVersion = 1;
  methods.xClose = Close;
  methods.xRead = Read;
  methods.xWrite = Write;
  methods.xTruncate = Truncate;
  methods.xSync = Sync;
  methods.xFileSize = FileSize;
  methods.xLock = Lock;
  methods.xUnlock = Unlock;
  methods.xCheckReservedLock = CheckReservedLock;
  methods.xFileControl = FileControl;
  methods.xSectorSize = SectorSize;
  methods.xDeviceCharacteristics = DeviceCharacteristics;

  vfs = sqlite3_vfs{};
  vfs.iVersion = 1;
  vfs.szOsFile = static_cast<int>(sizeof(CountingFile)) + inner->szOsFile;
  vfs.mxPathname = inner->mxPathname;
  vfs.zName = "bench-counting";
  vfs.xOpen = Open;
  vfs.xDelete = Delete;
  vfs.xAccess = Access;
  vfs.xFullPathname = FullPathname;
  vfs.xDlOpen = DlOpen;
  vfs.xDlError = DlError;
  vfs.xDlSym = DlSym;
  vfs.xDlClose = DlClose;
  vfs.xRandomness = Randomness;
  vfs.xSleep = Sleep;
  vfs.xCurrentTime = CurrentTime;
  vfs.xGetLastError = GetLastError;
  if (sqlite3_vfs_register(&vfs, 0) != SQLITE_OK) throw std::runtime_error("cannot register the counting VFS");
}

}  // namespace

const char *CountingVfsName() {
  static const bool registered = (Register(), true);
  (void)registered;
  return vfs.zName;
}

const CallCounts &VfsCounts() { return counts; }

}  // namespace bench
