// Display modes and full screen.
//
// STAND-IN: the display-mode module replaces this file. Until then there is no full screen to
// scale, and the window never leaves window mode.
#pragma once

// The full-screen scale type (the FullScreenFit setting, 0-4).
void display_scale_type_set(int type);
// Switches to full screen (1) or to the window (0).
void display_mode_toggle(int full);
// 1 while full screen is active.
int is_fullscreen();
