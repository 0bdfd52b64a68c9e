// A SQLite VFS that passes everything to the default one and counts the calls
// that reach the operating system layer: open, read, write, truncate, sync,
// file size, locking and unlocking, close, delete and access tests.  (The
// default VFS may answer some lock requests without a system call; the count
// is what SQLite asked of its OS layer.)
#pragma once

#include "CallCounts.h"

namespace bench {

// Registers the VFS once (not as the default) and returns its name.
const char *CountingVfsName();
// The running totals of every connection opened with the VFS.
const CallCounts &VfsCounts();

}  // namespace bench
