// The storage side of one open table: its data, leaf and directory files
// worked on as images in memory for the length of a table call, the
// cross-process locks that keep writers apart and readers out of half-done
// changes, the change counter that tells an opener whether what it keeps is
// still current, and the rollback journal that makes every posting operation
// all or nothing.
//
// The side file "<table>.VRJ" (its layout in VRcomm/JournalLayout.h) holds,
// in its first 8 bytes, the table's change counter, raised by every posting
// operation of an opener that others may look beside; after it, a journal
// record with the original bytes and lengths of everything an operation
// changes, live only while the operation writes (or after a process stopped
// in the middle).  It also carries the lock slots:
//   kTableSlot  shared for the length of a reading call, exclusive for the
//               length of a posting operation;
//   kOwnerSlot  exclusive for as long as an opener whose open mode denies
//               others writing holds the table (the owner); every other
//               poster takes it shared, so it is refused while an owner exists.
// An owner is the only writer there can be, so it keeps its images between
// calls without asking anybody; every other opener compares the change
// counter at the start of each call and drops what it keeps when it moved.
//
// A posting operation: Begin (exclusive lock; a journal left by a stopped
// process is rolled back first) -> the engine works on the images -> Commit:
// the journal record and the raised counter in one write, then one write per
// run of changed pages of each file (and a cut where a file got shorter), then
// the record is retired by zeros over its magic (the file keeps its length,
// so the next record needs no new room), then the lock is released.  A
// change that is one write within one 4 KB block of one file (a record edited
// in place) needs no journal: the raised counter, then that write.  Where the
// platform can map the journal file's head into memory shared with the other
// openers, the counter is raised and the record retired by stores there
// rather than by writes.  An owner
// whose open mode denies others reading as well is the only opener there can
// be: it takes no lock for a call, and raises no counter for such a change.  A
// failure before the record is retired restores the originals on disk from
// memory; when even that fails, the journal stays and the next opener or
// writer rolls it back.  Nothing is synced to the device: the promise holds
// against a process that stops or is killed, not against a power loss.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "platform/RecordFile.h"

namespace velmora {

class TablePager {
 public:
  // Starts serving the files (tag 0 the data file, 1 + i the leaf file and
  // 14 + i the directory file of index i).  denyWrite: the table's open mode
  // denies others writing; denyRead: it denies them reading too, so that no
  // other opener can exist; readOnly: the data or index files could be
  // opened for reading only.
  void Open(const std::string &schemaPath, std::vector<platform::RecordFile *> files, bool denyWrite, bool denyRead,
            bool readOnly);
  void Close();
  bool IsOpen() const { return open_; }
  bool Owner() const { return owner_; }
  bool ReadOnly() const { return readOnly_; }

  // Begins a table call; nested calls only count.  Returns true when another
  // opener changed the table since this one last looked and the images were
  // dropped, so that the engine's own state must be found again.  Before they
  // are dropped, keepOld (when given) runs with the old images still in place.
  template <class KeepOld>
  bool Begin(bool write, KeepOld &&keepOld) {
    if (depth_++ > 0) return false;
    if (!write && imagesKept_ && openChanges_ == platform::RecordFile::OpenChanges()) {
      // An owner reading: its images are current and still switched on.
      write_ = false;
      changeMark_ = platform::RecordFile::ChangeStarts();
      return false;
    }
    try {
      bool changed = Enter(write);
      UseImages(true);
      if (changed) {
        keepOld();
        DropImages();
      }
      return changed;
    } catch (...) {
      Leave(false);
      throw;
    }
  }
  // Begins an owner's reading call whose images were left switched on and
  // are current (Begin's first case, without the rest); false when that is
  // not the case, and nothing was begun.
  bool ResumeKeptImages() {
    if (depth_ > 0 || !imagesKept_ || openChanges_ != platform::RecordFile::OpenChanges()) return false;
    depth_ = 1;
    write_ = false;
    changeMark_ = platform::RecordFile::ChangeStarts();
    return true;
  }
  // Ends a table call: writes the changes of a successful posting operation
  // through, undoes those of a failed one, and releases the locks.  A failure
  // to write is raised after the files have been put back.  keepImages: every
  // later access to the files comes through table calls (as an export's
  // does), so an owner may leave its images switched on for the next call.
  void End(bool success, bool keepImages = false) {
    if (depth_ <= 0) return;
    if (--depth_ > 0) return;
    // An owner's reading call that began with its images switched on, changed
    // nothing and keeps them on: there is nothing to write, switch or release.
    if (keepImages && imagesKept_ && !write_ && platform::RecordFile::ChangeStarts() == changeMark_) return;
    EndOutermost(success, keepImages);
  }
  // Whether the images hold changes of the current call.
  bool Changed() const;
  // Drops every image (the files are read afresh when next needed).
  void DropImages();

  // Counted while a test or benchmark wants to know: platform calls made by
  // this layer for locking and the journal.
  int64_t JournalCalls() const { return journalCalls_; }

 private:
  bool Enter(bool write);
  void EndOutermost(bool success, bool keepImages);
  void Leave(bool keepImages);
  void UseImages(bool on);
  void Commit();
  // Commits a change that is one write of one file (see Commit).
  void CommitOneWrite(platform::RecordFile &file);
  void RevertAll();
  // Writes counter_ + 1 to the journal file's head and takes it as counter_.
  void RaiseCounter();
  // Maps the file's counter and magic into memory, the first time only.
  void MapHeadOnce();
  // Ends a committed (or put back) operation: its journal record is retired.
  void RetireJournal();
  // Reads the counter; true when a journal record follows it.
  bool ReadHeader(uint64_t *counter);
  // Rolls a journal left behind back into the files; false when it is torn
  // (then nothing was written after it and it is simply cut).
  void RollBackJournal();
  std::vector<uint8_t> BuildJournal(uint64_t counter) const;
  platform::RecordFile *FileOfTag(int32_t tag) const;
  [[noreturn]] void Refuse(const std::string &message);

  bool open_ = false;
  std::string schemaPath_;
  std::vector<platform::RecordFile *> files_;
  // The files switched to their images for a call: those open when the
  // list was made, while RecordFile::OpenChanges() was openChanges_.
  std::vector<platform::RecordFile *> inUse_;
  uint64_t openChanges_ = 0;
  // The images were left switched on after the last call: an owner's images
  // stay current between calls, so its reading calls need not switch them.
  bool imagesKept_ = false;
  // RecordFile::ChangeStarts() when the call began.
  uint64_t changeMark_ = 0;
  std::unique_ptr<platform::File> journal_;
  bool journalWritable_ = false;
  // The journal file's counter and magic mapped into memory (see
  // MapHeadOnce), once tried after the file first held them.
  uint8_t *mappedHead_ = nullptr;
  bool headTried_ = false;
  bool owner_ = false;
  // The only opener there can be: an owner whose open mode also denies
  // others reading.  Nobody waits on its locks or reads its counter.
  bool sole_ = false;
  bool readOnly_ = false;
  bool known_ = false;          // counter_ is the counter the images belong to
  bool needsRecovery_ = false;  // a journal of this opener's may be left behind
  uint64_t counter_ = 0;
  int32_t depth_ = 0;
  bool write_ = false;
  bool locked_ = false;
  int64_t journalCalls_ = 0;
};

}  // namespace velmora
