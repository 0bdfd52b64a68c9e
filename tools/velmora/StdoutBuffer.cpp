#include "StdoutBuffer.h"

#include <unistd.h>

#include <cerrno>

namespace vtool {

StdoutBuffer::StdoutBuffer() : buffer_(1 << 16) { setp(buffer_.data(), buffer_.data() + buffer_.size()); }

StdoutBuffer::~StdoutBuffer() { Drain(); }

bool StdoutBuffer::Drain() {
  const char *at = pbase();
  while (at < pptr() && error_ == 0) {
    const ssize_t n = ::write(STDOUT_FILENO, at, static_cast<size_t>(pptr() - at));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0)
      error_ = n < 0 ? errno : EIO;
    else
      at += n;
  }
  // What could not be written is dropped: the failure is what counts now.
  setp(buffer_.data(), buffer_.data() + buffer_.size());
  return error_ == 0;
}

StdoutBuffer::int_type StdoutBuffer::overflow(int_type c) {
  if (!Drain()) return traits_type::eof();
  if (!traits_type::eq_int_type(c, traits_type::eof())) {
    *pptr() = traits_type::to_char_type(c);
    pbump(1);
  }
  return traits_type::not_eof(c);
}

int StdoutBuffer::sync() { return Drain() ? 0 : -1; }

}  // namespace vtool
