// PNG files through libpng: a result code, never a read past the stream. Inputs whose first byte
// is odd damage a valid picture instead of being one.
#include "graphics/image_readers.h"
#include "image_fuzz.h"
#include "image_seeds.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::vector<uint8_t> seeds[4] = {seed_png(0), seed_png(1), seed_png(2), seed_png(3)};
  std::vector<uint8_t> damaged;
  if (size > 0 && (data[0] & 1)) {
    damaged = seed_damaged(seeds[(data[0] >> 1) % 4], data, size);
    data = damaged.data(), size = damaged.size();
  }
  if (size >= 24 && uint64_t(fuzz_be32(data + 16)) * fuzz_be32(data + 20) > FUZZ_MAX_PIXELS) return 0;
  fuzz_image_run(data, size, [](image_stream* s) {
    page *colour, *mask;
    png_result r = png_decode(s, &colour, &mask);
    if (r != PNG_OK && (colour || mask)) abort();
    if (r == PNG_OK && !colour) abort();
  });
  return 0;
}
