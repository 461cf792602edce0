// Archive loader: any bytes as "data.arc" either mount or end through the damaged-archive box,
// and every lookup on a mounted archive stays inside the file.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "base/datasource.h"
#include "quiet_platform.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  headless_platform* platform = fuzz_quiet_platform();
  static std::string folder = [] {
    char pattern[] = "/tmp/vaskfuzz-XXXXXX";
    return std::string(mkdtemp(pattern));
  }();
  platform->boxes.clear();
  std::string path = folder + "/data.arc";
  FILE* f = fopen(path.c_str(), "wb");
  fwrite(data, 1, size, f);
  fclose(f);
  data_sources_clear();
  data_base_folder_set(folder.c_str());
  try {
    if (data_source_add("data", 0) > 0) {
      for (const char* name : {"a.png", "b.ogg", "start.vko"}) {
        uint32_t entry = data_file_size(name);
        if (FILE* s = data_file_open(name, "rb")) {
          long at = ftell(s);
          fseek(s, 0, SEEK_END);
          if (at + static_cast<long>(entry) > ftell(s)) abort();  // an entry reaching past the file
          fclose(s);
        }
      }
    }
  } catch (const fuzz_fatal&) {
  }
  return 0;
}
