#include "shell/shell_dialogs.h"

#include <cstdio>

#include "base/cp932.h"
#include "base/env.h"
#include "base/registry.h"
#include "graphics/image_cache.h"
#include "graphics/page.h"
#include "graphics/sprite.h"
#include "platform/messages.h"
#include "platform/platform.h"
#include "shell/env_keys.h"
#include "shell/exit_state.h"
#include "shell/settings.h"
#include "shell/system_builtins.h"
#include "shell/window_core.h"
#include "vm/script_error.h"
#include "vm/skip.h"
#include "vm/thread.h"

namespace {

constexpr size_t VERSION_FIELD_SIZE = 128;  // APPNAME, VERSION, COPYRIGHT
constexpr size_t LONG_TEXT_SIZE = 512;      // URL, SUPPORTURL, SUPPORTSTR
constexpr size_t OPTION_TEXT_SIZE = 260;    // WatchList, Editor

const char* const DEFAULT_APPNAME = "ＶＡＳＫＥＬ　スクリプトエンジン";
const char* const DEFAULT_VERSION = "ビルド " __DATE__;
const char* const DEFAULT_COPYRIGHT = "vaskrun の開発者";

std::string env_text(const char* key, size_t size, const char* fallback) {
  std::vector<char> buffer(size);
  return env_get_string(key, buffer.data(), size, fallback);
}

int stored(const char* name, int fallback) { return reg_get_int(reg_global_name(), reg_local_name(), name, fallback); }
void store(const char* name, int value) { reg_set_int(reg_global_name(), reg_local_name(), name, value); }
bool reports_shown() { return error_report_mode_get() != 1; }

// A link opens its web address through the desktop, after hook B (which leaves full screen).
void link_open(const form_control& link) {
  if (!link.text.empty()) web_address_open(link.text.c_str());
}

void link_add(dialog_form& form, const char* key) { form.add(IDC_LINK, form_kind::link, "", env_text(key, LONG_TEXT_SIZE, "")); }

int run(dialog_form& form) {
  form.on_link = link_open;
  return plat().dialog_run(main_window_get(), form);
}

int checked(const dialog_form& form, int id) {
  for (const form_control& c : form.controls)
    if (c.id == id) return c.value ? 1 : 0;
  return 0;
}
std::string text_of(const dialog_form& form, int id, size_t size) {
  for (const form_control& c : form.controls)
    if (c.id == id) return c.text.substr(0, cp932_cut_length(c.text, size - 1));
  return "";
}

// The development options: check box id, setting.
struct option_box {
  int id;
  setting_id setting;
  const char* label;
};
const option_box OPTION_BOXES[] = {
    {IDC_REPROT_NO_VOICE, SETTING_REPROT_NO_VOICE, "ボイスがないときに報告する"},
    {IDC_REPROT_NO_PIC, SETTING_REPROT_NO_PIC, "画像がないときに報告する"},
    {IDC_AUTO_OPEN_ERROR_LINE, SETTING_AUTO_OPEN_ERROR_LINE, "エラー行をエディタで開く"},
    {IDC_FAST_VOICE_PLAY, SETTING_FAST_VOICE_PLAY, "ボイスを速く再生する"},
    {IDC_LOG_NO_VOICE, SETTING_LOG_NO_VOICE, "ボイスがないときにログに書く"},
    {IDC_LOG_NO_PIC, SETTING_LOG_NO_PIC, "画像がないときにログに書く"},
};

}  // namespace

// ---------------------------------------------------------------------------------------------
// The version box

std::string about_version_text(bool counters) {
  char text[1024];
  if (counters) {
    uint32_t budget = image_cache_budget();
    int64_t cost = image_cache_total_cost();
    int fill = budget ? static_cast<int>(cost * 100 / budget) : 0;
    snprintf(text, sizeof text, "\n%s\n%s\n\n%s\nSPR(%d) PAGE(%d) EXTPAGE(%d) CACHE(%dM/%d%%)\nThread(%d)", DEFAULT_APPNAME,
             DEFAULT_VERSION, DEFAULT_COPYRIGHT, sprite_count(), page_count(), image_cache_count(),
             static_cast<int>(cost >> 20), fill, thread_count());
  } else {
    snprintf(text, sizeof text, "\n%s\n%s\n\n%s", env_text("APPNAME", VERSION_FIELD_SIZE, DEFAULT_APPNAME).c_str(),
             env_text("VERSION", VERSION_FIELD_SIZE, DEFAULT_VERSION).c_str(),
             env_text("COPYRIGHT", VERSION_FIELD_SIZE, DEFAULT_COPYRIGHT).c_str());
  }
  return text;
}

dialog_form about_dialog_form(int debug) {
  dialog_form form;
  form.template_name = debug ? "ABOUTDIALOG_DEBUG" : "ABOUTDIALOG";
  form.title = "バージョン情報";
  bool ctrl = plat().key_async_state(VK_CONTROL) & KEY_STATE_DOWN;
  form.add(IDC_VERSION_TEXT, form_kind::text, "", about_version_text(ctrl));
  link_add(form, "URL");
  if (!debug) return form;
  for (const option_box& box : OPTION_BOXES) {
    // A packaged game never plays voices fast, whatever is stored.
    int value = box.setting == SETTING_FAST_VOICE_PLAY ? fast_voice_play() : setting_get(box.setting);
    form.add(box.id, form_kind::check, box.label, "", value ? 1 : 0);
  }
  form.add(IDC_WATCH_LIST, form_kind::edit, "ウォッチリスト", setting_text_get(SETTING_WATCH_LIST)).limit =
      OPTION_TEXT_SIZE - 1;
  form.add(IDC_EDITOR, form_kind::edit, "エディタ", setting_text_get(SETTING_EDITOR)).limit = OPTION_TEXT_SIZE - 1;
  return form;
}

void about_dialog_ok(const dialog_form& form, int debug) {
  if (!debug) return;
  for (const option_box& box : OPTION_BOXES) {
    if (box.setting == SETTING_FAST_VOICE_PLAY && !reports_shown()) continue;
    setting_set(box.setting, checked(form, box.id));
  }
  setting_text_set(SETTING_WATCH_LIST, text_of(form, IDC_WATCH_LIST, OPTION_TEXT_SIZE).c_str());
  setting_text_set(SETTING_EDITOR, text_of(form, IDC_EDITOR, OPTION_TEXT_SIZE).c_str());
}

void about_dialog_open(int debug) {
  dialog_form form = about_dialog_form(debug);
  if (run(form) == IDOK) about_dialog_ok(form, debug);
}

// ---------------------------------------------------------------------------------------------
// User support

std::string support_text_lines(const std::string& text) {
  static const std::string mark = "▼";
  std::string out;
  for (size_t i = 0; i < text.size();) {
    if (text.compare(i, mark.size(), mark) == 0) {
      out += '\n';
      i += mark.size();
      continue;
    }
    size_t n = cp932_char_len(text.c_str() + i);
    out.append(text, i, n);
    i += n;
  }
  return out;
}

dialog_form user_support_dialog_form() {
  dialog_form form;
  form.template_name = "USERSUPPORT";
  form.title = "ユーザーサポート";
  form.add(IDC_SUPPORT_TEXT, form_kind::text, "", support_text_lines(env_text("SUPPORTSTR", LONG_TEXT_SIZE, "")));
  link_add(form, "SUPPORTURL");
  return form;
}

void user_support_dialog_open() {
  dialog_form form = user_support_dialog_form();
  run(form);
}

// ---------------------------------------------------------------------------------------------
// Screen options

std::vector<screen_option_row> screen_option_rows(int game_width, int game_height, int height_wide, int detect,
                                                  int screen_width, int screen_height,
                                                  const std::vector<display_mode_entry>& modes) {
  std::vector<screen_option_row> rows;
  rows.push_back({detect ? "標準(4:3優先)/高速" : "標準", 0, 0, 0, 0, 0});
  int screen_class = aspect_class(screen_width, screen_height);
  if (detect && screen_class != 0) {
    rows.push_back({"標準(16:10優先)/高速", 0, 0, 1, 0, 0});
    rows.push_back({"標準(16:9優先)/高速", 0, 0, 2, 0, 0});
    int w = 0, h = 0;
    if (game_width == 800 && screen_width >= 1024 && screen_height >= 768) w = 1024, h = 768;
    if (game_width == 1024 && screen_width >= 1280 && screen_height >= 1024) w = 1280, h = 1024;
    if (w) {
      rows.push_back({"ワイド対策 - 最適化拡大/やや高速", 0, 0, 3, w, h});
      if (screen_class == 1) rows.push_back({"ワイド対策 - 最適化拡大２/中速", 0, 0, 4, w, h});
    }
  }
  for (const display_mode_entry& m : modes) {
    bool fits = detect ? m.width >= game_width && m.height >= height_wide
                       : m.width == game_width && m.height == game_height;
    if (m.bits < 15 || !fits) continue;
    char label[64];
    if (m.refresh)
      snprintf(label, sizeof label, "%dx%d %dBit %dHz", m.width, m.height, m.bits, m.refresh);
    else
      snprintf(label, sizeof label, "%dx%d %dBit", m.width, m.height, m.bits);
    int wide = m.height > 0 && m.width * 100 / m.height > 135 ? 1 : 0;
    rows.push_back({label, m.refresh, m.bits, wide, m.width, m.height});
  }
  return rows;
}

int screen_option_selected(const std::vector<screen_option_row>& rows, int refresh, int depth, int wide, int width,
                           int height) {
  int selected = -1;
  for (size_t i = 0; i < rows.size(); i++) {
    const screen_option_row& r = rows[i];
    bool fixed = r.refresh == 0 && r.depth == 0 && (r.width == 0 || r.wide >= 3);
    if (fixed && r.wide == wide && selected < 0) selected = static_cast<int>(i);
    if (!fixed && r.refresh == refresh && r.depth == depth && r.wide == wide && r.width == width && r.height == height)
      return static_cast<int>(i);
  }
  return selected < 0 ? 0 : selected;
}

void fullscreen_choice_apply(int wide_preference) {
  if (detect_wide_monitor()) {
    widescreen_pref_set(wide_preference);
    fullscreen_width_set(reg_width_get());
    fullscreen_height_set(reg_height_get());
  } else {
    widescreen_pref_set(0);
    fullscreen_width_set(client_width());
    fullscreen_height_set(client_height());
  }
  set_screen_size(client_width(), client_height(), reports_shown() ? 1 : 0);
  fullscreen_depth_set(full_sc_freq_get(), full_sc_bits_get());
}

namespace {
// The stored configuration, as a row.
screen_option_row stored_row() {
  return {"", full_sc_freq_get(), full_sc_bits_get(), stored("FullScWide5", 0), stored("RegWidth3", 0),
          stored("RegHeight3", 0)};
}
}  // namespace

int fit_to_screen() { return env_get_int("FITTOSCREEN", 0); }

dialog_form screen_option_dialog_form(std::vector<screen_option_row>& rows) {
  int sw = 0, sh = 0;
  plat().primary_screen_size(sw, sh);
  rows = screen_option_rows(client_width(), client_height(), client_height_wide(), detect_wide_monitor(), sw, sh,
                            display_modes_list());
  screen_option_row now = stored_row();
  dialog_form form;
  form.template_name = "SCREENOPTION";
  form.title = "画面設定";
  form.add(IDC_TOPMOST, form_kind::check, "常に手前に表示", "", stored("TOPMOST", 0) ? 1 : 0);
  // Under FITTOSCREEN 0 the box is gone: only the wide rows change the scale type then.
  if (fit_to_screen())
    form.add(IDC_FIT_TO_SCREEN, form_kind::check, "フルスクリーン時に拡大する", "", stored("FullScreenFit", 0) ? 1 : 0);
  form_control& combo = form.add(IDC_SCREEN_MODES, form_kind::combo, "フルスクリーンの画面モード");
  for (const screen_option_row& r : rows) combo.rows.push_back(r.label);
  combo.value = screen_option_selected(rows, now.refresh, now.depth, now.wide, now.width, now.height);
  return form;
}

void screen_option_dialog_ok(const dialog_form& form, const std::vector<screen_option_row>& rows) {
  int topmost = checked(form, IDC_TOPMOST);
  store("TOPMOST", topmost);
  topmost_apply(topmost);
  int row_index = 0;
  for (const form_control& c : form.controls)
    if (c.id == IDC_SCREEN_MODES) row_index = c.value;
  if (rows.empty()) return;
  if (row_index < 0 || row_index >= static_cast<int>(rows.size())) row_index = 0;
  const screen_option_row& row = rows[row_index];
  int fit = stored("FullScreenFit", 0);
  if (row.wide == 3) {
    fit = wide_monitor_class() + 1;
  } else if (row.wide == 4) {
    fit = 4;
  } else if (fit_to_screen()) {
    int box = checked(form, IDC_FIT_TO_SCREEN);
    if (box != fit) screen_mode_set(0);
    fit = box;
  }
  full_screen_fit_set(fit);

  screen_option_row now = stored_row();
  if (row.refresh == now.refresh && row.depth == now.depth && row.wide == now.wide && row.width == now.width &&
      row.height == now.height)
    return;
  full_sc_freq_set(row.refresh);
  full_sc_bits_set(row.depth);
  store("FullScWide5", row.wide);
  store("RegWidth3", row.width);
  store("RegHeight3", row.height);
  screen_mode_set(0);
  fullscreen_choice_apply(row.wide);
  work_area_fit();
}

void screen_option_dialog_open() {
  std::vector<screen_option_row> rows;
  dialog_form form = screen_option_dialog_form(rows);
  if (run(form) == IDOK) screen_option_dialog_ok(form, rows);
}

// ---------------------------------------------------------------------------------------------
// Exit handlers and the launcher's notice

void process_exit_restore() { plat().idle_inhibit(false); }

int client_height_wide() {
  int height = client_height();
  return stored("WideMode", 0) ? height * 3 / 4 : height;
}

int notify_other_instance(window_handle window, const char* caption) {
  char title[512];
  snprintf(title, sizeof title, "%s スタートアップ", caption ? caption : "");
  title[cp932_cut_length(title, sizeof title - 1)] = '\0';
  if (window_is_alive(window) && cp932_iequal(window_title_get(window), title))
    message_send(window, STARTUP_NOTIFY_MESSAGE, 0, 0);
  return 1;
}
