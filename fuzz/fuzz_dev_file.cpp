// The development file ("fastread.inf") of any bytes: the lines taken are cut at ";" and "//",
// trimmed, never empty, and no longer than a line buffer. The text is parsed as read, so the
// fuzzer keeps its own folder (a relative corpus folder stays where it was given).
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "shell/startup.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  for (const std::string& line : dev_file_parse(text, 64)) {
    if (line.empty() || line.size() >= 512 || line.find(';') != std::string::npos ||
        line.find("//") != std::string::npos)
      abort();
    if (static_cast<unsigned char>(line.front()) < '!' || static_cast<unsigned char>(line.back()) < '!') abort();
  }
  return 0;
}
