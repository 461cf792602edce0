// Every built-in of the table called with extreme numbers in every argument, on a headless engine
// with a window, a front page and a game folder: a hostile or careless script must never reach
// undefined behaviour or an absurd allocation (the sanitized build aborts on either), nor leave the
// engine broken (what call() checks). Script errors and boxes are answered by the headless backend;
// a waiting built-in runs once.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "base/datasource.h"
#include "base/env.h"
#include "base/memory.h"
#include "graphics/gfx_id.h"
#include "graphics/image_cache.h"
#include "graphics/image_readers.h"
#include "graphics/page.h"
#include "graphics/presentation.h"
#include "graphics/sprite.h"
#include "image_encoder.h"
#include "mahjong/evaluator.h"
#include "mahjong/state.h"
#include "mahjong/wall.h"
#include "shell/input.h"
#include "shell/window_core.h"
#include "sound_encoder.h"
#include "platform/sound_buffers.h"
#include "sound/dsound.h"
#include "sound/movie.h"
#include "sound/sound.h"
#include "sound/stream_mixer.h"
#include "test_support.h"
#include "text/message.h"
#include "vm/builtin_table.h"
#include "vm/interpreter.h"
#include "vm/script_error.h"
#include "vm/thread.h"
#include "vm/variables.h"

namespace {

// What is broken in the page, sprite and thread lists and the id table; empty when they hold together.
std::string records_broken() {
  std::ostringstream out;
  std::set<const page*> pages;
  const page* previous = nullptr;
  for (const page* p = page_list_head(); p && pages.size() <= size_t(page_count()); previous = p, p = p->next) {
    if (p->prev != previous) out << "page " << p->id << " is linked to another before it; ";
    if (gfx_id_find(p->id, GFX_ID_PAGE) != p) out << "page " << p->id << " is not under its id; ";
    pages.insert(p);
  }
  auto listed = [&](const page* p) { return !p || pages.count(p); };
  for (const page* p : pages)
    if (!listed(p->alpha)) out << "page " << p->id << " has an unlisted alpha page; ";
  size_t sprites = 0;
  const sprite* newer = nullptr;
  for (const sprite* s = sprite_newest(); s && sprites <= size_t(sprite_count()); newer = s, s = s->older, ++sprites) {
    if (s->newer != newer) out << "sprite " << s->id << " is linked to another above it; ";
    if (gfx_id_find(s->id, GFX_ID_SPRITE) != s) out << "sprite " << s->id << " is not under its id; ";
    if (!listed(s->source_page) || !listed(s->target_page) || !listed(s->work_page) || !listed(s->cross_fade_page))
      out << "sprite " << s->id << " points at an unlisted page; ";
  }
  if (pages.size() != size_t(page_count()) || sprites != size_t(sprite_count()))
    out << pages.size() << " pages and " << sprites << " sprites listed, " << page_count() << " and " << sprite_count()
        << " counted; ";
  if (gfx_id_count() != pages.size() + sprites) out << gfx_id_count() << " ids; ";
  std::vector<script_thread*> list = thread_list_array();
  if (list.size() != size_t(thread_count())) out << list.size() << " threads listed, " << thread_count() << " counted; ";
  for (size_t k = 0; k < list.size(); ++k) {
    script_thread* t = list[k];
    if (!thread_valid(t) || thread_find(t->id) != t) out << "thread " << t->id << " is not found by its id; ";
    if (t->prev != (k ? list[k - 1] : nullptr)) out << "thread " << t->id << " is linked to another before it; ";
    if (t->depth < 0 || t->depth >= FRAME_COUNT) out << "thread " << t->id << " stands at frame " << t->depth << "; ";
  }
  return out.str();
}

class every_builtin : public engine_test {
 protected:
  temp_dir game;
  void SetUp() override {
    engine_test::SetUp();
    clear();
    // Streams are mixed by the test's own passes, so nothing runs on after a test.
    stream_worker_manual(true);
    game.write("vaskel.env", "TITLEBAR\tvasktest\n");
    // "a" names a picture and a sound, so that built-ins taking a name reach their arithmetic.
    page* picture = page_new_rgb24(4, 3, 0);
    std::vector<uint8_t> rct = rct_encode(picture);
    page_free(picture, 1);
    game.write("a.rct", std::string(rct.begin(), rct.end()));
    game.write("a.wav", wav_pcm16(sine_frames(1, 22050, 440, 0.05, 0.5), 1, 22050));
    data_base_folder_set(game.path().c_str());
    data_source_add("", 0);
    env_load("vaskel.env");
    main_window_open(640, 480);
    records();
    vm_clock_reset();
    input_init();
    sprite_reset();
    // Reports return at once, so no Cancel ends the run.
    error_report_mode_set(1);
  }
  void TearDown() override {
    clear();
    windows_reset();
    engine_test::TearDown();
  }
  static void clear() {
    headless_engine_clear();
    sound_reset();
    stream_mixer_reset();
    dsound_reset();
    sound_buffers_reset();
    movie_reset();
    message_module_reset();
    mahjong_state_reset();
    mahjong_eval_reset();
    mahjong_wall_reset();
  }

  // A colour page, an 8-bit page and a sprite for arguments to name, made again (with the front
  // page) when a built-in freed one.
  static inline int32_t colour = 0, mask = 0, sprite_id = 0, front = 0;
  static void records() {
    if (!page_missing(colour) && !page_missing(mask) && front_page_get() && front_page_get()->id == uint32_t(front) &&
        !sprite_is_absent(sprite_id))
      return;
    sprite_module_reset();
    image_cache_reset();
    image_readers_reset();
    page_free_all_at_exit();
    page* p = page_new_rgb24(32, 24, 0);
    colour = int32_t(p->id);
    mask = int32_t(page_new_gray8(32, 24, 0)->id);
    front_page_set(page_new_rgb24(640, 480, 1));
    front = int32_t(front_page_get()->id);
    sprite_id = int32_t(sprite_new(p, 0, 0, 16, 12, front_page_get())->id);
  }

  // One call of the row with these argument cells (first on top; texts copied) on a fresh thread,
  // which is thrown away with whatever the built-in left on it once the engine is found whole.
  void call(const builtin_entry& e, const std::vector<value_cell>& args) {
    script_thread* t = thread_create(0);
    thread_switch(t);
    const int32_t base = vm_frame->top;
    for (auto it = args.rbegin(); it != args.rend(); ++it) {
      value_cell c = it->type == TYPE_STRING ? string_cell(string_block_new(it->s->text)) : *it;
      stack_push_value(&c);  // the stack takes a reference of its own
    }
    uint8_t instruction[8];
    bool waits = false, ended = false;
    try {
      waits = builtin_instruction_run(instruction, e.hash, static_cast<int16_t>(args.size()));
    } catch (const fatal_exit_called&) {
      mem_reset();
      ended = true;  // the program would end here: nothing after it counts
    }
    if (!ended) {
      std::ostringstream broken;
      const int32_t results = waits ? int32_t(args.size()) : 1;
      if (vm_thread != t || vm_frame != &t->frames[0] || t->depth != 0)
        broken << "the call left frame " << t->depth << " running; ";
      else if (vm_frame->code != instruction + (waits ? 0 : sizeof instruction))
        broken << "the frame goes on at " << vm_frame->code - instruction << " bytes from the call; ";
      else if (vm_frame->top != base + results)
        broken << vm_frame->top - base << " cells where the call leaves " << results << "; ";
      else if (!waits && (stack_top()->type < TYPE_INT || stack_top()->type > TYPE_STRING_ARRAY))
        broken << "a result of type " << stack_top()->type << "; ";
      broken << records_broken();
      if (platform.dialog_open) broken << "the wait dialog stayed open; ";
      if (broken.tellp() > 0) {
        broken << "arguments";
        for (const value_cell& c : args)
          if (c.type == TYPE_STRING) broken << " \"" << c.s->text << '"';
          else if (c.type == TYPE_FLOAT) broken << ' ' << c.f << 'f';
          else broken << ' ' << c.i;
        ADD_FAILURE() << broken.str();
      }
    }
    // What a call set up is used once: a stream mixed, a frame of sprites drawn, the window painted.
    if (e.subsystem == 6) stream_pass();
    if (e.subsystem == 4 || e.subsystem == 5) {
      sprite_update_all();
      drain_window_messages();
    }
    threads_destroy_all();
    thread_switch(nullptr);
    run_state_set(RUN_GO);
  }
};

TEST_F(every_builtin, TakesExtremeNumbersInEveryArgumentWithoutUndefinedBehaviour) {
  const int32_t ints[] = {0, -1, 1, INT32_MIN, INT32_MAX, 1 << 30, 100000};
  const float floats[] = {NAN, 3e38f, -3e38f, 1e10f};
  constexpr int N = std::size(ints), ARGS = 14;  // the most any built-in reads
  for (const builtin_entry& e : builtin_entries()) {
    if (std::string(e.name) == "system_end") continue;  // ends the process; it reads no argument
    SCOPED_TRACE(e.name);
    // The same value in every argument, then every value in every position beside the others.
    for (int v = 0; v < N; ++v) call(e, std::vector<value_cell>(ARGS, int_cell(ints[v])));
    for (int shift = 0; shift < N; ++shift) {
      std::vector<value_cell> args;
      for (int k = 0; k < ARGS; ++k) args.push_back(int_cell(ints[(k + shift) % N]));
      call(e, args);
    }
    for (float f : floats) call(e, std::vector<value_cell>(ARGS, float_cell(f)));
    // Plain arguments of 2 (a small rectangle inside every page) led by a name the game has, or
    // with records where the drawing, page, sprite and text built-ins read them (c colour page, m
    // 8-bit page, s sprite, by position); one argument at a time takes either end of the range.
    const char* layouts[] = {"a", "", "c", "cc", "cm", "mm", "ccm", "c....c", "m....m", "c....m", "c....c..c", "s", "sc"};
    for (const char* layout : layouts) {
      bool records_matter = e.subsystem == 4 || e.subsystem == 5;
      if (*layout && *layout != 'a' && !records_matter) continue;
      for (int k = int(strlen(layout)); k < ARGS; ++k)
        for (int32_t v : {INT32_MIN, INT32_MAX}) {
          records();
          std::vector<value_cell> args(ARGS, int_cell(2));
          for (int i = 0; layout[i]; ++i) {
            int32_t id = layout[i] == 'c' ? colour : layout[i] == 'm' ? mask : layout[i] == 's' ? sprite_id : 2;
            args[i] = layout[i] == 'a' ? string_cell(string_block_new("a")) : int_cell(id);
          }
          args[k] = int_cell(v);
          call(e, args);
          if (*layout == 'a') string_release(args[0].s);
        }
    }
  }
}

}  // namespace
