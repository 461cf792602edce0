// Display modes and full screen.
//
// The game screen has a fixed size shown in a fixed-size window or in full screen. This module
// keeps the display-mode choice: the game and view sizes, the full-screen size (forced or picked
// from the display's modes by aspect class), the scale type giving the view size and zoom, and the
// centring offsets of the scaled view.
//
// Full screen is the window system's full screen on the window's monitor (the display mode never
// changes); is_fullscreen says 1 only once the window system says the window is full screen, so
// hooks and the debounce never see a state that did not happen. Its scale lies under the game's
// own view and zoom in the presentation, so the two compose. Leaving it puts the window back where
// it was.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/platform.h"
#include "platform/window.h"

// 1 while full screen is active.
int is_fullscreen();
// Switches to full screen (1) or to the window (0).
void display_mode_toggle(int full);
// Runs the switch again for the current state, full screen or window, without asking the window
// system to change it (after each interpreter run).
void display_mode_reapply();
// In menu-bar mode: shows the menu bar when the cursor is at the top of the screen, hides it
// when the cursor leaves it.
void menu_bar_track_cursor(int x, int y);
// Menu-bar mode (full screen with a menu bar that the cursor shows).
int menu_bar_mode_get();
void menu_bar_mode_set(int mode);
// The full-screen scale type (the FullScreenFit setting, 0-4).
void display_scale_type_set(int type);

// The game screen's size; menu_bar: the window keeps room for a menu bar in full screen.
void set_screen_size(int width, int height, int menu_bar);
// Full-screen preferences: wide class (0 none, 1 16:10 first, 2 16:9 first), forced size (0 means
// pick), refresh rate and colour depth (0 the desktop's), the switching key.
void widescreen_pref_set(int preference);
void fullscreen_width_set(int width);
void fullscreen_height_set(int height);
void fullscreen_depth_set(int refresh, int depth);
void fullscreen_key_set(int vk);
// Gives the menu bar its height when the desktop's work area is taller than the game.
void work_area_fit();

// Hooks: called with -1 when leaving full screen; and, when set, instead of the built-in switch.
void display_switch_hook_set(int (*hook)(int value));
void windowed_hook_set(void (*hook)());
void fullscreen_hook_set(void (*hook)());

// A mode the display offers.
struct display_mode_entry {
  int width, height, bits;
  int refresh = 0;  // Hz, 0 when unknown
};
// The display's modes: on this system the primary monitor's current one.
std::vector<display_mode_entry> display_modes_list();
// Aspect class of a size: 0 (4:3, 5:4), 1 (16:10), 2 (16:9).
int aspect_class(int width, int height);
// The full-screen size for a game size over a mode list: with preference 0 the game size; else
// the smallest mode (no larger in either direction than the best so far) of more than 14 bits of
// at least the game size, of the first class of the preference's list that has one; none gives
// the game size.
void fullscreen_size_pick(const std::vector<display_mode_entry>& modes, int preference, int game_width,
                          int game_height, int* width, int* height);
// The same over the display's own modes (on this host its current mode), remembered: the first
// call picks, later ones return the stored result.
int fullscreen_width_pick(int game_width, int game_height);
int fullscreen_height_pick(int game_width, int game_height);

// The view of a scale type: presented size and zoom per mille; zoom -1 leaves the view as it is.
struct display_view {
  int width, height, zoom_x, zoom_y;
};
display_view display_scale_view(int type, int game_width, int game_height, int full_width, int full_height);

// The window's rectangles, as the client area's place and size on the screen: in the window (at
// its current corner, the game size; the user cannot resize it; from the switch to full screen
// until the window is back, the corner it had), in full screen with the menu bar
// hidden (the monitor) and shown (the monitor less the bar, which takes the top of the screen).
// The menu and status bars lie outside the client area on this system, so they add nothing.
struct window_rects {
  plat_rect window, full_hidden, full_shown;
};
// Adds display_mode_handler to the main window's table (once) and computes the rectangles.
void window_rects_compute();
window_rects window_rects_get();

// The switch itself (reapply: for the current state, without asking the window system again).
void display_mode_switch(int full, int reapply);
// At most once per 1000 ms of the system clock; the full-screen or windowed hook when set, else
// display_mode_toggle. 1 when accepted.
int display_mode_toggle_debounced(int full);
void keep_fullscreen_on_deactivate_set(int keep);
// The main window's handler of the triggers: maximise, minimise, the full-screen key, Alt+Enter,
// focus loss, display change, the menu key and the menu's close, query-suspend.
intptr_t display_mode_handler(window_handle window, uint32_t message, uintptr_t wparam, intptr_t lparam);
// Other windows' placements around a switch: nothing to do on this system.
void winplace_save_all();
void winplace_restore_all();
// Forgets the module state (tests).
void display_mode_reset();
