// The setting built-ins and their native getters: scripts read and change the user's speed,
// volume, voice and font settings as the settings dialogs do. Setters keep memory, the playing
// sound and the store in step at once; no setter checks a range.
//
// The dialog openers among these built-ins (font_select, config_all_open) live with the settings
// dialogs (shell/settings_dialogs.h).
#pragma once

#include <cstdint>
#include <string>

// SaveScreenpos (default 1): the window's position is kept at exit and restored at start.
int save_screenpos_get();
// The glyph decorations of the font page (defaults 1, 1, 0): the shadow and the outline of
// decoration modes 4 to 6, and bold glyphs.
int font_shadow_get();
int fuchidori_get();
int font_bold_get();
// The questions before a quick load and a quick save: the stored value, else the environment's
// QUICKLOAD_FAILSAFE (2) and QUICKSAVE_FAILSAFE (0).
int quickload_failsafe_get();
int quicksave_failsafe_get();

// The voice-setup dialog's character names (30) and group labels (15), and the font choice.
constexpr int VOICE_SETUP_NAMES = 30;
constexpr int VOICE_SETUP_LABELS = 15;
constexpr size_t VOICE_SETUP_TEXT_SIZE = 128;
const std::string& voice_setup_name(int index);
const std::string& voice_setup_label(int index);
// As the built-ins set them, cut to the text size.
void voice_setup_name_set(int index, const std::string& text);
void voice_setup_label_set(int index, const std::string& text);
const std::string& font_choice_face();
int font_choice_style();
const std::string& font_choice_exempt();
// The face chosen in the font dialogs.
void font_choice_face_set(const std::string& face);
void font_choice_style_set(int style);

// Forgets the names, labels and font choice (tests).
void setting_builtins_reset();

int builtin_effect_speed_get(int32_t, int32_t);
int builtin_moji_speed_get(int32_t, int32_t);
int builtin_auto_speed_get(int32_t, int32_t);
int builtin_talk_male_get(int32_t, int32_t);
int builtin_talk_female_get(int32_t, int32_t);
int builtin_effect_speed_set(int32_t, int32_t);
int builtin_moji_speed_set(int32_t, int32_t);
int builtin_auto_speed_set(int32_t, int32_t);
int builtin_sound_volume_set(int32_t, int32_t);
int builtin_voice_volume_set(int32_t, int32_t);
int builtin_music_volume_set(int32_t, int32_t);
int builtin_voice_continue_get(int32_t, int32_t);
int builtin_voice_panning_get(int32_t, int32_t);
int builtin_voice_musicdown_get(int32_t, int32_t);
int builtin_voice_musicdown_vol_get(int32_t, int32_t);
int builtin_quickload_failsafe(int32_t, int32_t);
int builtin_quicksave_failsafe(int32_t, int32_t);
int builtin_quickload_failsafe_set(int32_t, int32_t);
int builtin_quicksave_failsafe_set(int32_t, int32_t);
int builtin_font_anti(int32_t, int32_t);
int builtin_font_shadow(int32_t, int32_t);
int builtin_fuchidori(int32_t, int32_t);
int builtin_font_bold(int32_t, int32_t);
int builtin_voice_setup_names(int32_t, int32_t);
int builtin_voice_setup_labels(int32_t, int32_t);
int builtin_voice_setup_level(int32_t, int32_t);
int builtin_font_set(int32_t, int32_t);
int builtin_font_get(int32_t, int32_t);
int builtin_font_set_sample(int32_t, int32_t);
