// What the save-data fuzz targets share: a valid blob of a string, a shared int array and a string
// array with an empty element behind four saved cells, and the input's damage to a file (the first
// four bytes cut its length, then pairs of a 24-bit offset and a byte overwrite it).
#pragma once

#include <cstdint>
#include <string>

inline std::string fuzz_u32(uint32_t v) { return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; }

// Four cells (string, two on one int array, a string array) and their blob, scope word w.
inline std::string fuzz_cells_and_blob(uint32_t scope, uint32_t* blob_size) {
  auto u = fuzz_u32;
  std::string blob = u(1) + u(0) + u(3) + std::string("ab\0", 3) +                             // 0..15
                     u(2) + u(15) + u(1) + u(1) + u(2) + u(5) + u(6) + u(0) +                    // 15..47
                     u(1) + u(47) + u(1) + u(1) + u(2) + u(0) + u(0) + u(0xFFFFFFFF);            // 47..79
  std::string cells = u(11) + u(2) + u(0) + u(0) + u(12) + u(3) + u(15) + u(0) + u(13) + u(3) + u(15) + u(0) +
                      u(14) + u(5) + u(47) + u(0) + u(15) + u(0) + u(scope) + u(9);
  *blob_size = static_cast<uint32_t>(blob.size());
  return cells + blob;
}

inline void fuzz_damage(std::string* file, const uint8_t* data, size_t size) {
  if (size >= 4) {
    uint32_t keep = data[0] | data[1] << 8 | data[2] << 16 | static_cast<uint32_t>(data[3]) << 24;
    if (keep < file->size()) file->resize(keep);
  }
  for (size_t i = 4; i + 4 <= size; i += 4) {
    uint32_t at = data[i] | data[i + 1] << 8 | data[i + 2] << 16;
    if (at < file->size()) (*file)[at] = static_cast<char>(data[i + 3]);
  }
}
