// STAND-IN (seams): see command_seams.h.
#include "shell/command_seams.h"

#include "shell/message_box.h"

static void not_built(const char* name) { notice_box("%s : この機能はまだ実装されていません", name); }

void speed_config_dialog() { not_built("speed_config_dialog"); }
void volume_config_dialog() { not_built("volume_config_dialog"); }
void font_select_dialog() { not_built("font_select_dialog"); }
void voice_setup_dialog() { not_built("voice_setup_dialog"); }
void extra_setup_dialog() { not_built("extra_setup_dialog"); }
void about_dialog_open(int debug) { not_built(debug ? "ABOUTDIALOG_DEBUG" : "ABOUTDIALOG"); }
void user_support_dialog_open() { not_built("USERSUPPORT"); }
void screen_option_dialog_open() { not_built("SCREENOPTION"); }

int capture_screen() {
  not_built("capture_screen");
  return -1;
}

int save_file_dialog(std::string&, int) {
  not_built("save_file_dialog");
  return 1;
}
