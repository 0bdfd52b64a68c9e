#include "Ind2/SecondIndex.h"

#include <exception>
#include <limits>
#include <tuple>
#include <vector>

#include <velmora/velmora.hpp>

#include "VRcomm/FileNames.h"
#include "VRcomm/EngineError.h"
#include "VRcomm/LittleEndian.h"

namespace velmora {

namespace {

const char *const kOpenError = "Error on file opening - unable to open index (2) files.";
const char *const kNotOpen = "Index2 file is not open";
const char *const kEmpty = "Index2 file is empty.";
const char *const kReadError = "Error on index2 file read. Velmora may be corrupted - suggest rebuild.";

int32_t ClampCount(int64_t n) {
  if (n > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  return static_cast<int32_t>(n);
}

}  // namespace

TVRSecondIndex::~TVRSecondIndex() {
  if (DirFilesOpen) {
    try {
      CloseDirFiles();
    } catch (...) {
      // A destructor cannot report; the files are released regardless.
    }
  }
}

void TVRSecondIndex::OpenDirFiles(const std::string &tableFileName, int32_t n, bool allowReadOnly) {
  if (n < 0 || n > kMaxDirFiles) RaiseEngineError(kOpenError);
  DirFileCount = n;
  OpenedReadOnly = false;
  for (int32_t i = 0; i < n; ++i) {
    DirFiles[i].SetRecordSize(kEntryBytes);
    DirFiles[i].Bind(DirectoryFileName(tableFileName, i));
    try {
      if (DirFiles[i].OpenWritableOrReadOnly(allowReadOnly)) OpenedReadOnly = true;
    } catch (const std::exception &) {
      RaiseEngineError(kOpenError);
    }
  }
  DirFilesOpen = true;
  try {
    SelectFile(0);
  } catch (const std::exception &) {
    RaiseEngineError(kOpenError);
  }
}

void TVRSecondIndex::CloseDirFiles() {
  std::exception_ptr failure;
  int32_t count = DirFileCount < 0 ? 0 : (DirFileCount > kMaxDirFiles ? kMaxDirFiles : DirFileCount);
  DirFilesOpen = false;
  for (int32_t i = 0; i < count; ++i) {
    try {
      DirFiles[i].Close();
    } catch (...) {
      if (!failure) failure = std::current_exception();
    }
  }
  if (failure) std::rethrow_exception(failure);
}

platform::RecordFile &TVRSecondIndex::CurFile() {
  if (CurFileNo < 0 || CurFileNo >= kMaxDirFiles) {
    RaiseEngineError("Index2 file number " + std::to_string(CurFileNo) + " is out of range.");
  }
  return DirFiles[CurFileNo];
}

int32_t TVRSecondIndex::Chunk() const {
  if (ChunkSize < 1) return 1;
  return ChunkSize > kMaxChunk ? kMaxChunk : ChunkSize;
}

void TVRSecondIndex::RefreshEntryCount() { EntryCount = ClampCount(CurFile().Size()); }

void TVRSecondIndex::SelectFile(int32_t i) {
  if (i < 0 || i >= DirFileCount || i >= kMaxDirFiles) {
    RaiseEngineError("Index2 file number " + std::to_string(i) + " is not open.");
  }
  CurFileNo = i;
  RefreshEntryCount();
  ResetPosition();
}

TDirEntry TVRSecondIndex::ReadAt(int32_t p) {
  if (EntryCount <= 0) RaiseEngineError(kEmpty);
  if (p < 0) p = 0;
  if (p >= EntryCount) p = EntryCount - 1;
  CurPosition = p;
  platform::RecordFile &file = CurFile();
  file.Seek(p);
  uint8_t bytes[kEntryBytes];
  // The count comes from the file's length when it was selected; an entry
  // that is no longer there means the file was cut behind our back.
  if (file.Read(bytes, 1) != 1) RaiseEngineError(kReadError);
  return TDirEntry{GetInt32(bytes + directory::kEntryBlock), GetInt32(bytes + directory::kEntryFirst)};
}

TDirEntry TVRSecondIndex::PeekAt(platform::RecordFile &file, int32_t p) {
  const int64_t keep = file.Position();
  file.Seek(p);
  uint8_t bytes[kEntryBytes];
  const bool got = file.Read(bytes, 1) == 1;
  file.Seek(keep);
  if (!got) RaiseEngineError(kReadError);
  return TDirEntry{GetInt32(bytes), GetInt32(bytes + 4)};
}

TBlockPlaces *TVRSecondIndex::FollowedPlaces() {
  platform::RecordFile &file = CurFile();
  TBlockPlaces &places = Places[CurFileNo];
  return file.ImageInUse() && places.Current(file.Generation()) ? &places : nullptr;
}

void TVRSecondIndex::SavePosition() {
  SavedFileNo = CurFileNo;
  SavedPosition = CurPosition;
}

TDirEntry TVRSecondIndex::RestorePosition() {
  SelectFile(SavedFileNo);
  return ReadAt(SavedPosition);
}

void TVRSecondIndex::SetSavedPlace(int32_t file, int32_t position) {
  SavedFileNo = file;
  SavedPosition = position;
}

void TVRSecondIndex::SaveState(State &s) const { s = {EntryCount, CurPosition, CurFileNo, SavedFileNo, SavedPosition}; }

void TVRSecondIndex::RestoreState(const State &s) {
  std::tie(EntryCount, CurPosition, CurFileNo, SavedFileNo, SavedPosition) =
      std::tie(s.entryCount, s.curPosition, s.curFileNo, s.savedFileNo, s.savedPosition);
}

void TVRSecondIndex::WriteEntries(int32_t k, int32_t n) {
  if (!DirFilesOpen) RaiseEngineError(kNotOpen);
  if (k < 0 || n < 0 || k + n > kMaxChunk + 1) {
    RaiseEngineError("Index2 entry buffer range " + std::to_string(k) + "/" + std::to_string(n) + " is out of range.");
  }
  uint8_t bytes[(kMaxChunk + 1) * kEntryBytes];
  for (int32_t j = 0; j < n; ++j) {
    PutInt32(bytes + j * kEntryBytes + directory::kEntryBlock, EntryBuffer[k + j].Block);
    PutInt32(bytes + j * kEntryBytes + directory::kEntryFirst, EntryBuffer[k + j].First);
  }
  int32_t written = n > 0 ? CurFile().Write(bytes, n) : 0;
  if (written < n) {
    RaiseEngineError("Error on index file write access. Velmora may be corrupted - suggest rebuild (" +
                     std::to_string(k) + "/" + std::to_string(n) + ")");
  }
}

int32_t TVRSecondIndex::ReadEntries(int32_t k, int32_t n) {
  if (!DirFilesOpen) RaiseEngineError(kNotOpen);
  if (k < 0 || n < 0 || k + n > kMaxChunk + 1) {
    RaiseEngineError("Index2 entry buffer range " + std::to_string(k) + "/" + std::to_string(n) + " is out of range.");
  }
  if (n == 0) return 0;
  uint8_t bytes[(kMaxChunk + 1) * kEntryBytes];
  int32_t got = CurFile().Read(bytes, n);
  for (int32_t j = 0; j < got; ++j) {
    const uint8_t *entry = bytes + j * kEntryBytes;
    EntryBuffer[k + j] = TDirEntry{GetInt32(entry + directory::kEntryBlock), GetInt32(entry + directory::kEntryFirst)};
  }
  return got;
}

void TVRSecondIndex::WriteAt(int32_t p, const TDirEntry &entry) {
  // Only an existing entry is overwritten; the file never grows here.
  if (p < 0 || p >= EntryCount) {
    RaiseEngineError("Index2 position " + std::to_string(p) + " is out of range for writing.");
  }
  TBlockPlaces *places = FollowedPlaces();
  if (places && !places->Renamed(p, PeekAt(CurFile(), p).Block, entry.Block)) Lose(places);
  CurFile().Seek(p);
  EntryBuffer[0] = entry;
  WriteEntries(0, 1);
  PlacesFollowed(places);
  ResetPosition();
}

void TVRSecondIndex::InsertAt(int32_t p, const TDirEntry &entry, int32_t i, bool moved) {
  platform::RecordFile &file = CurFile();
  RefreshEntryCount();
  if (p < 0 || p > EntryCount) {
    RaiseEngineError("Index2 position " + std::to_string(p) + " is out of range for insertion.");
  }
  TBlockPlaces *places = FollowedPlaces();
  if (places && !places->Inserting(entry.Block)) Lose(places);
  // Lengthen the file by one entry, then move entries p onward up by one,
  // starting from the end so that nothing is overwritten before it is moved.
  file.Seek(EntryCount);
  EntryBuffer[0] = entry;
  WriteEntries(0, 1);
  RefreshEntryCount();
  int32_t remaining = EntryCount - 1 - p;
  if (file.ImageInUse() && remaining > 0) {
    // In memory the entries move at once, with the same bytes as below.
    const uint8_t *moved = file.MoveInImage(p, p + 1, remaining);
    for (int32_t j = 0; places && j < remaining; ++j) {
      if (!places->MovedTo(GetInt32(moved + j * kEntryBytes), p + 1 + j)) Lose(places);
    }
    remaining = 0;
  }
  const int32_t chunk = Chunk();
  while (remaining > 0) {
    int32_t n = remaining < chunk ? remaining : chunk;
    int32_t start = p + remaining - n;
    file.Seek(start);
    if (ReadEntries(1, n) != n) RaiseEngineError(kReadError);
    file.Seek(start + 1);
    WriteEntries(1, n);
    for (int32_t j = 0; places && j < n; ++j) {
      if (!places->MovedTo(EntryBuffer[1 + j].Block, start + 1 + j)) Lose(places);
    }
    remaining -= n;
  }
  file.Seek(p);
  EntryBuffer[0] = entry;
  WriteEntries(0, 1);
  if (places && !places->MovedTo(entry.Block, p)) Lose(places);
  PlacesFollowed(places);
  // The saved place follows its entry; an entry just before p follows too when
  // the caller says the saved cursor went into the block the new entry names.
  if (i == SavedFileNo) {
    if (SavedPosition >= p) {
      ++SavedPosition;
    } else if (SavedPosition + 1 == p && moved) {
      ++SavedPosition;
    }
  }
}

void TVRSecondIndex::DeleteAt(int32_t p) {
  platform::RecordFile &file = CurFile();
  if (p < 0 || p >= EntryCount) {
    RaiseEngineError("Index2 position " + std::to_string(p) + " is out of range for removal.");
  }
  // A directory file is never empty: removing its only entry would lose the
  // index, so it is refused before anything changes.
  if (EntryCount <= 1) RaiseEngineError("Unable to remove the only entry of an index2 file.");
  TBlockPlaces *places = FollowedPlaces();
  if (places && !places->Removing(p, PeekAt(file, p).Block)) Lose(places);
  const int32_t chunk = Chunk();
  int32_t from = p;
  if (file.ImageInUse()) {
    // In memory the entries after p move at once, with the same bytes as below.
    const int32_t n = static_cast<int32_t>(file.Size()) - 1 - p;
    const uint8_t *moved = file.MoveInImage(p + 1, p, n > 0 ? n : 0);
    for (int32_t j = 0; places && j < n; ++j) {
      if (!places->MovedTo(GetInt32(moved + j * kEntryBytes), p + j)) Lose(places);
    }
    from = p + (n > 0 ? n : 0);  // nothing left to move
  }
  for (;;) {
    file.Seek(from + 1);
    int32_t n = ReadEntries(1, chunk);
    if (n <= 0) break;
    file.Seek(from);
    WriteEntries(1, n);
    for (int32_t j = 0; places && j < n; ++j) {
      if (!places->MovedTo(EntryBuffer[1 + j].Block, from + j)) Lose(places);
    }
    from += n;
    if (n < chunk) break;
  }
  file.Seek(EntryCount - 1);
  file.Truncate();
  PlacesFollowed(places);
  RefreshEntryCount();
  ResetPosition();
}

void TVRSecondIndex::FindBlock(int32_t b, int32_t &position, TDirEntry &entry) {
  platform::RecordFile &file = CurFile();
  if (file.ImageInUse()) {
    // In memory the entry is found by its place; the places are described
    // afresh when the file changed in a way they did not follow.
    TBlockPlaces &places = Places[CurFileNo];
    if (!places.Current(file.Generation()) || places.Twinned()) DescribePlaces(file, places);
    const int32_t q = places.Find(b);
    if (q >= 0 && q < EntryCount) {
      const TDirEntry found = PeekAt(file, q);
      if (found.Block == b) {
        position = q;
        entry = found;
        ResetPosition();
        return;
      }
    }
  }
  file.Seek(0);
  const int32_t chunk = Chunk();
  int32_t scanned = 0;
  bool found = false;
  for (;;) {
    int32_t n = ReadEntries(0, chunk);
    for (int32_t j = 0; j < n; ++j) {
      if (EntryBuffer[j].Block == b) {
        position = scanned + j;
        entry = EntryBuffer[j];
        found = true;
        break;
      }
    }
    if (found || n < chunk) break;
    scanned += n;
  }
  if (!found) {
    RaiseEngineError("Error in index file search. Velmora may be corrupted - suggest rebuild (" + std::to_string(b) +
                     ")");
  }
  ResetPosition();
}

void TVRSecondIndex::DescribePlaces(platform::RecordFile &file, TBlockPlaces &places) {
  const int64_t n = file.Size();
  std::vector<uint8_t> bytes(static_cast<size_t>(n) * kEntryBytes);
  file.Seek(0);
  const int32_t got = n > 0 ? file.Read(bytes.data(), ClampCount(n)) : 0;
  std::vector<int32_t> blocks(static_cast<size_t>(got));
  for (int32_t j = 0; j < got; ++j) blocks[j] = GetInt32(bytes.data() + static_cast<size_t>(j) * kEntryBytes);
  places.Describe(blocks, file.Generation());
}

void TVRSecondIndex::UpdateByBlock(int32_t b, const TDirEntry &entry) {
  int32_t position = 0;
  TDirEntry old;
  FindBlock(b, position, old);
  if (entry.Block >= 0) old.Block = entry.Block;
  if (entry.First >= 0) old.First = entry.First;
  WriteAt(position, old);
}

void TVRSecondIndex::EmptyDirFiles() {
  EntryBuffer[0] = TDirEntry{2, -1};
  int32_t count = DirFileCount < 0 ? 0 : (DirFileCount > kMaxDirFiles ? kMaxDirFiles : DirFileCount);
  int32_t current = CurFileNo;
  for (int32_t i = 0; i < count; ++i) {
    CurFileNo = i;
    try {
      DirFiles[i].Seek(0);
      WriteEntries(0, 1);
      DirFiles[i].Truncate();
    } catch (...) {
      CurFileNo = current;
      throw;
    }
  }
  CurFileNo = current;
  EntryCount = 1;
  CurPosition = 0;
}

}  // namespace velmora
