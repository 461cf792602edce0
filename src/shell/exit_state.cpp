// STAND-IN for the exit-state module, except KATAZUKE: see exit_state.h.
#include "shell/exit_state.h"

#include "base/registry.h"
#include "graphics/presentation.h"
#include "platform/platform.h"
#include "shell/display_mode.h"
#include "shell/env_keys.h"
#include "shell/settings.h"
#include "shell/window_core.h"

static int topmost = 0;

// Only the clean-exit mark, so that the next start does not take an orderly end for a crash.
void save_window_state() { reg_set_int(reg_global_name(), reg_local_name(), "AbnormalTerminateFlg", 0); }
void menu_refresh() {}
void leave_fullscreen_callback() {}
void enter_fullscreen_callback() {}

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
