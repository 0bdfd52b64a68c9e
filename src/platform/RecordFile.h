// A file of fixed-length records: schema blocks (520 bytes), data records,
// leaf blocks (32 bytes) and directory entries (8 bytes) are all read and
// written through it.  The file position is kept here, in records, so that a
// transfer at the current position costs no seek.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

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
  // Creates (or replaces) the bound file empty; raises EInOutError.
  void Create();
  bool IsOpen() const { return file_ != nullptr; }
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

 private:
  File &Require();

  std::string name_;
  int32_t recordSize_;
  int64_t position_ = 0;
  std::unique_ptr<File> file_;
};

}  // namespace velmora::platform
