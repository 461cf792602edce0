// Display modes and full screen.
//
// STAND-IN: only what the interpreter pass calls. The display-mode module replaces this file.
// Until then the game never runs in full screen.
#pragma once

// 1 while full screen is active.
int is_fullscreen();
// In menu-bar mode: shows the menu bar when the cursor is at the top of the screen, hides it
// when the cursor leaves it.
void menu_bar_track_cursor(int x, int y);
