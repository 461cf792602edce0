#include "shell/display_mode.h"

#include <algorithm>

#include "platform/platform.h"

namespace {
struct display_mode_choice {
  int game_width = 0, game_height = 0;
  int view_width = 0, view_height = 0;
  int forced_width = 0, forced_height = 0;
  int picked_width = 0, picked_height = 0;  // 0 until picked
  int wide_preference = 0;
  int refresh = 0, depth = 0;
  int scale_type = 0;
  int offset_x = 0, offset_y = 0;
  int menu_bar_mode = 0;
  int menu_bar_height = 0;
  int fullscreen_key = 115;  // F4
  int (*switch_hook)(int) = nullptr;
  void (*windowed_hook)() = nullptr;
  void (*fullscreen_hook)() = nullptr;
};
display_mode_choice choice;
}  // namespace

void display_mode_reset() { choice = display_mode_choice{}; }

int is_fullscreen() { return 0; }
void display_mode_toggle(int) {}
void display_mode_reapply() {}
void menu_bar_track_cursor(int, int) {}
int menu_bar_mode_get() { return choice.menu_bar_mode; }
void menu_bar_mode_set(int mode) { choice.menu_bar_mode = mode; }
void display_scale_type_set(int type) { choice.scale_type = type; }

int aspect_class(int width, int height) {
  if (height <= 0) return 0;
  unsigned r = static_cast<unsigned>(width) * 100u / static_cast<unsigned>(height);
  return r <= 135 ? 0 : r <= 174 ? 1 : 2;
}

void fullscreen_size_pick(const std::vector<display_mode_entry>& modes, int preference, int game_width,
                          int game_height, int* width, int* height) {
  *width = game_width, *height = game_height;
  if (preference != 1 && preference != 2) return;
  const int classes[2] = {preference == 1 ? 1 : 2, preference == 1 ? 2 : 1};
  for (int cls : classes) {
    int best_w = 10000, best_h = 10000;
    bool found = false;
    for (const display_mode_entry& m : modes) {
      if (m.bits <= 14 || aspect_class(m.width, m.height) != cls || m.width < game_width || m.height < game_height)
        continue;
      if (m.width <= best_w && m.height <= best_h) best_w = m.width, best_h = m.height, found = true;
    }
    if (found) {
      *width = best_w, *height = best_h;
      return;
    }
  }
}

// The display's modes: this host changes no display mode, so the one it offers is the current one
// of the primary monitor.
static std::vector<display_mode_entry> display_modes() {
  int w = 0, h = 0;
  plat().primary_screen_size(w, h);
  return {display_mode_entry{w, h, 32}};
}

static void pick(int game_width, int game_height) {
  if (choice.picked_width) return;
  fullscreen_size_pick(display_modes(), choice.wide_preference, game_width, game_height, &choice.picked_width,
                       &choice.picked_height);
}

int fullscreen_width_pick(int game_width, int game_height) {
  pick(game_width, game_height);
  return choice.forced_width ? choice.forced_width : choice.picked_width;
}
int fullscreen_height_pick(int game_width, int game_height) {
  pick(game_width, game_height);
  return choice.forced_height ? choice.forced_height : choice.picked_height;
}

display_view display_scale_view(int type, int gw, int gh, int fw, int fh) {
  int h = gw > 0 ? fw * 50 / gw : 50, v = gh > 0 ? fh * 50 / gh : 50, s = std::min(h, v);
  switch (type) {
    case 1:
      if (s == 50) break;
      return {gw * s / 50, gh * s / 50, s * 1000 / 50, s * 1000 / 50};
    case 2:
      return gw == 1024 ? display_view{gw, gh * 65 / 50, 1000, 1300} : display_view{gw, gh * 60 / 50, 1000, 1200};
    case 3:
      return {gw, gh * v / 50, 1000, v * 1000 / 50};
    case 4:
      return {gw * 53 / 50, gh * v / 50, 1060, v * 1000 / 50};
    default:
      break;
  }
  return {gw, gh, -1, -1};
}

int fullscreen_offset_x() { return choice.offset_x; }
int fullscreen_offset_y() { return choice.offset_y; }

void set_screen_size(int width, int height, int) {
  choice.game_width = choice.view_width = width;
  choice.game_height = choice.view_height = height;
  pick(width, height);
}
void widescreen_pref_set(int preference) { choice.wide_preference = preference; }
void fullscreen_width_set(int width) { choice.forced_width = width; }
void fullscreen_height_set(int height) { choice.forced_height = height; }
void fullscreen_depth_set(int refresh, int depth) { choice.refresh = refresh, choice.depth = depth; }
void fullscreen_key_set(int vk) { choice.fullscreen_key = vk; }
void work_area_fit() {}
void display_switch_hook_set(int (*hook)(int)) { choice.switch_hook = hook; }
void windowed_hook_set(void (*hook)()) { choice.windowed_hook = hook; }
void fullscreen_hook_set(void (*hook)()) { choice.fullscreen_hook = hook; }
