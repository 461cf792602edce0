// JPEG files through libjpeg: the error manager brings every failure back. Inputs whose first
// byte is odd damage a valid picture instead of being one.
#include "graphics/image_readers.h"
#include "image_fuzz.h"
#include "image_seeds.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::vector<uint8_t> seeds[3] = {seed_jpeg(0), seed_jpeg(1), seed_jpeg(2)};
  std::vector<uint8_t> damaged;
  if (size > 0 && (data[0] & 1)) {
    damaged = seed_damaged(seeds[(data[0] >> 1) % 3], data, size);
    data = damaged.data(), size = damaged.size();
  }
  int width = 0, height = 0;
  fuzz_image_run(data, size, [&](image_stream* s) { jpeg_decode_size(s, &width, &height, nullptr); });
  if (uint64_t(width) * uint64_t(height) > FUZZ_MAX_PIXELS) return 0;
  fuzz_image_run(data, size, [](image_stream* s) {
    char error[200];
    page* p = jpeg_decode(s, error);
    if (p && p->is_8bit) abort();
  });
  return 0;
}
