// Mpixel/s of the hot pixel kernels on whole 800x600 and 1920x1080 pages, against memcpy of the
// same bytes and, where it has the operation, pixman on the same pixels.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench_ratio.h"
#include "graphics/kernel.h"
#include "graphics/page.h"

#ifdef VASK_HAVE_PIXMAN
#include <pixman.h>
#endif

namespace {
struct size2 {
  int w, h;
  std::string tag() const { return std::to_string(w) + "x" + std::to_string(h); }
};
const size2 SIZES[] = {{800, 600}, {1920, 1080}};

void fill_random(page* p, unsigned seed) {
  srand(seed);
  for (size_t i = 0; i < static_cast<size_t>(p->stride) * p->height; i++) p->bits[i] = static_cast<uint8_t>(rand());
}

// A sprite-like transparency: an opaque disc with a soft edge, transparent around it.
void fill_disc(page* a) {
  double cx = a->width / 2.0, cy = a->height / 2.0, r = 0.45 * (a->width < a->height ? a->width : a->height);
  for (int y = 0; y < a->height; y++)
    for (int x = 0; x < a->width; x++) {
      double d = std::hypot(x - cx, y - cy) - r;
      page_row(a, y)[x] = static_cast<uint8_t>(d <= 0 ? 0 : d >= 8 ? 255 : d * 32);
    }
}

// Source and destination pages of one size, made once per benchmark.
struct pair {
  page* src;
  page* dst;
  explicit pair(size2 s, int src_8bit = 0) {
    src = page_new(s.w, s.h, src_8bit, 0);
    dst = page_new_rgb24(s.w, s.h, 0);
    fill_random(src, 1);
    fill_random(dst, 2);
  }
  ~pair() {
    if (src->alpha) page_free(src->alpha, 1);
    page_free(src, 1);
    page_free(dst, 1);
  }
  page_rect all() const { return page_rect{0, 0, dst->width, dst->height}; }
};

void count(benchmark::State& state, size2 s) {
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * s.w * s.h);
}

void bm_memcpy(benchmark::State& state, size2 s) {
  pair p(s);
  size_t bytes = static_cast<size_t>(p.dst->stride) * s.h;
  for (auto _ : state) {
    memcpy(p.dst->bits, p.src->bits, bytes);
    benchmark::ClobberMemory();
  }
  count(state, s);
}

void bm_copy(benchmark::State& state, size2 s) {
  pair p(s);
  for (auto _ : state) page_copy_kernel(p.src, p.all(), p.dst, p.all());
  count(state, s);
}

void bm_blend(benchmark::State& state, size2 s) {
  pair p(s);
  for (auto _ : state) page_blend_kernel(p.src, p.all(), p.dst, p.all(), 128);
  count(state, s);
}

void bm_alpha(benchmark::State& state, size2 s, bool disc) {
  pair p(s);
  page_alpha_set(p.src, page_new_gray8(s.w, s.h, 0));
  if (disc)
    fill_disc(p.src->alpha);
  else
    fill_random(p.src->alpha, 3);
  for (auto _ : state) page_alpha_copy_kernel(p.src, p.all(), p.dst, p.all(), 0);
  count(state, s);
}

void bm_fill(benchmark::State& state, size2 s) {
  pair p(s);
  for (auto _ : state) page_fill_rect(p.dst, p.all(), 0x336699);
  count(state, s);
}

void bm_stretch(benchmark::State& state, size2 s) {
  pair p(s);
  page_rect half{0, 0, s.w / 2, s.h / 2};
  for (auto _ : state) page_stretch_kernel(p.src, half, p.dst, p.all());
  count(state, s);
}

void bm_rotate(benchmark::State& state, size2 s) {
  pair p(s);
  for (auto _ : state) page_modify_copy_kernel(p.src, p.all(), p.dst, p.all(), 30, 1.0, 1.0);
  count(state, s);
}

#ifdef VASK_HAVE_PIXMAN
// pixman images over the pages' own memory (24-bit, the same bytes) or over 32-bit copies.
struct pixman_pair {
  std::vector<uint32_t> src32, dst32;
  pixman_image_t *src, *dst, *mask = nullptr;
  pixman_pair(pair& p, size2 s, bool wide) {
    if (wide) {
      src32.assign(static_cast<size_t>(s.w) * s.h, 0x00808080);
      dst32.assign(static_cast<size_t>(s.w) * s.h, 0x00404040);
      src = pixman_image_create_bits(PIXMAN_x8r8g8b8, s.w, s.h, src32.data(), s.w * 4);
      dst = pixman_image_create_bits(PIXMAN_x8r8g8b8, s.w, s.h, dst32.data(), s.w * 4);
    } else {
      src = pixman_image_create_bits(PIXMAN_r8g8b8, s.w, s.h, reinterpret_cast<uint32_t*>(p.src->bits), p.src->stride);
      dst = pixman_image_create_bits(PIXMAN_r8g8b8, s.w, s.h, reinterpret_cast<uint32_t*>(p.dst->bits), p.dst->stride);
    }
  }
  ~pixman_pair() {
    pixman_image_unref(src);
    pixman_image_unref(dst);
    if (mask) pixman_image_unref(mask);
  }
};

void bm_pixman(benchmark::State& state, size2 s, bool wide, int what) {
  enum { COPY, BLEND, ALPHA };
  pair p(s);
  pixman_pair x(p, s, wide);
  pixman_op_t op = PIXMAN_OP_SRC;
  if (what == BLEND) {
    pixman_color_t half = {0, 0, 0, 0x8000};
    x.mask = pixman_image_create_solid_fill(&half);
    op = PIXMAN_OP_OVER;
  } else if (what == ALPHA) {
    page_alpha_set(p.src, page_new_gray8(s.w, s.h, 0));
    fill_disc(p.src->alpha);
    x.mask = pixman_image_create_bits(PIXMAN_a8, s.w, s.h, reinterpret_cast<uint32_t*>(p.src->alpha->bits),
                                      p.src->alpha->stride);
    op = PIXMAN_OP_OVER;
  }
  for (auto _ : state) pixman_image_composite32(op, x.src, x.mask, x.dst, 0, 0, 0, 0, 0, 0, s.w, s.h);
  count(state, s);
}
#endif
}  // namespace

int main(int argc, char** argv) {
  std::vector<bench_ratio> table;
  for (size2 s : SIZES) {
    std::string t = "/" + s.tag(), base = "memcpy" + t;
    benchmark::RegisterBenchmark(base.c_str(), bm_memcpy, s);
    benchmark::RegisterBenchmark(("copy" + t).c_str(), bm_copy, s);
    benchmark::RegisterBenchmark(("blend" + t).c_str(), bm_blend, s);
    benchmark::RegisterBenchmark(("alpha_copy_disc" + t).c_str(), bm_alpha, s, true);
    benchmark::RegisterBenchmark(("alpha_copy_random" + t).c_str(), bm_alpha, s, false);
    benchmark::RegisterBenchmark(("fill" + t).c_str(), bm_fill, s);
    benchmark::RegisterBenchmark(("stretch_2x" + t).c_str(), bm_stretch, s);
    benchmark::RegisterBenchmark(("rotate_30" + t).c_str(), bm_rotate, s);
    std::string peer_copy, peer_blend, peer_alpha;
#ifdef VASK_HAVE_PIXMAN
    peer_copy = "pixman_copy_24" + t, peer_blend = "pixman_over_solid_24" + t, peer_alpha = "pixman_over_a8_24" + t;
    benchmark::RegisterBenchmark(peer_copy.c_str(), bm_pixman, s, false, 0);
    benchmark::RegisterBenchmark(peer_blend.c_str(), bm_pixman, s, false, 1);
    benchmark::RegisterBenchmark(peer_alpha.c_str(), bm_pixman, s, false, 2);
    benchmark::RegisterBenchmark(("pixman_copy_32" + t).c_str(), bm_pixman, s, true, 0);
    benchmark::RegisterBenchmark(("pixman_over_solid_32" + t).c_str(), bm_pixman, s, true, 1);
    benchmark::RegisterBenchmark(("pixman_over_a8_32" + t).c_str(), bm_pixman, s, true, 2);
#endif
    table.push_back({"copy" + t, base, peer_copy});
    table.push_back({"blend" + t, base, peer_blend});
    table.push_back({"alpha_copy_disc" + t, base, peer_alpha});
    table.push_back({"alpha_copy_random" + t, base, ""});
    table.push_back({"fill" + t, base, ""});
    table.push_back({"stretch_2x" + t, base, ""});
    table.push_back({"rotate_30" + t, base, ""});
#ifdef VASK_HAVE_PIXMAN
    table.push_back({"copy" + t, base, "pixman_copy_32" + t});
    table.push_back({"blend" + t, base, "pixman_over_solid_32" + t});
    table.push_back({"alpha_copy_disc" + t, base, "pixman_over_a8_32" + t});
#endif
  }
  return bench_main(argc, argv, std::move(table));
}
