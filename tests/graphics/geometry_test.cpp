// Copies within and between pages, the nearest-neighbour stretch and the rotating modify copy,
// against plain references.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "graphics/kernel.h"
#include "graphics/scaler.h"
#include "pixels.h"

namespace {
void copy_pixel(const page* src, const uint8_t* s, const page* dst, uint8_t* d) {
  if (src->is_8bit == dst->is_8bit) {
    memcpy(d, s, static_cast<size_t>(page_bytes_per_pixel(src)));
  } else {
    const rgb_quad& q = src->palette[*s];
    d[0] = q.blue, d[1] = q.green, d[2] = q.red;
  }
}

// The stretch as written: clip with the ratio kept, then error stepping row by row and pixel by
// pixel.
void ref_stretch(const page* src, page_rect sr, page* dst, page_rect dr) {
  page_rect g = sr;
  if (page_clip_rect(src, &sr)) return;
  if (sr.width != g.width) {
    if (g.x < 0) dr.x += static_cast<int>(-static_cast<int64_t>(g.x) * dr.width / g.width);
    dr.width = static_cast<int>(static_cast<int64_t>(dr.width) * sr.width / g.width);
  }
  if (sr.height != g.height) {
    if (g.y < 0) dr.y += static_cast<int>(-static_cast<int64_t>(g.y) * dr.height / g.height);
    dr.height = static_cast<int>(static_cast<int64_t>(dr.height) * sr.height / g.height);
  }
  g = dr;
  if (page_clip_rect(dst, &dr)) return;
  if (dr.width != g.width) {
    if (g.x < 0) sr.x += static_cast<int>(-static_cast<int64_t>(g.x) * sr.width / g.width);
    sr.width = static_cast<int>(static_cast<int64_t>(sr.width) * dr.width / g.width);
  }
  if (dr.height != g.height) {
    if (g.y < 0) sr.y += static_cast<int>(-static_cast<int64_t>(g.y) * sr.height / g.height);
    sr.height = static_cast<int>(static_cast<int64_t>(sr.height) * dr.height / g.height);
  }
  if (sr.width <= 0 || sr.height <= 0) return;
  int sw = sr.width, dw = dr.width, sh = sr.height, dh = dr.height;
  auto produce = [&](int srow, int drow) {
    auto put = [&](int k, int i) { copy_pixel(src, px(src, sr.x + i, sr.y + srow), dst, px(dst, dr.x + k, dr.y + drow)); };
    if (sw == dw) {
      for (int i = 0; i < sw; i++) put(i, i);
    } else if (sw > dw) {
      for (int i = 0, e = sw / 2, k = 0; i < sw; i++) {
        e -= dw;
        if (e < 0) put(k++, i), e += sw;
      }
    } else {
      put(0, 0);
      for (int k = 1, e = dw - 1, i = 0; k < dw; k++) {
        if (e - sw < 0) i++, e += dw;
        e -= sw;
        put(k, i);
      }
    }
  };
  if (sh >= dh) {
    for (int s = 0, e = sh / 2, d = 0; s < sh; s++) {
      e -= dh;
      if (e < 0) produce(s, d++), e += sh;
    }
  } else {
    produce(0, 0);
    for (int d = 1, e = dh - 1, s = 0; d < dh; d++) {
      e -= sh;
      if (e >= 0) {
        memcpy(px(dst, dr.x, dr.y + d), px(dst, dr.x, dr.y + d - 1), static_cast<size_t>(dw) * page_bytes_per_pixel(dst));
      } else {
        s++, e += dh;
        produce(s, d);
      }
    }
  }
}

// The rotation as written: each destination pixel's source point computed from the start.
void ref_rotate(const page* src, page_rect sr, page* dst, page_rect dr, double angle, double kx, double ky) {
  page_rect cs = sr, cd = dr;
  if (page_clip_rect(src, &cs) || page_clip_rect(dst, &cd)) return;
  double t = -angle * 0.017453292519444445;
  int64_t h = static_cast<int32_t>(std::cos(t) * 65536 / kx), d = static_cast<int32_t>(std::sin(t) * 65536 / ky);
  int64_t g = static_cast<int32_t>(-std::sin(t) * 65536 / kx), c = static_cast<int32_t>(std::cos(t) * 65536 / ky);
  int64_t scx = sr.x + sr.width / 2, scy = sr.y + sr.height / 2, dcx = dr.x + dr.width / 2, dcy = dr.y + dr.height / 2;
  for (int y = cd.y; y < cd.y + cd.height; y++) {
    bool entered = false;
    for (int x = cd.x; x < cd.x + cd.width; x++) {
      int64_t sx = scx * 65536 + h * (x - dcx) + g * (y - dcy), sy = scy * 65536 + d * (x - dcx) + c * (y - dcy);
      bool inside = sx >= cs.x * 65536LL && sx < (cs.x + cs.width) * 65536LL && sy >= cs.y * 65536LL &&
                    sy < (cs.y + cs.height) * 65536LL;
      if (!inside) {
        if (entered) break;
        continue;
      }
      entered = true;
      int ix = static_cast<int>(sx >> 16), iy = static_cast<int>(sy >> 16);
      copy_pixel(src, px(src, ix, iy), dst, px(dst, x, y));
      if (page_alpha_usable(dst)) *px(dst->alpha, x, y) = page_alpha_usable(src) ? *px(src->alpha, ix, iy) : 0;
    }
  }
}

// The stretch and the rotation on dst against their references: the first difference, or "".
std::string stretch_diff(const page* src, page_rect sr, page* dst, page_rect dr) {
  return against_reference(
      dst, [&](page* want) { ref_stretch(src, sr, want, dr); }, [&](page* out) { page_stretch_kernel(src, sr, out, dr); });
}

std::string rotate_diff(const page* src, page_rect sr, page* dst, page_rect dr, double angle, double kx, double ky) {
  return against_reference(
      dst, [&](page* want) { ref_rotate(src, sr, want, dr, angle, kx, ky); },
      [&](page* out) { page_modify_copy_kernel(src, sr, out, dr, angle, kx, ky); });
}
}  // namespace

using Geometry = graphics_test;

TEST_F(Geometry, CopiesWithinOnePageFollowTheRowOrder) {
  for (int trial = 0; trial < 40; trial++) {
    bool is_8bit = trial % 2;
    page* p = random_page(rnd(8, 40), rnd(8, 20), is_8bit);
    int w = rnd(1, p->width - 3), h = rnd(1, p->height - 3);
    page_rect sr = random_rect_in(p, w, h);
    // Moves of a row or a few pixels overlap the source.
    page_rect dr{std::clamp(sr.x + rnd(-3, 3), 0, p->width - w), std::clamp(sr.y + rnd(-2, 2), 0, p->height - h), 0, 0};
    page* copy_want = page_clone(p);
    page* source = page_clone(p);
    page_copy_kernel(source, sr, copy_want, dr);
    page* blend_want = page_clone(p);
    page_blend_kernel(source, sr, blend_want, dr, 100);
    page* blended = page_clone(p);

    page_copy_kernel(p, sr, p, dr);
    ASSERT_EQ(page_diff(p, copy_want), "") << "copy, trial " << trial;
    page_blend_kernel(blended, sr, blended, dr, 100);
    ASSERT_EQ(page_diff(blended, blend_want), "") << "blend, trial " << trial;
    page_free_all_at_exit();
  }
  // Whole rows back to back (width 8 fills the 24-byte stride) move as one block, down and up.
  for (int dy : {1, -1}) {
    page* p = random_page(8, 6, false);
    page* want = page_clone(p);
    page* source = page_clone(p);
    page_rect sr{0, 1, 8, 4}, dr{0, 1 + dy, 0, 0};
    page_copy_kernel(source, sr, want, dr);
    page_copy_kernel(p, sr, p, dr);
    EXPECT_EQ(page_diff(p, want), "") << dy;
  }
}

TEST_F(Geometry, CopyAndSwapBetweenPages) {
  for (int trial = 0; trial < 30; trial++) {
    bool s8 = rnd(0, 1), d8 = s8 && rnd(0, 1);
    int w = rnd(1, 50), h = rnd(1, 5);
    page* src = random_page(w + 4, h + 2, s8);
    page* dst = random_page(w + 2, h + 4, d8);
    page_rect sr = random_rect_in(src, w, h), dr = random_rect_in(dst, w, h);
    page* want = page_clone(dst);
    for (int y = 0; y < h; y++)
      for (int x = 0; x < w; x++) copy_pixel(src, px(src, sr.x + x, sr.y + y), want, px(want, dr.x + x, dr.y + y));
    page* src_before = page_clone(src);
    page* dst_before = page_clone(dst);
    page_copy_kernel(src, sr, dst, dr);
    ASSERT_EQ(page_diff(dst, want), "") << trial;

    if (s8 != d8) continue;
    page* a = page_clone(src_before);
    page* b = page_clone(dst_before);
    page_swap_kernel(a, sr, b, dr);
    page* want_a = page_clone(src_before);
    page_copy_kernel(dst_before, dr, want_a, sr);
    ASSERT_EQ(page_diff(a, want_a), "") << trial;
    ASSERT_EQ(page_diff(b, want), "") << trial;
    page_free_all_at_exit();
  }
  // Mixed depths swap nothing.
  page* a = random_page(4, 4, true);
  page* b = random_page(4, 4, false);
  page* a0 = page_clone(a);
  page_swap_kernel(a, page_rect{0, 0, 4, 4}, b, page_rect{0, 0, 4, 4});
  EXPECT_EQ(page_diff(a, a0), "");
}

TEST_F(Geometry, StretchMatchesTheStepping) {
  for (int trial = 0; trial < 80; trial++) {
    bool s8 = rnd(0, 1), d8 = s8 && rnd(0, 1);
    page* src = random_page(rnd(1, 40), rnd(1, 30), s8);
    page* dst = random_page(rnd(1, 60), rnd(1, 40), d8);
    // Rectangles hang over the edges: the stretch clips both and keeps the ratio.
    page_rect sr = overhanging_rect(src, 10, 45, 35), dr = overhanging_rect(dst, 15, 80, 50);
    ASSERT_EQ(stretch_diff(src, sr, dst, dr), "")
        << "trial " << trial;
    page_free_all_at_exit();
  }
}

TEST_F(Geometry, StretchEdges) {
  page* src = page_new_gray8(6, 1, 0);
  for (int i = 0; i < 6; i++) page_row(src, 0)[i] = static_cast<uint8_t>(10 + i);
  page* dst = page_new_gray8(6, 1, 0);
  page_stretch_kernel(src, page_rect{0, 0, 3, 1}, dst, page_rect{0, 0, 6, 1});
  const uint8_t twice[6] = {10, 10, 11, 11, 12, 12};
  EXPECT_TRUE(std::equal(twice, twice + 6, page_row(dst, 0)));
  memset(page_row(dst, 0), 0, 6);
  page_stretch_kernel(src, page_rect{0, 0, 6, 1}, dst, page_rect{0, 0, 3, 1});
  const uint8_t odd[3] = {11, 13, 15};  // pixels 1, 3, 5
  EXPECT_TRUE(std::equal(odd, odd + 3, page_row(dst, 0)));

  // A 24-bit stretch ending at the last pixel of the last row writes nothing past the rectangle.
  page* s24 = random_page(3, 3, false);
  page* d24 = random_page(8, 3, false);
  page* want = page_clone(d24);
  ref_stretch(s24, page_rect{0, 0, 3, 3}, want, page_rect{1, 0, 7, 3});
  page_stretch_kernel(s24, page_rect{0, 0, 3, 3}, d24, page_rect{1, 0, 7, 3});
  EXPECT_EQ(page_diff(d24, want), "");
}

TEST_F(Geometry, StretchOfWideRowsMatchesTheStepping) {
  // Wide enough for rows gathered in blocks: enlargements by whole and uneven factors (rows
  // repeated two and three times), slight shrinks, and the palette route, on separate pages.
  const int sizes[][4] = {{100, 40, 200, 80}, {70, 30, 210, 90}, {97, 33, 250, 41}, {120, 20, 111, 19},
                          {64, 16, 65, 16},   {33, 50, 200, 60}, {200, 10, 100, 30}};
  int trial = 0;
  for (const auto& z : sizes)
    for (int depths = 0; depths < 3; depths++, trial++) {
      bool s8 = depths > 0, d8 = depths == 2;
      page* src = random_page(z[0] + 3, z[1] + 2, s8);
      page* dst = random_page(z[2] + 5, z[3] + 1, d8);
      page_rect sr{2, 1, z[0], z[1]}, dr{3, 0, z[2], z[3]};
      ASSERT_EQ(stretch_diff(src, sr, dst, dr), "")
          << "trial " << trial;
      page_free_all_at_exit();
    }
}

TEST_F(Geometry, RotationOfLargePagesMatchesTheInverseMapping) {
  // Rows longer than the tiles and runs long enough for the eight-pixel steps, every depth pair,
  // with alpha pages on one side, both or neither.
  for (int trial = 0; trial < 24; trial++) {
    bool s8 = trial % 3 != 0, d8 = trial % 3 == 2;
    page* src = random_page(rnd(300, 700), rnd(20, 90), s8);
    page* dst = random_page(rnd(520, 1100), rnd(20, 60), d8);
    if (trial % 2) random_alpha(dst, false);
    if (trial % 4 == 1 || trial % 4 == 2) random_alpha(src, false);
    double angle = rnd(-3600, 3600) / 10.0, kx = rnd(40, 250) / 100.0, ky = (trial % 5 ? 1 : -1) * rnd(40, 250) / 100.0;
    page_rect sr{rnd(-20, 20), rnd(-5, 5), src->width, src->height}, dr{rnd(-30, 30), rnd(-5, 5), dst->width, dst->height};
    ASSERT_EQ(rotate_diff(src, sr, dst, dr, angle, kx, ky), "")
        << "trial " << trial << " angle " << angle;
    page_free_all_at_exit();
  }
}

TEST_F(Geometry, RotationOntoItsOwnPageReadsAsThePlainWalk) {
  // Source and destination in one page: each pixel reads what the row-by-row walk left there, so
  // pixels written earlier in the walk feed later ones.
  for (bool is_8bit : {false, true}) {
    page* p = random_page(90, 70, is_8bit);
    random_alpha(p, false);
    page* want = page_clone(p);
    page_rect sr{5, 3, 80, 60}, dr{0, 0, 90, 70};
    ref_rotate(want, sr, want, dr, 33, 1.2, 0.9);
    page_modify_copy_kernel(p, sr, p, dr, 33, 1.2, 0.9);
    EXPECT_EQ(page_diff(p, want), "");
    EXPECT_EQ(page_diff(p->alpha, want->alpha), "");
    page_free_all_at_exit();
  }
}

TEST_F(Geometry, RotationMatchesTheInverseMapping) {
  for (int trial = 0; trial < 400; trial++) {
    bool s8 = rnd(0, 1), d8 = s8 && rnd(0, 1);
    page* src = random_page(rnd(2, 40), rnd(2, 40), s8);
    page* dst = random_page(rnd(2, 50), rnd(2, 50), d8);
    if (trial % 3 == 0) random_alpha(dst);
    if (trial % 6 == 0) random_alpha(src);
    page_rect sr = overhanging_rect(src, 5, 40, 40), dr = overhanging_rect(dst, 5, 50, 50);
    // Quarter turns put steps at 0 exactly; unrotated negative scales mirror.
    const double exact[] = {0, 90, 180, 270, -90, 45};
    double angle = trial % 5 == 0 ? exact[rnd(0, 5)] : rnd(-720, 720) + rnd(0, 99) / 100.0;
    double kx = (rnd(0, 1) ? 1 : -1) * rnd(3, 300) / 100.0, ky = (rnd(0, 3) ? 1 : -1) * rnd(3, 300) / 100.0;
    if (angle == 0 && kx > 0 && ky > 0) kx = -kx;  // stay on the rotation path
    ASSERT_EQ(rotate_diff(src, sr, dst, dr, angle, kx, ky), "")
        << "trial " << trial << " angle " << angle;
    page_free_all_at_exit();
  }
}

TEST_F(Geometry, ModifyCopyEdges) {
  page* src = random_page(4, 4, false);
  page* dst = random_page(10, 10, false);
  page* want = page_clone(dst);

  // A whole turn at scale 1 is a plain copy to the destination rectangle's centre.
  page_copy_kernel(src, page_rect{0, 0, 4, 4}, want, page_rect{3 + (6 - 4 + 1) / 2, 2 + (8 - 4 + 1) / 2, 0, 0});
  page_modify_copy_kernel(src, page_rect{0, 0, 4, 4}, dst, page_rect{3, 2, 6, 8}, 360, 1, 1);
  EXPECT_EQ(page_diff(dst, want), "");

  // Scale 0.001 draws nothing; so does a 24-bit source onto an 8-bit page.
  page_modify_copy_kernel(src, page_rect{0, 0, 4, 4}, dst, page_rect{0, 0, 10, 10}, 30, 0.001, 1);
  page* grey = random_page(10, 10, true);
  page* grey0 = page_clone(grey);
  page_modify_copy_kernel(src, page_rect{0, 0, 4, 4}, grey, page_rect{0, 0, 10, 10}, 30, 1, 1);
  EXPECT_EQ(page_diff(dst, want), "");
  EXPECT_EQ(page_diff(grey, grey0), "");

  // A quarter turn of a square: destination (x, y) shows source (y, 4 - x); the centre lies on a
  // pixel corner, so column 0 samples outside the source and stays as it was.
  page* sq = random_page(4, 4, false);
  page* out = random_page(4, 4, false);
  page* out0 = page_clone(out);
  page_modify_copy_kernel(sq, page_rect{0, 0, 4, 4}, out, page_rect{0, 0, 4, 4}, 90, 1, 1);
  for (int y = 0; y < 4; y++) {
    EXPECT_EQ(memcmp(px(out, 0, y), px(out0, 0, y), 3), 0);
    for (int x = 1; x < 4; x++) EXPECT_EQ(memcmp(px(out, x, y), px(sq, y, 4 - x), 3), 0) << x << "," << y;
  }
}

TEST_F(Geometry, UnrotatedScalingCarriesTheAlphaPages) {
  page* src = random_page(30, 30, false);
  page* dst = random_page(60, 60, false);
  random_alpha(dst);
  page* want = page_clone(dst);
  page_rect sr{0, 0, 30, 30}, dr{0, 0, 60, 60};
  HQGrpModifyCopy(src, sr, want, dr, 2, 2);
  page_fill_rect(want->alpha, dr, 0);  // no source alpha: the rectangle becomes opaque
  page_modify_copy_kernel(src, sr, dst, dr, 0, 2, 2);
  EXPECT_EQ(page_diff(dst, want), "");
  EXPECT_EQ(page_diff(dst->alpha, want->alpha), "");

  random_alpha(src);
  HQGrpModifyCopy(src->alpha, sr, want->alpha, dr, 2, 2);
  page_modify_copy_kernel(src, sr, dst, dr, 720, 2, 2);
  EXPECT_EQ(page_diff(dst->alpha, want->alpha), "");
}

TEST_F(Geometry, ScalingAnEightBitSourceOntoFullColourDrawsThroughThePalette) {
  page* src = random_page(20, 16, true);
  page* wide = page_new_rgb24(20, 16, 0);
  page_copy_kernel(src, page_rect{0, 0, 20, 16}, wide, page_rect{0, 0, 0, 0});
  page* dst = random_page(50, 40, false);
  page* want = page_clone(dst);
  // The source rectangle hangs over the page's left edge: its centre must stay where it was.
  page_rect sr{-4, 2, 20, 14}, dr{0, 0, 50, 40};
  HQGrpModifyCopy(wide, sr, want, dr, 1.5, 2.5);
  int pages = page_count();
  page_modify_copy_kernel(src, sr, dst, dr, 0, 1.5, 2.5);
  EXPECT_EQ(page_diff(dst, want), "");
  EXPECT_EQ(page_count(), pages);  // the expanded copy is gone again
}
