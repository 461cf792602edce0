#include "shell/settings_dialogs.h"

#include <algorithm>
#include <cstdio>

#include "base/cp932.h"
#include "base/env.h"
#include "base/registry.h"
#include "platform/glyph_render.h"
#include "platform/platform.h"
#include "shell/display_mode.h"
#include "shell/env_keys.h"
#include "shell/exit_state.h"
#include "shell/setting_builtins.h"
#include "shell/settings.h"
#include "shell/shell_dialogs.h"
#include "shell/window_core.h"
#include "sound/sound.h"
#include "vm/dispatcher.h"
#include "vm/script_error.h"
#include "vm/skip.h"
#include "vm/variables.h"

using kind = settings_control_kind;

int settings_form_view(settings_dialog& d);

// Module state: the view that shows the dialogs (tests put their own in its place).
static struct {
  int (*view)(settings_dialog&) = settings_form_view;
} dialogs;

void settings_dialogs_reset() { dialogs = {}; }

// The tabbed dialog's pages.
enum { PAGE_SYSTEM, PAGE_SOUND, PAGE_SCREEN, PAGE_FONT, PAGE_COUNT };
constexpr int SPEED_MAX = 5000, VOLUME_MAX = 1000;
// Control 1010 is the screen page's own fit box (shown under FITTOSCREEN), so that 1006 keeps
// meaning only the saved window position.
constexpr int FIT_BOX = 1010;

settings_control* settings_dialog::find(int id, int on_page) {
  for (settings_control& c : controls)
    if (c.id == id && (on_page < 0 || c.page == on_page)) return &c;
  return nullptr;
}
const settings_control* settings_dialog::find(int id, int on_page) const {
  return const_cast<settings_dialog*>(this)->find(id, on_page);
}
int settings_dialog::value(int id, int on_page) const {
  const settings_control* c = find(id, on_page);
  return c ? c->value : 0;
}

static int stored(const char* name, int fallback) { return reg_get_int(reg_global_name(), reg_local_name(), name, fallback); }
static void store(const char* name, int value) { reg_set_int(reg_global_name(), reg_local_name(), name, value); }
static int on(bool b) { return b ? 1 : 0; }
static settings_dialog named(const char* name, const char* title) {
  settings_dialog d;
  d.name = name;
  d.title = title;
  return d;
}

static settings_control& add(settings_dialog& d, int id, kind k, std::string label, int value, int page,
                             int high = 1) {
  settings_control c;
  c.id = id;
  c.kind = k;
  c.label = std::move(label);
  c.value = value;
  c.high = high;
  c.page = page;
  d.controls.push_back(std::move(c));
  return d.controls.back();
}
static void set_value(settings_dialog& d, int id, int page, int value) {
  if (settings_control* c = d.find(id, page)) c->value = value;
}
static void remove(settings_dialog& d, int id, int page) {
  std::erase_if(d.controls, [&](const settings_control& c) { return c.id == id && (page < 0 || c.page == page); });
}

// ---- volumes: VOLUMECONFIG and the sound page ----

// A box whose label ends in OFF shows the switch inverted.
static const setting_id VOLUME_SWITCH[4] = {SETTING_TALK_MALE, SETTING_TALK_FEMALE, SETTING_PLAY_MUSIC,
                                            SETTING_PLAY_SOUND};
static const int VOLUME_BOX[4] = {1004, 1005, 1006, 1008};
static const setting_id VOLUME_SLIDER[3] = {SETTING_MUSIC_VOLUME, SETTING_VOICE_VOLUME, SETTING_SOUND_VOLUME};

static void volume_controls(settings_dialog& d, int page) {
  const char* slider_labels[3] = {"音楽の音量", "音声の音量", "効果音の音量"};
  for (int i = 0; i < 3; ++i)
    add(d, 1001 + i, kind::slider, slider_labels[i], setting_get(VOLUME_SLIDER[i]), page, VOLUME_MAX);
  const char* box_labels[4] = {"男性の音声をＯＦＦ", "女性の音声をＯＦＦ", "音楽をＯＦＦ", "効果音をOFF"};
  for (int i = 0; i < 4; ++i)
    add(d, VOLUME_BOX[i], kind::check, box_labels[i], on(setting_get(VOLUME_SWITCH[i]) == 0), page);
  if (const char* alt = alt_gender()) {
    d.find(1004, page)->label = alt;
    d.find(1005, page)->label = "音声をＯＦＦ";
  } else if (gender_free()) {
    remove(d, 1004, page);
    d.find(1005, page)->label = "音声をＯＦＦ";
  }
}

static void volume_defaults(settings_dialog& d, int page) {
  const int levels[3] = {music_vol_default(), voice_vol_default(), sound_vol_default()};
  for (int i = 0; i < 3; ++i) set_value(d, 1001 + i, page, levels[i]);
  // The switches change in memory at once, so that Cancel keeps them.
  const int switches[4] = {is_talk_male_default(), is_talk_female_default(), is_play_music_default(),
                           is_play_sound_default()};
  for (int i = 0; i < 4; ++i) {
    setting_store(VOLUME_SWITCH[i], switches[i]);
    set_value(d, VOLUME_BOX[i], page, on(switches[i] == 0));
  }
  music_volume_apply(levels[0]);
}

static void volume_ok(const settings_dialog& d, int page) {
  for (int i = 0; i < 3; ++i) setting_store(VOLUME_SLIDER[i], d.value(1001 + i, page));
  for (int i = 0; i < 4; ++i) setting_store(VOLUME_SWITCH[i], on(d.value(VOLUME_BOX[i], page) == 0));
}

static void volume_write() {
  for (setting_id id : VOLUME_SLIDER) setting_write(id);
  for (setting_id id : VOLUME_SWITCH) setting_write(id);
}

// ---- speeds: SPEEDCONFIG and the system page ----

static const setting_id SPEED[3] = {SETTING_EFFECT_SPEED, SETTING_MOJI_SPEED, SETTING_AUTO_SPEED};
static int speed_default(int i) {
  const int d[3] = {effect_speed_default(), moji_speed_default(), auto_speed_default()};
  return d[i];
}
// The system page shows a speed relative to its default (1000 = the default). A default of 0
// would divide by zero: it counts as 1.
static int speed_base(int i) { return std::max(1, speed_default(i)); }
static int speed_position(int i, int setting) {
  return static_cast<int>(std::clamp<long long>(1000LL * setting / speed_base(i), 0, SPEED_MAX));
}
static int speed_setting(int i, int position) { return static_cast<int>(1LL * position * speed_base(i) / 1000); }

static void speed_controls(settings_dialog& d, int page, bool relative) {
  const char* labels[3] = {"画面効果の速さ", "文字表示の速さ", "オートモードの速さ"};
  for (int i = 0; i < 3; ++i) {
    int value = setting_get(SPEED[i]);
    add(d, 1001 + i, kind::slider, labels[i], relative ? speed_position(i, value) : value, page, SPEED_MAX);
  }
  // The Ctrl box exists only where the environment asks for it.
  if (ctrl_key_def()) add(d, 1004, kind::check, "CTRLキーのスキップ動作は既読のみ", on(fastmode_read_get()), page);
}

static void speed_defaults(settings_dialog& d, int page, bool relative) {
  for (int i = 0; i < 3; ++i) set_value(d, 1001 + i, page, relative ? 1000 : speed_default(i));
  set_value(d, 1004, page, on(ctrl_key_def() == 1));
}

static void speed_ok(const settings_dialog& d, int page, bool relative) {
  for (int i = 0; i < 3; ++i) {
    int position = d.value(1001 + i, page);
    setting_store(SPEED[i], relative ? speed_setting(i, position) : position);
  }
  if (ctrl_key_def()) fastmode_read_set(d.value(1004, page));
}

static void speed_write() {
  for (setting_id id : SPEED) setting_write(id);
}

// ---- the font choice: SELFONT and the font page ----

std::vector<std::string> font_face_rows(const std::vector<font_face_info>& faces, int style,
                                        const std::string& exempt) {
  std::vector<std::string> rows;
  for (const font_face_info& f : faces) {
    if (f.family.empty() || f.family[0] == '@' || f.family == "メイリオ") continue;
    if (style == 0 && !f.fixed_pitch && f.family != exempt) continue;
    rows.push_back(f.family);
  }
  return rows;
}

static void font_controls(settings_dialog& d, int page, const std::vector<font_face_info>& faces) {
  settings_control& combo = add(d, 1009, kind::combo, "フォント", -1, page);
  combo.rows = font_face_rows(faces, font_choice_style(), font_choice_exempt());
  const std::string& face = font_choice_face();
  for (size_t i = 0; i < combo.rows.size() && combo.value < 0; ++i)
    if (cp932_icmp(combo.rows[i].c_str(), face.c_str()) == 0) combo.value = static_cast<int>(i);
  if (combo.value < 0 && !combo.rows.empty()) combo.value = 0;
  add(d, 0, kind::sample, "", 0, page);
}

static void font_ok(const settings_dialog& d, int page) {
  const settings_control* combo = d.find(1009, page);
  if (combo && combo->value >= 0 && combo->value < static_cast<int>(combo->rows.size()))
    font_choice_face_set(combo->rows[combo->value]);
}

// The font page's glyph switches and their defaults.
static const struct {
  int id;
  const char* name;
  const char* label;
  int fallback;
} FONT_SWITCH[4] = {{1004, "FontAnti", "アンチエイリアス", 1},
                    {1005, "FontShadow", "影付き文字", 1},
                    {1006, "Fuchidori", "縁取り文字", 1},
                    {1008, "FontBold", "太字", 0}};

int font_sample_char_width() { return font_choice_style() == 0 ? 12 : 10; }

std::string font_sample_face(const settings_dialog& d, int page) {
  const settings_control* combo = d.find(1009, page);
  if (!combo || combo->value < 0 || combo->value >= static_cast<int>(combo->rows.size())) return "";
  return combo->rows[combo->value];
}

font_sample_picture font_sample_draw(const std::string& face) {
  constexpr int LEFT = 15, TOP = 10, SECOND_LINE = 40, BLANKS = 30;
  int char_width = font_sample_char_width();
  font_sample_picture s;
  s.width = 2 * LEFT + BLANKS * 2 * char_width;
  s.height = SECOND_LINE + FONT_SAMPLE_HEIGHT + TOP;
  std::vector<uint8_t> grey(static_cast<size_t>(s.width) * s.height, 255);
  glyph_canvas canvas{grey.data(), s.width, s.height, s.width};
  glyph_font* font = glyph_font_open(face.c_str(), FONT_SAMPLE_HEIGHT, char_width);
  auto line = [&](const std::string& text, int y) {
    int x = LEFT;
    for (const char* p = text.c_str(); *p; p += cp932_char_len(p)) {
      uint32_t key = static_cast<unsigned char>(p[0]);
      if (cp932_char_len(p) == 2) key |= static_cast<uint32_t>(static_cast<unsigned char>(p[1])) << 8;
      int advance = glyph_font_extent(font, key);
      glyph_font_draw(font, key, canvas, x + advance / 2, y, false);
      x += advance;
    }
  };
  line(face, TOP);
  line(FONT_SAMPLE_TEXT, SECOND_LINE);
  glyph_font_close(font);
  s.pixels.reserve(grey.size());
  for (uint8_t g : grey) s.pixels.push_back(uint32_t{g} << 16 | uint32_t{g} << 8 | g);
  return s;
}

// ---- the screen page ----

std::vector<screen_mode_row> screen_mode_rows(int detect_wide, int desktop_class, int desktop_width,
                                              int desktop_height, int game_width, int game_height,
                                              const std::vector<screen_mode_row>& modes) {
  std::vector<screen_mode_row> rows;
  rows.push_back({detect_wide ? "標準(4:3優先)" : "標準", 0, 0, 0, 0, 0});
  if (detect_wide && desktop_class != 0) {
    rows.push_back({"標準(16:10優先)/高速", 0, 0, 0, 0, 1});
    rows.push_back({"標準(16:9優先)/高速", 0, 0, 0, 0, 2});
  }
  int c = game_width == 800 ? 1024 : game_width == 1024 ? 1280 : 0;
  if (c && desktop_width >= c && desktop_height >= c - 256) {
    rows.push_back({"ワイド対策 - 最適化拡大/やや高速", 0, 0, c, c - 256, 3});
    if (desktop_class == 1) rows.push_back({"ワイド対策 - 最適化拡大２/中速", 0, 0, c, c - 256, 4});
  }
  for (const screen_mode_row& m : modes) {
    if (m.depth <= 14 || m.height <= 0) continue;
    bool fits = detect_wide ? m.width >= game_width && m.height >= game_height
                            : m.width == game_width && m.height == game_height;
    if (!fits) continue;
    char text[64];
    if (m.refresh) snprintf(text, sizeof text, "%dx%d %dBit %dHz", m.width, m.height, m.depth, m.refresh);
    else snprintf(text, sizeof text, "%dx%d %dBit", m.width, m.height, m.depth);
    rows.push_back({text, m.refresh, m.depth, m.width, m.height, on(m.width * 100 / m.height > 135)});
  }
  return rows;
}

// The mode the store holds, as a row.
static screen_mode_row stored_screen_mode() {
  return {"", full_sc_freq_get(), full_sc_bits_get(), stored("RegWidth3", 0), stored("RegHeight3", 0),
          stored("FullScWide5", 0)};
}
static bool same_mode(const screen_mode_row& a, const screen_mode_row& b) {
  return a.refresh == b.refresh && a.depth == b.depth && a.width == b.width && a.height == b.height &&
         a.wide == b.wide;
}

// The display never changes its mode here: the only mode offered is the desktop's.
static std::vector<screen_mode_row> display_modes() {
  int width = 0, height = 0;
  plat().primary_screen_size(width, height);
  return {{"", 0, 32, width, height, 0}};
}

static int screen_row_selected(const std::vector<screen_mode_row>& rows) {
  int selected = full_sc_wide_get() < static_cast<int>(rows.size()) ? full_sc_wide_get() : -1;
  screen_mode_row mode = stored_screen_mode();
  for (size_t i = 0; i < rows.size(); ++i)
    if (rows[i].depth && same_mode(rows[i], mode)) selected = static_cast<int>(i);
  return selected;
}

static void screen_controls(settings_dialog& d) {
  settings_control& radio = add(d, 1054, kind::radio, "表示", on(is_fullscreen()), PAGE_SCREEN);
  radio.rows = {"ウィンドウモード", "フルスクリーンモード"};
  radio.row_ids = {1054, 1055};
  add(d, 1005, kind::check, "常に手前に表示", on(topmost_get() != 0), PAGE_SCREEN);
  add(d, 1006, kind::check, "終了時にウィンドウの位置を保存", on(save_screenpos_get() != 0), PAGE_SCREEN);
  if (fit_to_screen())
    add(d, FIT_BOX, kind::check, "フルスクリーン時は画面に合わせて拡大", on(stored("FullScreenFit", 0) != 0),
        PAGE_SCREEN);
  int width = 0, height = 0;
  plat().primary_screen_size(width, height);
  d.screen_rows = screen_mode_rows(detect_wide_monitor(), wide_monitor_class(), width, height, client_width(),
                                   client_height(), display_modes());
  settings_control& combo = add(d, 1009, kind::combo, "フルスクリーン", screen_row_selected(d.screen_rows), PAGE_SCREEN);
  for (const screen_mode_row& row : d.screen_rows) combo.rows.push_back(row.text);
}

static void screen_defaults(settings_dialog& d) {
  set_value(d, 1009, PAGE_SCREEN, full_sc_wide_get() < static_cast<int>(d.screen_rows.size()) ? full_sc_wide_get() : -1);
  set_value(d, 1054, PAGE_SCREEN, on(is_fullscreen()));
  set_value(d, 1005, PAGE_SCREEN, 0);
  set_value(d, 1006, PAGE_SCREEN, 1);
}

static void screen_ok(const settings_dialog& d) {
  topmost_apply(d.value(1005, PAGE_SCREEN));
  store("SaveScreenpos", d.value(1006, PAGE_SCREEN));
  if (d.find(FIT_BOX, PAGE_SCREEN)) {
    int fit = d.value(FIT_BOX, PAGE_SCREEN);
    if (fit != on(stored("FullScreenFit", 0) != 0)) {
      screen_mode_set(0);
      full_screen_fit_set(fit);
    }
  }
  int row = d.value(1009, PAGE_SCREEN);
  if (row >= 0 && row < static_cast<int>(d.screen_rows.size())) {
    const screen_mode_row& entry = d.screen_rows[row];
    if (entry.wide == 3) full_screen_fit_set(wide_monitor_class() + 1);
    if (entry.wide == 4) full_screen_fit_set(4);
    if (!same_mode(entry, stored_screen_mode())) {
      full_sc_freq_set(entry.refresh);
      full_sc_bits_set(entry.depth);
      store("FullScWide5", entry.wide);
      store("RegWidth3", entry.width);
      store("RegHeight3", entry.height);
      screen_mode_set(0);
      bool detect = detect_wide_monitor() != 0;
      widescreen_pref_set(detect ? entry.wide : 0);
      fullscreen_width_set(detect ? reg_width_get() : client_width());
      fullscreen_height_set(detect ? reg_height_get() : client_height());
      if (error_report_mode_get() != 1) set_screen_size(client_width(), client_height(), 1);
      fullscreen_depth_set(entry.refresh, entry.depth);
      work_area_fit();
    }
  }
  screen_mode_set(d.value(1054, PAGE_SCREEN) == 0 ? 0 : 1);
}

// ---- VOICE_SETUP ----

static int voice_box_id(int character) {
  static const int first[4] = {1004, 1005, 1006, 1008};
  return character < 4 ? first[character] : 1013 + character - 4;
}
static int voice_label_id(int index) {
  static const int first[3] = {1049, 1050, 1057};
  return index < 3 ? first[index] : 1063 + index - 3;
}
static setting_id voice_level(int character) { return static_cast<setting_id>(SETTING_VOICE_SETUP_LVL0 + character); }

settings_dialog voice_setup_model() {
  settings_dialog d = named("VOICE_SETUP", "音声の設定");
  for (int i = 0; i < VOICE_SETUP_CHARACTERS; ++i)
    if (!voice_setup_name(i).empty())
      add(d, voice_box_id(i), kind::check, voice_setup_name(i), on(setting_get(voice_level(i)) == 0), -1);
  for (int i = 0; i < VOICE_SETUP_LABELS; ++i)
    add(d, voice_label_id(i), kind::label, voice_setup_label(i), 0, -1).visible = !voice_setup_label(i).empty();
  add(d, 1039, kind::check, "音声は全てOFF", on(setting_get(SETTING_TALK_FEMALE) == 0), -1);
  return d;
}

static void voice_setup_ok(const settings_dialog& d) {
  int talk = on(d.value(1039) == 0);
  setting_store(SETTING_TALK_FEMALE, talk);
  store("IsTalkFemale", talk);
  for (int i = 0; i < VOICE_SETUP_CHARACTERS; ++i) {
    setting_store(voice_level(i), d.value(voice_box_id(i)) ? 0 : 1000);
    setting_write(voice_level(i));
  }
}

// ---- EXTRASETUP ----

static const struct {
  int first;
  const char* name;
  const char* label;
  std::vector<int> ids;
  std::vector<const char*> rows;
  bool visible;
} EXTRA_GROUPS[] = {
    {1054, "WindowColor", "ウィンドウの色", {1054, 1055, 1075, 1076, 1077, 1078, 1079, 1089},
     {"色１", "色２", "色３", "色４", "色５", "色６", "色７", "色８"}, true},
    {1081, "KokkaWait", "」の後のキー入力待ち", {1081, 1082}, {"待たない", "待つ"}, true},
    {1083, "HSceneNormal", "場面１", {1083, 1084, 1085}, {"１", "２", "３"}, false},
    {1086, "HSceneYuri", "場面２", {1086, 1087, 1088}, {"１", "２", "３"}, false},
    {1090, "SpkCont", "クリック時の音声", {1090, 1091}, {"止める", "続ける"}, true},
};

settings_dialog extra_setup_model() {
  settings_dialog d = named("EXTRASETUP", "その他の設定");
  for (const auto& g : EXTRA_GROUPS) {
    // A stored index outside the group checks no button.
    int index = stored(g.name, 0);
    settings_control& c = add(d, g.first, kind::radio, g.label,
                              index >= 0 && index < static_cast<int>(g.ids.size()) ? index : -1, -1);
    c.row_ids = g.ids;
    c.rows.assign(g.rows.begin(), g.rows.end());
    c.visible = g.visible;
  }
  add(d, 1004, kind::check, "男性の音声", on(stored("HOnseiMale", 0) != 0), -1);
  add(d, 1005, kind::check, "女性の音声", on(stored("HOnseiFemale", 0) != 0), -1);
  return d;
}

static void extra_setup_ok(const settings_dialog& d) {
  for (const auto& g : EXTRA_GROUPS) store(g.name, std::max(0, d.value(g.first)));
  store("HOnseiMale", d.value(1004));
  store("HOnseiFemale", d.value(1005));
}

// ---- the dialogs ----

settings_dialog volume_config_model() {
  settings_dialog d = named("VOLUMECONFIG", "音量の設定");
  volume_controls(d, -1);
  return d;
}

settings_dialog speed_config_model() {
  settings_dialog d = named("SPEEDCONFIG", "速度の設定");
  speed_controls(d, -1, false);
  return d;
}

settings_dialog font_select_model(const std::vector<font_face_info>& faces) {
  settings_dialog d = named("SELFONT", "フォントの選択");
  font_controls(d, -1, faces);
  return d;
}

settings_dialog config_all_model(const std::vector<font_face_info>& faces) {
  settings_dialog d = named("CONFIG_ALL", "環境設定");
  int last = stored("CONFIG_LASTPAGE", 0);
  d.page = last >= 0 && last < PAGE_COUNT ? last : 0;
  add(d, 1048, kind::tabs, "", d.page, -1, PAGE_COUNT - 1).rows = {"システム", "サウンド", "スクリーン", "フォント"};

  speed_controls(d, PAGE_SYSTEM, true);
  add(d, 1005, kind::check, "選択肢後もスキップを継続", on(stored("KEEPFASTSKIP", 0) != 0), PAGE_SYSTEM);
  if (quickload_failsafe_default() != 2) {
    add(d, 1006, kind::check, "クイックロードの前に確認する", on(quickload_failsafe_get() != 0), PAGE_SYSTEM);
    add(d, 1008, kind::check, "クイックセーブの前に確認する", on(quicksave_failsafe_get() != 0), PAGE_SYSTEM);
  }

  volume_controls(d, PAGE_SOUND);
  add(d, 1015, kind::check, "次テキスト表示時に音声を停止する", on(setting_get(SETTING_VOICE_CONTINUE) == 0), PAGE_SOUND);
  add(d, 1014, kind::check, "音声を話し手の位置に合わせる", on(setting_get(SETTING_VOICE_PANNING) != 0), PAGE_SOUND);
  add(d, 1016, kind::check, "音声再生中にBGM音量を下げる", on(setting_get(SETTING_VOICE_MUSICDOWN) != 0), PAGE_SOUND);
  add(d, 1062, kind::slider, "下げたBGMの音量", setting_get(SETTING_VOICE_MUSICDOWN_VOL), PAGE_SOUND, VOLUME_MAX);

  screen_controls(d);

  font_controls(d, PAGE_FONT, faces);
  for (const auto& s : FONT_SWITCH) add(d, s.id, kind::check, s.label, on(stored(s.name, s.fallback) != 0), PAGE_FONT);
  return d;
}

static void system_page_defaults(settings_dialog& d) {
  speed_defaults(d, PAGE_SYSTEM, true);
  set_value(d, 1005, PAGE_SYSTEM, on(stored("KEEPFASTSKIP", 0) != 0));
  set_value(d, 1006, PAGE_SYSTEM, on(quickload_failsafe_default() != 0));
  set_value(d, 1008, PAGE_SYSTEM, on(quicksave_failsafe_default() != 0));
}

static void sound_page_defaults(settings_dialog& d) {
  volume_defaults(d, PAGE_SOUND);
  setting_store(SETTING_VOICE_PANNING, is_voice_panning());
  setting_store(SETTING_VOICE_CONTINUE, 1);
  setting_store(SETTING_VOICE_MUSICDOWN, 0);
  setting_store(SETTING_VOICE_MUSICDOWN_VOL, 500);
  set_value(d, 1014, PAGE_SOUND, on(is_voice_panning() != 0));
  set_value(d, 1015, PAGE_SOUND, 0);
  set_value(d, 1016, PAGE_SOUND, 0);
  set_value(d, 1062, PAGE_SOUND, 500);
}

static bool is(const settings_dialog& d, const char* name) { return d.name == name; }

void settings_dialog_set(settings_dialog& d, int id, int value, int page) {
  settings_control* c = d.find(id, page);
  if (!c) return;
  int high = c->kind == kind::radio || c->kind == kind::combo ? static_cast<int>(c->rows.size()) - 1 : c->high;
  int low = c->kind == kind::radio || c->kind == kind::combo ? -1 : c->low;
  c->value = std::clamp(value, low, std::max(low, high));
  if (c->kind == kind::tabs) d.page = c->value;
  bool music = id == 1001 && (is(d, "VOLUMECONFIG") || (is(d, "CONFIG_ALL") && c->page == PAGE_SOUND));
  if (music) music_volume_apply(c->value);
}

void settings_dialog_defaults(settings_dialog& d) {
  if (is(d, "VOICE_SETUP")) {
    for (settings_control& c : d.controls)
      if (c.kind == kind::check) c.value = 0;
  } else if (is(d, "VOLUMECONFIG")) {
    volume_defaults(d, -1);
  } else if (is(d, "SPEEDCONFIG")) {
    speed_defaults(d, -1, false);
  } else if (is(d, "CONFIG_ALL")) {
    if (d.page == PAGE_SYSTEM) system_page_defaults(d);
    if (d.page == PAGE_SOUND) sound_page_defaults(d);
    if (d.page == PAGE_SCREEN) screen_defaults(d);
    if (d.page == PAGE_FONT)
      for (const auto& s : FONT_SWITCH) set_value(d, s.id, PAGE_FONT, s.fallback);
  }
}

void settings_dialog_ok(settings_dialog& d) {
  if (is(d, "VOICE_SETUP")) voice_setup_ok(d);
  if (is(d, "VOLUMECONFIG")) volume_ok(d, -1);
  if (is(d, "SPEEDCONFIG")) speed_ok(d, -1, false);
  if (is(d, "SELFONT")) font_ok(d, -1);
  if (is(d, "EXTRASETUP")) extra_setup_ok(d);
  if (!is(d, "CONFIG_ALL")) return;
  speed_ok(d, PAGE_SYSTEM, true);
  store("KEEPFASTSKIP", d.value(1005, PAGE_SYSTEM));
  if (d.find(1006, PAGE_SYSTEM)) {
    store("QuickloadFailsafe", d.value(1006, PAGE_SYSTEM));
    store("QuicksaveFailsafe", d.value(1008, PAGE_SYSTEM));
  }
  volume_ok(d, PAGE_SOUND);
  setting_store(SETTING_VOICE_CONTINUE, on(d.value(1015, PAGE_SOUND) == 0));
  setting_store(SETTING_VOICE_PANNING, d.value(1014, PAGE_SOUND));
  setting_store(SETTING_VOICE_MUSICDOWN, d.value(1016, PAGE_SOUND));
  setting_store(SETTING_VOICE_MUSICDOWN_VOL, d.value(1062, PAGE_SOUND));
  screen_ok(d);
  font_ok(d, PAGE_FONT);
  for (const auto& s : FONT_SWITCH) store(s.name, d.value(s.id, PAGE_FONT));
  store("CONFIG_LASTPAGE", d.page);
}

void settings_dialog_cancel(settings_dialog& d) {
  if (is(d, "CONFIG_ALL")) store("CONFIG_LASTPAGE", d.page);
}

void settings_dialog_view_set(int (*view)(settings_dialog&)) { dialogs.view = view ? view : settings_form_view; }

// ---------------------------------------------------------------------------------------------
// The view: the model as one of the platform's dialog forms (a page per tab), changes handed back
// as they happen, "初期化" through the model's defaults.

static const settings_control* tabs_of(const settings_dialog& d) {
  for (const settings_control& c : d.controls)
    if (c.kind == settings_control_kind::tabs) return &c;
  return nullptr;
}

// The model's values shown in the form again.
static void form_values(dialog_form& f, const settings_dialog& d) {
  for (form_control& fc : f.controls)
    if (const settings_control* c = d.find(fc.id, fc.page)) fc.value = c->value;
}

// The font samples drawn for the faces the model has selected now.
static void form_samples(dialog_form& f, const settings_dialog& d) {
  for (form_control& fc : f.controls) {
    if (fc.kind != form_kind::picture) continue;
    font_sample_picture s = font_sample_draw(font_sample_face(d, fc.page));
    fc.width = s.width;
    fc.height = s.height;
    fc.pixels = std::move(s.pixels);
  }
}

static void form_changed(dialog_form& f, const form_control& c) {
  auto* d = static_cast<settings_dialog*>(f.data);
  settings_dialog_set(*d, c.id, c.value, c.page);
  const settings_control* sample = d->find(0, c.page);
  if (c.id == 1009 && sample && sample->kind == kind::sample) form_samples(f, *d);
}

static void form_defaults(dialog_form& f) {
  auto* d = static_cast<settings_dialog*>(f.data);
  if (const settings_control* tabs = tabs_of(*d)) settings_dialog_set(*d, tabs->id, f.page);
  settings_dialog_defaults(*d);
  form_values(f, *d);
  form_samples(f, *d);
}

int settings_form_view(settings_dialog& d) {
  dialog_form f;
  f.template_name = d.name;
  f.title = d.title;
  f.data = &d;
  f.on_change = form_changed;
  f.on_defaults = form_defaults;
  const settings_control* tabs = tabs_of(d);
  if (tabs) {
    f.pages = tabs->rows;
    f.page = tabs->value;
  }
  for (const settings_control& c : d.controls) {
    if (!c.visible || c.kind == settings_control_kind::tabs) continue;
    static const form_kind kinds[] = {form_kind::check, form_kind::slider, form_kind::radio, form_kind::combo,
                                      form_kind::text, form_kind::text, form_kind::picture};
    form_kind kind = kinds[static_cast<int>(c.kind)];
    form_control& fc = f.add(c.id, kind, c.label, kind == form_kind::text ? c.label : "", c.value);
    fc.rows = c.rows;
    fc.low = c.low;
    fc.high = c.high;
    fc.page = c.page;
  }
  form_samples(f, d);
  if (plat().dialog_run(main_window_get(), f) != IDOK) return 0;
  if (tabs) settings_dialog_set(d, tabs->id, f.page);
  for (const form_control& fc : f.controls)
    if (fc.kind != form_kind::text && fc.kind != form_kind::picture) settings_dialog_set(d, fc.id, fc.value, fc.page);
  return 1;
}

// Hook A first (the game may quiet itself), then the view: the platform's dialog form, or the one a
// test put in its place.
int settings_dialog_present(settings_dialog& d) {
  call_box_hook();
  return dialogs.view(d);
}

// Presents the dialog; after OK copies it to memory and runs the opener's writes.
static bool run(settings_dialog d) {
  if (settings_dialog_present(d) != 1) {
    settings_dialog_cancel(d);
    return false;
  }
  settings_dialog_ok(d);
  return true;
}

void voice_setup_dialog() {
  if (!run(voice_setup_model())) return;
  setting_write(SETTING_TALK_FEMALE);
  sound_apply_config();
}

void volume_config_dialog() {
  if (!run(volume_config_model())) return;
  volume_write();
  sound_apply_config();
}

void speed_config_dialog() {
  if (run(speed_config_model())) speed_write();
}

void font_select_dialog() { run(font_select_model(font_faces_japanese())); }

void config_all_dialog() {
  if (!run(config_all_model(font_faces_japanese()))) return;
  volume_write();
  for (setting_id id : {SETTING_VOICE_CONTINUE, SETTING_VOICE_PANNING, SETTING_VOICE_MUSICDOWN,
                        SETTING_VOICE_MUSICDOWN_VOL})
    setting_write(id);
  sound_apply_config();
  speed_write();
}

void extra_setup_dialog() { run(extra_setup_model()); }

int builtin_font_select(int32_t, int32_t) {
  std::string face = builtin_arg_text(1);
  int style = builtin_arg_int(2);
  font_choice_face_set(face);
  font_choice_style_set(style);
  font_select_dialog();
  push_string(font_choice_face().c_str());
  return 0;
}

int builtin_config_all_open(int32_t, int32_t) {
  config_all_dialog();
  push_int(0);
  return 0;
}

int builtin_volume_config_open(int32_t, int32_t) {
  volume_config_dialog();
  push_int(0);
  return 0;
}

int builtin_speed_config_open(int32_t, int32_t) {
  speed_config_dialog();
  push_int(0);
  return 0;
}
