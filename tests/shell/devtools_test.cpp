#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "base/datasource.h"
#include "base/fatal.h"
#include "platform/headless/headless.h"
#include "platform/messages.h"
#include "platform/window.h"
#include "shell/devtools.h"
#include "shell/main_window.h"
#include "shell/settings.h"
#include "shell/window_core.h"
#include "test_support.h"
#include "vm/script_error.h"

namespace fs = std::filesystem;

// A game folder below a temporary base folder: sources at its top, objects in "scenario".
class DevTools : public engine_test {
 protected:
  void SetUp() override {
    engine_test::SetUp();
    settings_state_reset();
    script_error_reset();
    data_base_folder_set((game.path() + "/").c_str());
    main_window_open();
    wndproc_handler_add(main_window_handler);
  }
  void TearDown() override {
    data_sources_clear();
    settings_state_reset();
    script_error_reset();
    engine_test::TearDown();
  }
  std::string read(const std::string& relative) {
    std::ifstream in(game.at(relative));
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  void age(const std::string& relative, int seconds) {
    fs::last_write_time(game.at(relative), fs::file_time_type::clock::now() - std::chrono::seconds(seconds));
  }
  // A compiler that writes the object of its source (the word after "/s") into scenario/, or fails.
  void compiler(const std::string& body) {
    game.write("VaskelCompile", "#!/bin/sh\nsrc=\"${5#/s}\"; name=$(basename \"${src%.*}\")\n" + body + "\n");
    fs::permissions(game.at("VaskelCompile"), fs::perms::owner_all);
  }
  temp_dir game;
};

TEST_F(DevTools, LoadObjectCompilesAMissingOrStaleObjectAndKeepsItOtherwise) {
  const std::string WRITES = "echo new > scenario/$name.vko";
  struct row {
    const char* what;
    bool object, source_newer, with_compiler, packaged;
    const char* body;
    size_t spawns;
    const char* object_after;
    bool asked = true;  // the user asked for development
  } rows[] = {
      {"stale object", true, true, true, false, WRITES.c_str(), 1, "new\n"},
      {"object newer than its source", true, false, true, false, WRITES.c_str(), 0, "old"},
      {"no compiler beside the source", true, true, false, false, "", 0, "old"},
      {"compiler fails", true, true, true, false, "exit 3", 1, "old"},
      {"packaged game", true, true, true, true, WRITES.c_str(), 0, "old"},
      {"object missing, source found", false, true, true, false, WRITES.c_str(), 1, "new\n"},
      {"a compiler shipped with the game", true, true, true, false, WRITES.c_str(), 0, "old", false},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.what);
    fs::remove_all(game.path());
    fs::create_directories(game.at("scenario"));
    game.write("scenario/keep.vko", "k");  // the source is a folder only while it holds a file
    game.write("a.txt", "source");
    if (r.object) game.write("scenario/a.vko", "old");
    if (r.with_compiler) compiler(r.body);
    age(r.source_newer ? "scenario/keep.vko" : "a.txt", 100);
    if (r.object) age("scenario/a.vko", r.source_newer ? 100 : 0);
    data_sources_clear();
    data_base_folder_set((game.path() + "/").c_str());
    script_error_reset();
    if (r.packaged) error_report_mode_set(2);
    development_asked_set(r.asked);
    ASSERT_EQ(data_source_add("scenario", 0), DATA_SOURCE_FOLDER);

    headless_platform real;  // the compiler runs for real, on the real clock
    real.print_boxes = false;
    real.spawn_runs = true;
    plat_install(&real);
    LoadObject("a");
    plat_install(&platform);
    EXPECT_EQ(real.spawned.size(), r.spawns);
    EXPECT_EQ(read("scenario/a.vko"), r.object_after);
    if (r.spawns) {
      EXPECT_EQ(real.spawned[0].argv, (std::vector<std::string>{game.path() + "/VaskelCompile", "/f", "/t", "/d", "/txt",
                                                                 "/s" + game.path() + "/a.txt"}));
      EXPECT_EQ(real.spawned[0].folder, game.path());
    }
    if (!r.object) { EXPECT_TRUE(data_file_exists("a.vko")); }  // the sources were registered again
  }
}

TEST_F(DevTools, TheCompilerWaitEndsAtItsTimeout) {
  fs::create_directories(game.at("scenario"));
  compiler("sleep 1000");
  development_asked_set(true);
  // Recorded, never run: nothing ends it, and the fake clock runs into the timeout. The source's
  // name ends its first character in a byte that is "\", which must not split it.
  uint32_t start = platform.clock_ms();
  EXPECT_EQ(compile_source((game.path() + "/表示.txt").c_str()), 1);
  EXPECT_GE(platform.clock_ms() - start, COMPILE_TIMEOUT_MS);
  EXPECT_EQ(compile_running_get(), 1);  // nobody said it ended
}

TEST_F(DevTools, AnObjectWithoutSourceIsReportedAndRetried) {
  fs::create_directories(game.at("scenario"));
  platform.answer_boxes({IDRETRY, IDCANCEL});
  EXPECT_THROW(LoadObject("b"), fatal_exit_called);
  ASSERT_EQ(platform.boxes.size(), 2u);
  EXPECT_NE(platform.boxes[0].text.find("LoadObject : ファイル[b.vko]が存在しません。"), std::string::npos);
}

TEST_F(DevTools, EditorTemplateAndErrorLineText) {
  setting_text_store(SETTING_EDITOR, "");
  editor_open_at_line("MAIN.VKO", 3);
  EXPECT_TRUE(platform.spawned.empty());  // no editor set up
  setting_text_store(SETTING_EDITOR, "\"my ed\" -l%line% %fn% %line%");
  editor_open_at_line("MAIN.VKO", 3);
  EXPECT_TRUE(platform.spawned.empty());  // the game's settings alone start no program
  development_asked_set(true);
  editor_open_at_line("MAIN.VKO", 3);
  ASSERT_EQ(platform.spawned.size(), 1u);
  EXPECT_EQ(platform.spawned[0].argv, (std::vector<std::string>{"my ed", "-l3", "MAIN.vks", "3"}));

  error_log_position();
  EXPECT_EQ(error_line_text(), ".vks(0)\n");
  std::string wide;
  for (int i = 0; i < 5000; ++i) wide += "あ";
  error_log_append(wide.c_str());
  EXPECT_EQ(error_line_text().size(), ERROR_LINE_SIZE - 2);  // whole characters within 8191 bytes
  EXPECT_EQ(error_line_text().substr(error_line_text().size() - 2), "あ");
}
