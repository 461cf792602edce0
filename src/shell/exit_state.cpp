#include "shell/exit_state.h"

#include <cstdio>

#include "base/env.h"
#include "base/registry.h"
#include "graphics/presentation.h"
#include "platform/platform.h"
#include "resources/menus.h"
#include "save/savefile.h"
#include "shell/display_mode.h"
#include "shell/env_keys.h"
#include "shell/input.h"
#include "shell/settings.h"
#include "shell/window_core.h"
#include "vm/skip.h"

// Module state: the top-most flag.
static int topmost = 0;

void exit_state_reset() { topmost = 0; }

static const char* reg_a() { return reg_global_name(); }
static const char* reg_b() { return reg_local_name(); }

// The machine-wide movie-player value of that name gets back what start-up saved of it; the
// saved copy is emptied either way.
static void mci_extension_restore(const char* name) {
  char saved[REG_VALUE_BUFFER];
  reg_get_string(reg_a(), reg_b(), name, "", saved, sizeof saved);
  if (saved[0])
    reg_set_string_at(REG_ROOT_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\MCI Extensions", name,
                      saved, 0);
  reg_set_string(reg_a(), reg_b(), name, "");
}

void save_window_state() {
  // The values go to the store's file in one write at the end.
  reg_writes_defer();
  int win_stat = menu_bar_mode_get() ? 1 : 0;
  reg_set_int(reg_a(), reg_b(), "AbnormalTerminateFlg", 0);
  reg_set_int(reg_a(), reg_b(), "WinStat", win_stat);
  reg_set_int(reg_a(), reg_b(), "NANIDO", difficulty_get());
  reg_set_int(reg_a(), reg_b(), "GameSpeed", game_speed_get());
  reg_set_int(reg_a(), reg_b(), "TOPMOST", topmost);
  reg_set_int(reg_a(), reg_b(), "FullScFreq", full_sc_freq_get());
  reg_set_int(reg_a(), reg_b(), "FullScBits", full_sc_bits_get());
  mci_extension_restore("mpg");
  mci_extension_restore("mpeg");
  if (win_stat == 0) {
    int x = 0, y = 0;
    plat().window_position(main_window_get(), x, y);
    reg_set_int(reg_a(), reg_b(), "WinPosX", x);
    reg_set_int(reg_a(), reg_b(), "WinPosY", y);
  }
  if (env_get_int("DELETEREGISTORYATEXIST", 0)) {
    reg_delete_tree(reg_a(), reg_b());
    reg_delete_tree_machine(reg_a(), reg_b());
  }
  if (reg_writes_resume() != 0) fprintf(stderr, "vaskrun: the window state could not be written to the settings\n");
}

void menu_refresh() {
  platform_backend& p = plat();
  window_handle w = main_window_get();
  bool full = is_fullscreen() != 0;
  p.menu_item_check(w, IDM_FULLSCREEN, full);
  p.menu_item_check(w, IDM_WINDOWED, !full);
  // What the environment greyed for the run stays grey: the refresh only adds its own reasons.
  p.menu_item_enable(w, IDM_CAPTURE, !full && env_get_int("CAPTUREDISABLE", 0) != 1);
  bool saving = save_allowed_get() && !input_blocked() && !loadsave_disabled();
  for (int id : {IDM_SAVE, IDM_SAVE_AS, IDM_QUICK_SAVE}) p.menu_item_enable(w, id, saving);
  p.menu_item_check(w, IDM_TOPMOST, topmost != 0);
  p.menu_item_enable(w, IDM_NEXT_CHOICE, menu_lock_a_get() != 0);
  p.menu_item_enable(w, IDM_PREV_CHOICE, menu_lock_b_get() != 0);
  int method = reg_get_int(reg_a(), reg_b(), "MoviePlayMethod", 2);
  p.menu_item_check(w, IDM_MOVIE_OFF, method == 0);
  p.menu_item_check(w, IDM_MOVIE_METHOD_1, method == 1);
  p.menu_item_check(w, IDM_MOVIE_METHOD_2, method == 2);
  for (int i = 0; i <= 4; ++i) p.menu_item_check(w, IDM_NANIDO_0 + i, difficulty_get() == i);
  for (int i = 0; i <= 3; ++i) p.menu_item_check(w, IDM_GAME_SPEED_0 + i, game_speed_get() == i);
  // The host redraws its menu bar by itself.
}

void leave_fullscreen_callback() { screen_mode_set(0); }
void enter_fullscreen_callback() { screen_mode_set(1); }

int topmost_apply(int value) {
  int previous = topmost;
  if (value != -1) topmost = value;
  plat().window_set_topmost(main_window_get(), topmost != 0);
  return previous;
}
int topmost_get() { return topmost; }

void KATAZUKE() {
  title_progress("KATAZUKE");
  int bar_mode = menu_bar_mode_get();
  display_mode_toggle(0);
  front_page_set(nullptr);
  menu_bar_mode_set(bar_mode);
  title_progress("KATAZUKE - END");
}
