// A file of fixed-length records: schema blocks (520 bytes), data records,
// leaf blocks (32 bytes) and directory entries (8 bytes) are all read and
// written through it.  The file position is kept here, in records, so that a
// transfer at the current position costs no seek.
//
// Image mode.  While a table call has it switched on, the file works on an
// image of its whole contents in memory: reads and sizes cost no system call,
// and writes and cuts change the image only, remembering which pages they
// touched and the original bytes of those pages.  WriteOut then brings the
// file on disk to the image with one write per run of changed pages (and one
// cut), and the original pages let the change be undone in memory or on disk.
// Outside image mode every transfer goes straight to the file, and a write
// there drops the image, which is read afresh when next needed.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace velmora::platform {

class RecordFile {
 public:
  explicit RecordFile(int32_t recordSize = 1) : recordSize_(recordSize) {}
  RecordFile(const RecordFile &) = delete;
  RecordFile &operator=(const RecordFile &) = delete;

  void Bind(const std::string &name) { name_ = name; }
  const std::string &Name() const { return name_; }
  void SetRecordSize(int32_t size) { recordSize_ = size; }
  int32_t RecordSize() const { return recordSize_; }

  // Opens the bound existing file with the open-mode word; raises EInOutError.
  void Open(int32_t mode = kModeSharedReadWrite);
  // Opens the bound existing file for reading and writing shared with others;
  // when that is refused and readOnlyAllowed, for reading only (the result
  // then says true).  A missing file always raises EInOutError.
  bool OpenWritableOrReadOnly(bool readOnlyAllowed);
  // Creates (or replaces) the bound file empty; raises EInOutError.
  void Create();
  bool IsOpen() const { return file_ != nullptr; }
  // Raised whenever any record file of the process is opened, created or
  // closed, so that a list of the open files can tell it is still right.
  static uint64_t OpenChanges() { return openChanges_.load(std::memory_order_relaxed); }
  // Closes the file (raising EInOutError if the system reports a failure).
  void Close();

  void Seek(int64_t record);
  int64_t Position() const { return position_; }
  // Number of whole records in the file.
  int64_t Size();
  bool AtEnd() { return position_ >= Size(); }
  // Transfer up to n records at the position; return the number of whole
  // records transferred and advance the position by it.  A read stops short at
  // the end of the file; a write that the system cannot complete raises EInOutError.
  int32_t Read(void *buffer, int32_t n);
  int32_t Write(const void *buffer, int32_t n);
  // Cuts the file at the position.
  void Truncate();
  // In image mode only: moves the n records at `from` to `to` (the two may
  // overlap; both lie within the file), as writing them there would, and
  // returns the moved records' bytes in their new place (valid until the next
  // change).  The position is left where it was.
  const uint8_t *MoveInImage(int64_t from, int64_t to, int64_t n);

  // ---- image mode ----
  static constexpr int64_t kPageBytes = 1024;
  void UseImage(bool on) { imageOn_ = on; }
  bool ImageInUse() const { return imageOn_; }
  // Forgets the image (and any change not written out).
  void DropImage();
  // Whether the image holds changes not yet written out.
  bool Changed() const { return changing_; }
  // Raised whenever an image of any record file of the process starts
  // holding changes: a caller that saw it unmoved over a stretch of work
  // knows that no image was changed in it.
  static uint64_t ChangeStarts() { return changeStarts_.load(std::memory_order_relaxed); }
  int64_t OriginalBytes() const { return originalSize_; }
  // Original contents of the changed pages, by page number, each clipped to
  // the original length.
  const std::map<int64_t, std::vector<uint8_t>> &OriginalPages() const { return undo_; }
  // Whether WriteOut would be a single write of unchanged length that lies
  // within one aligned block of blockBytes: the file's length stays, and the
  // changed pages are one run inside the block.
  bool ChangeIsOneWrite(int64_t blockBytes) const;
  // Writes the changed pages and the new length to the file.
  void WriteOut();
  // Puts the original pages and length back into the file on disk.
  void WriteOriginals();
  // Puts the original pages and length back into the image.
  void RevertImage();
  // Accepts the image as what the file now holds.
  void ForgetChanges();
  // Changes whenever the contents may have changed in any way (a write, a
  // cut, an image loaded, dropped or put back, the file opened or closed), so
  // that what a caller derived from the contents can tell it is still current.
  uint64_t Generation() const { return generation_; }
  // The open file itself, for the journal's recovery.
  File &Raw() { return Require(); }

 private:
  File &Require();
  void LoadImage();
  // Saves the original bytes of the pages of [from, to) before they change.
  void SaveOriginals(int64_t from, int64_t to);
  void MarkChanged(int64_t from, int64_t to);
  void StartChanging();
  static void NoteOpenChange() { openChanges_.fetch_add(1, std::memory_order_relaxed); }

  static std::atomic<uint64_t> openChanges_;
  static std::atomic<uint64_t> changeStarts_;

  std::string name_;
  int32_t recordSize_;
  int64_t position_ = 0;
  std::unique_ptr<File> file_;

  bool imageOn_ = false;
  bool loaded_ = false;
  std::vector<uint8_t> image_;
  // The image's length in records, worked out again only when its length in
  // bytes or the record size differ from those it was worked out for.
  size_t countedBytes_ = SIZE_MAX;
  int32_t countedRecordSize_ = 0;
  int64_t countedRecords_ = 0;
  bool changing_ = false;
  int64_t originalSize_ = 0;
  std::map<int64_t, std::vector<uint8_t>> undo_;
  std::vector<int64_t> changedPages_;
  uint64_t generation_ = 1;
};

}  // namespace velmora::platform
