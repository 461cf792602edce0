// The script-error reporter: position prefixes at every depth, names shown as they are, the
// report modes, what a report does besides its box (skip off, hook B, the text log, the editor),
// the cut of long texts and the Cancel road.
#include <algorithm>
#include <cstdio>

#include "base/cp932.h"
#include "shell/settings.h"
#include "shell/window_core.h"
#include "vko_assembler.h"
#include "dispatcher_fixture.h"

namespace {

class script_errors : public dispatcher_test {
 protected:
  void SetUp() override {
    dispatcher_test::SetUp();
    main_object = load("main", 40);
    library = load("lib%s", 0);  // a "%" in a name must be shown, not read as a format
  }
  void TearDown() override {
    settings_reset();
    window_core_reset();
    dispatcher_test::TearDown();
  }
  script_object* load(const std::string& name, uint32_t lines) {
    vko_builder b;
    b.lines(lines);
    b.function("f");
    for (int i = 0; i < 8; ++i) b.op(OP_NOP);
    b.ret();
    game.write(name + ".vko", b.build(false));
    return object_load(name.c_str());
  }
  // Frames 0..depth, alternating between the two objects, frame k at line 10 + k.
  void frames(int depth) {
    for (int k = 0; k <= depth; ++k) {
      if (k > 0) frame_push(vm_thread);
      vm_frame->code = (k % 2 ? library : main_object)->code + 2;
      vm_frame->line = 10 + k;
    }
  }
  std::string log_text() {
    FILE* f = fopen(save_folder.at("debugout.log").c_str(), "rb");
    if (!f) return "";
    std::string text = read_rest(f);
    fclose(f);
    return text;
  }
  script_object* main_object = nullptr;
  script_object* library = nullptr;
};

TEST_F(script_errors, PositionOfUpToFourFramesAtEveryDepth) {
  const char* expected[] = {
      "MAIN.VKO(10) : page_release : ページが存在しません",
      "MAIN.VKO(10).LIB%S.VKO(11) : page_release : ページが存在しません",
      "MAIN.VKO(10).LIB%S.VKO(11).MAIN.VKO(12) : page_release : ページが存在しません",
      "MAIN.VKO(10).LIB%S.VKO(11).MAIN.VKO(12).LIB%S.VKO(13) : \npage_release : ページが存在しません",
      "LIB%S.VKO(11).MAIN.VKO(12).LIB%S.VKO(13).MAIN.VKO(14) : \npage_release : ページが存在しません",
      "MAIN.VKO(12).LIB%S.VKO(13).MAIN.VKO(14).LIB%S.VKO(15) : \npage_release : ページが存在しません",
  };
  for (int depth = 0; depth <= 5; ++depth) {
    thread_reset(vm_thread);
    frames(depth);
    script_error("%s : ページが存在しません", "page_release");
    EXPECT_EQ(box_text(static_cast<size_t>(depth)), expected[depth]) << "depth " << depth;
  }
  // A frame that runs in no object gets no position.
  vm_frame->code = nullptr;
  script_error("組み込み関数[%08X]は定義されていません", 0x1234ABCDu);
  EXPECT_EQ(box_text(6), "組み込み関数[1234ABCD]は定義されていません");
}

TEST_F(script_errors, AReportStopsSkippingLogsAndLeavesFullScreenFirst) {
  static int hook_b_calls;
  hook_b_calls = 0;
  window_hook_set([] { ++hook_b_calls; });
  frames(0);
  skip_mode_set(4);
  script_error("%d%% done", 50);
  EXPECT_FALSE(is_skipping());
  EXPECT_GE(hook_b_calls, 1);
  EXPECT_EQ(platform.boxes[0].style & MB_BUTTON_MASK, MB_RETRYCANCEL);
  std::string log = log_text();
  int stamp[4];
  char rest[64] = "";
  // "yymmdd_hhmm text"
  ASSERT_EQ(sscanf(log.c_str(), "%2d%2d%2d_%2d%*2d %63[^\n]", &stamp[0], &stamp[1], &stamp[2], &stamp[3], rest), 5) << log;
  EXPECT_STREQ(rest, "MAIN.VKO(10) : 50% done");
  EXPECT_EQ(log.back(), '\n');
  script_error("second");
  log = log_text();
  EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 2);
}

TEST_F(script_errors, ReportModesFollowTheLastFolderOrV3Archive) {
  error_report_mode_set(0);  // a folder
  error_report_mode_set(2);  // then a V3 archive: silent
  error_report_mode_set(1);  // a V1/V2 archive changes nothing
  error_report_mode_set(-1);
  EXPECT_EQ(error_report_mode_get(), 1);
  frames(1);
  script_error("silent");
  EXPECT_TRUE(platform.boxes.empty());
  EXPECT_EQ(log_text(), "");
  error_report_mode_set(0);  // the folder mounted last
  script_error("shown");
  EXPECT_EQ(platform.boxes.size(), 1u);
  error_report_mode_set(-2);
  EXPECT_EQ(error_report_mode_get(), -2);
}

TEST_F(script_errors, LongTextsAreCutOnACharacterBoundary) {
  frames(0);
  std::string wide;
  for (int i = 0; i < 1500; ++i) wide += "あ";
  script_error("%s", wide.c_str());
  std::string log = log_text();
  std::string logged = log.substr(12, log.size() - 13);  // after the stamp, before the newline
  EXPECT_LE(logged.size(), SCRIPT_ERROR_TEXT_MAX);
  EXPECT_EQ(logged.size(), cp932_cut_length(logged, logged.size()));
  EXPECT_EQ((logged.size() - strlen("MAIN.VKO(10) : ")) % 2, 0u);  // whole characters only
  EXPECT_EQ(logged.rfind("MAIN.VKO(10) : あ", 0), 0u);
  EXPECT_LE(box_text(0).size(), 1023u);
  EXPECT_EQ(box_text(0), logged.substr(0, box_text(0).size()));
}

TEST_F(script_errors, TheEditorOpensAtTheLineAndAtTheStoryLineBelowALibrary) {
  setting_store(SETTING_AUTO_OPEN_ERROR_LINE, 1);
  setting_text_store(SETTING_EDITOR, "ed %fn% +%line%");
  development_asked_set(true);
  auto opened = [&] {
    std::vector<std::string> lines;
    for (const auto& p : platform.spawned) lines.push_back(p.argv[1].substr(p.argv[1].find_last_of("/\\") + 1) + p.argv[2]);
    platform.spawned.clear();
    return lines;
  };
  frames(2);  // main, library, main: the error lies in an object with read marks
  script_error("x");
  EXPECT_EQ(opened(), std::vector<std::string>{"MAIN.vks+12"});
  thread_reset(vm_thread);
  frames(1);  // main, then the library, which keeps no read marks
  script_error("x");
  EXPECT_EQ(opened(), (std::vector<std::string>{"LIB%S.vks+11", "MAIN.vks+10"}));
}

TEST_F(script_errors, CancelRunsTheExitHookAndEndsTheProgram) {
  static bool exit_hook_ran;
  exit_hook_ran = false;
  exit_hook_set([] { exit_hook_ran = true; });
  platform.queued_answers.clear();
  platform.answer_boxes({IDCANCEL});
  frames(0);
  try {
    script_error("fatal");
    ADD_FAILURE() << "Cancel returned";
  } catch (const fatal_exit_called& e) {
    EXPECT_EQ(e.code, -1);
  }
  EXPECT_TRUE(exit_hook_ran);
}

}  // namespace
