#include "platform/RecordFile.h"

#include <velmora/velmora.hpp>

namespace velmora::platform {

File &RecordFile::Require() {
  // A transfer on a file that is not open is the "file not open" I/O error.
  if (!file_) RaiseIoError(103);
  return *file_;
}

void RecordFile::Open(int32_t mode) {
  int32_t error = 0;
  auto file = Os().Open(name_, mode, &error);
  if (!file) RaiseIoError(error);
  file_ = std::move(file);
  position_ = 0;
}

void RecordFile::Create() {
  file_ = Os().Create(name_);
  position_ = 0;
}

void RecordFile::Close() {
  if (!file_) return;
  std::unique_ptr<File> file = std::move(file_);
  position_ = 0;
  file->Close();
}

void RecordFile::Seek(int64_t record) {
  Require();
  position_ = record < 0 ? 0 : record;
}

int64_t RecordFile::Size() {
  int64_t bytes = Require().Size();
  return recordSize_ > 0 ? bytes / recordSize_ : 0;
}

int32_t RecordFile::Read(void *buffer, int32_t n) {
  File &file = Require();
  if (n <= 0 || recordSize_ <= 0) return 0;
  size_t want = static_cast<size_t>(n) * static_cast<size_t>(recordSize_);
  size_t got = file.ReadAt(position_ * recordSize_, buffer, want);
  int32_t records = static_cast<int32_t>(got / static_cast<size_t>(recordSize_));
  position_ += records;
  return records;
}

int32_t RecordFile::Write(const void *buffer, int32_t n) {
  File &file = Require();
  if (n <= 0 || recordSize_ <= 0) return 0;
  size_t want = static_cast<size_t>(n) * static_cast<size_t>(recordSize_);
  size_t put = file.WriteAt(position_ * recordSize_, buffer, want);
  int32_t records = static_cast<int32_t>(put / static_cast<size_t>(recordSize_));
  position_ += records;
  return records;
}

void RecordFile::Truncate() { Require().Truncate(position_ * recordSize_); }

}  // namespace velmora::platform
