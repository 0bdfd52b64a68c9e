#include "FileOps/TableUtils.h"

#include <functional>
#include <vector>

#include <velmora/velmora.hpp>

#include "FileOps/MiscFileOps.h"
#include "FileOps/SchemaImage.h"
#include "VRcomm/FieldTypes.h"
#include "VRcomm/FileNames.h"
#include "VRcomm/JournalLayout.h"
#include "platform/Platform.h"

namespace velmora {

namespace {

enum class FileKind { Schema, Data, Leaf, Directory };

struct TableFile {
  FileKind kind;
  std::string source;
  std::string dest;
};

// The file set in the order both passes visit it.
std::vector<TableFile> FileSet(const std::string &source, const std::string &dest, int32_t indexCount) {
  std::vector<TableFile> files;
  files.push_back({FileKind::Schema, SchemaFileName(source), SchemaFileName(dest)});
  files.push_back({FileKind::Data, DataFileName(source), DataFileName(dest)});
  for (int32_t k = 0; k < indexCount; ++k) {
    files.push_back({FileKind::Leaf, LeafFileName(source, k), LeafFileName(dest, k)});
    files.push_back({FileKind::Directory, DirectoryFileName(source, k), DirectoryFileName(dest, k)});
  }
  return files;
}

bool Check(platform::Platform &os, const TableFile &file, int32_t operation) {
  switch (operation) {
    case kUtilRename:
    case kUtilCopy: return os.Exists(file.source) && !os.Exists(file.dest);
    case kUtilDelete:
    case kUtilReset: return os.Exists(file.source);
    case kUtilCreate: return !os.Exists(file.source);
    default: return false;
  }
}

// Recreates a data or index file with the content of a new, empty table.
void Recreate(const TableFile &file) {
  switch (file.kind) {
    case FileKind::Data: TMiscFileOps::CreateDataFile(file.source); break;
    case FileKind::Leaf: TMiscFileOps::CreateLeafFile(file.source); break;
    case FileKind::Directory: TMiscFileOps::CreateDirectoryFile(file.source); break;
    case FileKind::Schema: break;
  }
}

bool Act(platform::Platform &os, const TableFile &file, int32_t operation) {
  switch (operation) {
    case kUtilRename: return os.Rename(file.source, file.dest);
    case kUtilDelete: return os.Delete(file.source);
    case kUtilCopy: return os.Copy(file.source, file.dest);
    case kUtilReset:
    case kUtilCreate: Recreate(file); return true;
    default: return false;
  }
}

// The utilities need only the schema file: how many index files there are.
// Reading it alone (instead of opening the whole table) lets them work on a
// table whose data or index files are missing, as creating and the checks
// require.  The schema file is opened with the operation's open mode, so a
// table held open for writing by another user refuses every operation but the
// copy, with the negative result of that open.
int32_t IndexCountFromSchema(const std::string &source, int32_t mode) {
  int32_t error = 0;
  std::unique_ptr<platform::File> file = platform::Os().Open(source, mode, &error);
  if (!file) return -1;
  SchemaReader reader(*file, source, [](const std::string &message) { throw EVelmoraDBError(message); });
  SchemaImage image;
  reader.ReadHeader(image);
  file->Close();
  if (image.fieldCount > kMaxFields) throw EVelmoraDBError("Number of fields in table exceeds maximum");
  if (image.indexCount > kMaxIndexes) throw EVelmoraDBError("Number of indexes in table exceeds maximum");
  if (image.fieldCount < 0 || image.indexCount < 0) reader.Damaged("it gives a negative field or index count");
  return image.indexCount;
}

// The table's side file (change counter and journal) goes with the table
// where it exists; a missing one is never an error.  A destination's stale
// side file is removed first: its journal would belong to other files.
bool MoveSideFile(platform::Platform &os, const std::string &source, const std::string &dest, int32_t operation) {
  const std::string from = os.ExistingName(JournalFileName(source));
  const std::string to = os.ExistingName(JournalFileName(dest));
  switch (operation) {
    case kUtilRename:
    case kUtilCopy:
      if (!os.Exists(from)) return true;
      if (os.Exists(to) && !os.Delete(to)) return false;
      return operation == kUtilRename ? os.Rename(from, to) : os.Copy(from, to);
    case kUtilDelete:
    case kUtilReset:
    case kUtilCreate: {
      if (!os.Exists(from) || os.Delete(from)) return true;
      // Held open by another opener: at least its journal must not be
      // rolled back onto the new files.
      int32_t error = 0;
      std::unique_ptr<platform::File> file = os.Open(from, platform::kModeSharedReadWrite, &error);
      if (!file) return false;
      file->Truncate(journal::kCounterBytes);
      return true;
    }
    default: return true;
  }
}

}  // namespace

int32_t RunTableUtility(const std::string &source, const std::string &dest, int32_t operation) {
  if (operation == -1 || operation == -2 || operation == -3) return -1;
  int32_t mode = operation == kUtilCopy ? platform::kAccessRead | platform::kShareDenyNone
                                        : platform::kAccessReadWrite | platform::kShareDenyWrite;
  int32_t indexCount = IndexCountFromSchema(source, mode);
  if (indexCount < 0) return indexCount;

  platform::Platform &os = platform::Os();
  // A copy holds the table's read lock throughout, so that no writer is half
  // way through a change of the files it copies.
  std::unique_ptr<platform::File> lock;
  if (operation == kUtilCopy) {
    int32_t error = 0;
    lock = os.Open(os.ExistingName(JournalFileName(source)), platform::kAccessRead | platform::kShareDenyNone, &error);
    if (lock && !lock->LockSlots(journal::kTableSlot, 1, platform::File::LockKind::kShared, journal::kLockWaitMs))
      return -1;
  }
  std::vector<TableFile> files = FileSet(source, dest, indexCount);
  bool touchesSchema = operation != kUtilReset && operation != kUtilCreate;
  for (const TableFile &file : files) {
    if (file.kind == FileKind::Schema && !touchesSchema) continue;
    if (!Check(os, file, operation)) return -1;
  }
  // A failure on a data or index file does not stop the others from being
  // handled, but the pass then reports the failure.
  bool allDone = true;
  for (const TableFile &file : files) {
    if (file.kind == FileKind::Schema && !touchesSchema) continue;
    bool done = Act(os, file, operation);
    if (!done && file.kind == FileKind::Schema) return -1;
    allDone = allDone && done;
  }
  allDone = MoveSideFile(os, source, dest, operation) && allDone;
  return allDone ? 1 : -1;
}

}  // namespace velmora
