// Start-up steps, the run loop and the VM's reset and exit sequences, in the test process.
#include <gmock/gmock.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "archive_writer.h"
#include "base/datasource.h"
#include "base/env.h"
#include "base/hash.h"
#include "base/registry.h"
#include "graphics/page.h"
#include "graphics/presentation.h"
#include "platform/window.h"
#include "save/vm_exit.h"
#include "shell/devtools.h"
#include "shell/display_mode.h"
#include "shell/env_keys.h"
#include "shell/exit_state.h"
#include "shell/settings.h"
#include "shell/startup.h"
#include "shell/window_core.h"
#include "test_support.h"
#include "vko_assembler.h"
#include "vm/interpreter.h"
#include "vm/readmark.h"
#include "vm/script_error.h"
#include "vm/script_object.h"
#include "vm/thread.h"
#include "vm/variables.h"

using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace {

// Assigns the cell to the variable of that name and scope, as a script's assignment does.
void assign(const char* name, value_cell cell, int scope) {
  cell.hash = crc32_string(name);
  cell.scope = static_cast<int16_t>(scope);
  var_assign(&cell, nullptr);
}

// A clean engine per test: settings under a temporary configuration folder, the game folder as
// the current folder (start-up mounts and reads relative to it), every module's state forgotten.
class startup_test : public engine_test {
 protected:
  temp_dir home, game;
  std::string previous_folder = std::filesystem::current_path().string();

  void SetUp() override {
    engine_test::SetUp();
    setenv("XDG_CONFIG_HOME", home.at("config").c_str(), 1);
    reset_all();
    ASSERT_EQ(chdir(game.path().c_str()), 0);
  }
  void TearDown() override {
    EXPECT_EQ(chdir(previous_folder.c_str()), 0);
    threads_destroy_all();
    thread_switch(nullptr);
    var_tables_free();
    ReleaseVaskel();
    readmark_reset();
    page_free_all_at_exit();
    reset_all();
    engine_test::TearDown();
  }
  static void reset_all() {
    settings_state_reset();
    script_error_reset();
    startup_reset();
    vm_lifecycle_reset();
    start_object_set("");
  }
  void load_env(const std::string& text) {
    game.write("vaskel.env", text);
    data_base_folder_set(game.path().c_str());
    ASSERT_EQ(env_load("vaskel.env"), 0);
  }
  void object(const std::string& file, const std::string& source) {
    vko_builder b;
    std::string error;
    ASSERT_TRUE(vko_assemble_text(source, b, error)) << error;
    game.write(file, b.build());
  }
  std::string notices() const {
    std::string all;
    for (const auto& box : platform.boxes) all += box.text + "\n";
    return all;
  }
};

// ---------------------------------------------------------------------------------------------
// The first mount pass and the report mode

using ReportMode = startup_test;

TEST_F(ReportMode, TheLastFolderOrV3ArchiveMountedDecides) {
  struct {
    const char* name;
    void (*make)(const temp_dir&);
    int mode;
  } cases[] = {
      {"nothing mounted", [](const temp_dir&) {}, 1},
      {"fastdata folder", [](const temp_dir& g) { g.write("fastdata/vaskel.env", "X 1\n"); }, 0},
      {"fastdata V3 archive",
       [](const temp_dir& g) { archive_write(g.at("fastdata.arc"), archive_version::v3, {{"a.txt", "a"}}); }, 1},
      {"only a V2 archive leaves it undecided, so silent",
       [](const temp_dir& g) { archive_write(g.at("update.arc"), archive_version::v2, {{"a.txt", "a"}}); }, 1},
      {"update V3 archive, then a fastdata folder",
       [](const temp_dir& g) {
         archive_write(g.at("update.arc"), archive_version::v3, {{"a.txt", "a"}});
         g.write("fastdata/b.txt", "b");
       },
       0},
      {"update folder, then a fastdata V3 archive",
       [](const temp_dir& g) {
         g.write("update/a.txt", "a");
         archive_write(g.at("fastdata.arc"), archive_version::v3, {{"b.txt", "b"}});
       },
       1},
      {"update12 folder, then update3 V3 archive",
       [](const temp_dir& g) {
         g.write("update12/a.txt", "a");
         archive_write(g.at("update3.arc"), archive_version::v3, {{"b.txt", "b"}});
       },
       1},
  };
  for (const auto& c : cases) {
    temp_dir folder;
    c.make(folder);
    ASSERT_EQ(chdir(folder.path().c_str()), 0);
    data_sources_clear();
    startup_mount_pass();
    EXPECT_EQ(error_report_mode_get(), c.mode) << c.name;
    ASSERT_EQ(chdir(game.path().c_str()), 0);
  }
}

// ---------------------------------------------------------------------------------------------
// The development file

using DevelopmentFile = startup_test;

TEST_F(DevelopmentFile, UsableLinesSkipCommentsBlanksAndControlBytes) {
  EXPECT_TRUE(dev_file_lines(3).empty());
  game.write("fastread.txt", "\n  ; only a comment\n\t/home/dev/fast ; the folder\r\n// nothing\n   \n"
                             "second//cut\nthird\nfourth\n");
  EXPECT_THAT(dev_file_lines(3), ElementsAre("/home/dev/fast", "second", "third"));
  EXPECT_THAT(dev_file_lines(1), ElementsAre("/home/dev/fast"));
  // The ".inf" file is read first.
  game.write("fastread.inf", "inf line\n");
  EXPECT_THAT(dev_file_lines(3), ElementsAre("inf line"));
}

// ---------------------------------------------------------------------------------------------
// The saved window position

TEST(WindowPosition, KeptOnlyWhenItCanBeReachedAndHeldToTheScreensHeight) {
  screen_rect screen{0, 0, 1920, 1080};
  int x = 100, y = 100;
  EXPECT_TRUE(window_position_fit(screen, 800, 600, &x, &y));
  EXPECT_EQ(y, 100);
  // The left edge may lie up to 4/5 of the width off the left of the screen ...
  x = -640, y = 0;
  EXPECT_TRUE(window_position_fit(screen, 800, 600, &x, &y));
  x = -641;
  EXPECT_FALSE(window_position_fit(screen, 800, 600, &x, &y));
  // ... and must keep 1/5 of it on the screen at the right.
  x = 1920 - 160;
  EXPECT_TRUE(window_position_fit(screen, 800, 600, &x, &y));
  x = 1920 - 159;
  EXPECT_FALSE(window_position_fit(screen, 800, 600, &x, &y));
  // The top is raised to the screen and lowered to keep a third of the height visible.
  x = 0, y = -50;
  EXPECT_TRUE(window_position_fit(screen, 800, 600, &x, &y));
  EXPECT_EQ(y, 0);
  y = 5000;
  EXPECT_TRUE(window_position_fit(screen, 800, 600, &x, &y));
  EXPECT_EQ(y, 1080 - 200);
  // Stored values far out of range do not wrap.
  x = INT32_MAX, y = INT32_MIN;
  EXPECT_FALSE(window_position_fit(screen, 800, 600, &x, &y));
  x = 0;
  EXPECT_TRUE(window_position_fit(screen, 800, 600, &x, &y));
  EXPECT_EQ(y, 0);
}

// ---------------------------------------------------------------------------------------------
// The HDD cache of archives

class ArchiveCache : public startup_test {
 protected:
  temp_dir cache;
  void SetUp() override {
    startup_test::SetUp();
    archive_cache_folder_set(cache.path().c_str());
  }
  static std::string contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  // Moves a file's last-write time into the past.
  static void age(const std::string& path, int seconds) {
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    timespec times[2] = {st.st_atim, st.st_mtim};
    times[1].tv_sec -= seconds;
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
  }
};

TEST_F(ArchiveCache, ANewArchiveIsCopiedAnUpdatedOneCopiedAgainAnUnchangedOneLeftAlone) {
  game.write("data.arc", "first");
  archive_cache_refresh("data");
  EXPECT_EQ(contents(cache.at("data.arc")), "first");
  EXPECT_THAT(notices(), HasSubstr("[data.arc]が新規に作成されました。キャッシュします"));

  platform.boxes.clear();
  archive_cache_refresh("data");
  EXPECT_TRUE(platform.boxes.empty());

  game.write("data.arc", "second");
  age(cache.at("data.arc"), 10);
  archive_cache_refresh("data");
  EXPECT_EQ(contents(cache.at("data.arc")), "second");
  EXPECT_THAT(notices(), HasSubstr("[data.arc]が更新されました。キャッシュします"));

  // A copy newer than the original stays as it is.
  platform.boxes.clear();
  game.write("data.arc", "third");
  age(game.at("data.arc"), 10);
  archive_cache_refresh("data");
  EXPECT_EQ(contents(cache.at("data.arc")), "second");
  EXPECT_TRUE(platform.boxes.empty());
}

TEST_F(ArchiveCache, ACopyWithoutItsOriginalIsDeletedAfterTheRetries) {
  archive_cache_refresh("voice");  // neither: nothing to do, at once
  EXPECT_TRUE(platform.boxes.empty());
  uint32_t before = platform.clock_ms();
  cache.write("voice.arc", "stale");
  archive_cache_refresh("voice");
  EXPECT_FALSE(std::filesystem::exists(cache.at("voice.arc")));
  EXPECT_THAT(notices(), HasSubstr("[voice.arc]のオリジナルファイルが開けません。キャッシュを消去します"));
  EXPECT_EQ(platform.clock_ms() - before, 20u * 5u);  // 21 attempts, 5 ms apart
}

TEST_F(ArchiveCache, DroppingTheCacheCopiesEveryArchiveOfTheMountPassAfreshOnce) {
  for (const char* name : {"data.arc", "voice.arc"}) {
    ASSERT_TRUE(archive_write(game.at(name), archive_version::v3, {{"a.txt", name}}));
    cache.write(name, "damaged copy, newer than the original");
  }
  drop_cache_set(1);
  startup_sources_mount();
  for (const char* name : {"data.arc", "voice.arc"}) {
    EXPECT_EQ(contents(cache.at(name)), contents(game.at(name))) << name;
    EXPECT_THAT(notices(), HasSubstr(std::string("[") + name + "]が新規に作成されました")) << name;
  }
  platform.boxes.clear();
  archive_cache_refresh("data");  // the drop is done: the fresh copy stays
  EXPECT_TRUE(platform.boxes.empty());
}

// ---------------------------------------------------------------------------------------------
// The menu

using Menu = startup_test;

TEST_F(Menu, EntriesFollowTheEnvironmentAndTheSettings) {
  load_env("HELP_FILE none\nLOADSAVEDISABLE 1\nNOSAVEAS 1\nFONTSEL 1\nJOYUSE 2\nCAPTUREDISABLE 1\nFNDISABLE 1\n"
           "WIDEMODEMENU 1\n");
  reg_set_int(reg_global_name(), reg_local_name(), "JoyUse", 1);
  reg_set_int(reg_global_name(), reg_local_name(), "WideMode", 1);
  window_handle w = window_create(window_spec{});
  main_window_set(w);
  menu_entries_apply(w);
  wide_menu_apply(w);
  EXPECT_THAT(platform.menu_deleted, ElementsAre(40008, 40011, 40012, 40013, 40014, 40028, 40030, 40038, 40042, 40047));
  for (int id : {40007, 40009, 40010, 40011, 40012}) EXPECT_FALSE(platform.menu_enabled[id]) << id;
  EXPECT_TRUE(platform.menu_checked[40039]);  // JoyUse set: the JOYUSE choice applies
  EXPECT_EQ(joy_use_get(), 2);
  EXPECT_TRUE(platform.menu_checked[40049]);
}

TEST_F(Menu, AnEmptyEnvironmentLeavesTheOptionalEntriesOut) {
  load_env("");
  error_report_mode_set(2);  // a packaged game: no development log
  window_handle w = window_create(window_spec{});
  menu_entries_apply(w);
  wide_menu_apply(w);
  EXPECT_THAT(platform.menu_deleted, ElementsAre(40035, 40037, 40038, 40039, 40047, 40049));
  EXPECT_TRUE(platform.menu_enabled.empty());
}

// ---------------------------------------------------------------------------------------------
// The run loop

// The interpreter as the run loop sees it: each call notes the object thread 0 starts in and
// whether its stack is clean, then gives the next scripted result.
struct scripted_run {
  static inline std::vector<int32_t> results;
  static inline std::vector<std::string> starts;
  static inline int calls = 0;
  static inline bool stack_clean = true;
  static int32_t interpreter() {
    script_object* o = vm_frame && vm_frame->code ? object_find_by_address(vm_frame->code) : nullptr;
    starts.push_back(o ? o->name : "-");
    stack_clean = stack_clean && vm_thread->id == 0 && vm_frame->top == 1;
    if (calls == 2) start_object_set("second");
    return results[calls++];
  }
};

TEST_F(startup_test, RunLoopLoadsOnTwoRestartsOnFiveAndStartsACustomObjectOnce) {
  data_base_folder_set(game.path().c_str());
  object("start.vko", ".entry\n    ret\n");
  object("second.vko", ".entry\n    ret\n");
  scripted_run::results = {RUN_LOAD, RUN_END, RUN_END, RUN_END, 9};
  scripted_run::starts.clear();
  scripted_run::calls = 0;
  static int reapplied;
  reapplied = 0;  // the display mode, after every run: the switch hook hears of each
  display_switch_hook_set([](int value) { return reapplied += value == -1; });
  EXPECT_EQ(run_loop(scripted_run::interpreter), 9);
  display_mode_reset();
  EXPECT_EQ(reapplied, 5);
  // After the load nothing was restored (no save data yet), so thread 0 starts without code.
  EXPECT_THAT(scripted_run::starts, ElementsAre("START.VKO", "-", "START.VKO", "SECOND.VKO", "START.VKO"));
  // The start event's three arguments never stay on thread 0's stack.
  EXPECT_TRUE(scripted_run::stack_clean);
}

TEST_F(startup_test, AStartObjectWithoutEntryIsReportedWithItsName) {
  data_base_folder_set(game.path().c_str());
  object("start.vko", ".func $init@GLOBAL\n    ret\n");
  object("second.vko", ".func f\n    ret\n");
  error_report_mode_set(0);
  platform.answer_boxes({IDRETRY, IDRETRY});
  scripted_run::results = {RUN_END, 4};
  scripted_run::starts.clear();
  scripted_run::calls = 0;
  start_object_set("second");
  EXPECT_EQ(run_loop(scripted_run::interpreter), 4);
  ASSERT_EQ(platform.boxes.size(), 2u);
  EXPECT_THAT(platform.boxes[0].text, HasSubstr("[second]実行関数が設定されていません。"));
  EXPECT_THAT(platform.boxes[1].text, HasSubstr("[start.vks]実行関数が設定されていません。"));
}

// ---------------------------------------------------------------------------------------------
// The development status bar

TEST_F(startup_test, InDevelopmentTheWindowCarriesTheStatusBarThatTheWatchListWritesTo) {
  load_env("CLIENT_WIDTH 320\nCLIENT_HEIGHT 200\n");
  setting_text_store(SETTING_WATCH_LIST, "@score #seen@SYS counter @name @list @missing @ァ");
  vm_reset();
  assign("@score@GLOBAL", int_cell(-12), SCOPE_GLOBAL);
  assign("#seen@SYS", float_cell(1.5f), SCOPE_ETERNAL);
  assign("counter@GLOBAL", int_cell(3), SCOPE_GLOBAL);  // a word without a scope sign: not shown
  assign("@name@GLOBAL", string_cell(string_block_new("Ann")), SCOPE_GLOBAL);
  assign("@list@GLOBAL", array_cell(array_block_new(TYPE_INT_ARRAY, 1, 1, 2)), SCOPE_GLOBAL);
  assign("@ァ@GLOBAL", int_cell(5), SCOPE_GLOBAL);  // ァ ends in the byte of "@": no group yet

  for (int mode : {2, 0}) {  // a V3 archive (player mode), then a folder (development mode)
    error_report_mode_set(mode);
    window_handle w = main_window_create();
    headless_platform::window_record* r = platform.record(w);
    EXPECT_EQ(r->client_width, 320);
    EXPECT_EQ(r->client_height, 200);
    EXPECT_EQ(r->status_bar_height, mode == 0 ? 23 + 5 : 0);
    watch_list_show();
    EXPECT_EQ(r->status_text, mode == 0 ? "-12 1.500000e+00 \"Ann\" ??? ??? 5 " : "");
  }
  // Within 10 ms of an update nothing changes; after them the bar follows the variables.
  assign("@score@GLOBAL", int_cell(99), SCOPE_GLOBAL);
  for (int wait : {0, 10}) {
    platform.advance(wait);
    watch_list_show();
    EXPECT_EQ(platform.record(main_window_get())->status_text.substr(0, 3), wait ? "99 " : "-12");
  }
}

// ---------------------------------------------------------------------------------------------
// The VM's reset and exit sequences

TEST_F(startup_test, TheResetKeepsEternalVariablesAndLeavesOneFreshMainThread) {
  vm_reset();
  assign("#seen@GLOBAL", int_cell(7), SCOPE_ETERNAL);
  assign("@g@GLOBAL", string_cell(string_block_new("x", 1)), SCOPE_GLOBAL);
  thread_create(-1);
  push_int(5);

  vm_reset();
  EXPECT_EQ(var_global.count, 0);
  EXPECT_GE(var_global.capacity, THREAD_TABLE_CAPACITY);
  ASSERT_EQ(var_eternal.count, 1);
  EXPECT_EQ(var_eternal.cells[0].i, 7);
  ASSERT_EQ(thread_count(), 1);
  EXPECT_EQ(vm_thread, thread_find(0));
  EXPECT_EQ(vm_frame, &vm_thread->frames[0]);
  EXPECT_EQ(vm_frame->top, 1);
  EXPECT_EQ(vm_frame->code, nullptr);
}

TEST_F(startup_test, TheExitSequenceSavesReadMarksFreesTheMachineAndShowsItsStages) {
  save_base_folder_set(game.path().c_str());
  main_window_set(window_create(window_spec{}));
  error_report_mode_set(0);
  // Eternal variables are written only once read: neither an end during start-up nor a second
  // exit sequence may write an empty table over the player's file.
  const std::string eternal_file = game.at("savedata/vaskel_system.mss");
  game.write("savedata/vaskel_system.mss", "unread");
  ExecOut();
  EXPECT_EQ(std::filesystem::file_size(eternal_file), 6u);
  std::filesystem::remove(eternal_file);
  vm_reset();
  readmark_set* marks = readmark_attach("START.VKO", 8);
  readmark_test_and_set(marks, 3);
  assign("@g@GLOBAL", int_cell(1), SCOPE_GLOBAL);
  assign("#seen@GLOBAL", int_cell(7), SCOPE_ETERNAL);

  ExecOut();
  auto written = std::filesystem::file_size(eternal_file);
  ExecOut();
  EXPECT_EQ(std::filesystem::file_size(eternal_file), written);
  EXPECT_TRUE(std::filesystem::exists(game.at("savedata/vaskel_readmark.mss")));
  EXPECT_EQ(readmark_list_head(), nullptr);
  EXPECT_EQ(thread_count(), 0);
  EXPECT_EQ(var_global.cells, nullptr);
  EXPECT_EQ(var_eternal.cells, nullptr);
  EXPECT_EQ(window_title_get(main_window_get()), "ExecOut - END");

  // The clean-up after it leaves the front page detached and says so in the title.
  front_page_set(page_new_rgb24(4, 4, 1));
  KATAZUKE();
  EXPECT_EQ(front_page_get(), nullptr);
  EXPECT_EQ(window_title_get(main_window_get()), "KATAZUKE - END");
}

}  // namespace
