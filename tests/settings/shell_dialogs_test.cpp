// The shell's dialogs as models driven headless, screen capture and the text-file save dialog.
#include <gtest/gtest.h>

#include <fstream>

#include "base/datasource.h"
#include "base/registry.h"
#include "graphics/page.h"
#include "graphics/presentation.h"
#include "platform/messages.h"
#include "settings_fixture.h"
#include "shell/capture.h"
#include "shell/env_keys.h"
#include "shell/settings.h"
#include "shell/shell_dialogs.h"
#include "vm/script_error.h"

namespace {

class ShellDialogs : public settings_test {
 protected:
  void TearDown() override {
    capture_reset();
    presentation_reset();
    page_free_all_at_exit();
    script_error_reset();
    settings_test::TearDown();
  }
  int stored(const char* name) { return reg_get_int(reg_global_name(), reg_local_name(), name, -99); }
  // Forgets the settings in memory and the environment, and loads this one.
  void reload(const std::string& env) {
    settings_state_reset();
    data_base_folder_set(game.path().c_str());
    load_env(env);
  }
  void answer(std::function<int(dialog_form&)> f) { platform.form_answers.push_back(std::move(f)); }
};

TEST_F(ShellDialogs, AboutShowsVersionOrCountersAndOkWritesTheOptions) {
  load_env("APPNAME\tゲーム\nVERSION\t1.2\nCOPYRIGHT\t(C)誰か\nURL\thttps://example.org/\n");
  EXPECT_EQ(about_version_text(false), "\nゲーム\n1.2\n\n(C)誰か");
  platform.keys_down[VK_CONTROL] = true;
  std::string counters = about_dialog_form(0).find(IDC_VERSION_TEXT)->text;
  EXPECT_NE(counters.find("SPR(0) PAGE(0) EXTPAGE(0) CACHE(0M/0%)\nThread("), std::string::npos) << counters;
  platform.keys_down[VK_CONTROL] = false;

  // The link opens its address.
  answer([](dialog_form& f) {
    f.on_link(*f.find(IDC_LINK));
    return IDCANCEL;
  });
  about_dialog_open(0);
  ASSERT_EQ(platform.opened.size(), 1u);
  EXPECT_EQ(platform.opened[0], "https://example.org/");
  reload("URL\tfile:///etc/passwd\n");  // a game's link opens web addresses only
  answer([](dialog_form& f) { return f.on_link(*f.find(IDC_LINK)), IDCANCEL; });
  about_dialog_open(0);
  EXPECT_EQ(platform.opened.size(), 1u);
  // The plain box has no development options; OK there writes nothing.
  EXPECT_EQ(about_dialog_form(0).find(IDC_WATCH_LIST), nullptr);
  // The development box: Cancel keeps everything, OK stores boxes and texts (cut at 259 bytes on
  // a character boundary), FastVoicePlay only while reports are shown.
  for (int report_mode : {1, 0}) {
    reload("");
    error_report_mode_set(report_mode == 1 ? 2 : 0);  // mounted from a packaged archive, or a folder
    answer([](dialog_form&) { return IDCANCEL; });
    about_dialog_open(1);
    if (report_mode == 1) { EXPECT_EQ(stored("ReprotNoVoice"), -99); }
    answer([](dialog_form& f) {
      for (form_control& c : f.controls)
        if (c.kind == form_kind::check) c.value = 1;
      f.find(IDC_WATCH_LIST)->text = std::string(258, 'a') + "漢";
      f.find(IDC_EDITOR)->text = "vi %s";
      return IDOK;
    });
    about_dialog_open(1);
    EXPECT_EQ(stored("ReprotNoVoice") + stored("ReprotNoPic") + stored("LogNoPic"), 3);
    EXPECT_EQ(stored("FastVoicePlay"), report_mode == 1 ? -99 : 1);
    EXPECT_EQ(std::string(setting_text_get(SETTING_WATCH_LIST)), std::string(258, 'a'));
    EXPECT_STREQ(setting_text_get(SETTING_EDITOR), "vi %s");
  }
}

TEST_F(ShellDialogs, SupportTextBreaksLinesAtWholeMarksOnly) {
  EXPECT_EQ(support_text_lines("一▼二▼三"), "一\n二\n三");
  // 0x88 0x81 is one character; with the next byte 0xA5 its trail byte looks like the mark's lead.
  EXPECT_EQ(support_text_lines("\x88\x81\xA5"), "\x88\x81\xA5");
  load_env("SUPPORTSTR\ta▼b\nSUPPORTURL\tmailto:x@example.org\n");
  dialog_form f = user_support_dialog_form();
  EXPECT_EQ(f.find(IDC_SUPPORT_TEXT)->text, "a\nb");
  EXPECT_EQ(f.find(IDC_LINK)->text, "mailto:x@example.org");
}

TEST_F(ShellDialogs, LauncherNoticeGoesToTheStartupWindowIgnoringCase) {
  static int notices;
  notices = 0;
  window_spec spec;
  spec.procedure = [](window_handle, uint32_t m, uintptr_t, intptr_t) -> intptr_t { return notices += m == 0x9005; };
  spec.title = "GAME スタートアップ";
  window_handle launcher = window_create(spec);
  spec.title = "game";
  window_handle other = window_create(spec);
  EXPECT_EQ(notify_other_instance(launcher, "game") + notify_other_instance(other, "game"), 2);
  EXPECT_EQ(notices, 1);
  window_destroy(launcher);
  window_destroy(other);
}

TEST_F(ShellDialogs, ScreenOptionRowsFollowGameWidthScreenAndDetection) {
  const std::vector<display_mode_entry> modes = {{640, 480, 32, 60}, {1024, 768, 16, 0}, {1280, 1024, 8, 60},
                                                 {1680, 1050, 32, 60}, {800, 600, 32, 75}};
  struct {
    int game_width, game_height, detect, screen_w, screen_h;
    std::vector<std::string> labels;
    std::vector<int> wide;
  } cases[] = {
      {800, 600, 1, 1680, 1050,
       {"標準(4:3優先)/高速", "標準(16:10優先)/高速", "標準(16:9優先)/高速", "ワイド対策 - 最適化拡大/やや高速",
        "ワイド対策 - 最適化拡大２/中速", "1024x768 16Bit", "1680x1050 32Bit 60Hz", "800x600 32Bit 75Hz"},
       {0, 1, 2, 3, 4, 0, 1, 0}},
      {1024, 768, 1, 1920, 1080,
       {"標準(4:3優先)/高速", "標準(16:10優先)/高速", "標準(16:9優先)/高速", "ワイド対策 - 最適化拡大/やや高速",
        "1024x768 16Bit", "1680x1050 32Bit 60Hz"},
       {0, 1, 2, 3, 0, 1}},
      {1024, 768, 1, 1680, 1050,
       {"標準(4:3優先)/高速", "標準(16:10優先)/高速", "標準(16:9優先)/高速", "ワイド対策 - 最適化拡大/やや高速",
        "ワイド対策 - 最適化拡大２/中速", "1024x768 16Bit", "1680x1050 32Bit 60Hz"},
       {0, 1, 2, 3, 4, 0, 1}},
      {800, 600, 0, 1680, 1050, {"標準", "800x600 32Bit 75Hz"}, {0, 0}},
      {800, 600, 1, 1024, 768, {"標準(4:3優先)/高速", "1024x768 16Bit", "1680x1050 32Bit 60Hz", "800x600 32Bit 75Hz"},
       {0, 0, 1, 0}},
  };
  for (const auto& c : cases) {
    std::vector<screen_option_row> rows =
        screen_option_rows(c.game_width, c.game_height, c.game_height, c.detect, c.screen_w, c.screen_h, modes);
    std::vector<std::string> labels;
    std::vector<int> wide;
    for (const screen_option_row& r : rows) labels.push_back(r.label), wide.push_back(r.wide);
    EXPECT_EQ(labels, c.labels) << c.game_width << " on " << c.screen_w;
    EXPECT_EQ(wide, c.wide) << c.game_width << " on " << c.screen_w;
  }
  // Rows 3 and 4 of a 1024-wide game ask for 1280 x 1024.
  std::vector<screen_option_row> rows = screen_option_rows(1024, 768, 768, 1, 1680, 1050, modes);
  EXPECT_EQ(rows[3].width * 10000 + rows[3].height, 1280 * 10000 + 1024);
  EXPECT_EQ(screen_option_selected(rows, 0, 0, 2, 0, 0), 2);
  EXPECT_EQ(screen_option_selected(rows, 60, 32, 1, 1680, 1050), 6);
  EXPECT_EQ(screen_option_selected(rows, 60, 32, 1, 1681, 1050), 1) << "no mode row: the wide class's fixed row";
}

TEST_F(ShellDialogs, ScreenOptionOkWritesTopmostFitAndTheChosenRow) {
  load_env("CLIENT_WIDTH\t800\nCLIENT_HEIGHT\t600\nFITTOSCREEN\t1\n");
  platform.screen_width = 1680, platform.screen_height = 1050;
  // The configured row again: only TOPMOST and the scale type change.
  answer([](dialog_form& f) {
    f.find(IDC_TOPMOST)->value = 1;
    f.find(IDC_FIT_TO_SCREEN)->value = 1;
    return IDOK;
  });
  screen_option_dialog_open();
  EXPECT_EQ(stored("TOPMOST"), 1);
  EXPECT_EQ(stored("FullScreenFit"), 1);
  EXPECT_EQ(stored("FullScWide5"), -99);
  // A wide row: its class, size and the scale type it implies (a 16:10 screen is class 1).
  answer([](dialog_form& f) {
    f.find(IDC_SCREEN_MODES)->value = 3;
    return IDOK;
  });
  screen_option_dialog_open();
  EXPECT_EQ(stored("FullScWide5") * 100 + stored("FullScreenFit"), 302);
  EXPECT_EQ(stored("RegWidth3") * 10000 + stored("RegHeight3"), 1024 * 10000 + 768);
  EXPECT_EQ(platform.forms.back().find(IDC_SCREEN_MODES)->value, 0) << "opened on the row stored before";
  // Without FITTOSCREEN (its default is 0) the box is gone and a plain row keeps the scale type.
  reload("CLIENT_WIDTH\t800\nCLIENT_HEIGHT\t600\n");
  reg_set_int(reg_global_name(), reg_local_name(), "FullScreenFit", 3);
  answer([](dialog_form& f) {
    EXPECT_EQ(f.find(IDC_FIT_TO_SCREEN), nullptr);
    f.find(IDC_SCREEN_MODES)->value = 1;
    return IDOK;
  });
  screen_option_dialog_open();
  EXPECT_EQ(stored("FullScreenFit"), 3);
  EXPECT_EQ(stored("FullScWide5"), 1);
}

// Reference BMP bytes of a picture, built field by field.
std::vector<uint8_t> reference_bmp(int w, int h, const std::vector<uint8_t>& bgr_top_down) {
  int row = (w * 3 + 3) / 4 * 4;
  std::vector<uint8_t> b = {'B', 'M'};
  auto u32 = [&](uint32_t v) {
    for (int i = 0; i < 4; i++) b.push_back(v >> (8 * i) & 0xFF);
  };
  u32(row * h + 56), u32(0), u32(54), u32(40), u32(w), u32(h);
  b.push_back(1), b.push_back(0), b.push_back(24), b.push_back(0);
  u32(0), u32(row * h), u32(0), u32(0), u32(0), u32(0);
  for (int y = h - 1; y >= 0; y--) {
    b.insert(b.end(), bgr_top_down.begin() + y * w * 3, bgr_top_down.begin() + (y + 1) * w * 3);
    b.insert(b.end(), row - w * 3, 0);
  }
  b.push_back(0), b.push_back(0);
  return b;
}

TEST_F(ShellDialogs, FrontBufferBmpIsByteExactAtEvenAndOddWidths) {
  for (int w : {640, 7}) {
    const int h = 3;
    page* p = page_new_rgb24(w, h, 1);
    std::vector<uint8_t> bgr;
    for (int y = 0; y < h; y++)
      for (int x = 0; x < w * 3; x++) {
        page_row(p, y)[x] = static_cast<uint8_t>(x * 7 + y * 31);
        bgr.push_back(static_cast<uint8_t>(x * 7 + y * 31));
      }
    front_page_set(p);
    std::string path = home.at("shot.bmp");
    ASSERT_EQ(write_frontbuffer_bmp(path.c_str()), 0);
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> got((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(got, reference_bmp(w, h, bgr)) << "width " << w;
    presentation_reset();
    page_free_all_at_exit();
  }
  front_page_set(page_new_gray8(8, 8, 1));
  EXPECT_EQ(write_frontbuffer_bmp(home.at("gray.bmp").c_str()), 1);
  EXPECT_EQ(capture_screen(), -1) << "an 8-bit front page is not captured";
  EXPECT_TRUE(platform.file_dialogs.empty());
}

TEST_F(ShellDialogs, CaptureProposesTheDatedNameAndRemembersTheFolderOnlyOnSuccess) {
  std::tm when{};
  when.tm_year = 124, when.tm_mon = 2, when.tm_mday = 30, when.tm_hour = 15, when.tm_min = 4, when.tm_sec = 5;
  EXPECT_EQ(capture_file_name("Capture_", when), "Capture_(24年03月30日 15時04分05秒).bmp");
  front_page_set(page_new_rgb24(8, 4, 1));
  EXPECT_EQ(capture_screen(), -1);  // cancelled
  EXPECT_EQ(stored("CapFolder"), -99);
  std::string folder = engine_path_from_host(home.path());
  platform.file_dialog_answers.push_back({FILE_DIALOG_OK, folder + "\\cap.bmp"});
  EXPECT_EQ(capture_screen(), 0);
  char kept[260];
  reg_get_string(reg_global_name(), reg_local_name(), "CapFolder", "", kept, sizeof kept);
  EXPECT_EQ(kept, folder);
}

TEST_F(ShellDialogs, TextSaveDialogGivesNothingOnCancelOrTooLongAName) {
  EXPECT_EQ(text_save_dialog("log.txt"), "");
  EXPECT_EQ(platform.file_dialogs.back().file_name, "log.txt");
  // 191 bytes pass, 192 are refused with the box; the limit counts bytes, not characters.
  std::string ok = "\\" + std::string(190, 'a'), too_long;
  for (int i = 0; i < 96; i++) too_long += "漢";  // 96 characters
  platform.file_dialog_answers.push_back({FILE_DIALOG_OK, ok});
  platform.file_dialog_answers.push_back({FILE_DIALOG_OK, too_long});
  EXPECT_EQ(text_save_dialog("a"), ok);
  EXPECT_EQ(text_save_dialog("a"), "");
  ASSERT_EQ(platform.boxes.size(), 1u);
  EXPECT_EQ(platform.boxes[0].text, "ファイル名が長すぎます");
}

}  // namespace
