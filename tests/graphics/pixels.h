// Helpers for the graphics tests: random pages, pixel access and whole-page comparison.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "graphics/gfx_id.h"
#include "graphics/page.h"
#include "test_support.h"

// Every graphics test starts and ends with no pages and a fresh id count.
class graphics_test : public engine_test {
 protected:
  void SetUp() override {
    engine_test::SetUp();
    page_free_all_at_exit();
    gfx_id_reset();
  }
  void TearDown() override {
    page_free_all_at_exit();
    gfx_id_reset();
    engine_test::TearDown();
  }
  std::mt19937 rng{12345};

  int rnd(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); }

  // Random pixels, palette and padding bytes. skewed: runs of 0 and 255 with some values between,
  // as transparency and masks look.
  void randomize(page* p, bool skewed = false) {
    for (int y = 0; y < p->height; y++) {
      uint8_t* row = page_row(p, y);
      for (int i = 0; i < p->stride; i++) row[i] = static_cast<uint8_t>(skewed ? skewed_byte() : rnd(0, 255));
    }
    if (p->palette)
      for (int i = 0; i < 256; i++)
        p->palette[i] = rgb_quad{static_cast<uint8_t>(rnd(0, 255)), static_cast<uint8_t>(rnd(0, 255)),
                                 static_cast<uint8_t>(rnd(0, 255)), 0};
  }
  int skewed_byte() {
    int r = rnd(0, 9);
    return r < 4 ? 0 : r < 7 ? 255 : rnd(0, 255);
  }
  page* random_page(int w, int h, bool is_8bit, bool skewed = false) {
    page* p = page_new(w, h, is_8bit, 0);
    randomize(p, skewed);
    return p;
  }
  page* random_alpha(page* parent, bool skewed = true) {
    page_alpha_set(parent, random_page(parent->width, parent->height, true, skewed));
    return parent->alpha;
  }
  page_rect random_rect_in(const page* p, int w, int h) { return page_rect{rnd(0, p->width - w), rnd(0, p->height - h), w, h}; }
  // A rectangle that starts up to `before` pixels before the page and may reach past its end, for
  // the kernels that clip for themselves.
  page_rect overhanging_rect(const page* p, int before, int max_w, int max_h, int min_size = 1) {
    return page_rect{rnd(-before, p->width - min_size), rnd(-before, p->height - min_size), rnd(min_size, max_w),
                     rnd(min_size, max_h)};
  }
};

// A page's rows as bytes, padding included (kernels must leave the padding alone).
inline std::vector<uint8_t> page_bytes(const page* p) {
  return std::vector<uint8_t>(p->bits, p->bits + static_cast<size_t>(p->stride) * p->height);
}

// A deep copy for references to work on.
inline page* page_clone(const page* p) {
  page* q = page_new(p->width, p->height, p->is_8bit, 0);
  memcpy(q->bits, p->bits, static_cast<size_t>(p->stride) * p->height);
  if (p->palette) memcpy(q->palette, p->palette, 256 * sizeof(rgb_quad));
  if (p->alpha) page_alpha_set(q, page_clone(p->alpha));
  return q;
}

inline uint8_t* px(const page* p, int x, int y) { return page_row(p, y) + static_cast<size_t>(x) * page_bytes_per_pixel(p); }

// The first difference between two pages of one shape, or an empty string.
inline std::string page_diff(const page* a, const page* b) {
  if (a->width != b->width || a->height != b->height || a->is_8bit != b->is_8bit) return "shapes differ";
  for (int y = 0; y < a->height; y++)
    for (int i = 0; i < a->stride; i++)
      if (page_row(a, y)[i] != page_row(b, y)[i])
        return "row " + std::to_string(y) + " byte " + std::to_string(i) + ": " + std::to_string(page_row(a, y)[i]) +
               " vs " + std::to_string(page_row(b, y)[i]);
  return "";
}

// Runs a reference on a copy of dst and the kernel on dst itself; the first difference between
// them (alpha pages included), or an empty string.
template <class Ref, class Kernel>
std::string against_reference(page* dst, Ref&& ref, Kernel&& kernel) {
  page* want = page_clone(dst);
  ref(want);
  kernel(dst);
  std::string diff = page_diff(dst, want);
  if (diff.empty() && dst->alpha) diff = page_diff(dst->alpha, want->alpha);
  return diff;
}
