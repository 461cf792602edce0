// STAND-IN for the display-mode module: the window never leaves its fixed size yet.
#include "shell/display_mode.h"

static int menu_bar_mode = 0;

int is_fullscreen() { return 0; }
void display_mode_toggle(int) {}
void display_mode_reapply() {}
void menu_bar_track_cursor(int, int) {}
int menu_bar_mode_get() { return menu_bar_mode; }
void menu_bar_mode_set(int mode) { menu_bar_mode = mode; }
void display_scale_type_set(int /*type*/) {}
void set_screen_size(int, int, int) {}
void widescreen_pref_set(int) {}
void fullscreen_width_set(int) {}
void fullscreen_height_set(int) {}
void fullscreen_depth_set(int, int) {}
void fullscreen_key_set(int) {}
void work_area_fit() {}
void display_switch_hook_set(int (*)(int)) {}
void windowed_hook_set(void (*)()) {}
void fullscreen_hook_set(void (*)()) {}
