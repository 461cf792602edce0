// The window copy against the nearest-pixel formula of its contract, pixel by pixel, at the zooms
// with their own paths (1000, 2000) and others, at odd offsets, clipped, with the source rectangle
// reaching past the source, in 24 and 8 bits. The source buffer ends with its last pixel, so that
// a read past the row shows under the sanitizer.
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "platform/platform.h"

namespace {
constexpr uint32_t UNTOUCHED = 0x12345678;

struct stretch_case {
  const char* name;
  int width, height;
  bool paletted;
  plat_rect source_rect;
  int x, y, zoom_x, zoom_y;
  plat_rect area;
  int stride_extra;  // pixels past area.width in each output row
};

TEST(PaintStretch, EveryPathMatchesTheNearestPixelFormula) {
  const stretch_case cases[] = {
      {"long rows 1:1", 103, 4, false, {0, 0, 103, 4}, 0, 0, 1000, 1000, {0, 0, 103, 4}, 0},
      {"narrow 1:1", 5, 3, false, {0, 0, 5, 3}, 0, 0, 1000, 1000, {0, 0, 5, 3}, 0},
      {"odd offsets 1:1", 41, 29, false, {3, 2, 30, 20}, 5, -3, 1000, 1000, {1, 0, 40, 25}, 3},
      {"past the source 1:1", 41, 29, false, {-4, -2, 50, 33}, 2, 1, 1000, 1000, {0, 0, 60, 40}, 0},
      {"doubled from a pair's half", 41, 29, false, {0, 0, 41, 29}, -3, -1, 2000, 2000, {0, 0, 77, 50}, 5},
      {"doubled, clipped on the right", 41, 29, false, {5, 3, 33, 20}, 7, 2, 2000, 2000, {10, 4, 51, 31}, 1},
      {"doubled past the source", 41, 29, false, {-2, -1, 45, 31}, 1, 1, 2000, 2000, {0, 0, 95, 66}, 0},
      {"1.8", 41, 29, false, {0, 0, 41, 29}, 0, 0, 1800, 1800, {0, 0, 80, 60}, 0},
      {"1.5 by 2", 41, 29, false, {1, 1, 39, 27}, -1, 3, 1500, 2000, {0, 0, 70, 60}, 2},
      {"2 by 1", 41, 29, false, {0, 0, 41, 29}, 1, 0, 2000, 1000, {0, 0, 84, 29}, 0},
      {"8-bit 1:1", 41, 29, true, {2, 0, 37, 29}, 1, 0, 1000, 1000, {0, 0, 40, 29}, 1},
      {"8-bit doubled", 41, 29, true, {0, 0, 41, 29}, -1, 0, 2000, 2000, {0, 0, 82, 58}, 0},
  };
  srand(5);
  for (const stretch_case& c : cases) {
    SCOPED_TRACE(c.name);
    int bytes = c.paletted ? 1 : 3, stride = c.width * bytes + 5;
    std::vector<uint8_t> bits(static_cast<size_t>(stride) * (c.height - 1) + c.width * bytes);
    for (uint8_t& b : bits) b = static_cast<uint8_t>(rand());
    std::vector<uint8_t> palette(256 * 4);
    for (uint8_t& b : palette) b = static_cast<uint8_t>(rand());
    pixel_source source{bits.data(), c.width, c.height, stride, c.paletted ? palette.data() : nullptr};
    int out_stride = c.area.width + c.stride_extra;
    std::vector<uint32_t> out(static_cast<size_t>(out_stride) * c.area.height, UNTOUCHED);
    paint_stretch_xrgb(source, c.source_rect, c.x, c.y, c.zoom_x, c.zoom_y, c.area, out.data(), out_stride);

    int64_t picture_w = int64_t{c.source_rect.width} * c.zoom_x / 1000;
    int64_t picture_h = int64_t{c.source_rect.height} * c.zoom_y / 1000;
    int wrong = 0;
    for (int j = 0; j < c.area.height; j++)
      for (int i = 0; i < out_stride; i++) {
        int64_t wx = c.area.x + i - c.x, wy = c.area.y + j - c.y;  // in the picture
        int64_t sx = c.source_rect.x + wx * 1000 / c.zoom_x, sy = c.source_rect.y + wy * 1000 / c.zoom_y;
        uint32_t expected = UNTOUCHED;
        if (i < c.area.width && wx >= 0 && wx < picture_w && wy >= 0 && wy < picture_h && sx >= 0 &&
            sx < c.width && sy >= 0 && sy < c.height) {
          const uint8_t* p = bits.data() + sy * stride + sx * bytes;
          if (c.paletted) p = palette.data() + 4 * *p;
          expected = 0xFF000000u | p[2] << 16 | p[1] << 8 | p[0];
        }
        if (out[static_cast<size_t>(j) * out_stride + i] != expected && wrong++ < 3)
          ADD_FAILURE() << "pixel (" << i << ", " << j << ")";
      }
    EXPECT_EQ(wrong, 0);
  }
}
}  // namespace
