// The settings dialogs: voice setup, volumes, speeds, font, the tabbed configuration with its
// system, sound, screen and font pages, and the extra choices of a game.
//
// Each dialog is a model: the list of its controls keyed by their resource ids, filled from the
// settings when it opens, changed by the view through settings_dialog_set and
// settings_dialog_defaults, and copied to memory by settings_dialog_ok. The openers present the
// model and, after OK, write the settings to the store and apply them to the sound. Cancel
// writes nothing; what Defaults put in memory stays (the volume switches, the sound page).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/font_faces.h"

enum class settings_control_kind {
  check,   // value 0/1
  slider,  // value in low..high
  radio,   // one group: rows are the buttons' labels, row_ids their ids, value the checked row or -1
  combo,   // rows, value the selected row or -1
  tabs,    // the pages of the tabbed dialog, value the page shown
  label,   // a text, shown when visible
  sample,  // the font choice's sample (font_sample_draw of the face selected on its page)
};

struct settings_control {
  int id = 0;
  settings_control_kind kind = settings_control_kind::check;
  std::string label;  // engine text (CP932)
  int value = 0;
  int low = 0, high = 0;
  std::vector<std::string> rows;
  std::vector<int> row_ids;
  int page = -1;  // the tabbed dialog's page holding it; -1 outside pages
  bool visible = true;
};

// One row of the screen page's display-mode list.
struct screen_mode_row {
  std::string text;
  int refresh = 0, depth = 0, width = 0, height = 0;
  int wide = 0;  // standard rows: their number; wide-fit rows: type 3 or 4; mode rows: the wide flag
};

struct settings_dialog {
  std::string name;  // the dialog resource's name ("VOLUMECONFIG")
  std::string title;
  std::vector<settings_control> controls;  // a destroyed control is not in the list
  int page = -1;                           // the tabbed dialog's page shown
  std::vector<screen_mode_row> screen_rows;

  // The control on the page (page -1: the first with the id).
  settings_control* find(int id, int page = -1);
  const settings_control* find(int id, int page = -1) const;
  // A control's value; 0 for a control that is not there (as an absent box reads unchecked).
  int value(int id, int page = -1) const;
};

// Models as they open from the current settings.
settings_dialog voice_setup_model();
settings_dialog volume_config_model();
settings_dialog speed_config_model();
// faces: the host's Japanese faces (font_faces_japanese), filtered for the font choice's style.
settings_dialog font_select_model(const std::vector<font_face_info>& faces);
settings_dialog config_all_model(const std::vector<font_face_info>& faces);
settings_dialog extra_setup_model();

// A control changed in the view (a radio group takes the row, other controls the value, held to
// their range). The music slider applies its level at once; choosing a tab shows that page.
void settings_dialog_set(settings_dialog& dialog, int id, int value, int page = -1);
// "初期化": the whole dialog, or the page shown of the tabbed one.
void settings_dialog_defaults(settings_dialog& dialog);
// OK: the controls are copied to memory (and the values kept only in the store are written).
void settings_dialog_ok(settings_dialog& dialog);
// Cancel: nothing is copied; the tabbed dialog still remembers its page.
void settings_dialog_cancel(settings_dialog& dialog);

// The faces the font choice lists for a style (0 fixed pitch, else proportional): no vertical
// ("@") faces, no "メイリオ", fixed-pitch requests only fixed-pitch faces unless the face is the
// exempt one.
std::vector<std::string> font_face_rows(const std::vector<font_face_info>& faces, int style,
                                        const std::string& exempt);
// The screen page's display-mode rows for the game width, the desktop and the display's modes.
// desktop_class as wide_monitor_class (0 4:3, 1 16:10, 2 16:9).
std::vector<screen_mode_row> screen_mode_rows(int detect_wide, int desktop_class, int desktop_width,
                                              int desktop_height, int game_width, int game_height,
                                              const std::vector<screen_mode_row>& modes);
// The sample of the font choice: drawn under the face name in the chosen face, with cells of
// FONT_SAMPLE_HEIGHT pixels and half-width characters of font_sample_char_width (12 for a
// fixed-pitch choice, 10 for a proportional one).
constexpr const char* FONT_SAMPLE_TEXT = "文字サンプルです。１２３４";
constexpr int FONT_SAMPLE_HEIGHT = 24;
int font_sample_char_width();
// The sample as the dialog shows it, drawn by the engine's glyph renderer: the face's name at
// (15, 10) and FONT_SAMPLE_TEXT at (15, 40), black on white, over a strip as wide as the 30
// full-width blanks that clear it; rows of 0x00RRGGBB.
struct font_sample_picture {
  int width = 0, height = 0;
  std::vector<uint32_t> pixels;
};
font_sample_picture font_sample_draw(const std::string& face);
// The face selected in the dialog's face list on that page ("" when none is).
std::string font_sample_face(const settings_dialog& dialog, int page);

// Shows the dialog modally, after the box hook, and answers 1 (OK) or 0 (Cancel); the view changes
// the model through the calls above, centres the dialog on the main window, takes control 1 as
// OK, 2 (and a right click) as Cancel and 1000 as Defaults. The view is the platform's dialog form
// (settings_form_view), a page per tab.
int settings_dialog_present(settings_dialog& dialog);
int settings_form_view(settings_dialog& dialog);
// The view (or a test) that shows the dialogs; nullptr restores the form view.
void settings_dialog_view_set(int (*view)(settings_dialog& dialog));

// The openers: present the dialog, and after OK write the settings and apply them to the sound.
void voice_setup_dialog();
void volume_config_dialog();
void speed_config_dialog();
void font_select_dialog();
void config_all_dialog();
void extra_setup_dialog();

int builtin_font_select(int32_t, int32_t);
int builtin_config_all_open(int32_t, int32_t);
int builtin_volume_config_open(int32_t, int32_t);
int builtin_speed_config_open(int32_t, int32_t);

// Forgets the installed view (tests).
void settings_dialogs_reset();
