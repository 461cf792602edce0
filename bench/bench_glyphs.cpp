// Glyphs: the start-up build of a glyph-cache file from the prebuilt list at size 20 (each glyph
// rendered bilevel at 4x, reduced, stored, and the file written), against rendering the same
// glyphs with plain FreeType calls in the same run (the same face and size, bilevel, nothing
// else); and drawing a 40-character outlined line with text_draw, warm (every glyph in the cache)
// and cold (no cache: each glyph rendered), as a share of the 12 ms frame interval.
#include <benchmark/benchmark.h>

#include "bench_host.h"
#include <ft2build.h>
#include FT_FREETYPE_H
#include <iconv.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "graphics/kernel.h"
#include "graphics/page.h"
#include "platform/glyph_render.h"
#include "shell/devtools.h"
#include "text/glyph.h"

namespace {
constexpr int FRAME_INTERVAL_MS = 1000 / 80;
const char* const FACE = "ＭＳ ゴシック";

void engine_setup() {
  static bool done = (bench_host(), bench_game_setup(), true);
  (void)done;
}

void BM_prebuild(benchmark::State& state) {
  engine_setup();
  std::string file = bench_game_folder() + "/savedata";
  for (auto _ : state) {
    state.PauseTiming();
    std::filesystem::remove_all(file);
    state.ResumeTiming();
    font_cache_prebuild(FACE, 20, 10);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(glyph_prebuilt_keys().size()));
}

// The same glyphs, the same face at the same 4x size, rendered bilevel by FreeType alone.
void BM_freetype_plain(benchmark::State& state) {
  engine_setup();
  std::vector<FT_ULong> codes;
  iconv_t cd = iconv_open("UTF-32LE", "CP932");
  for (uint32_t key : glyph_prebuilt_keys()) {
    char in[2] = {static_cast<char>(key & 0xFF), static_cast<char>(key >> 8)};
    char32_t out = 0;
    char *ip = in, *op = reinterpret_cast<char*>(&out);
    size_t il = 2, ol = 4;
    iconv(cd, &ip, &il, &op, &ol);
    codes.push_back(out);
  }
  iconv_close(cd);
  FT_Library lib;
  FT_Init_FreeType(&lib);
  FT_Face face;
  FT_New_Face(lib, glyph_face_file(FACE).c_str(), 0, &face);
  FT_Set_Pixel_Sizes(face, 80, 80);
  for (auto _ : state)
    for (FT_ULong c : codes) {
      FT_Load_Char(face, c, FT_LOAD_RENDER | FT_LOAD_TARGET_MONO);
      benchmark::DoNotOptimize(face->glyph->bitmap.buffer);
    }
  FT_Done_Face(face);
  FT_Done_FreeType(lib);
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(codes.size()));
}

// 30 full-width and 10 half-width characters, outlined, at size 20 and 4x.
void draw_line(benchmark::State& state, bool warm) {
  engine_setup();
  static const char* line = "吾輩は猫である。名前はまだ無い。どこで生れたかとんと見 (ABC-123)";
  page* target = page_new_rgb24(800, 600, 1);
  font_quality_set(1);
  font_cache_close();
  if (warm) font_cache_open(FACE, 20, 10);
  font_descriptor d = font_descriptor_default();
  d.cache_match = font_cache_matches(d.face, d.size, d.width, 4);
  d.decoration = 0x01000000;
  d.y = 500;
  text_draw(&d, target, line, nullptr, 0);  // fills the cache when there is one
  for (auto _ : state) text_draw(&d, target, line, nullptr, 0);
  font_cache_close();
  page_free(target, 1);
}
void BM_text_draw_warm(benchmark::State& state) { draw_line(state, true); }
void BM_text_draw_cold(benchmark::State& state) { draw_line(state, false); }

// Prints the build's rate against plain FreeType and each draw's share of the frame interval.
class glyph_reporter : public time_reporter {
 public:
  void Finalize() override {
    ConsoleReporter::Finalize();
    size_t glyphs = glyph_prebuilt_keys().size();
    double build = ms_["BM_prebuild"], plain = ms_["BM_freetype_plain"];
    printf("\nstart-up build of %zu glyphs at size 20: %.1f ms; plain FreeType rendering: %.1f ms; "
           "build / plain = %.2f (goal: at most 1.5)\n",
           glyphs, build, plain, plain > 0 ? build / plain : 0);
    for (const char* name : {"BM_text_draw_warm", "BM_text_draw_cold"})
      printf("%-20s %8.3f ms = %5.1f%% of the %d ms frame interval\n", name, ms_[name], 100 * ms_[name] / FRAME_INTERVAL_MS,
             FRAME_INTERVAL_MS);
    printf("(the warm goal: under 5%%)\n");
  }

};

}  // namespace

BENCHMARK(BM_prebuild)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_freetype_plain)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_text_draw_warm)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_text_draw_cold)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  glyph_reporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  std::filesystem::remove_all(bench_game_folder());
  return 0;
}
