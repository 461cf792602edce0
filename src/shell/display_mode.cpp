#include "shell/display_mode.h"

#include <algorithm>

#include "graphics/presentation.h"
#include "platform/messages.h"
#include "platform/platform.h"
#include "shell/ime.h"
#include "shell/window_core.h"

namespace {
// A menu bar and a caption of the desktop's usual heights: what the bar takes of the full screen.
constexpr int MENU_BAR_HEIGHT = 20 + 24;

struct display_mode_choice {
  int game_width = 0, game_height = 0;
  int view_width = 0, view_height = 0;
  int forced_width = 0, forced_height = 0;
  int picked_width = 0, picked_height = 0;  // 0 until picked
  int wide_preference = 0;
  int refresh = 0, depth = 0;
  int scale_type = 0;
  int menu_bar_mode = 0;
  int menu_bar_height = 0;
  int fullscreen_key = 115;  // F4
  int fullscreen = 0;     // only once the window system confirmed it
  int pending_full = 0;   // asked for, not confirmed yet
  int leaving = 0;        // back to the window asked for, not confirmed yet
  int busy = 0;
  int keep_on_deactivate = 0;
  int menu_bar_shown = 0;
  uint32_t last_toggle = 0;
  int toggled_once = 0;
  window_rects rects{};
  int (*switch_hook)(int) = nullptr;
  void (*windowed_hook)() = nullptr;
  void (*fullscreen_hook)() = nullptr;
};
display_mode_choice choice;
}  // namespace

void display_mode_reset() { choice = display_mode_choice{}; }

int is_fullscreen() { return choice.fullscreen; }
int menu_bar_mode_get() { return choice.menu_bar_mode; }

static void menu_bar_show(int shown) {
  if (!choice.menu_bar_mode || !choice.fullscreen) shown = 0;
  choice.menu_bar_shown = shown;
  if (window_handle w = main_window_get()) plat().window_show_menu_bar(w, shown || !choice.fullscreen);
  view_top_inset_set(shown ? choice.menu_bar_height : 0);
}

void menu_bar_mode_set(int mode) {
  choice.menu_bar_mode = mode;
  menu_bar_show(0);
}

void menu_bar_track_cursor(int, int y) {
  if (!choice.menu_bar_mode || !choice.fullscreen) return;
  if (y <= 3 && !choice.menu_bar_shown) menu_bar_show(1);
  else if (choice.menu_bar_shown && y > choice.menu_bar_height) menu_bar_show(0);
}
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

// This host changes no display mode, so the one it offers is the current one of the primary
// monitor.
std::vector<display_mode_entry> display_modes_list() {
  std::vector<monitor_info> list;
  plat().monitors(list);
  for (const monitor_info& m : list)
    if (m.primary) return {display_mode_entry{m.area.width, m.area.height, 32, m.refresh_hz}};
  int w = 0, h = 0;
  plat().primary_screen_size(w, h);
  return {display_mode_entry{w, h, 32, 0}};
}
static std::vector<display_mode_entry> display_modes() { return display_modes_list(); }

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

intptr_t display_mode_handler(window_handle, uint32_t message, uintptr_t wparam, intptr_t lparam);

// The window's place is taken from the window only while it is one: in full screen (and on the
// way there and back) it is the place the window had, to which leaving full screen returns.
void window_rects_compute() {
  wndproc_handler_add(display_mode_handler);  // once: a second add is refused
  int x = choice.rects.window.x, y = choice.rects.window.y, fw = 0, fh = 0;
  window_handle w = main_window_get();
  if (w && !choice.fullscreen && !choice.pending_full && !choice.leaving) plat().window_position(w, x, y);
  plat().primary_screen_size(fw, fh);
  int bar = choice.menu_bar_height;
  choice.rects.window = plat_rect{x, y, choice.game_width, choice.game_height};
  choice.rects.full_hidden = plat_rect{0, 0, fw, fh};
  choice.rects.full_shown = plat_rect{0, bar, fw, fh - bar};
}
window_rects window_rects_get() { return choice.rects; }

// WM_WINDOWPOSCHANGING: the window keeps the size of its rectangle; in full screen (asked for or
// confirmed) the full-screen rectangle of the bar's state.
static void window_pos_fix(window_pos* pos) {
  if (!pos) return;
  if (choice.fullscreen || choice.pending_full) {
    const plat_rect& r = choice.menu_bar_shown ? choice.rects.full_shown : choice.rects.full_hidden;
    *pos = window_pos{r.x, r.y, r.width, r.height, 0};
  } else if (!(pos->flags & SWP_NOSIZE)) {
    pos->width = choice.rects.window.width, pos->height = choice.rects.window.height;
  }
}

// The full-screen size in force: the display mode never changes here, so full screen is always the
// monitor's current mode, whatever size was picked (the pick still answers the scripts).
static void full_size(int* w, int* h) {
  std::vector<display_mode_entry> modes = display_modes();
  *w = modes[0].width, *h = modes[0].height;
}

// The scale type's view of the game screen in full screen, or none in the window. The scale lies
// under whatever view and zoom the game has set (the presentation composes the two), so neither
// undoes the other whichever comes first. The game screen, scaled to the view's size, lies in the
// middle of the screen: the centring pair carries the screen's centring and the scaled view's
// offsets together, in screen pixels, and the script's own offsets are left to the script.
static void screen_scale_apply(bool on) {
  choice.view_width = choice.game_width, choice.view_height = choice.game_height;
  if (!on) {
    view_screen_scale_set(0, 0, 1000, 1000);
    view_center_offset_set(0, 0);
    return;
  }
  int fw, fh;
  full_size(&fw, &fh);
  display_view v = display_scale_view(choice.scale_type, choice.game_width, choice.game_height, fw, fh);
  if (v.zoom_x >= 0) choice.view_width = v.width, choice.view_height = v.height;
  view_screen_scale_set(choice.game_width, choice.game_height, v.zoom_x >= 0 ? v.zoom_x : 1000,
                        v.zoom_y >= 0 ? v.zoom_y : 1000);
  view_center_offset_set((choice.game_width - fw) / 2 + (choice.game_width - choice.view_width) / -2,
                         (choice.game_height - fh) / 2 + (choice.game_height - choice.view_height) / -2);
}

// The window system said the window fills its monitor.
static void fullscreen_confirmed() {
  choice.pending_full = 0;
  choice.fullscreen = 1;
  choice.menu_bar_mode = 1;
  screen_scale_apply(true);
  menu_bar_show(0);
}

// The window system said the window is a window again: it goes back to the place it had, should
// the window system have put it elsewhere.
static void window_confirmed(window_handle w) {
  choice.leaving = 0;
  int x = 0, y = 0;
  plat().window_position(w, x, y);
  const plat_rect& place = choice.rects.window;
  if (x != place.x || y != place.y) plat().window_move(w, place.x, place.y);
}

void display_mode_switch(int full, int reapply) {
  window_handle w = main_window_get();
  if (full) {
    if (choice.fullscreen && !reapply) return;
    if (choice.switch_hook && w) plat().window_set_topmost(w, true);
    if (!reapply || !choice.fullscreen) {
      window_rects_compute();
      winplace_save_all();
      ime_disable();
      choice.pending_full = 1;
      choice.leaving = 0;
      if (w) plat().window_set_fullscreen(w, true);
    } else {
      fullscreen_confirmed();
    }
    return;
  }
  if (!choice.fullscreen && !choice.pending_full && !reapply) return;
  if (choice.switch_hook) choice.switch_hook(-1);
  screen_scale_apply(false);
  if (!reapply) {
    ime_disable();
    choice.leaving = choice.fullscreen || choice.pending_full;
    choice.fullscreen = choice.pending_full = 0;
    choice.menu_bar_mode = 0;
    if (w) plat().window_set_fullscreen(w, false);
    winplace_restore_all();
  }
  menu_bar_show(0);
}

void display_mode_toggle(int full) {
  if (choice.busy) return;
  choice.busy = 1;
  window_rects_compute();
  drain_window_messages();
  display_mode_switch(full, 0);
  drain_window_messages();
  choice.busy = 0;
}

void display_mode_reapply() { display_mode_switch(choice.fullscreen, 1); }

void keep_fullscreen_on_deactivate_set(int keep) { choice.keep_on_deactivate = keep; }

int display_mode_toggle_debounced(int full) {
  uint32_t now = plat().clock_ms();
  if (choice.toggled_once && now - choice.last_toggle < 1000) return 0;
  choice.toggled_once = 1;
  choice.last_toggle = now;
  if (full && choice.fullscreen_hook)
    choice.fullscreen_hook();
  else if (!full && choice.windowed_hook)
    choice.windowed_hook();
  else
    display_mode_toggle(full);
  return 1;
}

intptr_t display_mode_handler(window_handle window, uint32_t message, uintptr_t wparam, intptr_t lparam) {
  bool full = choice.fullscreen;
  window_handle w = window ? window : main_window_get();
  switch (message) {
    case WM_SIZE:
      // The window-state change that follows a request confirms it when the window system says
      // the state was reached (another change, such as a restore from the task bar, does not).
      if (choice.pending_full && wparam == SIZE_RESTORED && w && plat().window_is_fullscreen(w)) {
        fullscreen_confirmed();
      } else if (choice.leaving && wparam == SIZE_RESTORED && w && !plat().window_is_fullscreen(w)) {
        window_confirmed(w);
      } else if (full && wparam == SIZE_MINIMIZED) {
        display_mode_toggle_debounced(0);
      } else if (wparam == SIZE_MAXIMIZED) {
        // Maximising is the way to full screen (and back): the window itself never grows.
        if (window) message_send(window, WM_SYSCOMMAND, SC_RESTORE, 0);
        display_mode_toggle_debounced(full ? 0 : 1);
      }
      return 0;
    case WM_WINDOWPOSCHANGING:
      window_pos_fix(reinterpret_cast<window_pos*>(lparam));
      wndproc_set_result(0);
      return 1;
    case WM_KEYDOWN:
      if (wparam == static_cast<uintptr_t>(choice.fullscreen_key)) display_mode_toggle_debounced(full ? 0 : 1);
      return 0;
    case WM_SYSKEYDOWN:
      if (wparam == VK_RETURN) display_mode_toggle_debounced(full ? 0 : 1);
      return 0;
    case WM_KILLFOCUS:
      // Only for another program's window: our own dialogs and menus over the game keep it.
      if (full && !choice.keep_on_deactivate && plat().clock_ms() - choice.last_toggle >= 1000 &&
          plat().window_foreground_elsewhere(w))
        display_mode_toggle_debounced(0);
      return 0;
    case WM_DISPLAYCHANGE:
      if (full) {
        window_rects_compute();
        ime_disable();
        choice.fullscreen = choice.menu_bar_mode = 0;
        screen_scale_apply(false);
        winplace_restore_all();
      }
      return 0;
    case WM_SYSCOMMAND:
      if (full && (wparam & 0xFFF0) == SC_KEYMENU) menu_bar_show(1);
      return 0;
    case WM_MENUSELECT:
      if (full && (wparam & 0xFFFF0000u) == MENUSELECT_CLOSED && lparam == 0) menu_bar_show(0);
      return 0;
    case WM_POWERBROADCAST:
      if (full && wparam == 0) {
        display_mode_toggle_debounced(0);
        wndproc_set_result(1);
        return 1;
      }
      return 0;
    default:
      return 0;
  }
}

void set_screen_size(int width, int height, int) {
  choice.game_width = choice.view_width = width;
  choice.game_height = choice.view_height = height;
  choice.menu_bar_height = MENU_BAR_HEIGHT;
  pick(width, height);
  window_rects_compute();
  if (choice.fullscreen) screen_scale_apply(true);  // the scale and the centring of the new size
  if (window_handle w = main_window_get()) plat().window_invalidate(w, nullptr);
}
// A new preference is picked for anew.
void widescreen_pref_set(int preference) {
  if (preference != choice.wide_preference) choice.picked_width = choice.picked_height = 0;
  choice.wide_preference = preference;
}
void fullscreen_width_set(int width) { choice.forced_width = width; }
void fullscreen_height_set(int height) { choice.forced_height = height; }
void fullscreen_depth_set(int refresh, int depth) { choice.refresh = refresh, choice.depth = depth; }
void fullscreen_key_set(int vk) { choice.fullscreen_key = vk; }
void work_area_fit() {
  std::vector<monitor_info> list;
  plat().monitors(list);
  if (!list.empty() && list[0].work_area.height > choice.game_height) choice.menu_bar_height = MENU_BAR_HEIGHT;
  window_rects_compute();
}
void display_switch_hook_set(int (*hook)(int)) { choice.switch_hook = hook; }
void windowed_hook_set(void (*hook)()) { choice.windowed_hook = hook; }
void fullscreen_hook_set(void (*hook)()) { choice.fullscreen_hook = hook; }

// Other programs' windows are not ours to move on this system.
void winplace_save_all() {}
void winplace_restore_all() {}
