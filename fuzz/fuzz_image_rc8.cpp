// RC8 files of any bytes. Inputs whose first byte is odd are payloads: the target puts them
// behind a header of a small size (bytes 1 and 2) and a palette, since the 788-byte header alone
// keeps random inputs away from the decoder.
#include <vector>

#include "graphics/image_rct.h"
#include "image_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> file;
  if (size >= 3 && (data[0] & 1)) {
    uint32_t fields[3] = {1u + data[1] % 64, 1u + data[2] % 64, static_cast<uint32_t>(size - 3)};
    file.assign(RCT_MAGICS[RC8_PALETTED], RCT_MAGICS[RC8_PALETTED] + 8);
    for (uint32_t v : fields)
      for (int i = 0; i < 4; i++) file.push_back(static_cast<uint8_t>(v >> (8 * i)));
    file.resize(RC8_HEADER_SIZE, 0x55);
    file.insert(file.end(), data + 3, data + size);
    data = file.data(), size = file.size();
  }
  if (size >= 16 && uint64_t(fuzz_le32(data + 8)) * fuzz_le32(data + 12) > FUZZ_MAX_PIXELS) return 0;
  fuzz_image_run(data, size, [](image_stream* s) {
    page* p = rc8_read(s, "fuzz.rc8");
    if (p && !p->is_8bit) abort();
  });
  return 0;
}
