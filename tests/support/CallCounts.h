// Calls that a storage layer made to the operating system, by kind, with the
// bytes they moved.  The engine's counts come from the counting platform, the
// SQLite counts from the counting VFS; kinds one side never uses stay 0.
#pragma once

#include <cstdint>

namespace velmora::testing {

struct CallCounts {
  int64_t open = 0, create = 0, read = 0, write = 0, size = 0, truncate = 0, close = 0, sync = 0;
  int64_t lock = 0;  // lock, unlock and lock queries
  int64_t map = 0;   // mapping a file's head into memory (a store there is no call)
  int64_t exists = 0, existingName = 0, remove = 0, rename = 0, copy = 0;
  int64_t bytesRead = 0, bytesWritten = 0;

  // Every counted call (bytes are not calls).
  int64_t Calls() const {
    return open + create + read + write + size + truncate + close + sync + lock + map + exists + existingName + remove +
           rename + copy;
  }
  // Calls other than reads, writes and size queries.
  int64_t OtherCalls() const { return Calls() - read - write - size; }

  CallCounts operator-(const CallCounts &e) const {
    CallCounts d;
    d.open = open - e.open;
    d.create = create - e.create;
    d.read = read - e.read;
    d.write = write - e.write;
    d.size = size - e.size;
    d.truncate = truncate - e.truncate;
    d.close = close - e.close;
    d.sync = sync - e.sync;
    d.lock = lock - e.lock;
    d.map = map - e.map;
    d.exists = exists - e.exists;
    d.existingName = existingName - e.existingName;
    d.remove = remove - e.remove;
    d.rename = rename - e.rename;
    d.copy = copy - e.copy;
    d.bytesRead = bytesRead - e.bytesRead;
    d.bytesWritten = bytesWritten - e.bytesWritten;
    return d;
  }
};

}  // namespace velmora::testing
