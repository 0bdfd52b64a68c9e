// A small client of the library: connects two users and prints the registry census.
#include <cstdio>
#include <string>

#include <velmora/velmora.hpp>

static std::string Stats() {
  uint8_t text[256] = {};
  ShowStats(text);
  return std::string(reinterpret_cast<const char *>(text) + 1, text[0]);
}

int main() {
  std::printf("Velmora demo\n");
  std::printf("after load:        %s\n", Stats().c_str());
  int32_t first = DLL_Connect(7);
  int32_t second = DLL_Connect(42);
  std::printf("connected users %d and %d\n", first, second);
  std::printf("after connecting:  %s\n", Stats().c_str());
  DLL_Disconnect(first);
  std::printf("after disconnect:  %s\n", Stats().c_str());
  try {
    DLL_CheckOpen(0);
  } catch (const velmora::Exception &e) {
    std::printf("handle 0 refused:  %s (%s)\n", e.what(), e.ClassName());
  }
  DLL_Disconnect(second);
  return 0;
}
