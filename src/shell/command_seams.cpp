// STAND-IN (seams): see command_seams.h.
#include "shell/command_seams.h"

#include "shell/message_box.h"

static void not_built(const char* name) { notice_box("%s : この機能はまだ実装されていません", name); }


int save_file_dialog(std::string&, int) {
  not_built("save_file_dialog");
  return 1;
}
