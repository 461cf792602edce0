// STAND-IN: window mode always, until the display module exists.
#include "shell/display_mode.h"

void display_mode_toggle(int) {}
int is_fullscreen() { return 0; }
