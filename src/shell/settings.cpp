#include "shell/settings.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <string>

#include "base/cp932.h"
#include "base/registry.h"
#include "resources/menus.h"
#include "platform/platform.h"
#include "platform/window.h"
#include "shell/display_mode.h"
#include "shell/env_keys.h"
#include "shell/joystick.h"
#include "shell/window_core.h"
#include "vm/script_error.h"
#include "vm/script_object.h"
#include "vm/skip.h"

// Where each setting comes from: its name in the store, the environment key's getter that gives
// its default (when one does) or the built-in default, and the range it is held to at start-up
// (where it is).
struct setting_source {
  const char* name;
  int (*env_default)();
  int fallback;
  int low, high;
};

static constexpr int ANY_LOW = INT32_MIN, ANY_HIGH = INT32_MAX;

static const setting_source fixed_sources[] = {
    {"EffectSpeed", effect_speed_default, 1000, ANY_LOW, ANY_HIGH},
    {"MojiSpeed", moji_speed_default, 1000, ANY_LOW, ANY_HIGH},
    {"AutoSpeed", auto_speed_default, 1000, ANY_LOW, ANY_HIGH},
    {"MusicVolume", music_vol_default, 650, ANY_LOW, ANY_HIGH},
    {"VoiceVolume", voice_vol_default, 1000, ANY_LOW, ANY_HIGH},
    {"SoundVolume", sound_vol_default, 650, ANY_LOW, ANY_HIGH},
    {"TalkMale", is_talk_male_default, 1, ANY_LOW, ANY_HIGH},
    {"TalkFemale", is_talk_female_default, 1, ANY_LOW, ANY_HIGH},
    {"PlayMusic", is_play_music_default, 1, ANY_LOW, ANY_HIGH},
    {"PlaySound", is_play_sound_default, 1, ANY_LOW, ANY_HIGH},
    {"VoiceContinue", is_voice_continue, 0, ANY_LOW, ANY_HIGH},
    {"VoicePanning", is_voice_panning, 0, ANY_LOW, ANY_HIGH},
    {"VoiceMusicdown", nullptr, 0, ANY_LOW, ANY_HIGH},
    {"VoiceMusicdownVol", nullptr, 500, ANY_LOW, ANY_HIGH},
};
static const setting_source startup_sources[] = {
    {"NANIDO", nullptr, 1, 0, 4},
    {"GameSpeed", nullptr, 1, 0, 3},
    {"FullScFreq", nullptr, 0, ANY_LOW, ANY_HIGH},
    {"FullScBits", nullptr, 0, ANY_LOW, ANY_HIGH},
    {"ReprotNoVoice", nullptr, 0, ANY_LOW, ANY_HIGH},
    {"ReprotNoPic", nullptr, 0, ANY_LOW, ANY_HIGH},
    {"LogNoVoice", nullptr, 1, ANY_LOW, ANY_HIGH},
    {"LogNoPic", nullptr, 1, ANY_LOW, ANY_HIGH},
    {"AutoOpenErrorLine", nullptr, 1, ANY_LOW, ANY_HIGH},
    {"FastVoicePlay", nullptr, 0, ANY_LOW, ANY_HIGH},
    {"JoyUse", nullptr, 0, ANY_LOW, ANY_HIGH},
};
static_assert(std::size(fixed_sources) == SETTING_VOICE_SETUP_LVL0);
static_assert(std::size(startup_sources) == SETTING_COUNT - SETTING_CONFIG_COUNT);

struct text_source {
  const char* name;
  const char* fallback;
};
static const text_source text_sources[SETTING_TEXT_COUNT] = {{"WatchList", ""}, {"Editor", "none"}};

// Module state: the settings in memory (read in place by the inline getters), the texts, the
// remembered script position, the start object and the dropped file.
shell_settings shell_settings_values;
static std::string setting_texts[SETTING_TEXT_COUNT];
static std::string position_file;
static int position_line = 0;
static char start_object[START_OBJECT_SIZE] = "";
static char dropped_file_buffer[DROPPED_FILE_SIZE] = "";

static setting_source source_of(setting_id id) {
  if (id < SETTING_VOICE_SETUP_LVL0) return fixed_sources[id];
  if (id >= SETTING_CONFIG_COUNT) return startup_sources[id - SETTING_CONFIG_COUNT];
  static char names[VOICE_SETUP_CHARACTERS][24];
  int character = id - SETTING_VOICE_SETUP_LVL0;
  if (!names[character][0]) snprintf(names[character], sizeof names[character], "VoiceSetupLvl%d", character);
  return {names[character], nullptr, 1000, ANY_LOW, ANY_HIGH};
}

const char* setting_name(setting_id id) { return source_of(id).name; }

int setting_default(setting_id id) {
  setting_source source = source_of(id);
  return source.env_default ? source.env_default() : source.fallback;
}

static int stored_int(const char* name, int fallback) {
  return reg_get_int(reg_global_name(), reg_local_name(), name, fallback);
}

static void setting_read(setting_id id) {
  setting_source source = source_of(id);
  int value = stored_int(source.name, setting_default(id));
  shell_settings_values.value[id] = std::clamp(value, source.low, source.high);
}

void setting_store(setting_id id, int value) { shell_settings_values.value[id] = value; }

void setting_write(setting_id id) {
  reg_set_int(reg_global_name(), reg_local_name(), setting_name(id), setting_get(id));
}

void setting_set(setting_id id, int value) {
  setting_store(id, value);
  setting_write(id);
}

const char* setting_text_get(setting_text_id id) { return setting_texts[id].c_str(); }

void setting_text_store(setting_text_id id, const char* text) { setting_texts[id] = text ? text : ""; }

void setting_text_set(setting_text_id id, const char* text) {
  setting_text_store(id, text);
  reg_set_string(reg_global_name(), reg_local_name(), text_sources[id].name, setting_texts[id].c_str());
}

void config_load() {
  for (int id = 0; id < SETTING_CONFIG_COUNT; ++id) setting_read(static_cast<setting_id>(id));
  fastmode_read_set(stored_int("FastModeFlg_AR", fastmode_read_get()));
}

void startup_settings_load() {
  for (int id = SETTING_CONFIG_COUNT; id < SETTING_COUNT; ++id)
    if (id != SETTING_JOY_USE) setting_read(static_cast<setting_id>(id));
  for (int id = 0; id < SETTING_TEXT_COUNT; ++id) {
    char text[REG_VALUE_BUFFER];
    reg_get_string(reg_global_name(), reg_local_name(), text_sources[id].name, text_sources[id].fallback, text,
                   sizeof text);
    setting_texts[id] = text;
  }
}

int fast_voice_play() { return error_report_mode_get() == 1 ? 0 : setting_get(SETTING_FAST_VOICE_PLAY); }

void joy_use_set(int value) {
  setting_set(SETTING_JOY_USE, value);
  plat().menu_item_check(main_window_get(), IDM_JOYSTICK, value != 0);
  switch (value) {
    case 0:
      joy_select_device(-1);
      break;
    case 1:
      joy_select_device(0);
      break;
    case 2:
      joy_select_device(2);
      break;
    default:
      break;
  }
}

void full_screen_fit_set(int value) {
  if (value == -1) value = stored_int("FullScreenFit", 0);
  reg_set_int(reg_global_name(), reg_local_name(), "FullScreenFit", value);
  display_scale_type_set(value);
}

void title_progress(const char* text) {
  if (error_report_mode_get() != 1) window_title_set(main_window_get(), text ? text : "");
}

bool current_script_position(std::string& file, int& line) {
  if (!vm_thread) return false;
  for (int depth = vm_thread->depth; depth >= 0; --depth) {
    const call_frame& frame = vm_thread->frames[depth];
    if (!frame.code) continue;
    const script_object* object = object_find_by_address(frame.code);
    if (!object) return false;
    const char* dot = cp932_strrchr(object->name, '.');
    file.assign(object->name, dot ? static_cast<size_t>(dot - object->name) : strlen(object->name));
    line = frame.line;
    return true;
  }
  return false;
}

void title_show_position() {
  if (error_report_mode_get() == 1) return;
  std::string file;
  int line = 0;
  if (!current_script_position(file, line)) return;
  position_file = file;
  position_line = line;
  char name[200], title[240];
  snprintf(title, sizeof title, "%s(%d)", cp932_copy(name, sizeof name, file), line);
  window_title_set(main_window_get(), title);
}

const char* title_position_file() { return position_file.c_str(); }
int title_position_line() { return position_line; }

void start_object_set(const char* name) { cp932_copy(start_object, sizeof start_object, name ? name : ""); }
const char* start_object_get() { return start_object; }

void dropped_file_clear() { dropped_file_buffer[0] = '\0'; }
char* dropped_file_path() { return dropped_file_buffer; }

void settings_reset() {
  shell_settings_values = shell_settings();
  for (std::string& text : setting_texts) text.clear();
  position_file.clear();
  position_line = 0;
  start_object[0] = '\0';
  dropped_file_buffer[0] = '\0';
}
