// STAND-IN: the save-path prefix alone, until the development-tools module exists.
#include "shell/devtools.h"

static std::string base_folder;
static std::string result;
static std::vector<std::string> requests;

const char* save_path(const char* relative) {
  if (base_folder.empty()) return relative;
  result = base_folder + "\\" + relative;
  return result.c_str();
}

void save_base_folder_set(const char* folder) { base_folder = folder ? folder : ""; }

// No status bar, so no watch list.
void watch_list_show() {}

void editor_open_at_line(const char* object_name, int32_t line) {
  requests.push_back(std::string(object_name) + "(" + std::to_string(line) + ")");
}

void LoadObject(const char*) {}

std::vector<std::string>& editor_requests() { return requests; }
