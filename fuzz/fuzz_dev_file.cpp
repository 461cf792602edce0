// The development file ("fastread.inf") of any bytes: the lines taken are cut at ";" and "//",
// trimmed, never empty, and no longer than a line buffer.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "shell/startup.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool in_folder = [] {
    char pattern[] = "/tmp/vaskfuzz-XXXXXX";
    return mkdtemp(pattern) && chdir(pattern) == 0;
  }();
  if (!in_folder) abort();
  FILE* f = fopen("fastread.inf", "wb");
  if (!f) abort();
  fwrite(data, 1, size, f);
  fclose(f);
  for (const std::string& line : dev_file_lines(64)) {
    if (line.empty() || line.size() >= 512 || line.find(';') != std::string::npos ||
        line.find("//") != std::string::npos)
      abort();
    if (static_cast<unsigned char>(line.front()) < '!' || static_cast<unsigned char>(line.back()) < '!') abort();
  }
  return 0;
}
