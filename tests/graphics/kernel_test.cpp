// The kernels against plain per-pixel references of their formulas, on random pages, rectangles
// and levels (widths run past the SIMD block sizes so that tails are exercised), plus the edge
// cases that catch real faults.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "graphics/kernel.h"
#include "pixels.h"

namespace {
using pixel_fn = std::function<void(const uint8_t* s, uint8_t* d, int sx, int sy, int dx, int dy)>;

// Calls f for every pixel pair of two rectangles on separate pages.
void ref_each(const page* src, const page_rect& sr, const page* dst, const page_rect& dr, const pixel_fn& f) {
  for (int y = 0; y < sr.height; y++)
    for (int x = 0; x < sr.width; x++) f(px(src, sr.x + x, sr.y + y), px(dst, dr.x + x, dr.y + y), sr.x + x, sr.y + y, dr.x + x, dr.y + y);
}

// The source pixel as blue, green, red (through the palette for 8-bit pages).
void colour_of(const page* p, const uint8_t* s, int out[3]) {
  if (p->is_8bit) {
    const rgb_quad& q = p->palette[*s];
    out[0] = q.blue, out[1] = q.green, out[2] = q.red;
  } else {
    out[0] = s[0], out[1] = s[1], out[2] = s[2];
  }
}

int alpha_rule(int src, int dst, int s) {
  if (s >= 254) return dst;
  if (s <= 1) return src;
  return (src * (256 - s) + dst * (s + 1)) >> 8;
}
}  // namespace

using Kernels = graphics_test;

TEST_F(Kernels, BlendFamilyMatchesTheFormulas) {
  const int levels[] = {0, 1, 77, 128, 254, 255, -9, 400};
  for (int trial = 0; trial < 60; trial++) {
    bool s8 = rnd(0, 1), d8 = s8 && rnd(0, 1);
    int w = rnd(1, 70), h = rnd(1, 5), a = levels[trial % 8];
    page* src = random_page(w + rnd(0, 9), h + rnd(0, 3), s8);
    page* dst = random_page(w + rnd(0, 9), h + rnd(0, 3), d8);
    page_rect sr = random_rect_in(src, w, h), dr = random_rect_in(dst, w, h);
    page* want = page_clone(dst);
    int al = std::clamp(a, 0, 255);
    ref_each(src, sr, want, dr, [&](const uint8_t* s, uint8_t* d, int, int, int, int) {
      if (s8 && !d8) {
        int c[3];
        colour_of(src, s, c);
        for (int k = 0; k < 3; k++) d[k] = static_cast<uint8_t>((d[k] * (al + 1) >> 8) + (c[k] * (256 - al) >> 8));
      } else {
        for (int k = 0; k < (d8 ? 1 : 3); k++) d[k] = static_cast<uint8_t>(((al + 1) * d[k] + (256 - al) * s[k]) >> 8);
      }
    });
    page_blend_kernel(src, sr, dst, dr, a);
    ASSERT_EQ(page_diff(dst, want), "") << "trial " << trial << " level " << a << " 8-bit " << s8 << d8;
    page_free_all_at_exit();
  }
}

TEST_F(Kernels, BlendEdgeCases) {
  // Level 255 keeps the first row: (256 A + B) >> 8 = A for every B.
  uint8_t first[19], second[19], out[19];
  for (int i = 0; i < 19; i++) first[i] = static_cast<uint8_t>(i * 13), second[i] = static_cast<uint8_t>(255 - i);
  row_mix_rgb24(out, first, second, 6, 255);
  row_mix8(out + 18, first + 18, second + 18, 1, 255);
  EXPECT_TRUE(std::equal(out, out + 19, first));

  // The palette mix uses its tables: one less than the formula where both products round down.
  page* src = page_new_gray8(1, 1, 0);
  page* dst = page_new_rgb24(1, 1, 0);
  page_row(src, 0)[0] = 255;
  memset(page_row(dst, 0), 255, 3);
  page_blend_kernel(src, page_rect{0, 0, 1, 1}, dst, page_rect{0, 0, 1, 1}, 128);
  EXPECT_EQ(page_row(dst, 0)[0], (255 * 129 >> 8) + (255 * 128 >> 8));  // 128 + 127, not 256 * 255 >> 8
  EXPECT_EQ(page_row(dst, 0)[0], 255);
  page_row(dst, 0)[0] = 100;
  page_row(src, 0)[0] = 101;
  page_blend_kernel(src, page_rect{0, 0, 1, 1}, dst, page_rect{0, 0, 1, 1}, 100);
  EXPECT_EQ(page_row(dst, 0)[0], (100 * 101 >> 8) + (101 * 156 >> 8));  // 39 + 61 = 100; the formula gives 101
}

TEST_F(Kernels, AlphaCopyMatchesTheRule) {
  const int levels[] = {0, 0, 1, 10, 200, 253, 254, -3, -300};
  for (int trial = 0; trial < 80; trial++) {
    bool s8 = trial % 3 == 0, with_dst_alpha = rnd(0, 1);
    int w = rnd(1, 90), h = rnd(1, 4), level = levels[trial % 9];
    page* src = random_page(w + rnd(0, 5), h + rnd(0, 3), s8);
    random_alpha(src, trial % 2 == 0);
    page* dst = random_page(w + rnd(0, 5), h + rnd(0, 3), false);
    if (with_dst_alpha) random_alpha(dst);
    page_rect sr = random_rect_in(src, w, h), dr = random_rect_in(dst, w, h);
    page* want = page_clone(dst);
    ref_each(src, sr, want, dr, [&](const uint8_t* s, uint8_t* d, int sx, int sy, int dx, int dy) {
      int c[3];
      colour_of(src, s, c);
      int t = *px(src->alpha, sx, sy);
      for (int k = 0; k < 3; k++) d[k] = static_cast<uint8_t>(alpha_rule(c[k], d[k], t + level));
      if (want->alpha) {
        uint8_t* da = px(want->alpha, dx, dy);
        *da = static_cast<uint8_t>(*da * (t + 1) >> 8);
      }
    });
    page_alpha_copy_kernel(src, sr, dst, dr, level);
    ASSERT_EQ(page_diff(dst, want), "") << "trial " << trial << " level " << level;
    if (with_dst_alpha) {
      ASSERT_EQ(page_diff(dst->alpha, want->alpha), "") << "trial " << trial;
    }
    page_free_all_at_exit();
  }
}

TEST_F(Kernels, AlphaRuleEdges) {
  page* src = page_new_rgb24(3, 1, 0);
  page* alpha = page_new_gray8(3, 1, 0);
  page_alpha_set(src, alpha);
  page* dst = page_new_rgb24(3, 1, 0);
  page_rect r{0, 0, 3, 1};
  auto run = [&](int t, int level) {
    memset(page_row(src, 0), 200, 9);
    memset(page_row(dst, 0), 100, 9);
    memset(page_row(alpha, 0), t, 3);
    page_alpha_copy_kernel(src, r, dst, r, level);
    return page_row(dst, 0)[0];
  };
  EXPECT_EQ(run(0, 0), 200);                             // copies
  EXPECT_EQ(run(253, 0), (200 * 3 + 100 * 254) >> 8);    // weights 3 and 254
  EXPECT_EQ(run(0, 254), 100);                           // keeps
  EXPECT_EQ(run(0, 255), 100);                           // draws nothing
  EXPECT_EQ(run(1, 0), 200);
  EXPECT_EQ(run(2, 0), (200 * 254 + 100 * 3) >> 8);

  // Without a source alpha page nothing is drawn; an 8-bit destination takes nothing either.
  page_alpha_set(src, nullptr);
  memset(page_row(dst, 0), 100, 9);
  page_alpha_copy_kernel(src, r, dst, r, 0);
  EXPECT_EQ(page_row(dst, 0)[4], 100);
}

TEST_F(Kernels, AlphaCopyOfLongRowsTakesEveryTransparency) {
  // Rows long enough for the widest blocks, with every transparency at every level that moves the
  // rule's thresholds, plus whole aligned blocks that only copy or only keep, and blocks that
  // mix one copied or kept pixel into blended ones.
  const int levels[] = {-300, -256, -255, -2, 0, 1, 2, 100, 252, 253, 254};
  for (bool s8 : {false, true})
    for (int level : levels) {
      page* src = random_page(260, 6, s8);
      page* alpha = page_new_gray8(260, 6, 0);
      page_alpha_set(src, alpha);
      for (int y = 0; y < 6; y++)
        for (int x = 0; x < 260; x++) {
          int t = (x * 7 + y * 61) & 255;
          if (y == 1) t = x < 64 ? 0 : x < 128 ? 255 : x < 160 ? 1 : x < 192 ? 254 : t;
          if (y == 2) t = x % 32 == 5 ? (x & 64 ? 0 : 255) : 100;
          page_row(alpha, y)[x] = static_cast<uint8_t>(t);
        }
      page* dst = random_page(262, 6, false);
      random_alpha(dst);
      page_rect sr{0, 0, 260, 6}, dr{1, 0, 0, 0};
      page* want = page_clone(dst);
      ref_each(src, sr, want, page_rect{1, 0, 260, 6}, [&](const uint8_t* s, uint8_t* d, int sx, int sy, int dx, int dy) {
        int c[3];
        colour_of(src, s, c);
        int t = *px(alpha, sx, sy);
        for (int k = 0; k < 3; k++) d[k] = static_cast<uint8_t>(alpha_rule(c[k], d[k], t + level));
        uint8_t* da = px(want->alpha, dx, dy);
        *da = static_cast<uint8_t>(*da * (t + 1) >> 8);
      });
      page_alpha_copy_kernel(src, sr, dst, dr, level);
      ASSERT_EQ(page_diff(dst, want), "") << "level " << level << " 8-bit " << s8;
      ASSERT_EQ(page_diff(dst->alpha, want->alpha), "") << "level " << level;
      page_free_all_at_exit();
    }
}

TEST_F(Kernels, MaskCopyFillsThroughTheMask) {
  for (int trial = 0; trial < 40; trial++) {
    bool d8 = trial % 4 == 0, with_dst_alpha = !d8 && rnd(0, 1);
    int w = rnd(1, 80), h = rnd(1, 3);
    uint32_t colour = static_cast<uint32_t>(rnd(0, 0xFFFFFF));
    page* mask = random_page(w + rnd(0, 3), h, true, true);
    page* dst = random_page(w + rnd(0, 3), h + 1, d8);
    if (with_dst_alpha) random_alpha(dst);
    page_rect mr = random_rect_in(mask, w, h), dr = random_rect_in(dst, w, h);
    page* want = page_clone(dst);
    const int bgr[3] = {static_cast<int>(colour >> 16 & 255), static_cast<int>(colour >> 8 & 255), static_cast<int>(colour & 255)};
    ref_each(mask, mr, want, dr, [&](const uint8_t* m, uint8_t* d, int, int, int dx, int dy) {
      if (d8) {
        *d = static_cast<uint8_t>(alpha_rule(static_cast<int>(colour & 255), *d, *m));
        return;
      }
      for (int k = 0; k < 3; k++) d[k] = static_cast<uint8_t>(alpha_rule(bgr[k], d[k], *m));
      if (want->alpha) {
        uint8_t* da = px(want->alpha, dx, dy);
        *da = static_cast<uint8_t>(*da * (*m + 1) >> 8);
      }
    });
    page_mask_copy_kernel(mask, mr, dst, dr, colour);
    ASSERT_EQ(page_diff(dst, want), "") << "trial " << trial;
    if (with_dst_alpha) {
      ASSERT_EQ(page_diff(dst->alpha, want->alpha), "");
    }
    page_free_all_at_exit();
  }
}

TEST_F(Kernels, CompositionFamilyMatchesTheFormulas) {
  enum { ADD, MULTIPLY_BLEND, MUL, REVMUL, COUNT };
  const int levels[] = {0, 128, 255, -1, 300, 17, 254};
  for (int trial = 0; trial < 120; trial++) {
    int op = trial % COUNT, level = levels[trial / COUNT % 7];
    bool is_8bit = op == MUL || op == REVMUL;
    int w = rnd(1, 70), h = rnd(1, 4);
    page* src = random_page(w + rnd(0, 4), h + 1, is_8bit);
    page* dst = random_page(w + rnd(0, 4), h + 1, is_8bit);
    page_rect sr = random_rect_in(src, w, h), dr = random_rect_in(dst, w, h);
    page* want = page_clone(dst);
    int b_add = level == 0 ? 256 : std::clamp(255 - level, 0, 255), b_mul = std::clamp(level + 1, 1, 256);
    ref_each(src, sr, want, dr, [&](const uint8_t* s, uint8_t* d, int, int, int, int) {
      for (int k = 0; k < (is_8bit ? 1 : 3); k++) {
        int v = d[k];
        if (op == ADD && level != 255) v = std::min(255, v + (b_add * s[k] >> 8));
        if (op == MULTIPLY_BLEND) v = (b_mul * v + (256 - b_mul) * (v * (s[k] + 1) >> 8)) >> 8;
        if (op == MUL) v = v * (s[k] + 1) >> 8;
        if (op == REVMUL) v = 255 - ((255 - v) * (256 - s[k]) >> 8);
        d[k] = static_cast<uint8_t>(v);
      }
    });
    if (op == ADD) page_add_kernel(src, sr, dst, dr, level);
    if (op == MULTIPLY_BLEND) page_multiply_blend_kernel(src, sr, dst, dr, level);
    if (op == MUL) page_mul_kernel(src, sr, dst, dr);
    if (op == REVMUL) page_revmul_kernel(src, sr, dst, dr);
    ASSERT_EQ(page_diff(dst, want), "") << "trial " << trial << " op " << op << " level " << level;
    page_free_all_at_exit();
  }
}

TEST_F(Kernels, CompositionEdges) {
  page* src = page_new_rgb24(1, 1, 0);
  page* dst = page_new_rgb24(1, 1, 0);
  page* s8 = page_new_gray8(1, 1, 0);
  page* d8 = page_new_gray8(1, 1, 0);
  page_rect r{0, 0, 1, 1};
  uint8_t *s = page_row(src, 0), *d = page_row(dst, 0), *m = page_row(s8, 0), *v = page_row(d8, 0);
  s[0] = 100, d[0] = 200;
  page_add_kernel(src, r, dst, r, 0);  // level 0 adds exactly
  EXPECT_EQ(d[0], 255);
  m[0] = 255, v[0] = 0;
  page_revmul_kernel(s8, r, d8, r);
  EXPECT_EQ(v[0], 255);  // 255 - (255 * 1 >> 8): the formula, not 254

  // Depth pairs outside a kernel's list draw nothing.
  d[0] = 9;
  page_add_kernel(s8, r, dst, r, 0);
  page_copy_kernel(src, r, d8, r);
  page_blend_kernel(src, r, d8, r, 0);
  EXPECT_EQ(d[0], 9);
  EXPECT_EQ(v[0], 255);
}

TEST_F(Kernels, OutlineCopyOperations) {
  // One control value per operation class, on random pixels.
  const int ops[] = {0, 5, 15, 0x10 | 3, 0x20 | 7, 0x30 | 1, 64, 64 | 0x10, 64 | 0x20, 64 | 0x30, 128, 129, 140, 191, 192, 255};
  for (int trial = 0; trial < 30; trial++) {
    bool alphas = trial % 2;
    int w = rnd(1, 40), h = rnd(1, 4);
    uint32_t table[256];
    for (int i = 0; i < 256; i++) table[i] = static_cast<uint32_t>(ops[i % 16]) << 24 | static_cast<uint32_t>(rnd(0, 0xFFFFFF));
    page* src = random_page(w, h, false);
    page* ctl = random_page(w, h, true);
    page* dst = random_page(w + 3, h + 2, false);
    if (alphas) random_alpha(src), random_alpha(dst);
    page_rect sr{0, 0, w, h}, dr = random_rect_in(dst, w, h);
    page* want = page_clone(dst);
    ref_each(src, sr, want, dr, [&](const uint8_t* s, uint8_t* d, int sx, int sy, int dx, int dy) {
      uint32_t e = table[*px(ctl, sx, sy)];
      int op = static_cast<int>(e >> 24), g = op & 15, k = op & 0x30;
      int col[3] = {static_cast<int>(e >> 16 & 255), static_cast<int>(e >> 8 & 255), static_cast<int>(e & 255)};
      int sa = alphas ? *px(src->alpha, sx, sy) : 0;
      uint8_t* da = alphas ? px(want->alpha, dx, dy) : nullptr;
      for (int c = 0; c < 3; c++) {
        int v = d[c];
        if (op == 0) v = s[c];
        else if (op < 64 && k == 0) v = (g * d[c] + (15 - g) * s[c]) / 15;
        else if (op < 64 && k == 16) v = std::min(255, s[c] + col[c]);
        else if (op < 64 && k == 32) v = std::max(0, s[c] - col[c]);
        else if (op >= 64 && op < 128 && k == 16) v = std::min(255, d[c] + col[c]);
        else if (op >= 64 && op < 128 && k == 32) v = std::max(0, d[c] - col[c]);
        else if (op >= 128 && op < 192) v = col[c];
        d[c] = static_cast<uint8_t>(v);
      }
      if (!da) return;
      if (op < 64 && k != 48) *da = static_cast<uint8_t>(sa);
      else if (op == 128) *da = static_cast<uint8_t>(*da * sa >> 8);
      else if (op > 128 && op < 192) *da = static_cast<uint8_t>(std::min({int{*da}, sa, g * 17}));
    });
    page_outline_copy_kernel(src, dst, ctl, sr, dr, table);
    ASSERT_EQ(page_diff(dst, want), "") << "trial " << trial;
    if (alphas) {
      ASSERT_EQ(page_diff(dst->alpha, want->alpha), "") << "trial " << trial;
    }
    page_free_all_at_exit();
  }
}

TEST_F(Kernels, AlphaTables) {
  uint8_t table[256];
  for (int i = 0; i < 256; i++) table[i] = static_cast<uint8_t>(255 - i / 2);
  page* src = random_page(7, 5, true);
  page* dst = random_page(4, 9, true);
  page* want = page_clone(dst);
  for (int y = 0; y < 5; y++)
    for (int x = 0; x < 4; x++) *px(want, x, y) = table[*px(src, x, y)];  // the common size only
  alpha_table_apply(src, dst, table);
  EXPECT_EQ(page_diff(dst, want), "");

  page* made = alpha_table_page(src, table);
  ASSERT_NE(made, nullptr);
  EXPECT_EQ(made->width, 7);
  EXPECT_EQ(made->persistent, 0);
  EXPECT_EQ(made->palette[9].green, 9);
  EXPECT_EQ(*px(made, 6, 4), table[*px(src, 6, 4)]);
}

TEST_F(Kernels, FillsAndColourOperations) {
  enum { FILL, BLEND_FILL, MUL_FILL, OVERLAY, REVERSE, SEPIA, SEPIA_LEVEL, COUNT };
  for (int trial = 0; trial < 140; trial++) {
    int op = trial % COUNT;
    bool is_8bit = (op == FILL || op == BLEND_FILL) && rnd(0, 1);
    page* p = random_page(rnd(1, 60), rnd(1, 6), is_8bit);
    // Rectangles reach over every edge: the fills clip for themselves.
    page_rect r{rnd(-5, p->width), rnd(-3, p->height), rnd(-2, 70), rnd(0, 8)};
    uint32_t colour = static_cast<uint32_t>(rnd(0, 0xFFFFFF)), light = static_cast<uint32_t>(rnd(0, 0xFFFFFF));
    int b = rnd(-3, 260), level = rnd(-3, 260);
    page* want = page_clone(p);
    page_rect c = r;
    bool empty = page_clip_rect(p, &c);
    const int col[3] = {static_cast<int>(colour >> 16 & 255), static_cast<int>(colour >> 8 & 255), static_cast<int>(colour & 255)};
    const int lt[3] = {static_cast<int>(light >> 16 & 255), static_cast<int>(light >> 8 & 255), static_cast<int>(light & 255)};
    int bb = std::clamp(b, 1, 256), h = std::clamp(level, 0, 255) + 1;
    for (int y = c.y; y < c.y + c.height; y++)
      for (int x = c.x; x < c.x + c.width; x++) {
        uint8_t* q = px(want, x, y);
        if (is_8bit) {
          *q = static_cast<uint8_t>(op == FILL ? colour & 255 : (bb * *q + (257 - bb) * static_cast<int>(colour & 255)) >> 8);
          continue;
        }
        int w = q[0] + 4 * q[1] + 2 * q[2] + 1;
        for (int k = 0; k < 3; k++) {
          int v = q[k], cc = col[k];
          if (op == FILL) v = cc;
          if (op == BLEND_FILL) v = (cc * (257 - bb) + bb * v) >> 8;
          if (op == MUL_FILL) v = (cc + 1) * v >> 8;
          if (op == OVERLAY) v = v < 128 ? 2 * v * cc / 255 : 2 * (v + cc - v * cc / 255) - 255;
          if (op == REVERSE) v = 255 - v;
          if (op == SEPIA || op == SEPIA_LEVEL) v = ((2049 - w) * cc + w * lt[k]) >> 11;
          if (op == SEPIA_LEVEL) v = (h * q[k] + (257 - h) * v) / 256;
          q[k] = static_cast<uint8_t>(v);
        }
      }
    int result = 0;
    if (op == FILL) result = page_fill_rect(p, r, colour);
    if (op == BLEND_FILL) result = page_blend_fill(p, r, colour, b);
    if (op == MUL_FILL) result = page_mul_fill_kernel(p, r, colour);
    if (op == OVERLAY) result = page_overlay_fill_kernel(p, r, colour);
    if (op == REVERSE) result = page_reverse_kernel(p, r);
    if (op == SEPIA) result = page_sepia_kernel(p, r, colour, light, 0, 0);
    if (op == SEPIA_LEVEL) result = page_sepia_kernel(p, r, colour, light, 1, level);
    EXPECT_EQ(result, empty ? 1 : 0);
    ASSERT_EQ(page_diff(p, want), "") << "trial " << trial << " op " << op;
    page_free_all_at_exit();
  }
}

TEST_F(Kernels, ToningAnEightBitPageTonesItsPalette) {
  page* g = page_new_gray8(4, 4, 0);
  EXPECT_EQ(page_sepia_kernel(g, page_rect{3, 3, 5, 5}, 0x000000, 0xFFFFFF, 0, 0), 0);
  EXPECT_EQ(g->palette[0].red, (1 * 255) >> 11);
  EXPECT_EQ(g->palette[255].red, (1786 * 255) >> 11);
  EXPECT_EQ(page_row(g, 3)[3], 0);  // pixels untouched
  // A rectangle off the page tones nothing; colour operations leave 8-bit pages alone.
  EXPECT_EQ(page_sepia_kernel(g, page_rect{4, 0, 1, 1}, 0, 0, 0, 0), 1);
  EXPECT_EQ(g->palette[255].red, (1786 * 255) >> 11);
  EXPECT_EQ(page_reverse_kernel(g, page_rect{0, 0, 2, 2}), 1);
}

#ifndef NDEBUG
TEST_F(Kernels, UnclippedRectanglesAssertInDebugBuilds) {
  page* a = page_new_rgb24(8, 8, 0);
  page* b = page_new_rgb24(8, 8, 0);
  EXPECT_DEATH(page_blend_kernel(a, page_rect{4, 0, 5, 2}, b, page_rect{0, 0, 0, 0}, 0), "");
  EXPECT_DEATH(page_add_kernel(a, page_rect{0, 0, 4, 4}, b, page_rect{6, 6, 0, 0}, 0), "");
  EXPECT_DEATH(page_copy_kernel(a, page_rect{-1, 0, 4, 4}, b, page_rect{0, 0, 0, 0}), "");
  EXPECT_DEATH(page_alpha_copy_kernel(a, page_rect{0, 0, 4, 9}, b, page_rect{0, 0, 0, 0}, 0), "");
}
#endif
