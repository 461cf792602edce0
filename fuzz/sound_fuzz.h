// What the sound decoders' fuzz targets share: a quiet headless platform, a game folder of their
// own where each input becomes a file, and valid files to damage (an input whose first byte is odd
// lays its other bytes over the valid file at the offset its next two bytes give).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "base/datasource.h"
#include "quiet_platform.h"

inline const std::string& fuzz_sound_folder() {
  static std::string folder = [] {
    fuzz_quiet_platform();
    char pattern[] = "/tmp/vaskfuzz-XXXXXX";
    if (!mkdtemp(pattern)) abort();
    data_base_folder_set(pattern);
    return std::string(pattern);
  }();
  return folder;
}

// Writes the input (or the valid file it damages) as the game file name.
inline void fuzz_sound_file(const char* name, const uint8_t* data, size_t size, const std::string& valid) {
  std::string bytes(reinterpret_cast<const char*>(data), size);
  if (size >= 3 && (data[0] & 1)) {
    size_t at = (data[1] | data[2] << 8) % valid.size();
    bytes = valid;
    bytes.replace(at, std::min(size - 3, bytes.size() - at), reinterpret_cast<const char*>(data + 3), size - 3);
  }
  std::string path = fuzz_sound_folder() + "/" + name;
  FILE* f = fopen(path.c_str(), "wb");
  if (!f) abort();
  fwrite(bytes.data(), 1, bytes.size(), f);
  fclose(f);
}
