// RCT files of any bytes, every variant: a page of the header's size or none, never a read or
// write outside the payload and the picture.
#include "graphics/image_rct.h"
#include "image_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size >= 16 && uint64_t(fuzz_le32(data + 8)) * fuzz_le32(data + 12) > FUZZ_MAX_PIXELS) return 0;
  static bool keyed = (image_set_key("fuzz"), true);
  (void)keyed;
  fuzz_image_run(data, size, [](image_stream* s) {
    page* p = rct_read(s, "fuzz.rct");
    if (p && (p->is_8bit || p->width < 1)) abort();
  });
  return 0;
}
