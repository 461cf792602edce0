// Glyph-cache files: a valid file with the input's damage (the first four bytes cut its length,
// then pairs of a 24-bit offset and a byte overwrite it) opens without reading past it, and
// drawing from what it gave stays inside the cache's store.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "base/datasource.h"
#include "graphics/page.h"
#include "image_fuzz.h"
#include "shell/devtools.h"
#include "text/glyph.h"

namespace {
// "F" at 20 x 10: widths at 268, offsets at 65804, capacity, used, then the store.
std::vector<uint8_t> valid_file() {
  std::vector<uint8_t> b(327960 + 4 + 2 * 20 * 20, 0x80);
  std::fill(b.begin(), b.begin() + 327960, 0);
  b[0] = 'F';
  auto put = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; i++) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
  };
  put(260, 40);
  put(264, 80);
  for (uint32_t key : {0x41u, 0x42u}) {
    b[268 + key] = 20;
    put(65804 + 4 * key, 4 + (key - 0x41) * 400);
  }
  put(327948, 0x80000 + 804);
  put(327952, 804);
  return b;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz_image_setup();  // the quiet headless platform the image targets use
  static char pattern[] = "/tmp/vaskfuzz-XXXXXX";
  static std::string folder = mkdtemp(pattern);
  save_base_folder_set(folder.c_str());
  mkdir((folder + "/savedata").c_str(), 0700);
  static page* target = page_new_rgb24(640, 480, 1);
  std::vector<uint8_t> file = valid_file();
  if (size >= 4) {
    uint32_t keep = data[0] | data[1] << 8 | data[2] << 16 | static_cast<uint32_t>(data[3]) << 24;
    if (keep < file.size()) file.resize(keep);
  }
  for (size_t i = 4; i + 4 <= size; i += 4) {
    uint32_t at = data[i] | data[i + 1] << 8 | data[i + 2] << 16;
    if (at < file.size()) file[at] = data[i + 3];
  }
  FILE* f = fopen((folder + "/savedata/" + font_cache_file_name("F", 40, 80).substr(9)).c_str(), "wb");
  fwrite(file.data(), 1, file.size(), f);
  fclose(f);
  font_cache_open("F", 20, 10);
  font_quality_set(1);
  font_descriptor d = font_descriptor_default();
  d.face[0] = 'F';
  d.face[1] = 0;
  d.cache_match = font_cache_matches(d.face, 20, 10, 4);
  text_measure(&d, "ABC", 1);
  text_draw(&d, target, "ABC", nullptr, 0);
  glyph_module_reset();
  return 0;
}
