// The benchmark's command line.
#pragma once

#include <cstdint>
#include <string>

namespace bench {

struct Options {
  int32_t records = 30000;
  int runs = 3;
  uint64_t seed = 1;
  int32_t openMode = 34;
  std::string folder;    // where the tables go; a fresh temporary folder when empty
  std::string writeCsv;  // write the workload's rows as CSV here and stop
  bool help = false;
};

extern const char *const kUsage;

// Raises std::invalid_argument with a message for a bad command line.
Options ParseOptions(int argc, char **argv);

}  // namespace bench
