#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "base/env.h"
#include "base/registry.h"
#include "resources/menus.h"
#include "settings_fixture.h"
#include "shell/env_keys.h"
#include "shell/joystick.h"
#include "shell/settings.h"
#include "platform/window.h"
#include "shell/window_core.h"
#include "vm/script_error.h"
#include "vm/script_object.h"
#include "vm/skip.h"
#include "vm/thread.h"
#include "vko_assembler.h"

using SettingsStore = settings_test;

static void store(const char* name, const char* text) {
  ASSERT_EQ(reg_set_string(reg_global_name(), reg_local_name(), name, text), 0);
}

static int stored(const char* name) { return reg_get_int(reg_global_name(), reg_local_name(), name, -12345); }

TEST_F(SettingsStore, BuiltInDefaultsWithoutStoreOrEnvironment) {
  config_load();
  startup_settings_load();
  const int expected[SETTING_VOICE_SETUP_LVL0] = {1000, 1000, 1000, 650, 1000, 650, 1, 1, 1, 1, 0, 0, 0, 500};
  for (int id = 0; id < SETTING_VOICE_SETUP_LVL0; ++id)
    EXPECT_EQ(setting_get(setting_id(id)), expected[id]) << setting_name(setting_id(id));
  for (int c = 0; c < VOICE_SETUP_CHARACTERS; ++c) EXPECT_EQ(setting_get(setting_id(SETTING_VOICE_SETUP_LVL0 + c)), 1000);
  EXPECT_EQ(difficulty_get(), 1);
  EXPECT_EQ(game_speed_get(), 1);
  EXPECT_EQ(full_sc_freq_get(), 0);
  EXPECT_EQ(report_no_voice(), 0);
  EXPECT_EQ(log_no_voice(), 1);
  EXPECT_EQ(log_no_pic(), 1);
  EXPECT_EQ(auto_open_error_line(), 1);
  EXPECT_STREQ(setting_text_get(SETTING_WATCH_LIST), "");
  EXPECT_STREQ(setting_text_get(SETTING_EDITOR), "none");
}

// For every kind of setting: the stored value wins over the environment key, which wins over the
// built-in default.
TEST_F(SettingsStore, Precedence) {
  load_env(
      "EFFECTSPEED 11\nMOJISPEED 12\nAUTOSPEED 13\nMUSICVOL 14\nVOICEVOL 15\nSOUNDVOL 16\n"
      "ISTALKMALE 0\nISTALKFEMALE 0\nISPLAYMUSIC 0\nISPLAYSOUND 0\nISVOICECONTINUE 1\nISVOICEPANNING 1\n");
  store("MojiSpeed", "2500");
  store("TalkFemale", "1");
  store("VoiceMusicdownVol", "123");
  store("VoiceSetupLvl29", "0");
  store("NANIDO", "3");
  store("Editor", "edit %fn%");
  config_load();
  startup_settings_load();
  // Stored values.
  EXPECT_EQ(setting_get(SETTING_MOJI_SPEED), 2500);
  EXPECT_EQ(setting_get(SETTING_TALK_FEMALE), 1);
  EXPECT_EQ(setting_get(SETTING_VOICE_MUSICDOWN_VOL), 123);
  EXPECT_EQ(setting_get(setting_id(SETTING_VOICE_SETUP_LVL0 + 29)), 0);
  EXPECT_EQ(difficulty_get(), 3);
  EXPECT_STREQ(setting_text_get(SETTING_EDITOR), "edit %fn%");
  // Environment keys.
  EXPECT_EQ(setting_get(SETTING_EFFECT_SPEED), 11);
  EXPECT_EQ(setting_get(SETTING_AUTO_SPEED), 13);
  EXPECT_EQ(setting_get(SETTING_MUSIC_VOLUME), 14);
  EXPECT_EQ(voice_volume_get(), 15);
  EXPECT_EQ(sound_volume_get(), 16);
  EXPECT_EQ(setting_get(SETTING_TALK_MALE), 0);
  EXPECT_EQ(setting_get(SETTING_PLAY_MUSIC), 0);
  EXPECT_EQ(setting_get(SETTING_PLAY_SOUND), 0);
  EXPECT_EQ(setting_get(SETTING_VOICE_CONTINUE), 1);
  EXPECT_EQ(setting_get(SETTING_VOICE_PANNING), 1);
  // Built-in defaults.
  EXPECT_EQ(setting_get(SETTING_VOICE_MUSICDOWN), 0);
  EXPECT_EQ(setting_get(setting_id(SETTING_VOICE_SETUP_LVL0)), 1000);
  EXPECT_EQ(game_speed_get(), 1);
  EXPECT_STREQ(setting_text_get(SETTING_WATCH_LIST), "");
}

TEST_F(SettingsStore, StoredTextThatIsNoNumberReadsAsZero) {
  store("EffectSpeed", "fast");
  store("GameSpeed", "9");  // held to 0..3 at start-up
  store("NANIDO", "-2");    // held to 0..4
  config_load();
  startup_settings_load();
  EXPECT_EQ(setting_get(SETTING_EFFECT_SPEED), 0);
  EXPECT_EQ(game_speed_get(), 3);
  EXPECT_EQ(difficulty_get(), 0);
}

TEST_F(SettingsStore, SettersWriteAtOnceAndGettersReadMemory) {
  config_load();
  setting_set(SETTING_MUSIC_VOLUME, 0);
  EXPECT_EQ(stored("MusicVolume"), 0);
  setting_store(SETTING_SOUND_VOLUME, 300);  // memory only, until written
  EXPECT_EQ(stored("SoundVolume"), -12345);
  setting_write(SETTING_SOUND_VOLUME);
  EXPECT_EQ(stored("SoundVolume"), 300);
  full_sc_bits_set(32);
  EXPECT_EQ(full_sc_bits_get(), 32);
  setting_text_set(SETTING_WATCH_LIST, "@a #b");
  char out[32];
  reg_get_string(reg_global_name(), reg_local_name(), "WatchList", "", out, sizeof out);
  EXPECT_STREQ(out, "@a #b");
  // The store's files may vanish: getters do not look at them.
  std::filesystem::remove_all(config_path(""));
  EXPECT_EQ(setting_get(SETTING_MUSIC_VOLUME), 0);
  EXPECT_EQ(sound_volume_get(), 300);
}

TEST_F(SettingsStore, ChangedLocalKeyReadsAndWritesAnotherKey) {
  store("MojiSpeed", "100");
  env_keys_reset();
  load_env("REG_LOCAL OtherGame\n");
  config_load();
  EXPECT_EQ(setting_get(SETTING_MOJI_SPEED), 1000);  // nothing migrates
  setting_set(SETTING_MOJI_SPEED, 200);
  EXPECT_NE(config_file("VASKEL_SYSTEM/OtherGame.ini").find("MojiSpeed=200"), std::string::npos);
  EXPECT_NE(config_file("VASKEL_SYSTEM/VASKEL_RUNTIME.ini").find("MojiSpeed=100"), std::string::npos);
}

TEST_F(SettingsStore, SoundGates) {
  config_load();
  setting_store(SETTING_MUSIC_VOLUME, 400);
  EXPECT_EQ(music_volume_effective(), 400);
  setting_store(SETTING_PLAY_MUSIC, 0);
  EXPECT_EQ(music_volume_effective(), 0);
  setting_store(SETTING_PLAY_MUSIC, 2);  // only 1 plays
  EXPECT_EQ(music_volume_effective(), 0);
  // Voice and sound gates give the switch, not the level.
  setting_store(SETTING_VOICE_VOLUME, 700);
  EXPECT_EQ(male_voice_volume(), 1);
  setting_store(SETTING_TALK_FEMALE, 0);
  EXPECT_EQ(female_voice_volume(), 0);
  setting_store(SETTING_VOICE_VOLUME, 0);
  setting_store(SETTING_TALK_FEMALE, 1);
  EXPECT_EQ(male_voice_volume(), 0);
  EXPECT_EQ(female_voice_volume(), 0);
  setting_store(SETTING_SOUND_VOLUME, 10);
  EXPECT_EQ(sound_volume_effective(), 1);
  setting_store(SETTING_SOUND_VOLUME, 0);
  EXPECT_EQ(sound_volume_effective(), 0);
  EXPECT_EQ(music_enabled(), 1);
}

TEST_F(SettingsStore, FastSkipFlagComesFromTheStore) {
  fastmode_read_set(1);
  reg_store_reset();
  EXPECT_EQ(stored("FastModeFlg_AR"), 1);
  store("FastModeFlg_AR", "0");
  config_load();
  EXPECT_EQ(fastmode_read_get(), 0);
  // Absent, the current flag stays.
  reg_delete_tree(reg_global_name(), reg_local_name());
  fastmode_read_set(1);
  reg_delete_tree(reg_global_name(), reg_local_name());
  config_load();
  EXPECT_EQ(fastmode_read_get(), 1);
}

TEST_F(SettingsStore, JoystickUseChoosesTheDevice) {
  joy_reset();
  struct {
    int use;
    int device;  // -1 none, 0 pad 0, -2 both pads
    bool checked;
  } rows[] = {{1, 0, true}, {3, 0, true}, {0, -1, false}, {2, -2, true}, {1, -2, true}};
  // 3 is stored but changes no device; a selection made while one is in use waits for the
  // mapping reset, which returns to it.
  for (const auto& row : rows) {
    joy_use_set(row.use);
    EXPECT_EQ(joy_use_get(), row.use);
    EXPECT_EQ(stored("JoyUse"), row.use);
    EXPECT_EQ(platform.menu_checked[IDM_JOYSTICK], row.checked) << row.use;
    EXPECT_EQ(joy_device_get(), row.device) << row.use;
  }
  joy_reset_keys(1);
  EXPECT_EQ(joy_device_get(), 0);
  joy_reset();
}

TEST_F(SettingsStore, FullScreenFit) {
  store("FullScreenFit", "3");
  full_screen_fit_set(-1);  // the stored value, written back
  EXPECT_EQ(stored("FullScreenFit"), 3);
  full_screen_fit_set(4);
  EXPECT_EQ(stored("FullScreenFit"), 4);
}

TEST_F(SettingsStore, PackagedGameKeepsTitleAndFastVoicePlay) {
  window_spec spec;
  spec.title = "Game";
  main_window_set(window_create(spec));
  store("FastVoicePlay", "1");
  startup_settings_load();
  error_report_mode_set(0);  // development
  EXPECT_EQ(fast_voice_play(), 1);
  title_progress("ExecOut");
  EXPECT_STREQ(main_window_title(), "ExecOut");
  error_report_mode_set(2);  // a packaged game
  EXPECT_EQ(fast_voice_play(), 0);
  title_progress("KATAZUKE");
  EXPECT_STREQ(main_window_title(), "ExecOut");
}

TEST_F(SettingsStore, StartObjectAndDroppedFile) {
  start_object_set(std::string(300, 'o').c_str());
  EXPECT_EQ(std::string(start_object_get()), std::string(START_OBJECT_SIZE - 1, 'o'));
  start_object_set("");
  EXPECT_STREQ(start_object_get(), "");
  strcpy(dropped_file_path(), "C:\\a.txt");
  EXPECT_STREQ(dropped_file_path(), "C:\\a.txt");
  dropped_file_clear();
  EXPECT_STREQ(dropped_file_path(), "");
}

TEST_F(SettingsStore, TitleShowsTheScriptPosition) {
  window_spec spec;
  main_window_set(window_create(spec));
  vko_builder b;
  b.function("main");
  b.entry();
  b.ret();
  game.write("scene.vko", b.build(false));
  thread_switch(thread_create(0));
  object_entry_set("scene");
  vm_frame->line = 12;
  frame_push(vm_thread)->code = nullptr;  // an inner frame without a code position is passed over
  error_report_mode_set(0);
  title_show_position();
  EXPECT_STREQ(main_window_title(), "SCENE(12)");
  EXPECT_STREQ(title_position_file(), "SCENE");
  EXPECT_EQ(title_position_line(), 12);
  vm_thread->frames[0].line = 30;
  error_report_mode_set(2);  // a packaged game shows nothing
  title_show_position();
  EXPECT_STREQ(main_window_title(), "SCENE(12)");
  threads_destroy_all();
  ReleaseVaskel();
  thread_switch(nullptr);
}
