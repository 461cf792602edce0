// Copies and compositions between two rectangles of equal size.
#include <algorithm>
#include <cassert>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "base/memory.h"
#include "graphics/kernel.h"
#include "graphics/kernel_rows.h"

namespace {
// The two rectangles' rows in the copy row order. Within one page a destination above the source
// runs top to bottom and any other runs bottom to top, so no source row is read after it was
// written; when both rectangles share their rows, the source row is first copied aside (for
// routines that are not overlap-safe moves themselves).
struct row_pairs {
  const page* src;
  const page_rect& sr;
  const page* dst;
  const page_rect& dr;

  template <class F>
  void each(F&& row, bool copy_aside = true) const {
    int h = sr.height;
    if (h <= 0 || sr.width <= 0) return;
    bool bottom_up = src == dst && dr.y >= sr.y;
    bool same_rows = src == dst && dr.y == sr.y && copy_aside;
    size_t sbytes = static_cast<size_t>(sr.width) * page_bytes_per_pixel(src);
    std::vector<uint8_t> aside(same_rows ? sbytes : 0);
    for (int i = 0; i < h; i++) {
      int k = bottom_up ? h - 1 - i : i;
      const uint8_t* s = page_row(src, sr.y + k) + static_cast<size_t>(sr.x) * page_bytes_per_pixel(src);
      uint8_t* d = page_row(dst, dr.y + k) + static_cast<size_t>(dr.x) * page_bytes_per_pixel(dst);
      if (same_rows) {
        memcpy(aside.data(), s, sbytes);
        s = aside.data();
      }
      row(s, d, k);
    }
  }
};

[[maybe_unused]] bool rects_fit(const page* src, const page_rect& sr, const page* dst, const page_rect& dr) {
  return page_rect_inside(src, sr) && page_rect_inside(dst, page_rect{dr.x, dr.y, sr.width, sr.height});
}

// A row of an alpha page that stands beside a pixel row of its parent.
uint8_t* alpha_row(const page* p, const page_rect& r, int k) { return page_row(p->alpha, r.y + k) + r.x; }
}  // namespace

void page_copy_kernel(const page* src, const page_rect& sr, page* dst, const page_rect& dr) {
  assert(rects_fit(src, sr, dst, dr));
  size_t w = static_cast<size_t>(sr.width);
  if (src->is_8bit == dst->is_8bit) {
    size_t bytes = w * page_bytes_per_pixel(src);
    if (sr.x == 0 && dr.x == 0 && bytes == static_cast<size_t>(src->stride) && src->stride == dst->stride) {
      // Whole rows lie back to back: one move, which is overlap-safe like the row order.
      if (sr.height > 0) memmove(page_row(dst, dr.y), page_row(src, sr.y), bytes * static_cast<size_t>(sr.height));
      return;
    }
    row_pairs{src, sr, dst, dr}.each([&](const uint8_t* s, uint8_t* d, int) { memmove(d, s, bytes); }, false);
  } else if (src->is_8bit) {
    row_pairs{src, sr, dst, dr}.each([&](const uint8_t* s, uint8_t* d, int) { row_expand_pal8(d, s, src->palette, w); });
  }
}

void page_swap_kernel(page* src, const page_rect& sr, page* dst, const page_rect& dr) {
  assert(rects_fit(src, sr, dst, dr));
  if (src->is_8bit != dst->is_8bit || sr.width <= 0 || sr.height <= 0) return;
  size_t bytes = static_cast<size_t>(sr.width) * page_bytes_per_pixel(src);
  uint8_t* line = static_cast<uint8_t*>(mem_alloc(bytes));
  row_pairs{src, sr, dst, dr}.each(
      [&](const uint8_t* s, uint8_t* d, int) {
        memcpy(line, d, bytes);
        memmove(d, s, bytes);
        memmove(const_cast<uint8_t*>(s), line, bytes);
      },
      false);
  free(line);
}

void page_blend_kernel(const page* src, const page_rect& sr, page* dst, const page_rect& dr, int a) {
  assert(rects_fit(src, sr, dst, dr));
  size_t w = static_cast<size_t>(sr.width);
  if (src->is_8bit == dst->is_8bit) {
    size_t bytes = w * page_bytes_per_pixel(src);
    row_pairs{src, sr, dst, dr}.each([&](const uint8_t* s, uint8_t* d, int) { row_mix8(d, d, s, bytes, a); });
  } else if (src->is_8bit) {
    row_pairs{src, sr, dst, dr}.each([&](const uint8_t* s, uint8_t* d, int) { row_mix_pal8(d, s, src->palette, w, a); });
  }
}

void page_alpha_copy_kernel(const page* src, const page_rect& sr, page* dst, const page_rect& dr, int level) {
  assert(rects_fit(src, sr, dst, dr));
  if (level > 254 || dst->is_8bit || !page_alpha_usable(src)) return;
  size_t w = static_cast<size_t>(sr.width);
  std::vector<uint8_t> expanded(src->is_8bit ? w * 3 : 0);
  row_pairs{src, sr, dst, dr}.each([&](const uint8_t* s, uint8_t* d, int k) {
    if (src->is_8bit) {
      row_expand_pal8(expanded.data(), s, src->palette, w);
      s = expanded.data();
    }
    row_alpha24(d, s, alpha_row(src, sr, k), w, level);
  });
  if (page_alpha_usable(dst))
    row_pairs{src->alpha, sr, dst->alpha, dr}.each([&](const uint8_t* s, uint8_t* d, int) { row_mul8(d, s, w); });
}

void page_add_kernel(const page* src, const page_rect& sr, page* dst, const page_rect& dr, int level) {
  assert(rects_fit(src, sr, dst, dr));
  if (level == 255 || src->is_8bit || dst->is_8bit) return;
  // Level 0 adds the source whole; otherwise it is weighted by b = 255 - level.
  int b = level == 0 ? 256 : level < 0 ? 255 : level > 255 ? 0 : 255 - level;
  size_t bytes = static_cast<size_t>(sr.width) * 3;
  row_pairs{src, sr, dst, dr}.each([&](const uint8_t* s, uint8_t* d, int) { row_add8(d, s, bytes, b); });
}

void page_multiply_blend_kernel(const page* src, const page_rect& sr, page* dst, const page_rect& dr, int level) {
  assert(rects_fit(src, sr, dst, dr));
  if (src->is_8bit || dst->is_8bit) return;
  int b = clamp_level(level, 0, 255) + 1;
  size_t bytes = static_cast<size_t>(sr.width) * 3;
  row_pairs{src, sr, dst, dr}.each([&](const uint8_t* s, uint8_t* d, int) { row_multiply_blend8(d, s, bytes, b); });
}

void page_mul_kernel(const page* src, const page_rect& sr, page* dst, const page_rect& dr) {
  assert(rects_fit(src, sr, dst, dr));
  if (!src->is_8bit || !dst->is_8bit) return;
  size_t w = static_cast<size_t>(sr.width);
  row_pairs{src, sr, dst, dr}.each([&](const uint8_t* s, uint8_t* d, int) { row_mul8(d, s, w); });
}

void page_revmul_kernel(const page* src, const page_rect& sr, page* dst, const page_rect& dr) {
  assert(rects_fit(src, sr, dst, dr));
  if (!src->is_8bit || !dst->is_8bit) return;
  size_t w = static_cast<size_t>(sr.width);
  row_pairs{src, sr, dst, dr}.each([&](const uint8_t* s, uint8_t* d, int) { row_revmul8(d, s, w); });
}

void page_mask_copy_kernel(const page* mask, const page_rect& mr, page* dst, const page_rect& dr, uint32_t colour) {
  assert(rects_fit(mask, mr, dst, dr));
  if (!mask->is_8bit || mr.width <= 0 || mr.height <= 0) return;
  size_t w = static_cast<size_t>(mr.width);
  // One row of the colour serves as the source of every row.
  std::vector<uint8_t> colour_row(dst->is_8bit ? w : w * 3);
  if (dst->is_8bit) {
    memset(colour_row.data(), colour & 0xFF, w);
  } else {
    const uint8_t bgr[3] = {static_cast<uint8_t>(colour >> 16), static_cast<uint8_t>(colour >> 8), static_cast<uint8_t>(colour)};
    row_fill24(colour_row.data(), w, bgr);
  }
  row_pairs{mask, mr, dst, dr}.each([&](const uint8_t* m, uint8_t* d, int) {
    if (dst->is_8bit)
      row_alpha8(d, colour_row.data(), m, w, 0);
    else
      row_alpha24(d, colour_row.data(), m, w, 0);
  });
  if (page_alpha_usable(dst))
    row_pairs{mask, mr, dst->alpha, dr}.each([&](const uint8_t* m, uint8_t* d, int) { row_mul8(d, m, w); });
}

void alpha_table_apply(const page* src, page* dst, const uint8_t table[256]) {
  if (!src->is_8bit || !dst->is_8bit) return;
  int w = src->width < dst->width ? src->width : dst->width;
  int h = src->height < dst->height ? src->height : dst->height;
  for (int y = 0; y < h; y++) {
    const uint8_t* s = page_row(src, y);
    uint8_t* d = page_row(dst, y);
    for (int x = 0; x < w; x++) d[x] = table[s[x]];
  }
}

page* alpha_table_page(const page* src, const uint8_t table[256]) {
  page* p = page_new_gray8(src->width, src->height, 0);
  if (p) alpha_table_apply(src, p, table);
  return p;
}

void page_outline_copy_kernel(const page* src, page* dst, const page* control, const page_rect& sr,
                              const page_rect& dr, const uint32_t table[256]) {
  assert(rects_fit(src, sr, dst, dr) && page_rect_inside(control, sr));
  if (src->is_8bit || dst->is_8bit || !control->is_8bit) return;
  bool with_alpha = page_alpha_usable(src) && page_alpha_usable(dst);
  row_pairs{src, sr, dst, dr}.each([&](const uint8_t* s, uint8_t* d, int k) {
    const uint8_t* ctl = page_row(control, sr.y + k) + sr.x;
    const uint8_t* sa = with_alpha ? alpha_row(src, sr, k) : nullptr;
    uint8_t* da = with_alpha ? alpha_row(dst, dr, k) : nullptr;
    for (int x = 0; x < sr.width; x++, s += 3, d += 3) {
      uint32_t e = table[ctl[x]];
      int op = static_cast<int>(e >> 24), g = op & 15, kind = op & 0x30;
      // The entry's colour in the pixel's byte order: blue, green, red.
      const int col[3] = {static_cast<int>(e >> 16 & 0xFF), static_cast<int>(e >> 8 & 0xFF), static_cast<int>(e & 0xFF)};
      bool take_src_alpha = false;
      if (op == 0) {
        memcpy(d, s, 3);
        take_src_alpha = true;
      } else if (op < 64) {
        if (kind == 48) continue;
        for (int c = 0; c < 3; c++) {
          int v = kind == 0    ? (g * d[c] + (15 - g) * s[c]) / 15
                  : kind == 16 ? s[c] + col[c]
                               : s[c] - col[c];
          d[c] = static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
        }
        take_src_alpha = true;
      } else if (op < 128) {
        if (kind != 16 && kind != 32) continue;
        for (int c = 0; c < 3; c++) {
          int v = kind == 16 ? d[c] + col[c] : d[c] - col[c];
          d[c] = static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
        }
      } else if (op < 192) {
        for (int c = 0; c < 3; c++) d[c] = static_cast<uint8_t>(col[c]);
        if (with_alpha) {
          int v = op == 128 ? da[x] * sa[x] >> 8 : std::min({static_cast<int>(da[x]), static_cast<int>(sa[x]), g * 17});
          da[x] = static_cast<uint8_t>(v);
        }
      }
      if (take_src_alpha && with_alpha) da[x] = sa[x];
    }
  });
}
