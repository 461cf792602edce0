#include "shell/env_keys.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "base/env.h"
#include "base/registry.h"
#include "platform/platform.h"
#include "resources/menus.h"
#include "shell/message_box.h"
#include "shell/window_core.h"

// Cached integer keys: getter, key, default, sentinel.
#define ENV_CACHED_KEYS(X)                                   \
  X(space_indent, "SPACEINDENT", 1, -1)                      \
  X(indent_offset, "INDENTOFFSET", 0, -999)                  \
  X(name_popup, "NAMEPOPUP", 1, -1)                          \
  X(alt_menu_a, "ALTMENU_A", 0, -1)                          \
  X(kinsoku_type, "KINSOKU_TYPE", 0, -1)                     \
  X(effect_speed_default, "EFFECTSPEED", 1000, -1)           \
  X(moji_speed_default, "MOJISPEED", 1000, -1)               \
  X(auto_speed_default, "AUTOSPEED", 1000, -1)               \
  X(music_vol_default, "MUSICVOL", 650, -1)                  \
  X(voice_vol_default, "VOICEVOL", 1000, -1)                 \
  X(sound_vol_default, "SOUNDVOL", 650, -1)                  \
  X(is_talk_male_default, "ISTALKMALE", 1, -1)               \
  X(is_talk_female_default, "ISTALKFEMALE", 1, -1)           \
  X(is_play_music_default, "ISPLAYMUSIC", 1, -1)             \
  X(is_play_sound_default, "ISPLAYSOUND", 1, -1)             \
  X(gender_free, "GENDERFREE", 0, -1)                        \
  X(voice_skip_def, "VOICESKIPDEF", 0, -1)                   \
  X(no_update_on_wait0, "NOUPDATEONWAIT0", 0, -1)            \
  X(is_voice_continue, "ISVOICECONTINUE", 0, -1)             \
  X(is_voice_panning, "ISVOICEPANNING", 0, -1)               \
  X(ctrl_key_def, "CTRLKEYDEF", 0, -1)                       \
  X(fontcache_smart, "FONTCACHESMART", 0, -1)                \
  X(ignore_screen_mode, "IGNORESCREENMODE", 0, -1)           \
  X(detect_wide_monitor, "DETECTWIDEMONITOR", 1, -1)         \
  X(caps_mode, "CAPSMODE", 0, -1)                            \
  X(quickload_failsafe_default, "QUICKLOAD_FAILSAFE", 2, -1) \
  X(quicksave_failsafe_default, "QUICKSAVE_FAILSAFE", 0, -1) \
  X(agg_skip, "AGGSKIP", 0, INT32_MIN)                       \
  X(max_fps, "MAX_FPS", 1000, INT32_MIN)

// Module state: env_setting_cache, one slot per cached key, plus the text buffers and the
// desktop metrics.
struct env_setting_cache {
#define ENV_SLOT(getter, key, fallback, sentinel) int32_t getter = sentinel;
  ENV_CACHED_KEYS(ENV_SLOT)
#undef ENV_SLOT
  int32_t client_width = 0, client_height = 0;  // 0: not read (a stored 0 is read again)
  bool width_noticed = false, height_noticed = false;  // an oversized value was told about
  int32_t loadsave_disabled = -1;
  int32_t wide_monitor_class = -1;
  int32_t screen_width_cached = -1, screen_height_cached = -1;
  char reg_global[ENV_TEXT_SIZE] = "";
  char reg_local[ENV_TEXT_SIZE] = "";
  char title[ENV_TEXT_SIZE] = "";
  char alt_gender[ENV_TEXT_SIZE] = "";
};
static env_setting_cache cache;

#define ENV_GETTER(getter, key, fallback, sentinel)                         \
  int getter() {                                                            \
    if (cache.getter == (sentinel)) cache.getter = env_get_int(key, fallback); \
    return cache.getter;                                                    \
  }
ENV_CACHED_KEYS(ENV_GETTER)
#undef ENV_GETTER

// The game size: a value of 0 or less is no size (it would make every page of the game empty or
// negative), and one beyond WINDOW_SIDE_MAX no window or page can hold (a damaged file; values
// past the int range read as INT32_MAX). The default stands in, and the file is asked again next
// time; an oversized value is told about once.
static int game_size(int32_t& slot, bool& noticed, const char* key, int fallback) {
  if (!window_side_usable(slot)) slot = env_get_int(key, fallback);
  if (window_side_usable(slot)) return slot;
  if (slot > 0 && !noticed) {
    noticed = true;
    char text[ENV_TEXT_SIZE];
    notice_box("環境ファイルの %s [%s] は大きすぎます（%d 以下）。%d で起動します", key,
               env_get_string(key, text, sizeof text, ""), WINDOW_SIDE_MAX, fallback);
  }
  return fallback;
}

int client_width() { return game_size(cache.client_width, cache.width_noticed, "CLIENT_WIDTH", 640); }
int client_height() { return game_size(cache.client_height, cache.height_noticed, "CLIENT_HEIGHT", 480); }

int loadsave_disabled() {
  if (cache.loadsave_disabled == -1) {
    cache.loadsave_disabled = env_get_int("LOADSAVEDISABLE", 0);
    if (cache.loadsave_disabled == 1)
      for (int id : {IDM_SAVE, IDM_SAVE_AS, IDM_LOAD, IDM_LOAD_BY_NAME}) plat().menu_item_enable(main_window_get(), id, false);
  }
  // One rule for the menu, saves, the eternal file, read marks and glyph caches: only 1 switches
  // them off, as only 1 greys the menu (a 2 with saves enabled in the menu would save nothing).
  return cache.loadsave_disabled == 1;
}

static const char* cached_text(char* buffer, const char* key, const char* fallback) {
  if (buffer[0] == '\0') env_get_string(key, buffer, ENV_TEXT_SIZE, fallback);
  return buffer;
}

const char* reg_global_name() { return cached_text(cache.reg_global, "REG_GLOBAL", "VASKEL_SYSTEM"); }
const char* reg_local_name() { return cached_text(cache.reg_local, "REG_LOCAL", "VASKEL_RUNTIME"); }
const char* app_title() { return cached_text(cache.title, "TITLEBAR", "ＶＡＳＫＥＬ　スクリプトエンジン"); }

const char* alt_gender() {
  const char* text = cached_text(cache.alt_gender, "ALTGENDER", "-");
  return strcmp(text, "-") == 0 ? nullptr : text;
}

static void screen_size_read() {
  if (cache.screen_width_cached < 0) {
    int width = 0, height = 0;
    plat().primary_screen_size(width, height);
    cache.screen_width_cached = width;
    cache.screen_height_cached = height;
  }
}

int wide_monitor_class() {
  if (cache.wide_monitor_class == -1) {
    screen_size_read();
    // A display that reports no height has no shape: it counts as 4:3.
    int64_t ratio = cache.screen_height_cached > 0
                        ? int64_t{cache.screen_width_cached} * 100 / cache.screen_height_cached
                        : 0;
    cache.wide_monitor_class = ratio <= 135 ? 0 : ratio < 175 ? 1 : 2;
  }
  return cache.wide_monitor_class;
}

static int stored_int(const char* name, int fallback) {
  return reg_get_int(reg_global_name(), reg_local_name(), name, fallback);
}

int full_sc_wide_get() { return wide_monitor_class() == 0 ? 0 : stored_int("FullScWide5", 0); }

int reg_width_get() {
  int width = stored_int("RegWidth3", 0);
  if (width == 0) return 0;
  return std::min(std::max(width, client_width()), 1920);
}

int reg_height_get() {
  int height = stored_int("RegHeight3", 0);
  if (height == 0) return 0;
  int least = stored_int("WideMode", 0) ? client_height() * 3 / 4 : client_height();
  return std::min(std::max(height, least), 1200);
}

void env_keys_reset() { cache = env_setting_cache(); }

void agg_skip_set(int value) { cache.agg_skip = value; }
