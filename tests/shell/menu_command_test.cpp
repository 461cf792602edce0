// The main window's commands and keys, the menu requests they queue and how a pass serves them,
// the quick-save ring, the exit-time window state and the menu marks, with injected messages.
#include <filesystem>
#include <set>

#include "base/env.h"
#include "base/registry.h"
#include "input_fixture.h"
#include "resources/menus.h"
#include "shell/devtools.h"
#include "shell/display_mode.h"
#include "shell/exit_state.h"
#include "shell/main_window.h"
#include "shell/settings.h"
#include "vm/hooks.h"

namespace {

class menu_window : public input_scene {
 protected:
  void SetUp() override {
    input_scene::SetUp();
    forget();
    open("VASKEL_MAIN");
    wndproc_handler_add(main_window_handler);
  }
  void TearDown() override {
    box_hook_set(nullptr);
    ReleaseEventAll();
    forget();
    input_scene::TearDown();
  }
  static void forget() {
    script_error_reset();
    env_free();
    env_keys_reset();
    main_window_reset();
    exit_state_reset();
    display_mode_reset();
    settings_reset();
    reg_store_reset();
  }
  void open(const char* variant) {
    main_window_set(window_create({"VASKEL_EXEC_CLASS", "", main_window_class_proc, 0, 0, variant}));
  }
  // The environment file holds these lines; the keys read here are read again.
  void environment(const std::string& lines) {
    env_free();
    game_env_load(game, lines);
    main_window_reset();
  }
  static intptr_t send(uint32_t message, uintptr_t wparam) { return message_send(main_window_get(), message, wparam, 1); }
  static int stored(const char* name) { return reg_get_int(reg_global_name(), reg_local_name(), name, -99); }
  static void store(const char* name, int value) { reg_set_int(reg_global_name(), reg_local_name(), name, value); }
  headless_platform::window_record& menu() { return *platform.record(main_window_get()); }
};

TEST_F(menu_window, CloseAsksOnceAndNoKeepsTheGameRunningMarkedUnfinished) {
  // A second close arrives while the question is open.
  static int closes;
  closes = 0;
  box_hook_set([] { closes++ == 0 && send(WM_CLOSE, 0); });
  platform.answer_boxes({IDNO});
  int written = reg_files_written();
  send(WM_CLOSE, 0);
  ASSERT_EQ(platform.boxes.size(), 1u);
  EXPECT_EQ(platform.boxes[0].text, "終了してよろしいですか？");
  EXPECT_EQ(stored("AbnormalTerminateFlg"), 1);
  EXPECT_EQ(reg_files_written() - written, 2);  // the window state, then the unfinished mark
  send(WM_CLOSE, 0);  // the guard was cleared: asked again
  EXPECT_EQ(platform.boxes.size(), 2u);
}

// Under GUIEXITDLG the close box only queues request 95, even while input is blocked.
TEST_F(menu_window, KeysAndTheCloseBoxQueueTheirRequestsUnderEachEnvironment) {
  struct {
    const char* env;
    int report_mode, message, key, pending, blocked = 0;
  } rows[] = {
      {"GUIEXITDLG 1\n", 0, WM_CLOSE, 0, 95, 1}, {"", 0, WM_KEYDOWN, VK_F3, 0, 1},
      {"", 0, WM_KEYDOWN, VK_F3, 1},
      {"", 0, WM_KEYDOWN, VK_F2, 0},  // saving is not allowed
      {"", 0, WM_KEYDOWN, VK_F12, 98}, {"", 0, WM_KEYDOWN, VK_F9, 0},
      {"NOCONFIG 1\n", 0, WM_KEYDOWN, VK_F9, 99}, {"NOCONFIG 1\nFNDISABLE 1\n", 0, WM_KEYDOWN, VK_F9, 0},
      {"", 2, WM_KEYDOWN, VK_F11, 91},
      {"", 0, WM_KEYDOWN, VK_F11, 0},  // reports shown: the editor instead
      {"ALTMENU_B 1\nFNDISABLE 1\n", 0, WM_KEYDOWN, VK_F9, 97}, {"ALTMENU_B 1\n", 0, WM_KEYDOWN, VK_F5, 1},
      {"ALTMENU_B 1\n", 0, WM_KEYDOWN, VK_F1, 98}, {"ALTMENU_B 1\nNOCONFIG 1\n", 0, WM_KEYDOWN, VK_F3, 99},
      {"ALTMENU_B 1\n", 0, WM_KEYDOWN, VK_F12, 0}, {"", 0, WM_SYSKEYDOWN, VK_F2, 4},
      {"", 0, WM_SYSKEYDOWN, VK_F3, 2}, {"ALTMENU_C 1\n", 0, WM_SYSKEYDOWN, VK_F3, 0},
      {"NOSAVEAS 1\n", 0, WM_SYSKEYDOWN, VK_F2, 0},
  };
  development_asked_set(true);
  for (const auto& r : rows) {
    environment(r.env);
    setting_text_store(SETTING_EDITOR, "ed %line%");
    error_report_mode_set(r.report_mode);
    request_reset();
    if (r.blocked) call(builtin_input_block);
    send(r.message, static_cast<uintptr_t>(r.key));
    call(builtin_input_unblock);
    EXPECT_EQ(request_pending(), r.pending) << r.env << " key " << r.key << " message " << r.message;
  }
  EXPECT_FALSE(menu().menu[IDM_SAVE_AS].present);  // NOSAVEAS's first read deleted both
  EXPECT_FALSE(menu().menu[IDM_LOAD_BY_NAME].present);
  EXPECT_EQ(platform.spawned.size(), 1u);  // the editor, once
  EXPECT_TRUE(platform.boxes.empty());
}

TEST_F(menu_window, EveryMenuCommandReachesItsRequest) {
  environment("NOCONFIG 1\n");
  const std::pair<int, int> rows[] = {{40009, 3},  {40010, 1}, {40011, 4},  {40012, 2},  {40030, 99}, {40042, 98},
                                      {40045, 6},  {40046, 5}, {40047, 97}, {40048, 96}, {40049, 94}};
  for (auto [id, code] : rows) {
    request_reset();
    send(WM_COMMAND, static_cast<uintptr_t>(id));
    EXPECT_EQ(request_pending(), code) << id;
  }
  EXPECT_EQ(stored("WideMode"), 1);
  EXPECT_TRUE(menu().menu[IDM_WIDE_MODE].checked);
  // The load entry does nothing while the load request is being served.
  request_reset();
  request_post(1);
  request_dispatch();
  send(WM_COMMAND, IDM_LOAD);
  EXPECT_EQ(request_pending(), 0);
}

TEST_F(menu_window, MenuCommandsWithoutARequestActAtOnce) {
  environment("HELP_FILE manual.html\nJOYUSE 2\n");
  // While pages turn by themselves, neither the screen saver nor the display's power saving starts.
  EXPECT_EQ(send(WM_SYSCOMMAND, SC_SCREENSAVE), 0);
  send(WM_COMMAND, IDM_AUTO);
  EXPECT_EQ(send(WM_SYSCOMMAND, SC_SCREENSAVE) + send(WM_SYSCOMMAND, SC_MONITORPOWER | 2), 2);
  skip_mode_set(0);
  window_message m;
  send(WM_COMMAND, IDM_BACKLOG);
  ASSERT_TRUE(message_peek(m) && m.message == WM_KEYDOWN && m.wparam == VK_PRIOR);
  ASSERT_TRUE(message_peek(m) && m.message == WM_KEYUP);

  for (int id : {IDM_NANIDO_0 + 3, IDM_GAME_SPEED_0 + 0, IDM_TOPMOST + 0, IDM_MOVIE_METHOD_1 + 0, IDM_JOYSTICK + 0})
    send(WM_COMMAND, static_cast<uintptr_t>(id));
  EXPECT_EQ(difficulty_get(), 3);
  EXPECT_EQ(game_speed_get(), 0);
  EXPECT_EQ(stored("MoviePlayMethod"), 1);
  EXPECT_EQ(joy_use_get(), 2);
  EXPECT_TRUE(menu().topmost);
  send(WM_COMMAND, IDM_HELP);
  send(WM_COMMAND, IDM_DEBUG_LOG);
  EXPECT_THAT(platform.opened, ElementsAre("manual.html", HasSubstr("debugout.log")));
  environment("HELP_FILE ..\\manual.html\n");  // a help file outside the game is not opened
  send(WM_COMMAND, IDM_HELP);
  EXPECT_EQ(platform.opened.size(), 2u);
  environment("HELP_FILE manual.html\n");
  platform.shell_open_works = false;  // no browser: F1 says so, as it does for the file outside
  send(WM_KEYDOWN, VK_F1);
  ASSERT_EQ(platform.boxes.size(), 2u);
  EXPECT_THAT(platform.boxes[1].text, HasSubstr("ヘルプ[manual.html]を開けませんでした。"));
}

TEST_F(menu_window, DroppedFilesFillTheBufferAndSourcesGoToTheCompiler) {
  plat().window_accept_files(main_window_get(), true);
  compile_running_set(1);
  platform.drop_files(main_window_get(), {"C:\\game\\pic.PNG"});
  drain_window_messages();
  EXPECT_STREQ(dropped_file_path(), "C:\\game\\pic.PNG");
  EXPECT_EQ(compile_running_get(), 0);
  platform.drop_files(main_window_get(), {"C:\\game\\scene.TXT", "other.vks"});
  drain_window_messages();
  EXPECT_STREQ(dropped_file_path(), "C:\\game\\scene.TXT");
  EXPECT_EQ(compile_running_get(), 0);  // no compiler beside the source: nothing runs
  EXPECT_TRUE(platform.spawned.empty());
}

// Requests served by passes: events reach the scripts' hooks; locks hold requests back.
class menu_requests : public menu_window {
 protected:
  // A hook of the main thread on the hash, running "count" (keeps its argument count and parameter 1).
  void hook_on(uint32_t hash) {
    push_int(static_cast<int32_t>(crc32_string("count")));
    push_string("probe");
    builtin_entry e{0, "event_hook_add", BUILTIN_PLAIN, 2, builtin_event_hook_add};
    builtin_call(&e, 0, 2, 1);
    for (const event_hook_entry* h = hook_list_head(); h; h = h->next)
      if (h->key == crc32_string("probe")) const_cast<event_hook_entry*>(h)->key = hash;
  }
  void SetUp() override {
    menu_window::SetUp();
    enter(".entry\n  ret\n.func count\n  load.i _-1\n  set.i.pop @count\n  load.i _p1\n  set.i.pop @p1\n  ret\n");
  }
  static int runs() { return vm_thread->depth; }  // every hook fired waits as a frame
};

TEST_F(menu_requests, EachEventCodeFiresItsHashOnceAndTheWideModeEventPassesTheValue) {
  // 94 first: its handler runs last, so @count and @p1 keep what it was given (the WideMode).
  const std::pair<int, uint32_t> events[] = {{94, 0xEDF9F4F1}, {1, 0xAAF02220},  {3, 0x7CE76169},  {91, 0x5399D3AF},
                                             {92, 0x57B19BF8}, {93, 0xAD050BFF}, {95, 0x4A6BF175}, {96, 0x5CF65741},
                                             {97, 0x2BF167D7}, {98, 0xCA908215}, {99, 0x24B05F59}};
  store("WideMode", 1);
  int expected = 0;
  for (auto [code, hash] : events) {
    hook_on(hash);
    request_post(code);
    EXPECT_EQ(request_dispatch(), 0);
    EXPECT_EQ(runs(), ++expected) << code;
  }
  // Codes without a meaning are taken with no effect; only the later of two requests is served.
  request_post(7);
  request_post(50);
  request_dispatch();
  EXPECT_EQ(request_current(), 50);
  EXPECT_EQ(request_pending(), 0);
  EXPECT_EQ(runs(), expected);
  turn();
  EXPECT_EQ(int_of("@count"), 1);
  EXPECT_EQ(int_of("@p1"), 1);
}

TEST_F(menu_requests, ALockRefusesItsOwnCodeQuietlyAndHoldsOthersBehindOneBusyEvent) {
  hook_on(0x42629F01);
  hook_on(0xAAF02220);
  request_lock_set(3);
  EXPECT_EQ(request_allowed(3), 0);
  request_busy_event();
  EXPECT_EQ(runs(), 0);
  send(WM_KEYDOWN, VK_F3);
  request_busy_event(), request_busy_event();  // once per arrival
  EXPECT_EQ(request_dispatch(), 0);
  EXPECT_EQ(runs(), 1);
  EXPECT_EQ(request_pending(), 1);
  request_lock_set(0);
  request_dispatch();
  EXPECT_EQ(runs(), 2);
  EXPECT_EQ(request_current(), 1);
}

TEST_F(menu_requests, QuickSaveKeepsTheRingWhenTheWriteFailsAndTheRingWrapsAfter7) {
  store("QuickNum", 7);
  request_post(REQUEST_QUICK_SAVE);
  request_dispatch();
  EXPECT_EQ(stored("QuickNum"), 7);
  ASSERT_EQ(reports().size(), 1u);
  EXPECT_EQ(reports()[0], "クイックセーブに失敗しました");
  EXPECT_EQ(quick_num_next(7), 0);
  EXPECT_EQ(quick_num_next(0), 1);
  for (auto [stored_value, value] : {std::pair{12, 7}, {-3, 0}, {5, 5}}) {
    store("QuickNum", stored_value);
    EXPECT_EQ(quick_num_get(), value);
    EXPECT_EQ(stored("QuickNum"), value);
  }
}

TEST_F(menu_requests, QuickLoadWithoutASaveSaysSoAndOnlyAFullMagicMatches) {
  store("QuickloadFailsafe", 0);
  request_post(REQUEST_QUICK_LOAD);
  EXPECT_EQ(request_dispatch(), 0);
  ASSERT_EQ(reports().size(), 1u);
  EXPECT_EQ(reports()[0], "クイックセーブされていません");
  const std::pair<std::string, bool> heads[] = {
      {std::string("VaskelSavV1.103\0rest of the file", 32), true},
      {"VaskelSavV1.103", false},  // 15 bytes: a short read
      {std::string("VaskelSavV1.102\0", 16), false},
      {"", false}};
  for (const auto& [bytes, matches] : heads) {
    game.write("head.sav", bytes);
    EXPECT_EQ(save_file_check(game.at("head.sav")), matches ? SAVE_FILE_OURS : SAVE_FILE_FOREIGN) << bytes;
  }
  EXPECT_EQ(save_file_check(game.at("missing.sav")), SAVE_FILE_MISSING);
  EXPECT_EQ(save_file_check(game.path()), SAVE_FILE_MISSING);  // a folder is no file
}

// The exit write, as its order and values land in the store's file.
TEST_F(menu_window, TheExitWriteGoesInOrderAndLeavesThePositionInFullScreen) {
  setting_store(SETTING_NANIDO, 4);
  setting_store(SETTING_GAME_SPEED, 2);
  full_sc_freq_set(60);
  topmost_apply(1);
  plat().window_move(main_window_get(), 30, 40);
  // Each orderly end writes the store's file once.
  int written = reg_files_written();
  save_window_state();
  EXPECT_EQ(reg_files_written() - written, 1);
  std::string path = reg_store_folder() + "/" + reg_global_name() + "/" + reg_local_name() + ".ini";
  FILE* file = fopen(path.c_str(), "rb");
  ASSERT_NE(file, nullptr);
  EXPECT_THAT(read_rest(file), HasSubstr("AbnormalTerminateFlg=0\nWinStat=0\nNANIDO=4\nGameSpeed=2\nTOPMOST=1\n"
                                     "FullScFreq=60\nFullScBits=0\nmpg=\nmpeg=\nWinPosX=30\nWinPosY=40\n"));
  fclose(file);
  store("WinPosX", 5);
  menu_bar_mode_set(1);
  save_window_state();
  EXPECT_EQ(stored("WinStat"), 1);
  EXPECT_EQ(stored("WinPosX"), 5);
  environment("DELETEREGISTORYATEXIST 1\n");
  save_window_state();
  EXPECT_FALSE(std::filesystem::exists(path));
  reg_store_reset();
  EXPECT_EQ(stored("AbnormalTerminateFlg"), -99);
}

// The session may end in the middle of start-up, whose settings writes are held back until its
// end: they go out all the same.
TEST_F(menu_window, TheSessionsEndWritesWhatStartUpStillHeldBack) {
  store("AbnormalTerminateFlg", 1);
  reg_writes_defer();
  EXPECT_EXIT(message_send(main_window_get(), WM_ENDSESSION, 1, 0), testing::ExitedWithCode(0), "");
  reg_writes_resume();
  reg_store_reset();  // what the child wrote, read afresh
  EXPECT_EQ(stored("AbnormalTerminateFlg"), 0);
}

TEST_F(menu_window, MenuRefreshSetsEveryVariantsMarksAndEnables) {
  setting_store(SETTING_NANIDO, 2);
  setting_store(SETTING_GAME_SPEED, 3);
  store("MoviePlayMethod", 1);
  topmost_apply(1);
  menu_lock_a_set(1);
  const std::set<int> checked = {IDM_WINDOWED, IDM_TOPMOST, IDM_NANIDO_0 + 2, IDM_GAME_SPEED_0 + 3, IDM_MOVIE_METHOD_1};
  // Saving is not allowed; choice B is locked.
  const std::set<int> greyed = {IDM_SAVE, IDM_SAVE_AS, IDM_QUICK_SAVE, IDM_PREV_CHOICE};
  for (const menu_model& model : menu_models()) {
    open(model.name);
    send(WM_INITMENU, 0);
    for (int id : menu_model_ids(model)) {
      const auto& item = menu().menu[id];
      EXPECT_EQ(item.checked, checked.count(id) == 1) << model.name << " " << id;
      EXPECT_EQ(item.enabled, greyed.count(id) == 0) << model.name << " " << id;
    }
  }
}

}  // namespace
