// STAND-IN for the display-mode module: the window never leaves its fixed size yet.
#include "shell/display_mode.h"

int is_fullscreen() { return 0; }
void display_mode_toggle(int /*full*/) {}
void menu_bar_track_cursor(int, int) {}
void display_scale_type_set(int /*type*/) {}
