// Environment file: any bytes as "vaskel.env" load without reading past a line buffer, and every
// entry is a key and a value free of separators.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "base/datasource.h"
#include "base/env.h"
#include "platform/headless/headless.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static std::string folder = [] {
    auto* p = new headless_platform;
    p->print_boxes = false;
    plat_install(p);
    char pattern[] = "/tmp/vaskfuzz-XXXXXX";
    std::string made = mkdtemp(pattern);
    data_base_folder_set(made.c_str());
    return made;
  }();
  std::string path = folder + "/vaskel.env";
  FILE* f = fopen(path.c_str(), "wb");
  fwrite(data, 1, size, f);
  fclose(f);
  env_free();
  if (env_load("vaskel.env") != 0) abort();
  for (const env_entry& e : env_entries()) {
    if (e.key.empty() || e.value.empty() || e.key.size() >= ENV_LINE_SIZE || e.value.size() >= ENV_LINE_SIZE) abort();
    for (char c : e.key + e.value)
      if (static_cast<unsigned char>(c) <= 32 && c != ' ') abort();  // "|" becomes the only blank
    char out[8];
    env_get_string(e.key.c_str(), out, sizeof out, "");
    env_get_int(e.key.c_str(), 0);
  }
  return 0;
}
