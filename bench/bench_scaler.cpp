// The bilinear scaler doubling an 800x600 page with 1, 2, 4 and 8 bands, against memcpy of the
// output's bytes and pixman's bilinear scaling of the same picture; and doubling a 200x150 part of
// it, as the zoomed presentation does for a few dirty cells every frame, where handing bands to
// threads costs most. Then the zoomed presentation's busy frame: all twelve window-grid cells of the
// 800x600 page at zoom 1800 (full screen, 1440x1080) and 2000, scaled cell by cell as one series,
// against one merged call over the whole grid (what the paint did before it went cell by cell),
// with memcpy of the window's bytes as the baseline. Last the copy into the window's 32-bit pixels
// (paint_stretch_xrgb): the zoomed page at 1:1 (what the paint does at zoom 2000), the page zoomed
// by 2 and by 1.8 on the way, and an 8-bit page, against memcpy of the window's 32-bit bytes.
// Rates count output pixels.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench_ratio.h"
#include "graphics/page.h"
#include "graphics/scaler.h"
#include "platform/platform.h"

#ifdef VASK_HAVE_PIXMAN
#include <pixman.h>
#endif

namespace {
constexpr int SW = 800, SH = 600, DW = 1600, DH = 1200;
constexpr int SMALL_W = 200, SMALL_H = 150;  // the small job's source part

struct job {
  page* src;
  page* dst;
  job() {
    src = page_new_rgb24(SW, SH, 0);
    dst = page_new_rgb24(DW, DH, 0);
    srand(7);
    for (size_t i = 0; i < static_cast<size_t>(src->stride) * SH; i++) src->bits[i] = static_cast<uint8_t>(rand());
  }
  ~job() {
    page_free(src, 1);
    page_free(dst, 1);
  }
};

void count(benchmark::State& state) { state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * DW * DH); }

// memcpy of the output's bytes, rows of w pixels.
void bm_memcpy(benchmark::State& state, int w, int h) {
  job j;
  size_t row = static_cast<size_t>(w) * 3;
  std::vector<uint8_t> from(row * h, 1);
  for (auto _ : state) {
    for (int y = 0; y < h; y++) memcpy(page_row(j.dst, y), from.data() + row * y, row);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * w * h);
}

void bm_scaler(benchmark::State& state, int bands, bool small) {
  job j;
  page_rect sr = small ? page_rect{300, 200, SMALL_W, SMALL_H} : page_rect{0, 0, SW, SH};
  page_rect dr = small ? page_rect{0, 0, 2 * SMALL_W, 2 * SMALL_H} : page_rect{0, 0, DW, DH};
  for (auto _ : state) hq_modify_copy_bands(j.src, sr, j.dst, dr, 2.0, 2.0, bands);
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * dr.width * dr.height);
}

// The twelve cells as the presentation scales them (2-pixel margins), or one merged call.
void bm_present(benchmark::State& state, int zoom, bool cells, int bands) {
  job j;
  auto z = [zoom](int v) { return v * zoom / 1000; };
  std::vector<hq_copy> copies;
  if (cells) {
    for (int i = 0; i < 3; i++)
      for (int k = 0; k < 4; k++) {
        page_rect sr{k * SW / 4 - 2, i * SH / 3 - 2, SW / 4 + 4, SH / 3 + 4};
        copies.push_back({sr, page_rect{z(sr.x), z(sr.y), z(sr.width), z(sr.height)}});
      }
  } else {
    copies.push_back({page_rect{-2, -2, SW + 4, SH + 4}, page_rect{z(-2), z(-2), z(SW + 4), z(SH + 4)}});
  }
  for (auto _ : state)
    hq_modify_copy_series(j.src, j.dst, copies.data(), static_cast<int>(copies.size()), zoom * 0.001, zoom * 0.001, bands);
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * z(SW) * z(SH));
}

// memcpy of a window's 32-bit pixels.
void bm_memcpy32(benchmark::State& state, int w, int h) {
  std::vector<uint32_t> from(static_cast<size_t>(w) * h, 1), to(from.size());
  for (auto _ : state) {
    memcpy(to.data(), from.data(), from.size() * 4);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * w * h);
}

// The picture of a page (w x h, 24-bit or 8-bit) zoomed into a window of its zoomed size.
void bm_window_copy(benchmark::State& state, int w, int h, int zoom, bool paletted) {
  page* p = paletted ? page_new(w, h, 0, 0) : page_new_rgb24(w, h, 0);
  srand(9);
  for (size_t i = 0; i < static_cast<size_t>(p->stride) * h; i++) p->bits[i] = static_cast<uint8_t>(rand());
  pixel_source source{p->bits, w, h, p->stride, paletted ? reinterpret_cast<const uint8_t*>(p->palette) : nullptr};
  plat_rect window{0, 0, w * zoom / 1000, h * zoom / 1000};
  std::vector<uint32_t> out(static_cast<size_t>(window.width) * window.height);
  for (auto _ : state) {
    paint_stretch_xrgb(source, {0, 0, w, h}, 0, 0, zoom, zoom, window, out.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * window.width * window.height);
  page_free(p, 1);
}

#ifdef VASK_HAVE_PIXMAN
void bm_pixman(benchmark::State& state, bool wide) {
  job j;
  std::vector<uint32_t> src32(static_cast<size_t>(SW) * SH, 0x00336699), dst32(static_cast<size_t>(DW) * DH);
  pixman_image_t* src = wide ? pixman_image_create_bits(PIXMAN_x8r8g8b8, SW, SH, src32.data(), SW * 4)
                             : pixman_image_create_bits(PIXMAN_r8g8b8, SW, SH, reinterpret_cast<uint32_t*>(j.src->bits),
                                                        j.src->stride);
  pixman_image_t* dst = wide ? pixman_image_create_bits(PIXMAN_x8r8g8b8, DW, DH, dst32.data(), DW * 4)
                             : pixman_image_create_bits(PIXMAN_r8g8b8, DW, DH, reinterpret_cast<uint32_t*>(j.dst->bits),
                                                        j.dst->stride);
  pixman_transform_t half;
  pixman_transform_init_scale(&half, pixman_double_to_fixed(0.5), pixman_double_to_fixed(0.5));
  pixman_image_set_transform(src, &half);
  pixman_image_set_filter(src, PIXMAN_FILTER_BILINEAR, nullptr, 0);
  for (auto _ : state) pixman_image_composite32(PIXMAN_OP_SRC, src, nullptr, dst, 0, 0, 0, 0, 0, 0, DW, DH);
  count(state);
  pixman_image_unref(src);
  pixman_image_unref(dst);
}
#endif
}  // namespace

int main(int argc, char** argv) {
  benchmark::RegisterBenchmark("memcpy/1600x1200", bm_memcpy, DW, DH)->UseRealTime();
  benchmark::RegisterBenchmark("memcpy/400x300", bm_memcpy, 2 * SMALL_W, 2 * SMALL_H)->UseRealTime();
  std::string peer, peer32;
#ifdef VASK_HAVE_PIXMAN
  peer = "pixman_bilinear_24", peer32 = "pixman_bilinear_32";
  benchmark::RegisterBenchmark(peer.c_str(), bm_pixman, false)->UseRealTime();
  benchmark::RegisterBenchmark(peer32.c_str(), bm_pixman, true)->UseRealTime();
#endif
  std::vector<bench_ratio> table;
  for (int bands : {1, 2, 4, 8}) {
    std::string name = "scaler_2x/" + std::to_string(bands) + "_bands";
    // Wall-clock time: the bands' threads do the work.
    benchmark::RegisterBenchmark(name.c_str(), bm_scaler, bands, false)->UseRealTime();
    table.push_back({name, "memcpy/1600x1200", peer});
    if (!peer32.empty()) table.push_back({name, "memcpy/1600x1200", peer32});
  }
  for (int bands : {1, 2, 4, 8}) {
    std::string name = "scaler_2x_200x150/" + std::to_string(bands) + "_bands";
    benchmark::RegisterBenchmark(name.c_str(), bm_scaler, bands, true)->UseRealTime();
    table.push_back({name, "memcpy/400x300", ""});
  }
  benchmark::RegisterBenchmark("memcpy/1440x1080", bm_memcpy, 1440, 1080)->UseRealTime();
  for (int zoom : {1800, 2000})
    for (int bands : {1, 0}) {
      std::string base = "present_" + std::to_string(zoom) + "/" + (bands ? "1_band" : "auto_bands");
      std::string cells = base + "/cells", merged = base + "/merged";
      benchmark::RegisterBenchmark(cells.c_str(), bm_present, zoom, true, bands)->UseRealTime();
      benchmark::RegisterBenchmark(merged.c_str(), bm_present, zoom, false, bands)->UseRealTime();
      const char* window = zoom == 1800 ? "memcpy/1440x1080" : "memcpy/1600x1200";
      table.push_back({cells, window, merged});
      table.push_back({merged, window, ""});
    }
  benchmark::RegisterBenchmark("memcpy32/1600x1200", bm_memcpy32, DW, DH)->UseRealTime();
  benchmark::RegisterBenchmark("memcpy32/1440x1080", bm_memcpy32, 1440, 1080)->UseRealTime();
  struct window_case {
    const char* name;
    int w, h, zoom;
    bool paletted;
    const char* window;
  };
  for (const window_case& c : {window_case{"window_copy/1600x1200_at_1000", DW, DH, 1000, false, "memcpy32/1600x1200"},
                               window_case{"window_copy/800x600_at_2000", SW, SH, 2000, false, "memcpy32/1600x1200"},
                               window_case{"window_copy/800x600_at_1800", SW, SH, 1800, false, "memcpy32/1440x1080"},
                               window_case{"window_copy/8bit_1600x1200_at_1000", DW, DH, 1000, true, "memcpy32/1600x1200"}}) {
    benchmark::RegisterBenchmark(c.name, bm_window_copy, c.w, c.h, c.zoom, c.paletted)->UseRealTime();
    table.push_back({c.name, c.window, ""});
  }
  bench_labels labels;
  labels.ratios =
      "x baseline: the scaler's rate over memcpy of the same output bytes (for present_*: the window's;\n"
      "for window_copy/*: the window's 32-bit pixels);\n"
      "x peer: over pixman's rate for the same operation, and for present_*/cells over the merged call\n"
      "(above 1 = faster).";
  return bench_main(argc, argv, std::move(table), labels);
}
