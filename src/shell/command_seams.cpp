// STAND-IN (seams): see command_seams.h.
#include "shell/command_seams.h"

#include "shell/message_box.h"

static void not_built(const char* name) { notice_box("%s : この機能はまだ実装されていません", name); }

void speed_config_dialog() { not_built("speed_config_dialog"); }
void volume_config_dialog() { not_built("volume_config_dialog"); }
void font_select_dialog() { not_built("font_select_dialog"); }
void voice_setup_dialog() { not_built("voice_setup_dialog"); }
void extra_setup_dialog() { not_built("extra_setup_dialog"); }

int save_file_dialog(std::string&, int) {
  not_built("save_file_dialog");
  return 1;
}
