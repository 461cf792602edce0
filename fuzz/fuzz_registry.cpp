// Settings key files: any bytes as a key file read as a key (or as an empty one), and what is read
// is written back and read again unchanged.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "base/registry.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static std::string folder = [] {
    char pattern[] = "/tmp/vaskfuzz-XXXXXX";
    std::string made = mkdtemp(pattern);
    setenv("XDG_CONFIG_HOME", made.c_str(), 1);
    std::filesystem::create_directories(made + "/G");
    return made;
  }();
  // The damaged files set aside by earlier inputs go, so that no input pays for the ones before.
  std::filesystem::remove_all(folder + "/G");
  std::filesystem::create_directories(folder + "/G");
  FILE* f = fopen((folder + "/G/L.ini").c_str(), "wb");
  fputs("[values]\n", f);  // GLib is not instrumented: start the fuzzer inside a sound group
  fwrite(data, 1, size, f);
  fclose(f);
  reg_store_reset();
  char first[REG_VALUE_BUFFER], again[REG_VALUE_BUFFER];
  for (const char* name : {"a", "MusicVolume", "b c", "%"}) {
    int found = reg_get_string("G", "L", name, "", first, sizeof first);
    reg_get_int("G", "L", name, 0);
    if (found == 0 && reg_set_string("G", "L", name, first) == 0) {
      reg_store_reset();
      if (reg_get_string("G", "L", name, "", again, sizeof again) != 0 || strcmp(first, again) != 0) abort();
    }
  }
  return 0;
}
