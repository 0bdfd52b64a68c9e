#include "Velmoradb/TablePager.h"

#include <cstring>
#include <exception>

#include <velmora/velmora.hpp>

#include "VRcomm/FileNames.h"
#include "VRcomm/JournalLayout.h"
#include "Velmoradb/JournalChecksum.h"

namespace velmora {

namespace {

using LockKind = platform::File::LockKind;
using namespace journal;

// A write that lies within one aligned block of this size reaches the file
// whole or not at all when the process is killed around it.
constexpr int64_t kOneWriteBytes = 4096;

void Put32(std::vector<uint8_t> &out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void Put64(std::vector<uint8_t> &out, uint64_t v) {
  for (int i = 0; i < 8; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void PutAt(uint8_t *at, uint64_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) at[i] = static_cast<uint8_t>(v >> (8 * i));
}
uint64_t Get(const uint8_t *at, int bytes) {
  uint64_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | at[i];
  return v;
}

}  // namespace

void TablePager::Open(const std::string &schemaPath, std::vector<platform::RecordFile *> files, bool denyWrite,
                      bool denyRead, bool readOnly) {
  Close();
  schemaPath_ = schemaPath;
  files_ = std::move(files);
  readOnly_ = readOnly;
  platform::Platform &os = platform::Os();
  const std::string name = os.ExistingName(JournalFileName(schemaPath));
  int32_t error = 0;
  journal_ = readOnly ? nullptr : os.OpenOrCreate(name, &error);
  journalWritable_ = journal_ != nullptr;
  // A side file that cannot be written (or made) still carries the locks of
  // readers; without one nobody can write the table, so readers need none.
  if (!journal_) journal_ = os.Open(name, platform::kAccessRead | platform::kShareDenyNone, &error);
  if (denyWrite && journalWritable_) owner_ = journal_->LockSlots(kOwnerSlot, 1, LockKind::kExclusive, kOwnerWaitMs);
  sole_ = owner_ && denyRead;
  known_ = false;
  needsRecovery_ = false;
  depth_ = 0;
  open_ = true;
}

void TablePager::Close() {
  if (!open_) return;
  open_ = false;
  owner_ = false;
  sole_ = false;
  imagesKept_ = false;
  locked_ = false;
  depth_ = 0;
  known_ = false;
  for (platform::RecordFile *file : files_) file->UseImage(false);
  files_.clear();
  inUse_.clear();
  openChanges_ = 0;
  mappedHead_ = nullptr;
  headTried_ = false;
  std::unique_ptr<platform::File> journal = std::move(journal_);
  if (journal) {
    try {
      journal->Close();
    } catch (...) {
      // Closing the side file loses nothing: every change is written through.
    }
  }
}

void TablePager::Refuse(const std::string &message) { throw EVelmoraDBError(message); }

bool TablePager::Enter(bool write) {
  write_ = write;
  changeMark_ = platform::RecordFile::ChangeStarts();
  if (imagesKept_) {
    imagesKept_ = false;
    // Files opened or closed since the images were left on: the list of
    // those to switch on is made afresh, so every file is switched off first.
    if (openChanges_ != platform::RecordFile::OpenChanges())
      for (platform::RecordFile *file : files_) file->UseImage(false);
  }
  if (write && readOnly_)
    Refuse("Unable to change the table " + schemaPath_ + ": its files are open for reading only.");
  if (write && !journalWritable_)
    Refuse("Unable to change the table " + schemaPath_ + ": its journal file " + JournalFileName(schemaPath_) +
           " cannot be written.");
  if (!journal_) return false;
  if (!sole_ && (write || !owner_)) {
    ++journalCalls_;
    if (!journal_->LockSlots(kTableSlot, 1, write ? LockKind::kExclusive : LockKind::kShared, kLockWaitMs))
      Refuse("The table " + schemaPath_ + " is locked by another program.");
    locked_ = true;
    if (write && !owner_) {
      ++journalCalls_;
      if (!journal_->LockSlots(kOwnerSlot, 1, LockKind::kShared, 0))
        Refuse("Unable to change the table " + schemaPath_ +
               ": another program holds it open with a mode that denies others writing.");
    }
  }
  if (owner_ && known_ && !needsRecovery_) return false;

  uint64_t counter = 0;
  bool hot = ReadHeader(&counter);
  bool rolledBack = false;
  if (hot) {
    if (!journalWritable_)
      Refuse("The table " + schemaPath_ +
             " was left half-changed by a program that stopped; open it with write access to repair it.");
    if (!write) {
      ++journalCalls_;
      if (!journal_->LockSlots(kTableSlot, 1, LockKind::kExclusive, kLockWaitMs))
        Refuse("The table " + schemaPath_ + " is locked by another program.");
    }
    if (ReadHeader(&counter)) {
      RollBackJournal();
      rolledBack = true;
    }
    if (!write) {
      ++journalCalls_;
      journal_->LockSlots(kTableSlot, 1, LockKind::kShared, kLockWaitMs);
    }
  }
  needsRecovery_ = false;
  const bool wasKnown = known_;
  const bool changed = !known_ || counter != counter_ || rolledBack;
  counter_ = counter;
  known_ = true;
  if (!changed) return false;
  if (!wasKnown) {
    DropImages();
    return false;
  }
  return true;
}

void TablePager::Leave(bool keepImages) {
  depth_ = 0;
  // An owner's images are what its files hold until its own next change.
  imagesKept_ = keepImages && open_ && owner_ && known_ && !needsRecovery_;
  if (!imagesKept_) UseImages(false);
  if (locked_ && journal_) {
    locked_ = false;
    ++journalCalls_;
    try {
      journal_->LockSlots(kTableSlot, owner_ ? 1 : 2, LockKind::kUnlock, 0);
    } catch (...) {
      // A lock that cannot be released goes with the file at close.
    }
  }
  locked_ = false;
}

void TablePager::UseImages(bool on) {
  // Only the files open when the call began work on images; they are all
  // switched back at its end, even one the call closed, so that between calls
  // no file is left in image mode (but an owner's, left on for its next
  // export) and only these can hold changes.  The list is kept from call to
  // call while no record file was opened or closed.
  if (on && openChanges_ != platform::RecordFile::OpenChanges()) {
    openChanges_ = platform::RecordFile::OpenChanges();
    inUse_.clear();
    for (platform::RecordFile *file : files_)
      if (file->IsOpen()) inUse_.push_back(file);
  }
  for (platform::RecordFile *file : inUse_) file->UseImage(on);
}

void TablePager::DropImages() {
  for (platform::RecordFile *file : files_) file->DropImage();
}

bool TablePager::Changed() const {
  for (platform::RecordFile *file : inUse_)
    if (file->Changed()) return true;
  return false;
}

void TablePager::RevertAll() {
  for (platform::RecordFile *file : files_) file->RevertImage();
}

void TablePager::EndOutermost(bool success, bool keepImages) {
  std::exception_ptr failure;
  try {
    // A reading call during which no image started changing changed nothing.
    if ((write_ || platform::RecordFile::ChangeStarts() != changeMark_) && Changed()) {
      if (success && write_) {
        Commit();
      } else {
        RevertAll();
        if (success) Refuse("Internal error: a reading call changed the table " + schemaPath_ + ".");
      }
    }
  } catch (...) {
    failure = std::current_exception();
  }
  Leave(keepImages && !failure);
  if (failure) std::rethrow_exception(failure);
}

std::vector<uint8_t> TablePager::BuildJournal(uint64_t counter) const {
  // The record is assembled in one buffer of its final size: the head, then
  // the body (each changed file's tag, original length and page count, then
  // each original page's number, length and bytes), then the head's length
  // and checksum of the body.
  size_t bodyBytes = 0;
  for (const platform::RecordFile *file : files_) {
    if (!file->Changed()) continue;
    bodyBytes += 4 + 8 + 4;
    for (const auto &[page, bytes] : file->OriginalPages()) bodyBytes += 8 + 4 + bytes.size();
  }
  std::vector<uint8_t> record;
  record.reserve(kRecordHead + bodyBytes);
  Put64(record, counter);
  record.insert(record.end(), kMagic, kMagic + 4);
  Put32(record, static_cast<uint32_t>(platform::RecordFile::kPageBytes));
  Put32(record, 0);  // the count of changed files, filled in below
  Put64(record, bodyBytes);
  Put64(record, 0);  // the checksum, filled in below
  uint32_t count = 0;
  for (size_t tag = 0; tag < files_.size(); ++tag) {
    const platform::RecordFile *file = files_[tag];
    if (!file->Changed()) continue;
    ++count;
    Put32(record, static_cast<uint32_t>(tag));
    Put64(record, static_cast<uint64_t>(file->OriginalBytes()));
    Put32(record, static_cast<uint32_t>(file->OriginalPages().size()));
    for (const auto &[page, bytes] : file->OriginalPages()) {
      Put64(record, static_cast<uint64_t>(page));
      Put32(record, static_cast<uint32_t>(bytes.size()));
      record.insert(record.end(), bytes.begin(), bytes.end());
    }
  }
  PutAt(record.data() + kFileCountAt, count, 4);
  PutAt(record.data() + kChecksumAt, WordChecksum(record.data() + kRecordHead, bodyBytes), 8);
  return record;
}

void TablePager::Commit() {
  // A change that is one write within one block of one file needs no journal:
  // the system copies such a write into one page of its cache, so a process
  // killed around it leaves the file with all of it or none.
  platform::RecordFile *only = nullptr;
  int changedFiles = 0;
  for (platform::RecordFile *file : inUse_) {
    if (!file->Changed()) continue;
    ++changedFiles;
    only = file;
  }
  if (changedFiles == 1 && only->ChangeIsOneWrite(kOneWriteBytes)) {
    CommitOneWrite(*only);
    return;
  }
  const uint64_t next = counter_ + 1;
  std::vector<uint8_t> record = BuildJournal(next);
  try {
    ++journalCalls_;
    journal_->WriteAt(0, record.data(), record.size());
  } catch (...) {
    // No table file has been touched; a torn record is recognised and cut.
    RevertAll();
    needsRecovery_ = true;
    throw;
  }
  counter_ = next;
  MapHeadOnce();
  try {
    for (platform::RecordFile *file : files_) file->WriteOut();
    RetireJournal();
  } catch (...) {
    // Put the original bytes back from memory; if that fails too, the
    // journal stays behind and the next opener or writer rolls it back.
    try {
      for (platform::RecordFile *file : files_)
        if (file->Changed()) file->WriteOriginals();
      RetireJournal();
    } catch (...) {
      needsRecovery_ = true;
    }
    RevertAll();
    throw;
  }
  for (platform::RecordFile *file : files_) file->ForgetChanges();
}

void TablePager::CommitOneWrite(platform::RecordFile &file) {
  if (!sole_) {
    // The raised counter goes first: another opener that sees it drops what
    // it keeps, and one that sees the old counter has not seen the write.
    try {
      RaiseCounter();
    } catch (...) {
      RevertAll();
      needsRecovery_ = true;
      throw;
    }
  }
  try {
    file.WriteOut();
  } catch (...) {
    // A write that failed is put back from memory.
    try {
      file.WriteOriginals();
    } catch (...) {
    }
    RevertAll();
    throw;
  }
  file.ForgetChanges();
}

void TablePager::RaiseCounter() {
  const uint64_t next = counter_ + 1;
  if (mappedHead_ != nullptr) {
    PutAt(mappedHead_, next, kCounterBytes);
  } else {
    // The counter, and zeros where a record's magic would stand: no journal
    // is live while a posting operation holds the table (a left one was
    // rolled back when it began), and the file then holds the mapped bytes.
    uint8_t head[kLiveBytes] = {};
    PutAt(head, next, kCounterBytes);
    ++journalCalls_;
    journal_->WriteAt(0, head, sizeof head);
    MapHeadOnce();
  }
  counter_ = next;
}

void TablePager::MapHeadOnce() {
  // Tried once, when the file first holds the counter and the magic; where
  // the platform maps nothing, those bytes are written instead.
  if (headTried_) return;
  headTried_ = true;
  mappedHead_ = journal_->MapHead(kLiveBytes);
}

void TablePager::RetireJournal() {
  // Zeros over the magic: the record is no longer live, and the change it
  // guarded is the files' own.  The file keeps its length, so the next record
  // is written over this one's bytes instead of growing the file again.
  static constexpr uint8_t kRetired[sizeof kMagic] = {};
  if (mappedHead_ != nullptr) {
    std::memcpy(mappedHead_ + kMagicAt, kRetired, sizeof kRetired);
    return;
  }
  ++journalCalls_;
  journal_->WriteAt(kMagicAt, kRetired, sizeof kRetired);
}

bool TablePager::ReadHeader(uint64_t *counter) {
  uint8_t head[kLiveBytes];
  ++journalCalls_;
  size_t got = journal_->ReadAt(0, head, sizeof head);
  *counter = got >= kCounterBytes ? Get(head, kCounterBytes) : 0;
  return HoldsLiveRecord(head, got);
}

platform::RecordFile *TablePager::FileOfTag(int32_t tag) const {
  if (tag < 0 || static_cast<size_t>(tag) >= files_.size()) return nullptr;
  return files_[static_cast<size_t>(tag)];
}

void TablePager::RollBackJournal() {
  const int64_t size = journal_->Size();
  std::vector<uint8_t> bytes(static_cast<size_t>(size));
  size_t got = journal_->ReadAt(0, bytes.data(), bytes.size());
  bytes.resize(got);
  const bool wordSum = bytes.size() >= kRecordHead && std::memcmp(bytes.data() + kMagicAt, kMagic, sizeof kMagic) == 0;
  const bool byteSum =
      bytes.size() >= kRecordHead && std::memcmp(bytes.data() + kMagicAt, kMagicByteSum, sizeof kMagicByteSum) == 0;
  bool whole = wordSum || byteSum;
  uint64_t pageBytes = 0, count = 0, length = 0;
  if (whole) {
    pageBytes = Get(bytes.data() + kPageBytesAt, 4);
    count = Get(bytes.data() + kFileCountAt, 4);
    length = Get(bytes.data() + kBodyLengthAt, 8);
    // Bytes of a retired, longer record may follow this one's body.
    whole = length <= bytes.size() - kRecordHead && pageBytes > 0;
  }
  if (whole) {
    const uint8_t *body = bytes.data() + kRecordHead;
    whole = Get(bytes.data() + kChecksumAt, 8) == (wordSum ? WordChecksum(body, length) : ByteChecksum(body, length));
  }
  if (whole) {
    // Check the whole record before anything is written back.
    struct Piece {
      platform::RecordFile *file;
      int64_t offset;
      const uint8_t *bytes;
      size_t n;
    };
    std::vector<std::pair<platform::RecordFile *, int64_t>> lengths;
    std::vector<Piece> pieces;
    size_t at = kRecordHead;
    const size_t end = bytes.size();
    auto need = [&](size_t n) {
      if (end - at < n) Refuse("The journal of the table " + schemaPath_ + " is damaged.");
    };
    for (uint64_t f = 0; f < count; ++f) {
      need(kFileHead);
      platform::RecordFile *file = FileOfTag(static_cast<int32_t>(Get(&bytes[at], 4)));
      if (file == nullptr || !file->IsOpen())
        Refuse("The journal of the table " + schemaPath_ + " names a file the table does not have.");
      lengths.emplace_back(file, static_cast<int64_t>(Get(&bytes[at + 4], 8)));
      uint64_t pages = Get(&bytes[at + 12], 4);
      at += kFileHead;
      for (uint64_t p = 0; p < pages; ++p) {
        need(kPageHead);
        int64_t page = static_cast<int64_t>(Get(&bytes[at], 8));
        size_t n = static_cast<size_t>(Get(&bytes[at + 8], 4));
        at += kPageHead;
        need(n);
        pieces.push_back({file, page * static_cast<int64_t>(pageBytes), &bytes[at], n});
        at += n;
      }
    }
    for (const Piece &piece : pieces) piece.file->Raw().WriteAt(piece.offset, piece.bytes, piece.n);
    for (const auto &[file, length] : lengths) file->Raw().Truncate(length);
  }
  // A torn record was being written when its writer stopped: no table file
  // had been touched yet.
  journal_->Truncate(kCounterBytes);
  DropImages();
}

}  // namespace velmora
