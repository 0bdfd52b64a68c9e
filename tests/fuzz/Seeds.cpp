// Writes the seed corpora of the file targets: for each kind of file, the
// argument bytes followed by that file of the pristine fuzz table.  The
// sequence target's seeds are written by hand (tests/fuzz/corpus/sequence).
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "FuzzSupport.h"

int main(int argc, char **argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: fuzz_seeds CORPUS_FOLDER\n");
    return 2;
  }
  namespace fs = std::filesystem;
  const std::pair<const char *, const char *> kinds[] = {
      {"schema", ".vri"}, {"data", ".vrd"}, {"leaf0", ".va1"}, {"leaf1", ".vb1"}, {"directory", ".va2"}};
  for (const auto &[kind, extension] : kinds) {
    fs::path dir = fs::path(argv[1]) / kind;
    fs::create_directories(dir);
    const std::vector<uint8_t> &file = fuzz::PristineFile(extension);
    for (int seed = 0; seed < 2; ++seed) {
      std::vector<uint8_t> bytes(64, static_cast<uint8_t>(seed * 0x35));
      bytes.insert(bytes.end(), file.begin(), file.end());
      std::ofstream out(dir / ("pristine" + std::to_string(seed)), std::ios::binary);
      out.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
  }
  return 0;
}
