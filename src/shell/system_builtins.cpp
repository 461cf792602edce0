#include "shell/system_builtins.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "base/cp932.h"
#include "base/datasource.h"
#include "base/gamepath.h"
#include "base/hash.h"
#include "platform/platform.h"
#include "shell/env_keys.h"
#include "shell/ime.h"
#include "shell/settings.h"
#include "shell/window_core.h"
#include "vm/dispatcher.h"
#include "vm/script_error.h"
#include "vm/skip.h"
#include "vm/variables.h"

// Module state.
static struct {
  int drop_files = 0;
  time_t (*clock)() = nullptr;
} sys;

// The texts of input_string are bounded as its 512-byte buffers were.
constexpr size_t INPUT_TEXT_SIZE = 512;

static bool packaged() { return error_report_mode_get() == 1; }

int drop_files_enabled() { return sys.drop_files; }

void wall_clock_set(time_t (*clock)()) { sys.clock = clock; }

void system_builtins_reset() { sys = {}; }

static int push_result(int32_t value) {
  push_int(value);
  return 0;
}

int builtin_is_debug_mode(int32_t, int32_t) { return push_result(packaged() ? 0 : 1); }
int builtin_client_width_get(int32_t, int32_t) { return push_result(client_width()); }
int builtin_client_height_get(int32_t, int32_t) { return push_result(client_height()); }

// The diagnostic options are the author's: a packaged game never reports or logs.
static int diagnostic(setting_id id) { return push_result(packaged() ? 0 : setting_get(id)); }
int builtin_report_no_voice_get(int32_t, int32_t) { return diagnostic(SETTING_REPROT_NO_VOICE); }
int builtin_report_no_pic_get(int32_t, int32_t) { return diagnostic(SETTING_REPROT_NO_PIC); }
int builtin_log_no_voice_get(int32_t, int32_t) { return diagnostic(SETTING_LOG_NO_VOICE); }
int builtin_log_no_pic_get(int32_t, int32_t) { return diagnostic(SETTING_LOG_NO_PIC); }

int builtin_desktop_wallpaper_set(int32_t, int32_t) {
  int style = builtin_arg_int(2);
  return push_result(wallpaper_apply(builtin_arg_text(1), style == 1 || style == 2 ? style : 0));
}

int builtin_name_hash(int32_t, int32_t) {
  std::string lowered = cp932_lower(builtin_arg_text(1));
  return push_result(static_cast<int32_t>(crc32_string(lowered.c_str())));
}

int builtin_drop_files_enable(int32_t, int32_t) {
  sys.drop_files = builtin_arg_int(1) ? 1 : 0;
  plat().window_accept_files(main_window_get(), sys.drop_files != 0);
  if (sys.drop_files) dropped_file_clear();
  return push_result(0);
}

int builtin_dropped_file_get(int32_t, int32_t) {
  push_string(dropped_file_path());
  return 0;
}

bool web_address_open(const char* address) {
  std::string text = address ? address : "";
  if (text.find("://") == std::string::npos) text = "http://" + text;
  if (!cp932_iequal(text.substr(0, 7), "http://") && !cp932_iequal(text.substr(0, 8), "https://")) {
    fprintf(stderr, "vaskrun: only http and https addresses are opened, not %s\n", text.c_str());
    return false;
  }
  call_window_hook();
  return plat().shell_open(text.c_str());
}

int builtin_open_url(int32_t, int32_t) {
  web_address_open(builtin_arg_text(1));
  return push_result(0);
}

// The file-name part of a path: no folder, no extension.
static std::string bare_name(const char* path) {
  std::string name(game_path_file_name(path));
  if (const char* dot = cp932_strrchr(name.c_str(), '.')) name.resize(static_cast<size_t>(dot - name.c_str()));
  return name;
}

// "..." is ".." without its extension: the folder above the game is never mounted.
int builtin_archive_load(int32_t, int32_t) {
  std::string name = bare_name(builtin_arg_text(1));
  if (game_name_confined(name)) data_source_add(name.c_str(), 0);
  return push_result(0);
}

int builtin_archive_unload(int32_t, int32_t) {
  data_source_reset(bare_name(builtin_arg_text(1)).c_str());
  return push_result(0);
}

static std::string bounded(const char* text) {
  std::string s = text;
  s.resize(cp932_cut_length(s, INPUT_TEXT_SIZE - 1));
  return s;
}

int builtin_input_string(int32_t n, int32_t) {
  std::string prompt = bounded(builtin_arg_text(1));
  std::string text = n >= 2 ? bounded(builtin_arg_text(2)) : std::string();
  ime_enable();
  plat().text_input_dialog(main_window_get(), app_title(), prompt, text);
  ime_disable();
  push_string(bounded(text.c_str()).c_str());
  return 0;
}

static tm local_now() {
  time_t now = sys.clock ? sys.clock() : time(nullptr);
  tm local{};
  localtime_r(&now, &local);
  return local;
}

int builtin_date_string(int32_t, int32_t) {
  tm t = local_now();
  char text[40];  // room for any int the fields may hold
  snprintf(text, sizeof text, "%02d/%02d/%02d", t.tm_year % 100, t.tm_mon + 1, t.tm_mday);
  push_string(text);
  return 0;
}

int builtin_time_string(int32_t, int32_t) {
  tm t = local_now();
  char text[40];  // room for any int the fields may hold
  snprintf(text, sizeof text, "%02d:%02d:%02d", t.tm_hour, t.tm_min, t.tm_sec);
  push_string(text);
  return 0;
}

int builtin_fast_mode_flag_set(int32_t, int32_t) {
  int flag = builtin_arg_int(1);
  fastmode_read_set(flag);
  return push_result(flag);
}

uint32_t locale_lcid(const char* locale) {
  static const struct {
    const char* name;
    uint32_t lcid;
  } table[] = {
      {"ja_JP", 0x0411}, {"en_US", 0x0409}, {"en_GB", 0x0809}, {"en_AU", 0x0C09}, {"en_CA", 0x1009},
      {"zh_CN", 0x0804}, {"zh_TW", 0x0404}, {"zh_HK", 0x0C04}, {"zh_SG", 0x1004}, {"ko_KR", 0x0412},
      {"de_DE", 0x0407}, {"de_AT", 0x0C07}, {"de_CH", 0x0807}, {"fr_FR", 0x040C}, {"fr_CA", 0x0C0C},
      {"es_ES", 0x0C0A}, {"es_MX", 0x080A}, {"it_IT", 0x0410}, {"pt_BR", 0x0416}, {"pt_PT", 0x0816},
      {"ru_RU", 0x0419}, {"nl_NL", 0x0413}, {"pl_PL", 0x0415}, {"sv_SE", 0x041D}, {"fi_FI", 0x040B},
      {"da_DK", 0x0406}, {"nb_NO", 0x0414}, {"cs_CZ", 0x0405}, {"hu_HU", 0x040E}, {"tr_TR", 0x041F},
      {"th_TH", 0x041E}, {"vi_VN", 0x042A}, {"id_ID", 0x0421}, {"uk_UA", 0x0422}, {"el_GR", 0x0408},
  };
  std::string name = locale ? locale : "";
  name.resize(std::min(name.find_first_of(".@"), name.size()));
  for (const auto& row : table)
    if (name == row.name) return row.lcid;
  // A language without its region: the table's first region of that language.
  for (const auto& row : table)
    if (name.size() == 2 && strncmp(row.name, name.c_str(), 2) == 0) return row.lcid;
  return 0x0409;
}

// The system locale is what the host's character handling follows.
int builtin_system_lcid(int32_t, int32_t) {
  const char* locale = nullptr;
  for (const char* variable : {"LC_ALL", "LC_CTYPE", "LANG"})
    if ((locale = getenv(variable)) && *locale) break;
  return push_result(static_cast<int32_t>(locale_lcid(locale)));
}
