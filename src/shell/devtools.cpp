#include "shell/devtools.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/cp932.h"
#include "base/datasource.h"
#include "base/gamepath.h"
#include "base/hash.h"
#include "platform/platform.h"
#include "shell/settings.h"
#include "shell/window_core.h"
#include "vm/builtins_variable.h"
#include "vm/script_error.h"
#include "vm/script_object.h"
#include "vm/variables.h"

// Module state.
static struct {
  std::string base_folder;
  std::string save_path_result;
  int compile_finished = 0;
  int compile_running = 0;
  std::string error_line;
  bool watch_shown = false;
  uint32_t watch_when = 0;  // platform clock of the last watch update
  bool asked = false;       // the user asked for development: programs may start
} dev;

// The watch text's buffer size: longer texts are cut on a character boundary.
static const size_t WATCH_TEXT_SIZE = 512;

static bool development_mode() { return error_report_mode_get() != 1; }

void development_asked_set(bool asked) { dev.asked = asked; }
bool development_asked() { return dev.asked; }

bool development_requested(const char* command_line) {
  for (const std::string& word : command_line_split(command_line ? command_line : ""))
    if (word == DEVELOPMENT_SWITCH) return true;
  const char* setting = getenv(DEVELOPMENT_VARIABLE);
  return setting && strcmp(setting, "1") == 0;
}

const char* save_path(const char* relative) {
  if (dev.base_folder.empty()) return relative;
  dev.save_path_result = dev.base_folder + "\\" + relative;
  return dev.save_path_result.c_str();
}

void save_base_folder_set(const char* folder) { dev.base_folder = folder ? folder : ""; }

void compile_finished_set(int flag) { dev.compile_finished = flag; }
int compile_finished_get() { return dev.compile_finished; }
void compile_running_set(int flag) { dev.compile_running = flag; }
int compile_running_get() { return dev.compile_running; }

// ---------------------------------------------------------------------------------------------
// Compiling

static bool host_file_exists(const std::string& engine_path, struct stat* st = nullptr) {
  struct stat local;
  return stat(game_path_native(engine_path).c_str(), st ? st : &local) == 0;
}

// The folder part of a path, with its last separator ("" for a bare name).
static std::string folder_of(const std::string& path) {
  return path.substr(0, path.size() - game_path_file_name(path).size());
}

// Starts the compiler on the source; false when there is none beside it, it did not start, or
// the user did not ask for development (a game may ship a program of that name).
static bool compiler_start(const char* source) {
  if (!source || !*source || !development_mode() || !dev.asked) return false;
  std::string folder = folder_of(source);
  std::string compiler = folder + "VaskelCompile";
  if (!host_file_exists(compiler)) {
    compiler += ".exe";
    if (!host_file_exists(compiler)) return false;
  }
  std::string command = "\"" + compiler + "\" /f /t /d /txt \"/s" + source + "\"";
  std::string working = folder.size() > 1 ? folder.substr(0, folder.size() - 1) : folder;
  dev.compile_finished = 0;
  dev.compile_running = 1;
  if (!plat().process_spawn(command.c_str(), working.empty() ? nullptr : working.c_str(), main_window_get(),
                            COMPILE_DONE_MESSAGE)) {
    dev.compile_running = 0;
    return false;
  }
  return true;
}

int compile_source(const char* source_path) {
  if (!compiler_start(source_path)) return 0;
  uint32_t start = plat().clock_ms();
  while (!dev.compile_finished) {
    if (plat().clock_ms() - start >= COMPILE_TIMEOUT_MS) {
      fprintf(stderr, "vaskrun: the compiler did not finish %s within %u s; the object is used as it is\n",
              source_path, COMPILE_TIMEOUT_MS / 1000);
      break;
    }
    plat().sleep_ms(10);
    drain_window_messages();
  }
  return 1;
}

int compile_dropped_source() { return compiler_start(dropped_file_path()) ? 1 : 0; }

// The source of an object found at object_path: the object's folder less its last component, the
// object's file name, ".txt" when that file exists, else ".vks".
static std::string source_beside(const std::string& object_path) {
  std::string folder = folder_of(object_path);
  std::string file = object_path.substr(folder.size());
  if (const char* dot = cp932_strrchr(file.c_str(), '.')) file.resize(static_cast<size_t>(dot - file.c_str()));
  std::string parent = folder.size() > 1 ? folder_of(folder.substr(0, folder.size() - 1)) : std::string();
  std::string base = parent + file;
  return host_file_exists(base + ".txt") ? base + ".txt" : base + ".vks";
}

// An object already in memory needs no file to run on.
static bool object_in_memory(const char* name) {
  char object_name[OBJECT_NAME_SIZE];
  object_name_make(name, object_name);
  for (script_object* o = object_list_head(); o; o = o->next)
    if (strcmp(o->name, object_name) == 0) return true;
  return false;
}

static void scenario_sources_add() {
  data_source_add("scenario", 0);
  for (int n = 9; n >= 1; --n) data_source_add(("scenario" + std::to_string(n)).c_str(), 0);
}

void LoadObject(const char* name) {
  if (!name || !development_mode()) return;
  for (;;) {
    std::string object = std::string(name) + ".vko";
    char found[DATA_PATH_SIZE];
    if (data_file_source(object.c_str(), found)) {
      std::string object_path = found;
      std::string source = source_beside(object_path);
      struct stat object_stat, source_stat;
      bool have_object = host_file_exists(object_path, &object_stat);
      if (!host_file_exists(source, &source_stat)) return;  // nothing to compile from
      if (!have_object || object_stat.st_mtim.tv_sec < source_stat.st_mtim.tv_sec ||
          (object_stat.st_mtim.tv_sec == source_stat.st_mtim.tv_sec &&
           object_stat.st_mtim.tv_nsec < source_stat.st_mtim.tv_nsec))
        compile_source(source.c_str());  // the compiler replaces the object; without one it is kept
      return;
    }
    for (const char* extension : {".txt", ".vks"}) {
      std::string source_name = std::string(name) + extension;
      char source[DATA_PATH_SIZE];
      if (data_file_exists(source_name.c_str()) && data_file_source(source_name.c_str(), source)) {
        compile_source(source);
        scenario_sources_add();
        return;
      }
    }
    if (object_in_memory(name)) return;
    script_error("LoadObject : ファイル[%s.vko]が存在しません。", name);
    scenario_sources_add();
  }
}

// ---------------------------------------------------------------------------------------------
// The editor

// Replaces every "key" of text by value, never looking into what was put in.
static std::string fill(const std::string& text, const std::string& key, const std::string& value) {
  std::string out;
  size_t from = 0;
  for (size_t at; (at = text.find(key, from)) != std::string::npos; from = at + key.size())
    out += text.substr(from, at - from) + value;
  return out + text.substr(from);
}

// The source file of an object named with or without its ".vko".
static std::string source_of(const char* object_name) {
  std::string name = object_name ? object_name : "";
  if (name.size() > 4 && cp932_lower(name.substr(name.size() - 4)) == ".vko") name.resize(name.size() - 4);
  char found[DATA_PATH_SIZE];
  if (data_file_source((name + ".vko").c_str(), found)) return source_beside(found);
  return name + ".vks";
}

void editor_open_at_line(const char* object_name, int32_t line) {
  // The template may have been stored by the game itself: it runs only when the user asked.
  std::string command = setting_text_get(SETTING_EDITOR);
  if (command.empty() || !development_mode() || !dev.asked) return;
  call_window_hook();
  if (command.find("%fn%") != std::string::npos) command = fill(command, "%fn%", source_of(object_name));
  if (command.find("%line%") != std::string::npos) command = fill(command, "%line%", std::to_string(line));
  if (!plat().process_spawn(command.c_str(), nullptr, nullptr, 0))
    fprintf(stderr, "vaskrun: the editor could not be started: %s\n", command.c_str());
}

// ---------------------------------------------------------------------------------------------
// The error-line text

static void error_line_bound() {
  dev.error_line.resize(cp932_cut_length(dev.error_line, ERROR_LINE_SIZE - 1));
}

void error_log_position() {
  if (!development_mode()) return;
  std::string file;
  int line = 0;
  if (!current_script_position(file, line)) file.clear();
  char text[300];
  snprintf(text, sizeof text, "%s.vks(%d)\n", file.c_str(), line);
  dev.error_line = text;
  error_line_bound();
}

void error_log_append(const char* text) {
  if (!development_mode() || !text) return;
  dev.error_line += text;
  error_line_bound();
}

const std::string& error_line_text() { return dev.error_line; }

// ---------------------------------------------------------------------------------------------
// The watch list

// One watched variable as the status bar shows it, a blank after it.
static std::string watch_value(const std::string& word) {
  std::string name = variable_name_complete(word.c_str());
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
  if (dev.watch_shown && now - dev.watch_when < 10) return;
  dev.watch_shown = true;
  dev.watch_when = now;
  std::string shown;
  for (const char* p = list; *p;) {
    while (*p == ' ') ++p;
    const char* end = p;
    while (*end && *end != ' ') ++end;
    if (*p == '@' || *p == '#') shown += watch_value(std::string(p, end));
    p = end;
    // The bar holds one bounded line: no need to format what would be cut.
    if (shown.size() >= WATCH_TEXT_SIZE) break;
  }
  shown.resize(cp932_cut_length(shown, WATCH_TEXT_SIZE - 1));
  status_bar_text_set(shown.c_str());
}

void devtools_reset() {
  std::string base = std::move(dev.base_folder);
  dev = {};
  dev.base_folder = std::move(base);
}
