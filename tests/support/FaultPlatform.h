// A platform for tests that passes everything to the real one and injects
// faults on demand.  Constructing it installs it (Os() returns it); destroying
// it puts back whatever platform was installed before.
//
//   velmora::testing::FaultPlatform faults;        // installed from here on
//   faults.DiskFullAfter(64, ".vrd");              // 64 more bytes fit in data files
//   ... engine call ...  // raises EInOutError "Disk full", code 28
//   faults.Reset();                                // no more faults
//
// Names.  `pattern` selects the files a fault applies to: a file matches
// when its path, as given to Open or Create, contains the pattern without
// regard to ASCII letter case; an empty pattern matches every file.  Files
// consult the armed faults at every transfer, so a fault armed while a file
// is already open applies to it at once.
//
// Write budget.  DiskFullAfter and ShortWriteAfter count the bytes written
// (WriteAt) to matching files from the moment they are armed.  A write that
// would pass the budget writes the part that still fits to the real file and
// then raises EInOutError: "Disk full" with code 28 (the system's "no space
// left") for DiskFullAfter, "Disk full" with code 101 (the platform's code
// for a write that stopped short with no reason given) for ShortWriteAfter.
// Every later write to a matching file fails the same way, until Reset.
//
// Files opened through this platform must be closed or destroyed before it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/ForwardingPlatform.h"
#include "support/PlatformInstall.h"

namespace velmora::testing {

class FaultPlatform : public platform::ForwardingPlatform {
 public:
  // Wraps the built-in platform and installs itself.
  FaultPlatform();
  FaultPlatform(const FaultPlatform &) = delete;
  FaultPlatform &operator=(const FaultPlatform &) = delete;

  // Removes every armed fault (counters keep counting).
  void Reset();

  // ---- file faults ----
  // After `bytes` more bytes, writes fail with "Disk full", code 28.
  void DiskFullAfter(int64_t bytes, const std::string &pattern = "");
  // After `bytes` more bytes, writes stop short: "Disk full", code 101.
  void ShortWriteAfter(int64_t bytes, const std::string &pattern = "");
  // Reads (ReadAt) of matching files fail with EInOutError for `code`
  // (default 5, "I/O error 5") after `bytes` more bytes have been read.
  void FailReadsAfter(int64_t bytes, const std::string &pattern = "", int32_t code = 5);
  // Open of a matching file returns null with `code` in *error, and Create
  // raises EInOutError for it, the next `count` times (-1: always).
  void FailOpens(const std::string &pattern, int32_t code = 13, int count = -1);
  // Delete, Rename and Copy of a matching source name return false without
  // touching anything.
  void FailFileOps(const std::string &pattern);

  // ---- allocation faults ----
  // Allocate returns null for every request larger than `bytes`.
  void FailAllocationsAbove(size_t bytes);
  // The next `count` calls of Allocate return null.
  void FailNextAllocations(int count);

  // ---- counters since construction ----
  int64_t BytesWritten() const;   // bytes written to any file through this platform
  int FailedAllocations() const;  // allocations refused by an armed fault
  int Allocations() const;        // calls of Allocate, refused or not

  // ---- the platform: what the faults change; the rest is passed on ----
  std::unique_ptr<platform::File> Open(const std::string &path, int32_t mode, int32_t *error) override;
  std::unique_ptr<platform::File> Create(const std::string &path) override;
  std::unique_ptr<platform::File> OpenOrCreate(const std::string &path, int32_t *error) override;
  bool Delete(const std::string &path) override;
  bool Rename(const std::string &from, const std::string &to) override;
  bool Copy(const std::string &from, const std::string &to) override;
  void *Allocate(size_t bytes) noexcept override;

  struct State;

 private:
  std::shared_ptr<State> state_;
  PlatformInstall install_;
};

}  // namespace velmora::testing
