#include <gtest/gtest.h>

#include <cstdlib>

#include "base/hash.h"
#include "base/registry.h"
#include "shell/env_keys.h"
#include "shell/setting_builtins.h"
#include "shell/settings.h"
#include "shell/system_builtins.h"
#include "text/msg_control.h"
#include "dispatcher_fixture.h"

// The system built-ins through the dispatcher: arguments pushed last first, one result on top.
class system_builtins : public dispatcher_test {
 protected:
  void TearDown() override {
    system_builtins_reset();
    setting_builtins_reset();
    settings_state_reset();
    dispatcher_test::TearDown();
  }
  const value_cell& run(uint32_t hash, std::initializer_list<std::string> texts = {}) {
    for (auto t = std::rbegin(texts); t != std::rend(texts); ++t) push_string(t->c_str());
    call(hash, static_cast<int16_t>(texts.size()));
    return cell(top() - 1);
  }
  std::string text(const value_cell& c) { return c.type == TYPE_STRING && c.s ? c.s->text : "(no string)"; }
};

enum : uint32_t {
  H_NAME_HASH = 0x4694366A,
  H_REPORT_NO_VOICE = 0x067B44A4,
  H_REPORT_NO_PIC = 0x619DE833,
  H_LOG_NO_VOICE = 0x3D4B9052,
  H_LOG_NO_PIC = 0x4B5AC64B,
  H_IS_DEBUG_MODE = 0x6E6C641A,
  H_ARCHIVE_LOAD = 0x4FAC462C,
  H_ARCHIVE_UNLOAD = 0xF4BB403D,
  H_INPUT_STRING = 0x7F01F772,
  H_DATE_STRING = 0xFED7BFE9,
  H_TIME_STRING = 0x0D389C2F,
  H_OPEN_URL = 0xDACA10AF,
};

TEST_F(system_builtins, NameHashIsTheCrcOfTheLowerCasedText) {
  int32_t mixed = run(H_NAME_HASH, {"Ｓｃｅｎｅ@GLOBAL"}).i;
  EXPECT_EQ(run(H_NAME_HASH, {"Ｓｃｅｎｅ@global"}).i, mixed);
  EXPECT_EQ(static_cast<uint32_t>(mixed), crc32_string("Ｓｃｅｎｅ@global"));
}

TEST_F(system_builtins, DiagnosticGettersAreZeroInAPackagedGame) {
  const struct {
    uint32_t hash;
    setting_id id;
  } getters[] = {{H_REPORT_NO_VOICE, SETTING_REPROT_NO_VOICE},
                 {H_REPORT_NO_PIC, SETTING_REPROT_NO_PIC},
                 {H_LOG_NO_VOICE, SETTING_LOG_NO_VOICE},
                 {H_LOG_NO_PIC, SETTING_LOG_NO_PIC}};
  for (const auto& g : getters) setting_store(g.id, 7);
  for (int packaged : {0, 1}) {
    script_error_reset();
    if (packaged) error_report_mode_set(2);
    EXPECT_EQ(run(H_IS_DEBUG_MODE).i, packaged ? 0 : 1);
    for (const auto& g : getters) EXPECT_EQ(run(g.hash).i, packaged ? 0 : 7) << std::hex << g.hash;
  }
}

TEST_F(system_builtins, ArchivesAreRegisteredAndReleasedByTheirBareName) {
  game.write("extra/a.txt", "x");
  run(H_ARCHIVE_LOAD, {"data\\sub\\Extra.arc"});
  EXPECT_TRUE(data_file_exists("a.txt"));
  run(H_ARCHIVE_UNLOAD, {"extra"});
  EXPECT_FALSE(data_file_exists("a.txt"));
  game.write(reinterpret_cast<const char*>(u8"表示/b.txt"), "x");  // 表 ends in the byte of "\\"
  run(H_ARCHIVE_LOAD, {"data\\表示.arc"});
  EXPECT_TRUE(data_file_exists("b.txt"));
  // "..." is ".." without its extension: the folder above the game is not mounted.
  game.mkdir("inner");
  data_base_folder_set(game.at("inner").c_str());
  run(H_ARCHIVE_LOAD, {"..."});
  EXPECT_FALSE(data_file_exists("a.txt"));
}

TEST_F(system_builtins, InputStringIsBoundedOnACharacterBoundary) {
  std::string long_prompt(600, 'p'), wide_default;
  for (int i = 0; i < 300; ++i) wide_default += "漢";
  platform.text_input_answers.push_back("入力" + std::string(700, 'x'));
  EXPECT_EQ(text(run(H_INPUT_STRING, {long_prompt, wide_default})), "入力" + std::string(507, 'x'));
  ASSERT_EQ(platform.text_inputs.size(), 1u);
  EXPECT_EQ(platform.text_inputs[0].prompt.size(), 511u);
  EXPECT_EQ(platform.text_inputs[0].default_text.size(), 510u);  // 255 whole characters
  EXPECT_EQ(text(run(H_INPUT_STRING, {"名前"})), "");            // no default, nothing typed
}

TEST_F(system_builtins, DateAndTimeOfTheLocalClock) {
  const char* saved = getenv("TZ");
  std::string kept = saved ? saved : "";
  setenv("TZ", "UTC", 1);
  tzset();
  wall_clock_set([] { return static_cast<time_t>(1780000000); });  // 2026-05-28 20:26:40 UTC
  EXPECT_EQ(text(run(H_DATE_STRING)), "26/05/28");
  EXPECT_EQ(text(run(H_TIME_STRING)), "20:26:40");
  if (saved)
    setenv("TZ", kept.c_str(), 1);
  else
    unsetenv("TZ");
  tzset();
}

TEST_F(system_builtins, OpenUrlAddsTheSchemeOnlyWhenMissingAndOpensTheWebOnly) {
  for (const char* address : {"example.org/a", "https://example.org/b", "file:///etc/passwd", "HTTP://example.org/c"})
    run(H_OPEN_URL, {address});
  EXPECT_EQ(platform.opened,
            (std::vector<std::string>{"http://example.org/a", "https://example.org/b", "HTTP://example.org/c"}));
}

TEST(SystemLocale, LocaleNamesGiveTheirIds) {
  const std::pair<const char*, uint32_t> rows[] = {
      {"ja_JP.UTF-8", 0x0411}, {"en_US", 0x0409}, {"de_DE.UTF-8@euro", 0x0407}, {"zh_TW.Big5", 0x0404},
      {"fr", 0x040C},          {"C", 0x0409},     {"", 0x0409},               {"xx_YY", 0x0409}};
  for (const auto& [name, id] : rows) EXPECT_EQ(locale_lcid(name), id) << name;
}

enum : uint32_t {
  H_QUICKLOAD_FAILSAFE = 0x68BA0964,
  H_QUICKSAVE_FAILSAFE = 0xDDD25909,
  H_QUICKSAVE_FAILSAFE_SET = 0xDAA321E8,
  H_MUSIC_VOLUME_SET = 0x0C7A0E97,
  H_MOJI_SPEED_GET = 0xE5C70196,
  H_MOJI_SPEED_SET = 0x6501CC30,
  H_VOICE_SETUP_NAMES = 0xB3FFDFFA,
  H_VOICE_SETUP_LEVEL = 0x1F9F3D5A,
};

TEST_F(system_builtins, SettingSettersWriteTheStoreAndFailsafesDefaultFromTheEnvironment) {
  EXPECT_EQ(run(H_QUICKLOAD_FAILSAFE).i, 2);
  EXPECT_EQ(run(H_QUICKSAVE_FAILSAFE).i, 0);
  push_int(1);
  call(H_QUICKSAVE_FAILSAFE_SET, 1);
  EXPECT_EQ(run(H_QUICKSAVE_FAILSAFE).i, 1);
  setting_store(SETTING_MUSIC_VOLUME, 650);
  push_int(0);
  call(H_MUSIC_VOLUME_SET, 1);
  EXPECT_EQ(setting_get(SETTING_MUSIC_VOLUME), 0);
  EXPECT_EQ(reg_get_int(reg_global_name(), reg_local_name(), "MusicVolume", -1), 0);
  push_int(40);
  call(H_MOJI_SPEED_SET, 1);
  for (auto [console_speed, seen] : {std::pair{-1, 40}, {5, 5}, {0, 0}}) {  // the message window's own speed wins
    console().d.speed = console_speed;
    EXPECT_EQ(run(H_MOJI_SPEED_GET).i, seen) << console_speed;
  }
  console_module_reset();
}

TEST_F(system_builtins, VoiceSetupLevelsReadZeroWithEveryVoiceOff) {
  run(H_VOICE_SETUP_NAMES, {"ああ", "いい"});
  EXPECT_EQ(voice_setup_name(1), "いい");
  EXPECT_EQ(voice_setup_name(2), "");
  setting_store(static_cast<setting_id>(SETTING_VOICE_SETUP_LVL0 + 29), 1000);
  for (int female : {1, 0}) {
    setting_store(SETTING_TALK_FEMALE, female);
    push_int(99);  // clamped to the last character
    call(H_VOICE_SETUP_LEVEL, 1);
    EXPECT_EQ(cell(top() - 1).i, female ? 1000 : 0);
  }
}
