// BMP files of any bytes: the parser reads only the stream's bytes, whatever the headers claim.
#include "graphics/image_readers.h"
#include "image_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size >= 26) {
    int64_t w = static_cast<int32_t>(fuzz_le32(data + 18)), h = static_cast<int32_t>(fuzz_le32(data + 22));
    if (w * (h < 0 ? -h : h) > static_cast<int64_t>(FUZZ_MAX_PIXELS)) return 0;
  }
  fuzz_image_run(data, size, [](image_stream* s) {
    page *colour, *mask;
    bmp_decode(s, &colour, &mask);
    if (colour && colour->is_8bit) abort();
    if (mask && !mask->is_8bit) abort();
  });
  return 0;
}
