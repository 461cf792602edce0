// The bilinear scaler against a per-pixel reference of its fixed-point rules, and its bands.
#include <gtest/gtest.h>

#include "graphics/scaler.h"
#include "pixels.h"

namespace {
// The scaler as written, one destination pixel at a time; fails the test when a sample or its
// neighbours would leave the clipped source.
void ref_scale(const page* src, page_rect sr, page* dst, page_rect dr, double kx, double ky) {
  if (src->is_8bit != dst->is_8bit) return;
  int64_t scx = sr.x + sr.width / 2, scy = sr.y + sr.height / 2, dcx = dr.x + dr.width / 2, dcy = dr.y + dr.height / 2;
  page_rect cs = sr, cd = dr;
  if (page_clip_rect(src, &cs) || page_clip_rect(dst, &cd)) return;
  int64_t fx = static_cast<int32_t>(16384 / kx), fy = static_cast<int32_t>(16384 / ky);
  int64_t gx = scx * 16384 + fx / 2 - fx * (dcx - cd.x) - 8192, gy = scy * 16384 + fy / 2 - fy * (dcy - cd.y) - 8192;
  while (cd.width > 0 && gx < cs.x * 16384) cd.x++, cd.width--, gx += fx;
  while (cd.width > 0 && gx + fx * (cd.width - 1) >= (cs.x + cs.width) * 16384 - 16384) cd.width--;
  while (cd.height > 0 && gy < cs.y * 16384) cd.y++, cd.height--, gy += fy;
  while (cd.height > 0 && gy + fy * (cd.height - 1) >= (cs.y + cs.height) * 16384 - 16384) cd.height--;
  int bpp = page_bytes_per_pixel(src);
  auto sample = [&](int64_t x, int y, int ch) {
    EXPECT_TRUE(x >= cs.x && x < cs.x + cs.width && y >= cs.y && y < cs.y + cs.height) << x << "," << y;
    return static_cast<int64_t>(px(src, static_cast<int>(x), y)[ch]);
  };
  for (int r = 0; r < cd.height; r++) {
    int64_t y = gy + r * fy;
    int sy = static_cast<int>(y >> 14), a = static_cast<int>((y >> 6) & 255);
    for (int c = 0; c < cd.width; c++)
      for (int ch = 0; ch < bpp; ch++) {
        int64_t upper, lower;
        if (fx == 16384) {
          int64_t p = (gx >> 14) + c;
          upper = sample(p, sy, ch), lower = sample(p, sy + 1, ch);
        } else {
          int64_t x = gx + c * fx, p = x >> 14, f = x & 16383;
          upper = (sample(p, sy, ch) * (16384 - f) + sample(p + 1, sy, ch) * f) >> 14;
          lower = (sample(p, sy + 1, ch) * (16384 - f) + sample(p + 1, sy + 1, ch) * f) >> 14;
        }
        px(dst, cd.x + c, cd.y + r)[ch] = static_cast<uint8_t>(((a + 1) * lower + (256 - a) * upper) >> 8);
      }
  }
}
}  // namespace

using Scaler = graphics_test;
using ScalerThreaded = graphics_test;

TEST_F(Scaler, MatchesTheFixedPointRules) {
  for (int trial = 0; trial < 60; trial++) {
    bool is_8bit = trial % 3 == 0;
    page* src = random_page(rnd(2, 50), rnd(2, 50), is_8bit);
    page* dst = random_page(rnd(2, 90), rnd(2, 90), is_8bit);
    page_rect sr = overhanging_rect(src, 6, 55, 55, 2), dr = overhanging_rect(dst, 6, 100, 100, 2);
    // Plain factors, the no-horizontal-scaling path, and arbitrary ones.
    const double plain[] = {2.0, 0.5, 1.0, 3.0, 1.5};
    double kx = trial % 4 == 0 ? 1.0 : trial % 4 == 1 ? plain[rnd(0, 4)] : rnd(20, 400) / 100.0;
    double ky = trial % 4 == 1 ? plain[rnd(0, 4)] : rnd(20, 400) / 100.0;
    ASSERT_EQ(against_reference(
                  dst, [&](page* want) { ref_scale(src, sr, want, dr, kx, ky); },
                  [&](page* out) { hq_modify_copy_bands(src, sr, out, dr, kx, ky, 1); }),
              "")
        << "trial " << trial << " scales " << kx << " " << ky;
    page_free_all_at_exit();
  }
}

TEST_F(Scaler, DoublingAlternatesTheWeights) {
  // A ramp of 16 per pixel doubled: sample positions fall a quarter and three quarters between
  // source pixels, so the destination climbs by 8 with offsets 4 and 12 alternating.
  page* src = page_new_gray8(8, 4, 0);
  for (int y = 0; y < 4; y++)
    for (int x = 0; x < 8; x++) page_row(src, y)[x] = static_cast<uint8_t>(16 * x);
  page* dst = page_new_gray8(16, 8, 0);
  memset(dst->bits, 0xEE, static_cast<size_t>(dst->stride) * dst->height);
  HQGrpModifyCopy(src, page_rect{0, 0, 8, 4}, dst, page_rect{0, 0, 16, 8}, 2.0, 2.0);
  uint8_t* row = page_row(dst, 3);
  EXPECT_EQ(row[0], 0xEE);  // trimmed: its sample would lie left of the source
  EXPECT_EQ(row[15], 0xEE);  // trimmed: no right neighbour
  for (int c = 1; c <= 14; c++) EXPECT_EQ(row[c], 8 * (c - 1) + 4) << c;
}

TEST_F(Scaler, HalvingRowsWithoutHorizontalScaling) {
  // Scale 1 across and 0.5 down: each destination row mixes a pair of source rows at one level.
  page* src = random_page(12, 20, false);
  page* dst = random_page(12, 10, false);
  page* want = page_clone(dst);
  ref_scale(src, page_rect{0, 0, 12, 20}, want, page_rect{0, 0, 12, 10}, 1.0, 0.5);
  HQGrpModifyCopy(src, page_rect{0, 0, 12, 20}, dst, page_rect{0, 0, 12, 10}, 1.0, 0.5);
  EXPECT_EQ(page_diff(dst, want), "");
}

TEST_F(Scaler, RefusesMixedDepthsAndEmptyJobs) {
  page* src = random_page(10, 10, false);
  page* dst = random_page(20, 20, true);
  page* before = page_clone(dst);
  testing::internal::CaptureStderr();
  HQGrpModifyCopy(src, page_rect{0, 0, 10, 10}, dst, page_rect{0, 0, 20, 20}, 2, 2);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "HQGrpModifyCopy NotSupportFormat\n");
  EXPECT_EQ(page_diff(dst, before), "");

  page* d24 = random_page(20, 20, false);
  page* d24_before = page_clone(d24);
  HQGrpModifyCopy(src, page_rect{0, 0, 10, 10}, d24, page_rect{30, 0, 20, 20}, 2, 2);  // off the page
  HQGrpModifyCopy(src, page_rect{0, 0, 10, 10}, d24, page_rect{0, 0, 20, 20}, 0, 2);   // no step
  HQGrpModifyCopy(src, page_rect{0, 0, 1, 1}, d24, page_rect{0, 0, 20, 20}, 2, 2);     // no neighbours
  EXPECT_EQ(page_diff(d24, d24_before), "");
}

TEST_F(Scaler, BandCountFollowsRowsAndProcessors) {
  EXPECT_EQ(hq_band_count(99, 8), 1);
  EXPECT_EQ(hq_band_count(100, 8), 8);
  EXPECT_EQ(hq_band_count(100, 64), 8);
  EXPECT_EQ(hq_band_count(500, 7), 4);
  EXPECT_EQ(hq_band_count(500, 4), 4);
  EXPECT_EQ(hq_band_count(500, 3), 2);
  EXPECT_EQ(hq_band_count(500, 1), 1);
}

TEST_F(ScalerThreaded, BandsGiveIdenticalPictures) {
  for (bool is_8bit : {false, true}) {
    page* src = random_page(800, 600, is_8bit);
    page* one = page_new(1600, 1200, is_8bit, 0);
    page_rect sr{0, 0, 800, 600}, dr{0, 0, 1600, 1200};
    hq_modify_copy_bands(src, sr, one, dr, 2.0, 2.0, 1);
    for (int bands : {2, 3, 8}) {
      page* many = page_new(1600, 1200, is_8bit, 0);
      hq_modify_copy_bands(src, sr, many, dr, 2.0, 2.0, bands);
      ASSERT_EQ(page_diff(many, one), "") << bands << " bands";
      page_free(many, 1);
    }
    // Fewer destination rows than bands: the early bands are empty, the last takes them all.
    page* tiny_one = page_new(400, 5, is_8bit, 0);
    page* tiny_many = page_new(400, 5, is_8bit, 0);
    hq_modify_copy_bands(src, sr, tiny_one, page_rect{0, 0, 400, 5}, 0.5, 0.01, 1);
    hq_modify_copy_bands(src, sr, tiny_many, page_rect{0, 0, 400, 5}, 0.5, 0.01, 8);
    ASSERT_EQ(page_diff(tiny_many, tiny_one), "");
    page_free_all_at_exit();
  }
}

TEST_F(ScalerThreaded, BandsWhoseThreadsCannotStartRunInline) {
  page* src = random_page(300, 200, false);
  page* one = page_new_rgb24(450, 500, 0);
  page* refused = page_new_rgb24(450, 500, 0);
  page_rect sr{0, 0, 300, 200}, dr{0, 0, 450, 500};
  hq_modify_copy_bands(src, sr, one, dr, 1.5, 2.5, 1);
  hq_refuse_thread_starts = 5;  // five of the seven workers fail to start
  hq_modify_copy_bands(src, sr, refused, dr, 1.5, 2.5, 8);
  EXPECT_EQ(hq_refuse_thread_starts, 0);
  EXPECT_EQ(page_diff(refused, one), "");

  // The public entry picks its bands from the processor count; the picture is the same.
  page* chosen = page_new_rgb24(450, 500, 0);
  HQGrpModifyCopy(src, sr, chosen, dr, 1.5, 2.5);
  EXPECT_EQ(page_diff(chosen, one), "");
}

TEST_F(ScalerThreaded, WorkersServeJobAfterJob) {
  // The workers stay between jobs: jobs of every band count and size, one after another, each
  // against its one-band picture; stopping the workers in between only means they start again.
  page* src = random_page(400, 300, false);
  for (int job = 0; job < 24; job++) {
    int bands = 1 + job % 8;
    page_rect sr{rnd(-20, 100), rnd(-20, 100), rnd(100, 300), rnd(100, 200)};
    double kx = rnd(50, 300) / 100.0, ky = rnd(50, 300) / 100.0;
    page* one = page_new_rgb24(500, 400, 0);
    page* many = page_new_rgb24(500, 400, 0);
    page_rect dr{0, 0, 500, 400};
    hq_modify_copy_bands(src, sr, one, dr, kx, ky, 1);
    hq_modify_copy_bands(src, sr, many, dr, kx, ky, bands);
    ASSERT_EQ(page_diff(many, one), "") << "job " << job << ", " << bands << " bands";
    page_free(one, 1);
    page_free(many, 1);
    if (job == 10) hq_workers_stop();
  }
  // Workers that already run can still be refused; their bands run on the caller.
  page* one = page_new_rgb24(450, 500, 0);
  page* refused = page_new_rgb24(450, 500, 0);
  page_rect sr{0, 0, 300, 200}, dr{0, 0, 450, 500};
  hq_modify_copy_bands(src, sr, one, dr, 1.5, 2.5, 1);
  hq_refuse_thread_starts = 7;
  hq_modify_copy_bands(src, sr, refused, dr, 1.5, 2.5, 8);
  EXPECT_EQ(hq_refuse_thread_starts, 0);
  EXPECT_EQ(page_diff(refused, one), "");
  hq_workers_stop();
}

TEST_F(ScalerThreaded, ASeriesIsItsCallsInTurn) {
  // Random overlapping pairs, grid cells, both depths, the no-horizontal-scaling path, every band
  // count.
  for (int trial = 0; trial < 24; trial++) {
    double kx = trial % 4 == 1 ? 1.0 : rnd(60, 260) / 100.0, ky = rnd(60, 260) / 100.0;
    page* src = random_page(300, 240, trial % 3 == 2);
    page* want = random_page(400, 300, trial % 3 == 2);
    std::vector<hq_copy> copies(static_cast<size_t>(rnd(2, 12)));
    for (hq_copy& c : copies) {
      c.sr = overhanging_rect(src, 10, 160, 140, 2);
      c.dr = page_rect{rnd(-20, 380), rnd(-20, 280), static_cast<int>(c.sr.width * kx), static_cast<int>(c.sr.height * ky)};
    }
    if (trial % 2) {  // cells of a 4 x 3 grid with 2-pixel margins, some skipped, sources swapped in a row
      copies.clear();
      for (int i = 0; i < 12; i++) {
        if (rnd(0, 3) == 0) continue;
        page_rect sr{(trial % 4 == 1 ? i * 3 % 4 : i % 4) * 75 - 2, i / 4 * 80 - 2, 79, 84};
        copies.push_back({sr, page_rect{static_cast<int>((i % 4 * 75 - 2) * kx), static_cast<int>(sr.y * ky),
                                        static_cast<int>(79 * kx), static_cast<int>(84 * ky)}});
      }
    }
    page* before = page_clone(want);
    for (const hq_copy& c : copies) hq_modify_copy_bands(src, c.sr, want, c.dr, kx, ky, 1);
    for (int bands : {1, 3, 8, 0}) {
      page* out = page_clone(before);
      hq_modify_copy_series(src, out, copies.data(), static_cast<int>(copies.size()), kx, ky, bands);
      ASSERT_EQ(page_diff(out, want), "") << "trial " << trial << ", " << bands << " bands";
    }
    page_free_all_at_exit();
  }
}
