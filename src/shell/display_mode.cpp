// STAND-IN: never in full screen, so there is no menu bar to track.
#include "shell/display_mode.h"

int is_fullscreen() { return 0; }
void menu_bar_track_cursor(int, int) {}
