// Fills and colour operations on one rectangle of one page.
#include <cstring>

#include "graphics/kernel.h"
#include "graphics/kernel_rows.h"

namespace {
// A colour 0x00BBGGRR in the pixel byte order.
struct bgr_bytes {
  uint8_t v[3];
  explicit bgr_bytes(uint32_t colour)
      : v{static_cast<uint8_t>(colour >> 16), static_cast<uint8_t>(colour >> 8), static_cast<uint8_t>(colour)} {}
};

// Calls op(row, bytes) for every row of the clipped rectangle; 1 when nothing was left.
template <class F>
int each_row(page* p, page_rect r, F&& op) {
  if (page_clip_rect(p, &r)) return 1;
  size_t bytes = static_cast<size_t>(r.width) * page_bytes_per_pixel(p);
  for (int y = r.y; y < r.y + r.height; y++) op(page_row(p, y) + static_cast<size_t>(r.x) * page_bytes_per_pixel(p), bytes);
  return 0;
}

// A 24-bit operation byte by byte, the colour's channel beside each byte.
template <class F>
int each_channel(page* p, page_rect r, uint32_t colour, F&& op) {
  if (p->is_8bit) return 1;
  bgr_bytes c(colour);
  return each_row(p, r, [&](uint8_t* row, size_t bytes) {
    for (size_t i = 0; i < bytes; i++) row[i] = static_cast<uint8_t>(op(row[i], c.v[i % 3]));
  });
}
}  // namespace

int page_fill_rect(page* p, page_rect r, uint32_t colour) {
  if (page_clip_rect(p, &r)) return 1;
  size_t x0 = static_cast<size_t>(r.x) * page_bytes_per_pixel(p), bytes = static_cast<size_t>(r.width) * page_bytes_per_pixel(p);
  uint8_t* first = page_row(p, r.y) + x0;
  if (p->is_8bit)
    memset(first, colour & 0xFF, bytes);
  else
    row_fill24(first, static_cast<size_t>(r.width), bgr_bytes(colour).v);
  for (int y = r.y + 1; y < r.y + r.height; y++) memcpy(page_row(p, y) + x0, first, bytes);
  return 0;
}

int page_blend_fill(page* p, page_rect r, uint32_t colour, int b) {
  b = clamp_level(b, 1, 256);
  uint8_t grey = static_cast<uint8_t>(colour);
  bgr_bytes c(colour);
  return each_row(p, r, [&](uint8_t* row, size_t bytes) {
    row_blend_fill(row, bytes, p->is_8bit ? &grey : c.v, p->is_8bit ? 1 : 3, b);
  });
}

int page_mul_fill_kernel(page* p, page_rect r, uint32_t colour) {
  return each_channel(p, r, colour, [](int v, int c) { return (c + 1) * v >> 8; });
}

int page_overlay_fill_kernel(page* p, page_rect r, uint32_t colour) {
  return each_channel(p, r, colour, [](int v, int c) { return v < 128 ? 2 * v * c / 255 : 2 * (v + c - v * c / 255) - 255; });
}

int page_reverse_kernel(page* p, page_rect r) {
  if (p->is_8bit) return 1;
  return each_row(p, r, [](uint8_t* row, size_t bytes) {
    for (size_t i = 0; i < bytes; i++) row[i] = static_cast<uint8_t>(255 - row[i]);
  });
}

int page_sepia_kernel(page* p, page_rect r, uint32_t dark, uint32_t light, int with_level, int level) {
  bgr_bytes d(dark), l(light);
  int h = clamp_level(level, 0, 255) + 1;
  auto tone = [&](uint8_t* bgr) {
    int w = bgr[0] + 4 * bgr[1] + 2 * bgr[2] + 1, v = 2049 - w;
    for (int c = 0; c < 3; c++) {
      int x = (v * d.v[c] + w * l.v[c]) >> 11;
      bgr[c] = static_cast<uint8_t>(with_level ? (h * bgr[c] + (257 - h) * x) / 256 : x);
    }
  };
  if (p->is_8bit) {
    // The palette is the picture: every entry is toned once the rectangle proved non-empty.
    if (page_clip_rect(p, &r)) return 1;
    for (int i = 0; i < 256; i++) {
      rgb_quad& q = p->palette[i];
      uint8_t bgr[3] = {q.blue, q.green, q.red};
      tone(bgr);
      q.blue = bgr[0], q.green = bgr[1], q.red = bgr[2];
    }
    return 0;
  }
  return each_row(p, r, [&](uint8_t* row, size_t bytes) {
    for (size_t i = 0; i < bytes; i += 3) tone(row + i);
  });
}
