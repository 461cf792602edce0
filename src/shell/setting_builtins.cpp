#include "shell/setting_builtins.h"

#include "base/cp932.h"
#include "base/registry.h"
#include "shell/env_keys.h"
#include "shell/settings.h"
#include "sound/sound.h"
#include "text/message.h"
#include "vm/dispatcher.h"
#include "vm/variables.h"

// Module state: what scripts set for the voice-setup and font dialogs.
static struct {
  std::string names[VOICE_SETUP_NAMES];
  std::string labels[VOICE_SETUP_LABELS];
  std::string face;
  int style = 0;  // 0 fixed pitch, else proportional
  std::string exempt;
} dialog_texts;

static int stored(const char* name, int fallback) { return reg_get_int(reg_global_name(), reg_local_name(), name, fallback); }
static void store(const char* name, int value) { reg_set_int(reg_global_name(), reg_local_name(), name, value); }

int save_screenpos_get() { return stored("SaveScreenpos", 1); }
int font_shadow_get() { return stored("FontShadow", 1); }
int fuchidori_get() { return stored("Fuchidori", 1); }
int font_bold_get() { return stored("FontBold", 0); }
int quickload_failsafe_get() { return stored("QuickloadFailsafe", quickload_failsafe_default()); }
int quicksave_failsafe_get() { return stored("QuicksaveFailsafe", quicksave_failsafe_default()); }

const std::string& voice_setup_name(int index) { return dialog_texts.names[index]; }
const std::string& voice_setup_label(int index) { return dialog_texts.labels[index]; }
const std::string& font_choice_face() { return dialog_texts.face; }
int font_choice_style() { return dialog_texts.style; }
const std::string& font_choice_exempt() { return dialog_texts.exempt; }
void font_choice_face_set(const std::string& face) { dialog_texts.face = face; }
void font_choice_style_set(int style) { dialog_texts.style = style; }

void setting_builtins_reset() { dialog_texts = {}; }

static int push_result(int32_t value) {
  push_int(value);
  return 0;
}

int builtin_effect_speed_get(int32_t, int32_t) { return push_result(setting_get(SETTING_EFFECT_SPEED)); }
// A speed the message window was given overrides the user's while it is set.
int builtin_moji_speed_get(int32_t, int32_t) {
  int speed = text_speed_get();
  return push_result(speed != -1 ? speed : setting_get(SETTING_MOJI_SPEED));
}
int builtin_auto_speed_get(int32_t, int32_t) { return push_result(setting_get(SETTING_AUTO_SPEED)); }
int builtin_talk_male_get(int32_t, int32_t) { return push_result(setting_get(SETTING_TALK_MALE)); }
int builtin_talk_female_get(int32_t, int32_t) { return push_result(setting_get(SETTING_TALK_FEMALE)); }

static int set(setting_id id) {
  setting_set(id, builtin_arg_int(1));
  return push_result(0);
}
int builtin_effect_speed_set(int32_t, int32_t) { return set(SETTING_EFFECT_SPEED); }
int builtin_moji_speed_set(int32_t, int32_t) { return set(SETTING_MOJI_SPEED); }
int builtin_auto_speed_set(int32_t, int32_t) { return set(SETTING_AUTO_SPEED); }

// A volume goes to memory, then to what plays, then to the store.
static int volume_set(setting_id id, void (*apply)(int)) {
  int level = builtin_arg_int(1);
  setting_store(id, level);
  apply(level);
  setting_write(id);
  return push_result(0);
}
int builtin_sound_volume_set(int32_t, int32_t) { return volume_set(SETTING_SOUND_VOLUME, sound_volume_apply); }
int builtin_voice_volume_set(int32_t, int32_t) { return volume_set(SETTING_VOICE_VOLUME, voice_volume_apply); }
int builtin_music_volume_set(int32_t, int32_t) { return volume_set(SETTING_MUSIC_VOLUME, music_volume_apply); }

int builtin_voice_continue_get(int32_t, int32_t) { return push_result(setting_get(SETTING_VOICE_CONTINUE)); }
int builtin_voice_panning_get(int32_t, int32_t) { return push_result(setting_get(SETTING_VOICE_PANNING)); }
int builtin_voice_musicdown_get(int32_t, int32_t) { return push_result(setting_get(SETTING_VOICE_MUSICDOWN)); }
int builtin_voice_musicdown_vol_get(int32_t, int32_t) { return push_result(setting_get(SETTING_VOICE_MUSICDOWN_VOL)); }

int builtin_quickload_failsafe(int32_t, int32_t) { return push_result(quickload_failsafe_get()); }
int builtin_quicksave_failsafe(int32_t, int32_t) { return push_result(quicksave_failsafe_get()); }
int builtin_quickload_failsafe_set(int32_t, int32_t) {
  store("QuickloadFailsafe", builtin_arg_int(1));
  return push_result(0);
}
int builtin_quicksave_failsafe_set(int32_t, int32_t) {
  store("QuicksaveFailsafe", builtin_arg_int(1));
  return push_result(0);
}

int builtin_font_anti(int32_t, int32_t) { return push_result(stored("FontAnti", 1)); }
int builtin_font_shadow(int32_t, int32_t) { return push_result(font_shadow_get()); }
int builtin_fuchidori(int32_t, int32_t) { return push_result(fuchidori_get()); }
int builtin_font_bold(int32_t, int32_t) { return push_result(font_bold_get()); }

static std::string dialog_text(std::string text) {
  text.resize(cp932_cut_length(text, VOICE_SETUP_TEXT_SIZE - 1));
  return text;
}
static std::string dialog_text(int k) { return dialog_text(std::string(builtin_arg_text(k))); }
void voice_setup_name_set(int index, const std::string& text) { dialog_texts.names[index] = dialog_text(text); }
void voice_setup_label_set(int index, const std::string& text) { dialog_texts.labels[index] = dialog_text(text); }

// The list is cleared, then argument i names entry i.
static int texts_set(int32_t n, std::string* texts, int count) {
  for (int i = 0; i < count; ++i) texts[i].clear();
  for (int i = 0; i < n && i < count; ++i) texts[i] = dialog_text(i + 1);
  return push_result(0);
}
int builtin_voice_setup_names(int32_t n, int32_t) { return texts_set(n, dialog_texts.names, VOICE_SETUP_NAMES); }
int builtin_voice_setup_labels(int32_t n, int32_t) { return texts_set(n, dialog_texts.labels, VOICE_SETUP_LABELS); }

// With every voice off (TalkFemale 0) each character's level reads 0.
int builtin_voice_setup_level(int32_t, int32_t) {
  int index = builtin_arg_int(1);
  index = index < 0 ? 0 : index > VOICE_SETUP_CHARACTERS - 1 ? VOICE_SETUP_CHARACTERS - 1 : index;
  int on = setting_get(SETTING_TALK_FEMALE) == 1;
  return push_result(on ? setting_get(static_cast<setting_id>(SETTING_VOICE_SETUP_LVL0 + index)) : 0);
}

int builtin_font_set(int32_t, int32_t) {
  dialog_texts.face = builtin_arg_text(1);
  dialog_texts.style = builtin_arg_int(2);
  return push_result(0);
}

int builtin_font_get(int32_t, int32_t) {
  push_string(dialog_texts.face.c_str());
  return 0;
}

int builtin_font_set_sample(int32_t, int32_t) {
  dialog_texts.exempt = builtin_arg_text(1);
  return push_result(0);
}
