#include <gtest/gtest.h>

#include "base/env.h"
#include "base/registry.h"
#include "settings_fixture.h"
#include "shell/env_keys.h"
#include "shell/setting_builtins.h"
#include "shell/settings.h"
#include "shell/settings_dialogs.h"

namespace {

class settings_dialogs_test : public settings_test {
 protected:
  void SetUp() override {
    settings_test::SetUp();
    setting_builtins_reset();
    settings_dialogs_reset();
  }
  void TearDown() override {
    settings_dialogs_reset();
    setting_builtins_reset();
    settings_test::TearDown();
  }
  // A fresh environment file, read again from its first key.
  void start(const std::string& env) {
    env_free();
    env_keys_reset();
    load_env(env);
    config_load();
  }
  static int reg(const char* name) { return reg_get_int(reg_global_name(), reg_local_name(), name, -99); }
  static void reg_put(const char* name, int v) { reg_set_int(reg_global_name(), reg_local_name(), name, v); }
};

// The view stands in for the player: it acts on the model, then answers.
void (*view_action)(settings_dialog&);
int view_answer;
int test_view(settings_dialog& d) {
  if (view_action) view_action(d);
  return view_answer;
}

TEST_F(settings_dialogs_test, VolumeDialogOpensFromMemoryAndOpenerWritesAfterOk) {
  start("");
  setting_store(SETTING_MUSIC_VOLUME, 300);
  setting_store(SETTING_TALK_MALE, 0);
  settings_dialog d = volume_config_model();
  EXPECT_EQ(d.value(1001), 300);
  EXPECT_EQ(d.value(1004), 1);  // "ＯＦＦ" box: checked while the switch is 0
  EXPECT_EQ(d.value(1006), 0);
  EXPECT_EQ(d.find(1002)->high, 1000);

  settings_dialog_view_set(test_view);
  view_action = [](settings_dialog& m) {
    settings_dialog_set(m, 1002, 1500);  // held to the range
    settings_dialog_set(m, 1004, 0);
    settings_dialog_set(m, 1008, 1);
  };
  view_answer = 1;
  volume_config_dialog();
  EXPECT_EQ(setting_get(SETTING_VOICE_VOLUME), 1000);
  EXPECT_EQ(reg("MusicVolume"), 300);
  EXPECT_EQ(reg("TalkMale"), 1);
  EXPECT_EQ(reg("PlaySound"), 0);
}

TEST_F(settings_dialogs_test, CancelAfterDefaultsKeepsTheSwitchesInMemoryAndWritesNothing) {
  start("ISPLAYMUSIC 0\n");
  setting_store(SETTING_PLAY_MUSIC, 1);
  setting_store(SETTING_TALK_FEMALE, 0);
  settings_dialog_view_set(test_view);
  view_action = [](settings_dialog& m) { settings_dialog_defaults(m); };
  view_answer = 0;
  volume_config_dialog();
  EXPECT_EQ(setting_get(SETTING_PLAY_MUSIC), 0);
  EXPECT_EQ(setting_get(SETTING_TALK_FEMALE), 1);
  EXPECT_EQ(reg("PlayMusic"), -99);
  EXPECT_EQ(reg("TalkFemale"), -99);
}

TEST_F(settings_dialogs_test, WithoutAViewTheDialogIsCancelled) {
  start("");
  settings_dialog d = speed_config_model();
  EXPECT_EQ(settings_dialog_present(d), 0);
  speed_config_dialog();
  EXPECT_EQ(reg("EffectSpeed"), -99);
}

TEST_F(settings_dialogs_test, GenderKeysRelabelOrRemoveTheMaleBox) {
  const struct {
    const char* env;
    bool male_box;
    const char* male_label;
    const char* female_label;
  } cases[] = {
      {"", true, "男性の音声をＯＦＦ", "女性の音声をＯＦＦ"},
      {"GENDERFREE 1\n", false, "", "音声をＯＦＦ"},
      {"ALTGENDER 主人公\nGENDERFREE 1\n", true, "主人公", "音声をＯＦＦ"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.env);
    start(c.env);
    settings_dialog d = volume_config_model();
    ASSERT_EQ(d.find(1004) != nullptr, c.male_box);
    if (c.male_box) {
      EXPECT_EQ(d.find(1004)->label, c.male_label);
    }
    EXPECT_EQ(d.find(1005)->label, c.female_label);
  }
}

TEST_F(settings_dialogs_test, CtrlBoxExistsOnlyWithCtrlKeyDef) {
  for (int def : {0, 1}) {
    start("CTRLKEYDEF " + std::to_string(def) + "\n");
    EXPECT_EQ(speed_config_model().find(1004) != nullptr, def == 1);
    EXPECT_EQ(config_all_model({}).find(1004, 0) != nullptr, def == 1);
  }
}

TEST_F(settings_dialogs_test, SystemPageSlidersAreRelativeToTheDefault) {
  const struct {
    int env_default, setting, position, moved_to, stored;
  } cases[] = {
      {1000, 2000, 2000, 3000, 3000},
      {500, 2000, 4000, 3000, 1500},
      {2000, 500, 250, 1000, 2000},
      {0, 3, 3000, 5000, 5},  // a default of 0 counts as 1
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.env_default);
    start("EFFECTSPEED " + std::to_string(c.env_default) + "\n");
    setting_store(SETTING_EFFECT_SPEED, c.setting);
    settings_dialog d = config_all_model({});
    EXPECT_EQ(d.value(1001, 0), c.position);
    settings_dialog_set(d, 1001, c.moved_to, 0);
    settings_dialog_ok(d);
    EXPECT_EQ(setting_get(SETTING_EFFECT_SPEED), c.stored);
  }
  // The speed dialog of its own keeps the raw values.
  setting_store(SETTING_EFFECT_SPEED, 2000);
  EXPECT_EQ(speed_config_model().value(1001), 2000);
}

TEST_F(settings_dialogs_test, QuickQuestionsShowUnlessTheEnvironmentSaysTwo) {
  start("");
  settings_dialog d = config_all_model({});
  EXPECT_EQ(d.find(1006, 0), nullptr);
  EXPECT_EQ(d.find(1008, 0), nullptr);
  settings_dialog_ok(d);
  EXPECT_EQ(reg("QuickloadFailsafe"), -99);

  start("QUICKLOAD_FAILSAFE 1\n");
  d = config_all_model({});
  EXPECT_EQ(d.value(1006, 0), 1);
  EXPECT_EQ(d.value(1008, 0), 0);
  settings_dialog_set(d, 1008, 1, 0);
  settings_dialog_ok(d);
  EXPECT_EQ(reg("QuicksaveFailsafe"), 1);
}

TEST_F(settings_dialogs_test, TabbedDialogRemembersItsPageAndResetsOnlyThePageShown) {
  start("");
  reg_put("CONFIG_LASTPAGE", 7);
  EXPECT_EQ(config_all_model({}).page, 0);  // out of range
  reg_put("CONFIG_LASTPAGE", 3);
  settings_dialog d = config_all_model({});
  EXPECT_EQ(d.page, 3);
  settings_dialog_set(d, 1008, 1, 3);        // bold, font page
  settings_dialog_set(d, 1001, 4000, 0);     // system page
  settings_dialog_defaults(d);
  EXPECT_EQ(d.value(1008, 3), 0);
  EXPECT_EQ(d.value(1001, 0), 4000);
  settings_dialog_set(d, 1048, 1);
  settings_dialog_cancel(d);
  EXPECT_EQ(reg("CONFIG_LASTPAGE"), 1);
  EXPECT_EQ(reg("FontBold"), -99);
}

TEST_F(settings_dialogs_test, SoundPageDefaultsChangeMemoryAtOnce) {
  start("ISVOICEPANNING 1\n");
  setting_store(SETTING_VOICE_MUSICDOWN_VOL, 100);
  setting_store(SETTING_VOICE_CONTINUE, 0);
  settings_dialog d = config_all_model({});
  EXPECT_EQ(d.value(1015, 1), 1);  // "停止する": checked while VoiceContinue is 0
  settings_dialog_set(d, 1048, 1);
  settings_dialog_defaults(d);
  EXPECT_EQ(setting_get(SETTING_VOICE_MUSICDOWN_VOL), 500);
  EXPECT_EQ(setting_get(SETTING_VOICE_CONTINUE), 1);
  EXPECT_EQ(setting_get(SETTING_VOICE_PANNING), 1);
  EXPECT_EQ(d.value(1062, 1), 500);
}

TEST_F(settings_dialogs_test, ExtraSetupChecksTheStoredButtonAndBoundsTheRest) {
  start("");
  reg_put("WindowColor", 9);
  reg_put("KokkaWait", 1);
  reg_put("HSceneYuri", -1);
  settings_dialog d = extra_setup_model();
  EXPECT_EQ(d.value(1054), -1);
  EXPECT_EQ(d.value(1081), 1);
  EXPECT_EQ(d.value(1086), -1);
  EXPECT_FALSE(d.find(1083)->visible);
  EXPECT_EQ(d.find(1054)->row_ids.size(), 8u);
  settings_dialog_ok(d);
  EXPECT_EQ(reg("WindowColor"), 0);
  EXPECT_EQ(reg("KokkaWait"), 1);
  EXPECT_EQ(reg("HSceneYuri"), 0);
  EXPECT_EQ(reg("HOnseiMale"), 0);
}

TEST_F(settings_dialogs_test, VoiceSetupListsNamedCharactersAndWritesEveryLevel) {
  start("");
  voice_setup_name_set(1, "ユキ");
  voice_setup_name_set(5, "ハル");
  voice_setup_label_set(2, "女性");
  setting_store(static_cast<setting_id>(SETTING_VOICE_SETUP_LVL0 + 5), 0);
  setting_store(static_cast<setting_id>(SETTING_VOICE_SETUP_LVL0 + 7), 0);
  settings_dialog d = voice_setup_model();
  EXPECT_EQ(d.find(1004), nullptr);  // character 0 has no name
  EXPECT_EQ(d.find(1005)->label, "ユキ");
  EXPECT_EQ(d.value(1005), 0);
  EXPECT_EQ(d.value(1014), 1);  // character 5
  EXPECT_TRUE(d.find(1057)->visible);
  EXPECT_FALSE(d.find(1049)->visible);
  settings_dialog_set(d, 1039, 1);
  settings_dialog_ok(d);
  EXPECT_EQ(setting_get(SETTING_TALK_FEMALE), 0);
  EXPECT_EQ(reg("IsTalkFemale"), 0);
  EXPECT_EQ(reg("VoiceSetupLvl5"), 0);
  EXPECT_EQ(reg("VoiceSetupLvl7"), 1000);  // no box: the voice plays
  EXPECT_EQ(reg("VoiceSetupLvl1"), 1000);
  settings_dialog_defaults(d);
  EXPECT_EQ(d.value(1014) + d.value(1039), 0);
}

TEST_F(settings_dialogs_test, FontChoiceListsUsableFacesAndSelectsTheCurrentOne) {
  start("");
  const std::vector<font_face_info> faces = {
      {"@IPAGothic", true}, {"IPAGothic", true}, {"IPAPGothic", false}, {"メイリオ", false}, {"Sample", false}};
  EXPECT_EQ(font_face_rows(faces, 0, ""), (std::vector<std::string>{"IPAGothic"}));
  EXPECT_EQ(font_face_rows(faces, 0, "Sample"), (std::vector<std::string>{"IPAGothic", "Sample"}));
  EXPECT_EQ(font_face_rows(faces, 1, ""), (std::vector<std::string>{"IPAGothic", "IPAPGothic", "Sample"}));
  font_choice_style_set(1);
  font_choice_face_set("ipapgothic");
  settings_dialog d = font_select_model(faces);
  EXPECT_EQ(d.value(1009), 1);
  settings_dialog_set(d, 1009, 2);
  settings_dialog_ok(d);
  EXPECT_EQ(font_choice_face(), "Sample");
  font_choice_face_set("Missing");
  EXPECT_EQ(font_select_model(faces).value(1009), 0);
}

TEST_F(settings_dialogs_test, ScreenRowsForTheGameWidthAndDesktop) {
  const std::vector<screen_mode_row> modes = {
      {"", 60, 32, 1024, 768, 0}, {"", 0, 16, 1280, 768, 0}, {"", 60, 8, 1280, 1024, 0}, {"", 0, 32, 800, 600, 0}};
  const struct {
    int detect, desktop_class, desktop_width, desktop_height, game_width, game_height;
    std::vector<std::string> rows;
  } cases[] = {
      {0, 0, 1024, 768, 800, 600, {"標準", "ワイド対策 - 最適化拡大/やや高速", "800x600 32Bit"}},
      {1, 1, 1280, 800, 800, 600,
       {"標準(4:3優先)", "標準(16:10優先)/高速", "標準(16:9優先)/高速", "ワイド対策 - 最適化拡大/やや高速",
        "ワイド対策 - 最適化拡大２/中速", "1024x768 32Bit 60Hz", "1280x768 16Bit", "800x600 32Bit"}},
      {1, 2, 1920, 1080, 1024, 768,
       {"標準(4:3優先)", "標準(16:10優先)/高速", "標準(16:9優先)/高速", "ワイド対策 - 最適化拡大/やや高速",
        "1024x768 32Bit 60Hz", "1280x768 16Bit"}},
      {0, 0, 1280, 1023, 1024, 768, {"標準", "1024x768 32Bit 60Hz"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.desktop_width * 10000 + c.game_width);
    std::vector<screen_mode_row> rows =
        screen_mode_rows(c.detect, c.desktop_class, c.desktop_width, c.desktop_height, c.game_width, c.game_height, modes);
    std::vector<std::string> texts;
    for (const auto& r : rows) texts.push_back(r.text);
    EXPECT_EQ(texts, c.rows);
  }
  auto wide = screen_mode_rows(1, 1, 1280, 800, 800, 600, modes);
  EXPECT_EQ(wide[3].wide, 3);
  EXPECT_EQ(wide[3].width, 1024);
  EXPECT_EQ(wide[3].height, 768);
  EXPECT_EQ(wide[6].wide, 1);  // 1280x768 is wider than 1.35
}

TEST_F(settings_dialogs_test, FitHasItsOwnBoxBesideTheSavedPosition) {
  for (int fit : {0, 1}) {
    start("FITTOSCREEN " + std::to_string(fit) + "\n");
    settings_dialog d = config_all_model({});
    EXPECT_EQ(d.find(1010, 2) != nullptr, fit == 1);
    EXPECT_EQ(d.find(1006, 2)->label, "終了時にウィンドウの位置を保存");
  }
}

TEST_F(settings_dialogs_test, TabbedOpenerWritesEveryPageAfterOk) {
  start("");
  settings_dialog_view_set(test_view);
  view_action = [](settings_dialog& m) {
    settings_dialog_set(m, 1062, 200, 1);
    settings_dialog_set(m, 1006, 0, 2);
    settings_dialog_set(m, 1005, 1, 3);
    settings_dialog_set(m, 1002, 2000, 0);
    settings_dialog_set(m, 1048, 2);
  };
  view_answer = 1;
  config_all_dialog();
  EXPECT_EQ(reg("VoiceMusicdownVol"), 200);
  EXPECT_EQ(reg("MusicVolume"), 650);
  EXPECT_EQ(reg("SaveScreenpos"), 0);
  EXPECT_EQ(reg("FontShadow"), 1);
  EXPECT_EQ(reg("Fuchidori"), 1);
  EXPECT_EQ(reg("MojiSpeed"), 2000);
  EXPECT_EQ(reg("CONFIG_LASTPAGE"), 2);
}

// Through the platform's dialog form: the tabbed dialog opens on its last page, Defaults acts on
// the page shown, and what the player left in the controls is written after OK.
TEST_F(settings_dialogs_test, TheFormViewShowsPagesAndWritesWhatThePlayerLeft) {
  start("");
  reg_put("CONFIG_LASTPAGE", 1);
  setting_store(SETTING_MUSIC_VOLUME, 300);
  platform.form_answers.push_back([](dialog_form& f) {
    EXPECT_EQ(f.pages.size(), 4u);
    EXPECT_EQ(f.page, 1);
    f.on_defaults(f);  // the sound page's defaults: the music slider back to MUSICVOL
    for (form_control& c : f.controls)
      if (c.id == 1001 && c.page == 1) {
        EXPECT_EQ(c.value, 650);
        c.value = 420;
      }
    f.page = 3;
    return IDOK;
  });
  config_all_dialog();
  EXPECT_EQ(setting_get(SETTING_MUSIC_VOLUME), 420);
  EXPECT_EQ(reg("MusicVolume"), 420);
  EXPECT_EQ(reg("CONFIG_LASTPAGE"), 3);
  platform.form_answers.push_back([](dialog_form&) { return IDCANCEL; });
  setting_store(SETTING_MUSIC_VOLUME, 100);
  volume_config_dialog();
  EXPECT_EQ(reg("MusicVolume"), 420);  // Cancel writes nothing
}

// The form shows the sample as a picture drawn by the glyph renderer: ink only on the two lines'
// rows, redrawn for the face the player picks.
TEST_F(settings_dialogs_test, TheFontSampleIsDrawnInTheSelectedFaceAndRedrawnOnChange) {
  start("");
  font_choice_style_set(0);
  font_choice_face_set("ＭＳ ゴシック");
  std::vector<uint32_t> gothic, mincho;
  platform.form_answers.push_back([&](dialog_form& f) {
    form_control* sample = nullptr;
    for (form_control& c : f.controls)
      if (c.kind == form_kind::picture) sample = &c;
    EXPECT_NE(sample, nullptr);
    if (!sample) return IDCANCEL;
    EXPECT_EQ(sample->width, 30 + 30 * 24);  // 30 full-width blanks of a fixed-pitch choice
    EXPECT_EQ(sample->pixels.size(), static_cast<size_t>(sample->width) * sample->height);
    for (int y = 0; y < sample->height; y++) {
      bool ink = false;
      for (int x = 0; x < sample->width; x++) ink |= sample->pixels[static_cast<size_t>(y) * sample->width + x] != 0xFFFFFF;
      bool on_a_line = (y >= 10 && y < 34) || (y >= 40 && y < 64);
      EXPECT_TRUE(on_a_line || !ink) << "ink on row " << y;
      EXPECT_TRUE(ink || (y != 22 && y != 52)) << "no ink on row " << y;
    }
    gothic = sample->pixels;
    form_control* faces = f.find(1009);
    faces->value = 1;
    f.on_change(f, *faces);
    mincho = sample->pixels;
    return IDOK;
  });
  settings_dialog d = font_select_model({{"ＭＳ ゴシック", true}, {"ＭＳ 明朝", true}});
  ASSERT_EQ(settings_form_view(d), 1);
  settings_dialog_ok(d);
  EXPECT_NE(gothic, mincho);
  EXPECT_EQ(font_choice_face(), "ＭＳ 明朝");
}

}  // namespace
