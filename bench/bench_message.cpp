// Typing a full page of the sample game's message window: four lines of up to 35 full-width characters
// laid out by the typewriter (kinsoku, the glyph cache warm) into the 760 x 150 window page, and
// for each line the frames of its typing as the sample types it: a cover sprite of the window's
// colour steps 10 pixels right a frame, and each frame is drawn and presented at zoom 1000
// through the headless presenter. The figure is the page's cost divided by its frames, as a share
// of the 12 ms frame interval (goal: under 10 %), and against memcpy of one 800x600 24-bit frame
// measured in the same run; "layout_only" is the typewriter's own share without the frames.
// "long_text" lays out one message of 64 KiB to 1 MiB (the same prose alone, or with spoken lines
// that bring names and voice marks) through the same window, overflowing it page after page with
// errors silent as in a packed game: its cost a byte against the typed page's layout a byte stays
// flat when the layout is linear in the text.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "bench_host.h"
#include "base/cp932.h"
#include "base/datasource.h"
#include "base/env.h"
#include "graphics/kernel.h"
#include "graphics/page.h"
#include "graphics/page_grid.h"
#include "graphics/presentation.h"
#include "graphics/sprite.h"
#include "platform/headless/headless.h"
#include "platform/window.h"
#include "shell/devtools.h"
#include "shell/env_keys.h"
#include "shell/window_core.h"
#include "text/glyph.h"
#include "text/message.h"
#include "text/msg_control.h"
#include "vm/script_error.h"
#include "vm/thread.h"

namespace {
constexpr int W = 800, H = 600, FRAME_INTERVAL_MS = 1000 / 80;
constexpr int WINDOW_X = 20, WINDOW_Y = 430, WINDOW_W = 760, WINDOW_H = 150, STEP = 10;
constexpr uint32_t WINDOW_COLOUR = 0x502A14;
const char* const PAGE_TEXT =
    "吾輩は猫である。名前はまだ無い。どこで生れたかとんと見当がつかぬ。何でも薄暗いじめじめした所で"
    "ニャーニャー泣いていた事だけは記憶している。吾輩はここで始めて人間というものを見た。しかもあと"
    "で聞くとそれは書生という人間中で一番獰悪な種族であったそうだ。";

// A spoken line: a name pop-up before it and voice marks around it.
const char* const SPOKEN = "太郎「「吾輩は猫である。名前はまだ無い。（どこで生れたか）」」";

headless_platform host;

struct scene {
  page* window = nullptr;
  sprite* cover = nullptr;
  int frames = 0;

  scene() {
    plat_install(&host);
    host.use_fake_clock(1000);
    host.print_boxes = false;
    bench_game_setup();
    window_spec spec;
    spec.procedure = main_window_class_proc;
    spec.client_width = W;
    spec.client_height = H;
    main_window_set(window_create(spec));
    vm_time_update();
    page* front = page_new_rgb24(W, H, 1);
    front_page_set(front);
    page_grid_front_ensure();
    thread_switch(thread_create(0));

    page* back = page_new_rgb24(W, H, 0);
    for (int y = 0; y < H; y++)
      for (int x = 0; x < W; x++) {
        uint8_t* p = page_row(back, y) + 3 * x;
        p[0] = static_cast<uint8_t>(x), p[1] = static_cast<uint8_t>(y), p[2] = static_cast<uint8_t>(x ^ y);
      }
    sprite_new(back, 0, 0, W, H, front);
    window = page_new_rgb24(WINDOW_W, WINDOW_H, 0);
    sprite* shown = sprite_new(window, 0, 0, WINDOW_W, WINDOW_H, front);
    shown->x = WINDOW_X, shown->y = WINDOW_Y;
    page* cover_page = page_new_rgb24(WINDOW_W, 26, 0);
    page_fill_rect(cover_page, page_rect{0, 0, WINDOW_W, 26}, WINDOW_COLOUR);
    cover = sprite_new(cover_page, 0, 0, WINDOW_W, 26, front);
    cover->x = -1000;

    font_quality_set(1);
    font_cache_open("ＭＳ ゴシック", 20, 10);
    console_module_reset();
    message_module_reset();
    console_state& c = console();
    c.d.target = window->id;
    c.d.origin_x = 24, c.d.origin_y = 24, c.d.window_width = 712, c.d.window_height = 100;
    c.d.cache_match = font_cache_matches(c.d.face, c.d.size, c.d.width, 4);
    c.enabled = true;
    type_page(false);  // fills the glyph cache
    frame();
  }
  ~scene() {
    font_cache_close();
    threads_destroy_all();
    thread_switch(nullptr);
    sprite_release_all();
    page_free_all_at_exit();
    presentation_reset();
    window_core_reset();
    windows_reset();
    plat_install(nullptr);
  }

  void frame() {
    host.advance(FRAME_INTERVAL_MS);
    vm_time_update();
    sprite_update_all();
    host.pump_host_events();
    frames++;
  }

  // The cover over the rest of the line from x on, as the sample's line handler sets it.
  void cover_at(int x, int y) {
    sprite_area_mark(cover);
    cover->x = WINDOW_X + x, cover->y = WINDOW_Y + y - 3;
    cover->width = WINDOW_W - x;
    sprite_area_mark(cover);
  }

  void type_page(bool with_frames) {
    page_fill_rect(window, page_rect{0, 0, WINDOW_W, WINDOW_H}, WINDOW_COLOUR);
    mark_dirty_rect(window, page_rect{0, 0, WINDOW_W, WINDOW_H});
    msg_control_exec("w", 1);
    msg_pending_append(PAGE_TEXT);
    font_descriptor& d = console().d;
    for (;;) {
      int x = d.x, y = d.y;
      if (!message(2)) break;
      if (!with_frames) continue;
      int width = d.y != y ? d.window_width - (x - d.origin_x) : d.x - x;  // a broken line filled its row
      for (int k = 0; k < width; k += STEP) {
        cover_at(x + k, y);
        frame();
      }
    }
    if (with_frames) cover_at(-1000, -100);
  }
};

void bm_page(benchmark::State& state) {
  scene sc;
  sc.frames = 0;
  for (auto _ : state) sc.type_page(true);
  state.counters["frames_per_page"] = static_cast<double>(sc.frames) / static_cast<double>(state.iterations());
}

void bm_layout(benchmark::State& state) {
  scene sc;
  for (auto _ : state) sc.type_page(false);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * strlen(PAGE_TEXT)));
}

void bm_long_text(benchmark::State& state, size_t kib, bool spoken) {
  scene sc;
  std::string text;
  while (text.size() < kib * 1024) (text += PAGE_TEXT) += spoken ? SPOKEN : "";
  text.resize(cp932_cut_length(text, kib * 1024));
  error_report_mode_set(2);
  for (auto _ : state) {
    msg_control_exec("w", 1);
    msg_pending_append(text);
    while (message(2)) {
    }
  }
  error_report_mode_set(0);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

class page_reporter : public time_reporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (auto it = run.counters.find("frames_per_page"); it != run.counters.end()) frames_ = it->second.value;
      std::string name = run.benchmark_name();
      if (size_t cut = name.find("/real_time"); cut != std::string::npos) name.erase(cut);
      if (auto it = run.counters.find("bytes_per_second"); it != run.counters.end() && run.aggregate_name.empty())
        bytes_per_second_[name] = it->second.value;
    }
    time_reporter::ReportRuns(runs);
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    double page = ms_["message/typed_page/zoom1000"], layout = ms_["message/typed_page/layout_only"];
    double copy = ms_["memcpy/800x600x3"];
    for (const auto& [name, rate] : bytes_per_second_)
      if (name.rfind("message/long_text/", 0) == 0 && bytes_per_second_.count(LAYOUT))
        printf("%s: %.0f ms, %.2f x the typed page's layout time a byte\n", name.c_str(), ms_[name],
               bytes_per_second_[LAYOUT] / rate);
    if (frames_ <= 0) return;
    double per_frame = page / frames_, layout_per_frame = layout / frames_;
    printf("\na typed page: %.2f ms over %.0f frames = %.3f ms a frame = %.1f%% of the %d ms frame interval"
           " (goal: under 10%%), %.1f x memcpy of a frame\n",
           page, frames_, per_frame, 100 * per_frame / FRAME_INTERVAL_MS, FRAME_INTERVAL_MS,
           copy > 0 ? per_frame / copy : 0);
    printf("the layout alone: %.3f ms a page = %.4f ms a frame = %.3f%% of the interval\n", layout, layout_per_frame,
           100 * layout_per_frame / FRAME_INTERVAL_MS);
  }

 private:
  static constexpr const char* LAYOUT = "message/typed_page/layout_only";
  double frames_ = 0;
  std::map<std::string, double> bytes_per_second_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::RegisterBenchmark("memcpy/800x600x3", bench_memcpy_frame)->UseRealTime()->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("message/typed_page/zoom1000", bm_page)->UseRealTime()->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("message/typed_page/layout_only", bm_layout)->UseRealTime()->Unit(benchmark::kMillisecond);
  for (bool spoken : {false, true})
    for (size_t kib : {64, 256, 1024}) {
      std::string name = std::string("message/long_text/") + (spoken ? "spoken/" : "prose/") + std::to_string(kib) + "KiB";
      benchmark::RegisterBenchmark(name.c_str(), bm_long_text, kib, spoken)->UseRealTime()->Unit(benchmark::kMillisecond);
    }
  benchmark::Initialize(&argc, argv);
  page_reporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  std::filesystem::remove_all(bench_game_folder());
  return 0;
}
