// Every built-in of the table called with extreme numbers in every argument, on a headless engine
// with a window, a front page and a game folder: a hostile or careless script must never reach
// undefined behaviour or an absurd allocation (the sanitized build aborts on either). Script
// errors and boxes are answered by the headless backend; a waiting built-in runs once.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>

#include "base/datasource.h"
#include "base/env.h"
#include "base/fatal.h"
#include "base/memory.h"
#include "graphics/gfx_id.h"
#include "graphics/image_cache.h"
#include "graphics/image_readers.h"
#include "graphics/page.h"
#include "graphics/presentation.h"
#include "graphics/sprite.h"
#include "mahjong/evaluator.h"
#include "mahjong/state.h"
#include "mahjong/wall.h"
#include "save/savefile.h"
#include "save/vm_exit.h"
#include "shell/env_keys.h"
#include "shell/input.h"
#include "shell/menu_request.h"
#include "shell/window_core.h"
#include "sound/movie.h"
#include "sound/sound.h"
#include "test_support.h"
#include "text/glyph.h"
#include "text/message.h"
#include "vm/builtin_table.h"
#include "vm/dispatcher.h"
#include "vm/interpreter.h"
#include "vm/script_error.h"
#include "vm/script_object.h"
#include "vm/skip.h"
#include "vm/thread.h"
#include "vm/variables.h"

namespace {

class every_builtin : public engine_test {
 protected:
  temp_dir game;
  void SetUp() override {
    engine_test::SetUp();
    clear();
    game.write("vaskel.env", "TITLEBAR\tvasktest\n");
    data_base_folder_set(game.path().c_str());
    data_source_add("", 0);
    env_load("vaskel.env");
    main_window_open(640, 480);
    front_page_set(page_new_rgb24(640, 480, 1));
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
    threads_destroy_all();
    thread_switch(nullptr);
    var_tables_free();
    sound_reset();
    movie_reset();
    message_module_reset();
    glyph_module_reset();
    sprite_module_reset();
    image_cache_reset();
    image_readers_reset();
    page_free_all_at_exit();
    presentation_reset();
    gfx_id_reset();
    window_core_reset();
    data_sources_clear();
    env_free();
    env_keys_reset();
    interpreter_reset();
    skip_reset();
    script_error_reset();
    save_module_reset();
    request_reset();
    mahjong_state_reset();
    mahjong_eval_reset();
    mahjong_wall_reset();
  }

  // One call of the row with these argument cells (first on top) on a fresh thread, which is
  // thrown away with whatever the built-in left on it.
  static void call(const builtin_entry& e, const std::vector<value_cell>& args) {
    script_thread* t = thread_create(0);
    thread_switch(t);
    for (auto it = args.rbegin(); it != args.rend(); ++it) stack_push_value(&*it);
    uint8_t instruction[8];
    try {
      builtin_instruction_run(instruction, e.hash, static_cast<int16_t>(args.size()));
    } catch (const fatal_exit_called&) {
      mem_reset();
    }
    threads_destroy_all();
    thread_switch(nullptr);
    run_state_set(RUN_GO);
  }
};

TEST_F(every_builtin, TakesExtremeNumbersInEveryArgumentWithoutUndefinedBehaviour) {
  const int32_t ints[] = {0, -1, 1, INT32_MIN, INT32_MAX, 1 << 30, 100000};
  const float floats[] = {NAN, 3e38f, -3e38f, 1e10f};
  constexpr int N = std::size(ints), ARGS = 8;
  for (const builtin_entry& e : builtin_entries()) {
    if (std::string(e.name) == "system_end") continue;  // ends the process; it reads no argument
    SCOPED_TRACE(e.name);
    static double last = 0; struct timespec ts; clock_gettime(CLOCK_MONOTONIC, &ts); double now = ts.tv_sec + ts.tv_nsec / 1e9;
    if (getenv("EB_TRACE")) fprintf(stderr, "EB %s %.3f\n", e.name, now - last); last = now;
    // The same value in every argument, then every value in every position beside the others.
    for (int v = 0; v < N; ++v) call(e, std::vector<value_cell>(ARGS, int_cell(ints[v])));
    for (int shift = 0; shift < N; ++shift) {
      std::vector<value_cell> args;
      for (int k = 0; k < ARGS; ++k) args.push_back(int_cell(ints[(k + shift) % N]));
      call(e, args);
    }
    for (float f : floats) call(e, std::vector<value_cell>(ARGS, float_cell(f)));
  }
}

}  // namespace
