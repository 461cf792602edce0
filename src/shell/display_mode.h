// Display modes and full screen.
//
// STAND-IN: the display-mode module replaces this file. Until then the game never runs in full
// screen: there is no menu bar to track, no switch and no full-screen scale, and the settings
// that start-up hands over are not used.
#pragma once

// 1 while full screen is active.
int is_fullscreen();
// Switches to full screen (1) or to the window (0).
void display_mode_toggle(int full);
// Runs the switch again for the current state (after each interpreter run).
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
