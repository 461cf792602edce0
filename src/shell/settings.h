// The settings store: the user's settings, kept as one text value each in the settings key
// "Software\<REG_GLOBAL>\<REG_LOCAL>" (see base/registry.h), and mirrored in memory.
//
// A setting's value is its stored value when there is one, else the environment key named for it,
// else the built-in default. Setters write the store at once. Getters read memory only: text
// drawing and the sound worker read some of them for every character or buffer.
#pragma once

#include <cstdint>
#include <string>

// The in-memory settings. The first SETTING_CONFIG_COUNT are read by config_load, in this order;
// the rest by startup_settings_load, except JoyUse, which joy_use_set keeps.
enum setting_id : int {
  SETTING_EFFECT_SPEED,          // EffectSpeed, EFFECTSPEED (1000), 0..5000
  SETTING_MOJI_SPEED,            // MojiSpeed, MOJISPEED (1000), 0..5000
  SETTING_AUTO_SPEED,            // AutoSpeed, AUTOSPEED (1000), 0..5000
  SETTING_MUSIC_VOLUME,          // MusicVolume, MUSICVOL (650), 0..1000
  SETTING_VOICE_VOLUME,          // VoiceVolume, VOICEVOL (1000), 0..1000
  SETTING_SOUND_VOLUME,          // SoundVolume, SOUNDVOL (650), 0..1000
  SETTING_TALK_MALE,             // TalkMale, ISTALKMALE (1): male voices play
  SETTING_TALK_FEMALE,           // TalkFemale, ISTALKFEMALE (1): female voices play
  SETTING_PLAY_MUSIC,            // PlayMusic, ISPLAYMUSIC (1)
  SETTING_PLAY_SOUND,            // PlaySound, ISPLAYSOUND (1)
  SETTING_VOICE_CONTINUE,        // VoiceContinue, ISVOICECONTINUE (0): a voice goes on past the next text
  SETTING_VOICE_PANNING,         // VoicePanning, ISVOICEPANNING (0): voices panned by speaker position
  SETTING_VOICE_MUSICDOWN,       // VoiceMusicdown (0): music lowered while a voice plays
  SETTING_VOICE_MUSICDOWN_VOL,   // VoiceMusicdownVol (500): the lowered music level
  SETTING_VOICE_SETUP_LVL0,      // "VoiceSetupLvl%d" (1000) for characters 0..29: 0 or 1000
  SETTING_CONFIG_COUNT = SETTING_VOICE_SETUP_LVL0 + 30,
  SETTING_NANIDO = SETTING_CONFIG_COUNT,  // NANIDO (1): difficulty, held to 0..4
  SETTING_GAME_SPEED,            // GameSpeed (1): held to 0..3
  SETTING_FULL_SC_FREQ,          // FullScFreq (0): full-screen refresh rate, 0 = the desktop's
  SETTING_FULL_SC_BITS,          // FullScBits (0): full-screen colour depth, 0 = the desktop's
  SETTING_REPROT_NO_VOICE,       // ReprotNoVoice (0): report missing voices
  SETTING_REPROT_NO_PIC,         // ReprotNoPic (0): report missing pictures
  SETTING_LOG_NO_VOICE,          // LogNoVoice (1): log missing voices
  SETTING_LOG_NO_PIC,            // LogNoPic (1): log missing pictures
  SETTING_AUTO_OPEN_ERROR_LINE,  // AutoOpenErrorLine (1): open the editor at a script error
  SETTING_FAST_VOICE_PLAY,       // FastVoicePlay (0)
  SETTING_JOY_USE,               // JoyUse (0): 0 off, 1 pad 0, 2 both pads
  SETTING_COUNT
};
constexpr int VOICE_SETUP_CHARACTERS = 30;

// Text settings read at start-up.
enum setting_text_id : int {
  SETTING_WATCH_LIST,  // WatchList (""): variables shown in the development status bar
  SETTING_EDITOR,      // Editor ("none"): the editor's command template
  SETTING_TEXT_COUNT
};

struct shell_settings {
  int32_t value[SETTING_COUNT];
};
// Module state, readable in place so that getters are plain memory reads.
extern shell_settings shell_settings_values;

inline int setting_get(setting_id id) { return shell_settings_values.value[id]; }
// Memory and the store at once.
void setting_set(setting_id id, int value);
// Memory only: dialogs copy on OK and their opener writes; the exit writes the window state.
void setting_store(setting_id id, int value);
// The store from memory.
void setting_write(setting_id id);
// The value's name in the store, and its default (the environment key, else the built-in one).
const char* setting_name(setting_id id);
int setting_default(setting_id id);

const char* setting_text_get(setting_text_id id);
void setting_text_store(setting_text_id id, const char* text);
void setting_text_set(setting_text_id id, const char* text);

// Reads the in-memory settings at start-up, after the window exists, then the read-only
// fast-skip flag (FastModeFlg_AR, default the current flag).
void config_load();
// Reads the settings that start-up keeps for the run: difficulty, game speed, full-screen rate
// and depth, the development options and texts.
void startup_settings_load();

// Getters of the in-memory copies.
inline int full_sc_freq_get() { return setting_get(SETTING_FULL_SC_FREQ); }
inline int full_sc_bits_get() { return setting_get(SETTING_FULL_SC_BITS); }
inline void full_sc_freq_set(int value) { setting_store(SETTING_FULL_SC_FREQ, value); }
inline void full_sc_bits_set(int value) { setting_store(SETTING_FULL_SC_BITS, value); }
inline int difficulty_get() { return setting_get(SETTING_NANIDO); }
inline int game_speed_get() { return setting_get(SETTING_GAME_SPEED); }
inline int log_no_voice() { return setting_get(SETTING_LOG_NO_VOICE); }
inline int log_no_pic() { return setting_get(SETTING_LOG_NO_PIC); }
inline int report_no_voice() { return setting_get(SETTING_REPROT_NO_VOICE); }
inline int report_no_pic() { return setting_get(SETTING_REPROT_NO_PIC); }
inline int auto_open_error_line() { return setting_get(SETTING_AUTO_OPEN_ERROR_LINE); }
inline int voice_volume_get() { return setting_get(SETTING_VOICE_VOLUME); }
inline int sound_volume_get() { return setting_get(SETTING_SOUND_VOLUME); }
inline int joy_use_get() { return setting_get(SETTING_JOY_USE); }
// FastVoicePlay, but 0 in a packaged game (report mode 1).
int fast_voice_play();

// Sound gates. The voice and sound gates give the 0/1 switch, not a level.
inline int music_volume_effective() {
  return setting_get(SETTING_PLAY_MUSIC) == 1 ? setting_get(SETTING_MUSIC_VOLUME) : 0;
}
inline int male_voice_volume() { return setting_get(SETTING_VOICE_VOLUME) ? setting_get(SETTING_TALK_MALE) : 0; }
inline int female_voice_volume() {
  return setting_get(SETTING_VOICE_VOLUME) ? setting_get(SETTING_TALK_FEMALE) : 0;
}
inline int sound_volume_effective() {
  return setting_get(SETTING_SOUND_VOLUME) ? setting_get(SETTING_PLAY_SOUND) : 0;
}
inline int music_enabled() { return 1; }

// JoyUse in memory and the store; the joystick menu entry is checked for any nonzero value; 0, 1
// and 2 select no pad, pad 0 and both pads, other values leave the pads as they are.
void joy_use_set(int value);

// FullScreenFit: -1 reads the stored value (default 0); the value is stored and handed to the
// display's scale type.
void full_screen_fit_set(int value);

// Outside a packaged game: the window title shows the text (shut-down stage labels).
void title_progress(const char* text);
// Outside a packaged game: the window title shows the current script position as "%s(%d)" (the
// script file's name without folder and extension, and the line), which is also remembered for
// the development tools.
void title_show_position();
const char* title_position_file();
// The current script position: the innermost frame of the current thread that holds a code
// position, the name of the script object whose code that is (without extension), and the
// frame's line. False when there is none.
bool current_script_position(std::string& file, int& line);
int title_position_line();

// The script object that the run loop loads instead of "start" at the next restart; empty when
// none.
constexpr int START_OBJECT_SIZE = 128;
void start_object_set(const char* name);
const char* start_object_get();

// The path of the last file dropped on the main window: a buffer of DROPPED_FILE_SIZE bytes that
// the window fills.
constexpr int DROPPED_FILE_SIZE = 260;
void dropped_file_clear();
char* dropped_file_path();

// Forgets every setting kept in memory. For tests.
void settings_reset();
