// Standard output for the tool's commands: a buffer over file descriptor 1
// that remembers why a write failed (a full disk, a closed pipe), so the
// command can fail with the reason instead of exiting 0 with output lost.
#pragma once

#include <streambuf>
#include <vector>

namespace vtool {

class StdoutBuffer : public std::streambuf {
 public:
  StdoutBuffer();
  ~StdoutBuffer() override;
  // The errno of the first failed write; 0 while every write succeeded.
  int error() const { return error_; }

 protected:
  int_type overflow(int_type c) override;
  int sync() override;

 private:
  bool Drain();
  std::vector<char> buffer_;
  int error_ = 0;
};

}  // namespace vtool
