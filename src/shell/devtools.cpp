// STAND-IN: the save-path prefix and the watch list, until the development-tools module exists;
// its other calls do nothing here (as in a packaged game).
#include "shell/devtools.h"

#include <cstdio>

#include "base/cp932.h"
#include "base/hash.h"
#include "platform/platform.h"
#include "shell/settings.h"
#include "shell/window_core.h"
#include "vm/variables.h"

static std::string base_folder;
static std::string result;
static std::vector<std::string> requests;
// The watch list's last update, by the platform clock.
static struct {
  bool shown = false;
  uint32_t when = 0;
} watch;

// The watch text's buffer size: longer texts are cut on a character boundary.
static const size_t WATCH_TEXT_SIZE = 512;

const char* save_path(const char* relative) {
  if (base_folder.empty()) return relative;
  result = base_folder + "\\" + relative;
  return result.c_str();
}

void save_base_folder_set(const char* folder) { base_folder = folder ? folder : ""; }

// One watched variable as the status bar shows it, a blank after it.
static std::string watch_value(std::string name) {
  if (name.find('@', 1) == std::string::npos) name += "@GLOBAL";
  const value_cell* v = var_find_global(crc32_string(name.c_str()));
  char text[64];
  if (v && v->type == TYPE_INT) {
    snprintf(text, sizeof text, "%d ", v->i);
  } else if (v && v->type == TYPE_FLOAT) {
    snprintf(text, sizeof text, "%e ", static_cast<double>(v->f));
  } else if (v && v->type == TYPE_STRING) {
    return "\"" + std::string(v->s ? v->s->text : "") + "\" ";
  } else {
    return "??? ";
  }
  return text;
}

void watch_list_show() {
  const char* list = setting_text_get(SETTING_WATCH_LIST);
  if (!status_bar_present() || !list[0]) return;
  uint32_t now = plat().clock_ms();
  if (watch.shown && now - watch.when < 10) return;
  watch = {true, now};
  std::string shown;
  for (const char* p = list; *p;) {
    while (*p == ' ') ++p;
    const char* end = p;
    while (*end && *end != ' ') ++end;
    if (*p == '@' || *p == '#') shown += watch_value(std::string(p, end));
    p = end;
  }
  shown.resize(cp932_cut_length(shown, WATCH_TEXT_SIZE - 1));
  status_bar_text_set(shown.c_str());
}

void watch_list_reset() { watch = {}; }

void editor_open_at_line(const char* object_name, int32_t line) {
  requests.push_back(std::string(object_name) + "(" + std::to_string(line) + ")");
}

void LoadObject(const char*) {}

std::vector<std::string>& editor_requests() { return requests; }
