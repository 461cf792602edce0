// STAND-IN (seams): see command_seams.h. Weak, so that the owning module's definitions win at link time.
#include "shell/command_seams.h"

#include "base/registry.h"
#include "shell/env_keys.h"
#include "shell/message_box.h"

#define SEAM __attribute__((weak))

static void not_built(const char* name) { notice_box("%s : この機能はまだ実装されていません", name); }

SEAM void speed_config_dialog() { not_built("speed_config_dialog"); }
SEAM void volume_config_dialog() { not_built("volume_config_dialog"); }
SEAM void font_select_dialog() { not_built("font_select_dialog"); }
SEAM void voice_setup_dialog() { not_built("voice_setup_dialog"); }
SEAM void extra_setup_dialog() { not_built("extra_setup_dialog"); }
SEAM void about_dialog_open(int debug) { not_built(debug ? "ABOUTDIALOG_DEBUG" : "ABOUTDIALOG"); }
SEAM void user_support_dialog_open() { not_built("USERSUPPORT"); }
SEAM void screen_option_dialog_open() { not_built("SCREENOPTION"); }

SEAM int capture_screen() {
  not_built("capture_screen");
  return -1;
}

SEAM int save_file_dialog(std::string&, int) {
  not_built("save_file_dialog");
  return 1;
}

// Without the save module there is no load to hand the path to: the run loop's restore is a
// stand-in that reads nothing.
SEAM void savefile_load_path_set(const char*) {}
SEAM void savefile_loaded_set(int) {}

SEAM int quickload_failsafe_get() {
  return reg_get_int(reg_global_name(), reg_local_name(), "QuickloadFailsafe", quickload_failsafe_default());
}
SEAM int quicksave_failsafe_get() {
  return reg_get_int(reg_global_name(), reg_local_name(), "QuicksaveFailsafe", quicksave_failsafe_default());
}

SEAM int compile_dropped_source() {
  not_built("compile_dropped_source");
  return 0;
}
SEAM const char* error_log_text() { return ""; }
