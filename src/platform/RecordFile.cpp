#include "platform/RecordFile.h"

#include <algorithm>
#include <cstring>

#include <velmora/velmora.hpp>

namespace velmora::platform {

std::atomic<uint64_t> RecordFile::openChanges_{1};
std::atomic<uint64_t> RecordFile::changeStarts_{1};

File &RecordFile::Require() {
  // A transfer on a file that is not open is the "file not open" I/O error.
  if (!file_) RaiseIoError(103);
  return *file_;
}

void RecordFile::Open(int32_t mode) {
  int32_t error = 0;
  auto file = Os().Open(name_, mode, &error);
  if (!file) RaiseIoError(error);
  DropImage();
  file_ = std::move(file);
  NoteOpenChange();
  position_ = 0;
}

bool RecordFile::OpenWritableOrReadOnly(bool readOnlyAllowed) {
  int32_t error = 0;
  auto file = Os().Open(name_, kModeSharedReadWrite, &error);
  bool readOnly = false;
  // 2 is the missing file on every platform: nothing to fall back to.
  if (!file && readOnlyAllowed && error != 2) {
    int32_t second = 0;
    file = Os().Open(name_, kAccessRead | kShareDenyNone, &second);
    readOnly = file != nullptr;
  }
  if (!file) RaiseIoError(error);
  DropImage();
  file_ = std::move(file);
  NoteOpenChange();
  position_ = 0;
  return readOnly;
}

void RecordFile::Create() {
  DropImage();
  file_ = Os().Create(name_);
  NoteOpenChange();
  position_ = 0;
}

void RecordFile::Close() {
  DropImage();
  if (!file_) return;
  std::unique_ptr<File> file = std::move(file_);
  NoteOpenChange();
  position_ = 0;
  file->Close();
}

void RecordFile::Seek(int64_t record) {
  Require();
  position_ = record < 0 ? 0 : record;
}

int64_t RecordFile::Size() {
  if (imageOn_) {
    LoadImage();
    // Asked for on every record read: the division is done once per length.
    if (image_.size() != countedBytes_ || recordSize_ != countedRecordSize_) {
      countedBytes_ = image_.size();
      countedRecordSize_ = recordSize_;
      countedRecords_ = recordSize_ > 0 ? static_cast<int64_t>(countedBytes_) / recordSize_ : 0;
    }
    return countedRecords_;
  }
  int64_t bytes = Require().Size();
  return recordSize_ > 0 ? bytes / recordSize_ : 0;
}

int32_t RecordFile::Read(void *buffer, int32_t n) {
  File &file = Require();
  if (n <= 0 || recordSize_ <= 0) return 0;
  size_t want = static_cast<size_t>(n) * static_cast<size_t>(recordSize_);
  if (imageOn_) {
    LoadImage();
    const int64_t offset = position_ * recordSize_;
    const int64_t size = static_cast<int64_t>(image_.size());
    if (offset + static_cast<int64_t>(want) <= size) {
      // All of it is there (nearly every read).
      std::memcpy(buffer, image_.data() + offset, want);
      position_ += n;
      return n;
    }
    size_t got = offset >= size ? 0 : static_cast<size_t>(std::min<int64_t>(size - offset, static_cast<int64_t>(want)));
    int32_t records = static_cast<int32_t>(got / static_cast<size_t>(recordSize_));
    if (records > 0) std::memcpy(buffer, image_.data() + offset, static_cast<size_t>(records) * recordSize_);
    position_ += records;
    return records;
  }
  size_t got = file.ReadAt(position_ * recordSize_, buffer, want);
  int32_t records = static_cast<int32_t>(got / static_cast<size_t>(recordSize_));
  position_ += records;
  return records;
}

int32_t RecordFile::Write(const void *buffer, int32_t n) {
  ++generation_;
  File &file = Require();
  if (n <= 0 || recordSize_ <= 0) return 0;
  size_t want = static_cast<size_t>(n) * static_cast<size_t>(recordSize_);
  if (imageOn_) {
    LoadImage();
    const int64_t offset = position_ * recordSize_;
    const int64_t end = offset + static_cast<int64_t>(want);
    const int64_t size = static_cast<int64_t>(image_.size());
    SaveOriginals(offset, end);
    if (end > size) {
      // Grown by an eighth at a time rather than doubled: the images are
      // most of an opener's memory.
      if (static_cast<size_t>(end) > image_.capacity())
        image_.reserve(std::max<size_t>(static_cast<size_t>(end), image_.size() + image_.size() / 8 + 4096));
      image_.resize(static_cast<size_t>(end), 0);
      // A gap before the write reaches the file as the zero bytes it reads as here.
      if (offset > size) MarkChanged(size, offset);
    }
    std::memcpy(image_.data() + offset, buffer, want);
    MarkChanged(offset, end);
    position_ += n;
    return n;
  }
  if (loaded_) DropImage();
  size_t put = file.WriteAt(position_ * recordSize_, buffer, want);
  int32_t records = static_cast<int32_t>(put / static_cast<size_t>(recordSize_));
  position_ += records;
  return records;
}

const uint8_t *RecordFile::MoveInImage(int64_t from, int64_t to, int64_t n) {
  ++generation_;
  Require();
  LoadImage();
  const int64_t size = static_cast<int64_t>(image_.size());
  const int64_t bytes = n * recordSize_;
  const int64_t source = from * recordSize_, target = to * recordSize_;
  if (!imageOn_ || n < 0 || from < 0 || to < 0 || source + bytes > size || target + bytes > size)
    RaiseIoError(100);  // a move beyond the end reads short, as a transfer would
  if (bytes > 0) {
    SaveOriginals(target, target + bytes);
    std::memmove(image_.data() + target, image_.data() + source, static_cast<size_t>(bytes));
    MarkChanged(target, target + bytes);
  }
  return image_.data() + target;
}

void RecordFile::Truncate() {
  ++generation_;
  File &file = Require();
  if (!imageOn_) {
    if (loaded_) DropImage();
    file.Truncate(position_ * recordSize_);
    return;
  }
  LoadImage();
  const int64_t to = position_ * recordSize_;
  const int64_t size = static_cast<int64_t>(image_.size());
  if (to < size) {
    SaveOriginals(to, size);
    image_.resize(static_cast<size_t>(to));
    MarkChanged(to, to);
  } else if (to > size) {
    image_.resize(static_cast<size_t>(to), 0);
    MarkChanged(size, to);
  }
}

// ---- image mode ------------------------------------------------------------

void RecordFile::DropImage() {
  ++generation_;
  loaded_ = false;
  image_.clear();
  image_.shrink_to_fit();
  changing_ = false;
  undo_.clear();
  changedPages_.clear();
}

void RecordFile::LoadImage() {
  if (loaded_) return;
  ++generation_;
  File &file = Require();
  int64_t size = file.Size();
  image_.assign(static_cast<size_t>(size), 0);
  size_t got = size > 0 ? file.ReadAt(0, image_.data(), static_cast<size_t>(size)) : 0;
  image_.resize(got);
  loaded_ = true;
  changing_ = false;
  undo_.clear();
  changedPages_.clear();
}

void RecordFile::StartChanging() {
  changing_ = true;
  originalSize_ = static_cast<int64_t>(image_.size());
  changeStarts_.fetch_add(1, std::memory_order_relaxed);
}

void RecordFile::SaveOriginals(int64_t from, int64_t to) {
  if (!changing_) StartChanging();
  if (to > originalSize_) to = originalSize_;
  if (from >= to) return;
  for (int64_t page = from / kPageBytes; page * kPageBytes < to; ++page) {
    if (undo_.count(page) != 0) continue;
    const int64_t start = page * kPageBytes;
    const int64_t end = std::min(start + kPageBytes, originalSize_);
    // Pages this change touches first still hold their original bytes: every
    // earlier change saved the pages it touched.
    undo_.emplace(page, std::vector<uint8_t>(image_.begin() + start, image_.begin() + end));
  }
}

void RecordFile::MarkChanged(int64_t from, int64_t to) {
  if (!changing_) StartChanging();
  for (int64_t page = from / kPageBytes; page * kPageBytes < to; ++page) {
    if (changedPages_.empty() || changedPages_.back() != page) changedPages_.push_back(page);
  }
}

bool RecordFile::ChangeIsOneWrite(int64_t blockBytes) const {
  if (!changing_ || changedPages_.empty() || static_cast<int64_t>(image_.size()) != originalSize_) return false;
  const auto [low, high] = std::minmax_element(changedPages_.begin(), changedPages_.end());
  const int64_t first = *low, last = *high;
  if (first * kPageBytes / blockBytes != ((last + 1) * kPageBytes - 1) / blockBytes) return false;
  // The run may not have a gap: every page from first to last changed.
  for (int64_t page = first + 1; page < last; ++page)
    if (std::find(changedPages_.begin(), changedPages_.end(), page) == changedPages_.end()) return false;
  return true;
}

void RecordFile::WriteOut() {
  if (!changing_) return;
  File &file = Require();
  std::vector<int64_t> pages = changedPages_;
  std::sort(pages.begin(), pages.end());
  pages.erase(std::unique(pages.begin(), pages.end()), pages.end());
  const int64_t size = static_cast<int64_t>(image_.size());
  // One write per run of consecutive changed pages.
  for (size_t i = 0; i < pages.size();) {
    size_t j = i + 1;
    while (j < pages.size() && pages[j] == pages[j - 1] + 1) ++j;
    const int64_t start = pages[i] * kPageBytes;
    const int64_t end = std::min((pages[j - 1] + 1) * kPageBytes, size);
    if (start < end) file.WriteAt(start, image_.data() + start, static_cast<size_t>(end - start));
    i = j;
  }
  if (size < originalSize_) file.Truncate(size);
}

void RecordFile::WriteOriginals() {
  ++generation_;
  if (!changing_) return;
  File &file = Require();
  for (const auto &[page, bytes] : undo_)
    if (!bytes.empty()) file.WriteAt(page * kPageBytes, bytes.data(), bytes.size());
  file.Truncate(originalSize_);
}

void RecordFile::RevertImage() {
  ++generation_;
  if (!changing_) return;
  image_.resize(static_cast<size_t>(originalSize_), 0);
  for (const auto &[page, bytes] : undo_) std::memcpy(image_.data() + page * kPageBytes, bytes.data(), bytes.size());
  ForgetChanges();
}

void RecordFile::ForgetChanges() {
  changing_ = false;
  undo_.clear();
  changedPages_.clear();
}

}  // namespace velmora::platform
