// STAND-IN: the save-path prefix alone, until the development-tools module exists.
#include "shell/devtools.h"

#include <string>

static std::string base_folder;
static std::string result;

const char* save_path(const char* relative) {
  if (base_folder.empty()) return relative;
  result = base_folder + "\\" + relative;
  return result.c_str();
}

void save_base_folder_set(const char* folder) { base_folder = folder ? folder : ""; }

// No status bar, so no watch list.
void watch_list_show() {}
