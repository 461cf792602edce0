// The read-mark file parser on arbitrary bytes; what it reads serialises back to the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "vm/readmark.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  readmark_reset();
  int read = readmark_parse(data, size);
  std::string back = readmark_serialize();
  if (back.size() > size) abort();
  // Names are copied up to their NUL and the unused words are written as zeros, so only the
  // sizes, counts and bits must agree.
  size_t pos = 0;
  for (int i = 0; i < read; ++i) {
    if (memcmp(back.data() + pos + 128, data + pos + 128, 8) != 0) abort();
    int32_t bytes;
    memcpy(&bytes, data + pos + 128, 4);
    if (memcmp(back.data() + pos + 148, data + pos + 148, static_cast<size_t>(bytes)) != 0) abort();
    pos += 148 + static_cast<size_t>(bytes);
  }
  readmark_reset();
  return 0;
}
