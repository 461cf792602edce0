// Display modes and full screen.
//
// STAND-IN: only what the dispatcher calls; the window never leaves window mode. The display
// module replaces this file.
#pragma once

// Switches to full screen (1) or to the window (0).
void display_mode_toggle(int full);
// 1 while full screen is active.
int is_fullscreen();
