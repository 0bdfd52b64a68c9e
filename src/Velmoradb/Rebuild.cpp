// Rebuilding a table from its data file: the data file moves aside into the
// rebuild file, the table starts empty with fresh indexes, and every sound
// record of the old data file is posted again in file order.
#include <cstring>

#include <velmora/velmora.hpp>

#include "VRcomm/FileNames.h"
#include "VRcomm/ShortString.h"
#include "VRcomm/EngineError.h"
#include "Velmoradb/VelmoraDB.h"
#include "platform/Platform.h"

namespace velmora {

namespace {
constexpr const char *kRebuildFailed = "Unable to create rebuild file. Rebuild failed.";
}

std::string TVRVelmoraDB::CreateRebuildFile() {
  platform::Platform &os = platform::Os();
  // The data file keeps the spelling it has on disk when it is created anew.
  std::string dataName = os.ExistingName(DataFileName);
  std::string name = Cut255(BackupFileName(dataName));
  if (os.Exists(name) && !os.Delete(name)) RaiseEngineError(kRebuildFailed);
  // Whatever fails from here on, the open table keeps an open data file: the
  // old one when it could not be moved, the new one otherwise.
  auto reopenOld = [&] {
    try {
      DataFile.Open();
    } catch (...) {
    }
  };
  try {
    DataFile.Close();
  } catch (...) {
    reopenOld();
    throw;
  }
  if (!os.Rename(dataName, name)) {
    reopenOld();
    RaiseEngineError(kRebuildFailed);
  }
  try {
    DataFile.Bind(dataName);
    DataFile.Create();
  } catch (...) {
    DataFile.Bind(DataFileName);
    if (os.Rename(name, dataName)) reopenOld();
    throw;
  }
  DataFile.Bind(DataFileName);
  return name;
}

void TVRVelmoraDB::RestoreFromRebuildFile(const std::string &name) {
  // The new data file is still empty: the rebuild file takes its place again,
  // so the data and the indexes that describe it stay together.
  platform::Platform &os = platform::Os();
  std::string dataName = os.ExistingName(DataFileName);
  try {
    DataFile.Close();
  } catch (...) {
  }
  if (os.Delete(dataName) && os.Rename(name, dataName)) ResetCache();
  try {
    DataFile.Open();
  } catch (...) {
  }
}

void TVRVelmoraDB::ValidateRecord(const uint8_t *record) {
  platform::Platform &os = platform::Os();
  for (int32_t i = 0; i < FieldCount; ++i) {
    uint8_t flag = record[i];
    if (flag == 0) continue;
    if (flag != 1) RaiseTableError("Rebuild error - corrupt record");
    const TFieldDescriptor &field = Fields[i];
    const uint8_t *value = record + field.Offset;
    switch (field.FieldType) {
      case 'B':
      case 'I': break;
      case 'R': os.FloatToText(static_cast<double>(Real48ToLongDouble(value))); break;
      case 'C':
      case 'F': {
        double number;
        std::memcpy(&number, value, sizeof number);
        os.FloatToText(number);
        break;
      }
      case 'D': {
        double stamp;
        std::memcpy(&stamp, value, sizeof stamp);
        os.DateTimeToText(stamp);
        break;
      }
      case 'S':
        // The text must end inside its field.
        if (std::memchr(value, 0, static_cast<size_t>(field.Len)) == nullptr)
          RaiseTableError("Rebuild error - corrupt record");
        break;
      default: RaiseTableError("Rebuild error - corrupt record");
    }
  }
}

void TVRVelmoraDB::RebuildInPlace(int32_t &kept, int32_t &before) {
  platform::Platform &os = platform::Os();
  // The repair works from the files as they are on disk, whatever this
  // opener kept of them.
  if (!Pager.Changed()) {
    Pager.DropImages();
    ResetCache();
  }
  before = RecordCount();
  int32_t rejected = 0;
  const std::string dataName = os.ExistingName(DataFileName);
  const std::string name = Cut255(BackupFileName(dataName));
  if (os.Exists(name) && !os.Delete(name)) RaiseEngineError(kRebuildFailed);
  // The rebuild file is the data file as it stands, trailing piece and all;
  // the data file itself is emptied and refilled within this one operation,
  // so that a failure or a stop half-way leaves the table as it was.
  if (!os.Copy(dataName, name)) RaiseEngineError(kRebuildFailed);
  const size_t size = static_cast<size_t>(RecordSize);
  std::vector<uint8_t> old(size * static_cast<size_t>(before));
  DataFile.Seek(0);
  if (before > 0 && DataFile.Read(old.data(), before) != before)
    RaiseEngineError("Error on data file read2. Velmora may be corrupted - suggest rebuild.");
  EmptyTable();
  uint8_t *record = CurrentBuffer();
  for (int32_t i = 0; i < before; ++i) {
    try {
      CopyRecord(&old[size * static_cast<size_t>(i)], record);
      ValidateRecord(record);
      PostNewRecord();
    } catch (...) {
      ++rejected;
    }
  }
  kept = before - rejected;
}

void TVRVelmoraDB::RebuildTable(int32_t &kept, int32_t &before) {
  if (Pager.IsOpen() && DataFile.ImageInUse()) {
    RebuildInPlace(kept, before);
    DamageReason.clear();
    return;
  }
  before = RecordCount();
  int32_t rejected = 0;
  std::string name = CreateRebuildFile();
  platform::RecordFile old(RecordSize);
  old.Bind(name);
  try {
    old.Open(platform::kAccessRead | platform::kShareDenyNone);
  } catch (...) {
    // Nothing has been emptied yet: put the old data file back rather than
    // leave the indexes naming records of a file that is now empty.
    RestoreFromRebuildFile(name);
    throw;
  }
  try {
    EmptyTable();
    // Whole records only, as the record count before the rebuild counts them:
    // a trailing piece shorter than a record is neither kept nor rejected.
    int64_t count = old.Size();
    uint8_t *record = CurrentBuffer();
    for (int64_t i = 0; i < count; ++i) {
      try {
        old.Seek(i);
        if (old.Read(record, 1) != 1) throw EInOutError("Read beyond end of file", 100);
        ValidateRecord(record);
        PostNewRecord();
      } catch (...) {
        ++rejected;
      }
    }
  } catch (...) {
    try {
      old.Close();
    } catch (...) {
    }
    throw;
  }
  kept = before - rejected;
  old.Close();
  DamageReason.clear();
}

}  // namespace velmora
