// RC8 files of any bytes.
#include "graphics/image_rct.h"
#include "image_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size >= 16 && uint64_t(fuzz_le32(data + 8)) * fuzz_le32(data + 12) > FUZZ_MAX_PIXELS) return 0;
  fuzz_image_run(data, size, [](image_stream* s) {
    page* p = rc8_read(s, "fuzz.rc8");
    if (p && !p->is_8bit) abort();
  });
  return 0;
}
