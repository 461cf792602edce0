// Display modes and full screen.
//
// STAND-IN: the display-mode module replaces this file. Until then the game never runs in full
// screen, so there is no menu bar to track, no full-screen scale and no switch.
#pragma once

// 1 while full screen is active.
int is_fullscreen();
// Switches to full screen (1) or to the window (0).
void display_mode_toggle(int full);
// In menu-bar mode: shows the menu bar when the cursor is at the top of the screen, hides it
// when the cursor leaves it.
void menu_bar_track_cursor(int x, int y);
// The full-screen scale type (the FullScreenFit setting, 0-4).
void display_scale_type_set(int type);
