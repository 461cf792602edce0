#include "sound/movie.h"

#include <cstdio>
#include <cstdlib>

#include "base/gamepath.h"
#include "base/registry.h"
#include "graphics/presentation.h"
#include "platform/movie_player.h"
#include "platform/platform.h"
#include "shell/display_mode.h"
#include "shell/env_keys.h"
#include "shell/input.h"
#include "shell/window_core.h"
#include "sound/dsound.h"
#include "sound/sound.h"
#include "vm/dispatcher.h"
#include "vm/script_error.h"
#include "vm/skip.h"
#include "vm/thread.h"
#include "vm/variables.h"

namespace {

constexpr int LEVEL_FULL = 1000;
constexpr char CRASH_FLAG[] = "AbnormalMovieTerminateFlg";

// Module state.
struct movie_state {
  int mode = 0;  // 1 and 2 play
  movie_player* player = nullptr;
  int32_t x = 0, y = 0, w = 0, h = 0;  // page coordinates
  int32_t hide_count = 0;
  int32_t pending_volume = LEVEL_FULL;
  bool handler_added = false;
};
movie_state movie;

bool movie_hidden() { return movie.hide_count > 0; }

// The rectangle in the window (left, top, right, bottom).
plat_rect window_rect() {
  int left = page_to_window_x(movie.x), top = page_to_window_y(movie.y);
  int right = page_to_window_x(movie.x + movie.w), bottom = page_to_window_y(movie.y + movie.h);
  return plat_rect{left, top, right - left, bottom - top};
}

void window_invalidate(const plat_rect* r) {
  if (window_handle w = main_window_get()) plat().window_invalidate(w, r);
}

void paint_frame(const pixel_source& frame, void*) {
  window_handle win = main_window_get();
  plat_rect r = window_rect();
  if (!win || r.width <= 0 || r.height <= 0) return;
  plat().window_paint_pixels(win, r.x, r.y, frame, plat_rect{0, 0, frame.width, frame.height},
                             static_cast<int>(int64_t{r.width} * 1000 / frame.width),
                             static_cast<int>(int64_t{r.height} * 1000 / frame.height));
}

// What a failed start reports in each mode.
int open_failure() { return movie.mode == 1 ? MOVIE_WINDOW_OPEN_FAILED : MOVIE_GRAPH_FAILED; }

// An exit from anywhere (the quit message, a fatal error) stops the decode thread before the
// backend and the libraries it calls are torn down.
void movie_close_at_exit() {
  movie_player_close(movie.player);
  movie.player = nullptr;
}

int movie_open(const char* file, int x, int y, int w, int h, int from_ms, int to_ms, bool loop) {
  if (movie.mode != 1 && movie.mode != 2) return movie.mode - 2;
  movie_close();
  static const bool exit_registered = atexit(movie_close_at_exit) == 0;
  (void)exit_registered;
  movie.x = x, movie.y = y, movie.w = w, movie.h = h;
  movie_player_spec spec;
  spec.path = game_path_native(file);
  spec.width = w;
  spec.height = h;
  spec.from_ms = from_ms;
  spec.to_ms = to_ms;
  spec.loop = loop;
  spec.volume = volume_to_db(movie.pending_volume, LEVEL_FULL);
  spec.notify = main_window_get();
  spec.message = WM_MOVIE_FRAME;
  movie.pending_volume = LEVEL_FULL;
  movie.player = movie_player_open(spec);
  if (!movie.player) return open_failure();
  // Painting after the presentation's handler puts the movie over the page.
  if (movie.handler_added) wndproc_handler_remove(movie_message_handler);
  movie.handler_added = wndproc_handler_add(movie_message_handler) == 0;
  movie_update_position();
  return 0;
}

// A skip label on the current frame lets message skipping pass over a movie.
bool frame_has_skip_label() {
  return vm_frame && (vm_frame->decide_label || vm_frame->cancel_label || vm_frame->middle_label);
}

void crash_flag_write(const char* value) { reg_set_string_flush(reg_global_name(), reg_local_name(), CRASH_FLAG, value); }

enum class play_kind { once, loop, range };

// The three play built-ins: file, [from, to,] stop sound = 1, x = 0, y = 0, w, h.
int movie_play_common(int32_t n, play_kind kind) {
  const char* name = builtin_arg_text(1);
  int k = kind == play_kind::range ? 4 : 2;  // the first argument after the file (and range)
  auto arg = [n](int i, int fallback) { return n >= i ? builtin_arg_int(i) : fallback; };
  int stop_sound = arg(k, 1), x = arg(k + 1, 0), y = arg(k + 2, 0);
  int w = arg(k + 3, client_width()), h = arg(k + 4, client_height());
  if (reg_get_int(reg_global_name(), reg_local_name(), CRASH_FLAG, 0) != 0) {
    push_int(0);
    return 0;
  }
  // Set while the back end runs: a crash there leaves it set, and start-up then changes the back end.
  crash_flag_write("1");
  if (kind == play_kind::range || !(is_skipping() && frame_has_skip_label())) {
    std::string path = movie_file_find(name);
    if (path.empty()) {
      script_error("movie_play : ムービーファイル[%s]が存在しません", name);
    } else {
      if (stop_sound) {
        sound_reset();
        dsound_release();
      }
      keep_fullscreen_on_deactivate_set(1);
      drain_window_messages();
      drain_window_messages();
      if (kind == play_kind::once) movie_start(path.c_str(), x, y, w, h);
      else if (kind == play_kind::loop) movie_start_loop(path.c_str(), x, y, w, h);
      else movie_start_range(path.c_str(), x, y, w, h, builtin_arg_int(2), builtin_arg_int(3));
      drain_window_messages();
      drain_window_messages();
    }
  }
  crash_flag_write("0");
  push_int(0);
  return 0;
}

}  // namespace

void movie_set_mode(int mode) { movie.mode = mode; }
void movie_set_volume(int level) { movie.pending_volume = level; }

void movie_close() {
  if (!movie.player) return;
  movie_player_close(movie.player);
  movie.player = nullptr;
  window_invalidate(nullptr);
}

int movie_start(const char* file, int x, int y, int w, int h) { return movie_open(file, x, y, w, h, 0, -1, false); }

int movie_start_range(const char* file, int x, int y, int w, int h, int from_ms, int to_ms) {
  return movie_open(file, x, y, w, h, from_ms, to_ms, false);
}

int movie_start_loop(const char* file, int x, int y, int w, int h) { return movie_open(file, x, y, w, h, 0, -1, true); }

int movie_is_playing() { return movie.player && !movie_player_ended(movie.player) ? 1 : 0; }

void movie_update_position() {
  if (movie.player) window_invalidate(nullptr);
}

void movie_validate_rect() {
  if (movie.player && !movie_hidden()) movie_player_paint(movie.player, paint_frame, nullptr);
}

void movie_hide() {
  if (++movie.hide_count == 1 && movie.player) window_invalidate(nullptr);
}

void movie_show() {
  // A show without its hide (a movie started inside a menu) leaves the count at 0, so the next hide
  // still hides.
  if (movie.hide_count == 0) return;
  if (--movie.hide_count == 0) movie_update_position();
}

intptr_t movie_message_handler(window_handle, uint32_t message, uintptr_t, intptr_t) {
  if (message == WM_PAINT) {
    movie_validate_rect();
  } else if (message == WM_MOVIE_FRAME && movie.player && !movie_hidden()) {
    plat_rect r = window_rect();
    window_invalidate(&r);
  }
  return 0;
}

std::string movie_file_find(const char* name) {
  if (!game_name_confined(name)) return "";  // a movie of the game lies inside it
  std::string candidates[] = {name, std::string("movie\\") + name};
  for (const std::string& path : candidates) {
    if (path.size() >= static_cast<size_t>(MOVIE_PATH_SIZE)) continue;
    if (FILE* f = game_fopen(path, "rb")) {
      fclose(f);
      return path;
    }
  }
  return "";
}

int builtin_movie_play(int32_t n, int32_t) { return movie_play_common(n, play_kind::once); }
int builtin_movie_play_loop(int32_t n, int32_t) { return movie_play_common(n, play_kind::loop); }
int builtin_movie_play_range(int32_t n, int32_t) { return movie_play_common(n, play_kind::range); }

int builtin_movie_stop(int32_t, int32_t) {
  movie_close();
  drain_window_messages();
  keep_fullscreen_on_deactivate_set(0);
  push_int(0);
  return 0;
}

int builtin_movie_stat(int32_t, int32_t) {
  push_int(movie_is_playing());
  return 0;
}

int builtin_movie_vol(int32_t, int32_t) {
  movie_set_volume(builtin_arg_int(1));
  push_int(0);
  return 0;
}

int builtin_movie_wait(int32_t n, int32_t) {
  script_thread* t = vm_thread;
  bool click_ends = n >= 1 ? builtin_arg_int(1) != 0 : true;
  bool clicked = click_ends && (t->decide_key || t->cancel_key || t->middle_key);
  if (movie_is_playing() && !clicked) {
    vm_frame->wait_deadline = wait_deadline_after(vm_time_get(), 10);
    return 1;
  }
  // A click ends the wait only; the movie plays on.
  input_take_press(BUTTON_WHEEL_FORWARD);
  input_take_press(BUTTON_WHEEL_BACKWARD);
  t->decide_key = t->cancel_key = t->middle_key = 0;
  vm_frame->wait_deadline = WAIT_NONE;
  push_int(0);
  return 0;
}

void movie_reset() {
  movie_close();
  if (movie.handler_added) wndproc_handler_remove(movie_message_handler);
  movie = movie_state{};
}
