// The headless backend's records, and the window services that both backends share: timers,
// painting into the client area, command lines, host paths and the single-instance lock.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "resources/menus.h"
#include "test_support.h"

static std::vector<window_message> received;

static std::string utf8(const char8_t* text) { return reinterpret_cast<const char*>(text); }

static intptr_t recording(window_handle w, uint32_t m, uintptr_t wp, intptr_t lp) {
  received.push_back({w, m, wp, lp});
  return default_window_procedure(w, m, wp, lp);
}

class HeadlessWindow : public engine_test {
 protected:
  window_handle window = nullptr;
  void SetUp() override {
    engine_test::SetUp();
    windows_reset();
    received.clear();
    window_spec spec;
    spec.procedure = recording;
    spec.client_width = 8;
    spec.client_height = 6;
    spec.menu_name = "VASKEL_MAIN";
    window = window_create(spec);
  }
  void TearDown() override {
    windows_reset();
    engine_test::TearDown();
  }
  // Empties the queue the way the drain does.
  void drain() {
    window_message m;
    while (message_peek(m)) message_dispatch(m);
  }
  size_t count(uint32_t message) const {
    size_t n = 0;
    for (const window_message& m : received) n += m.message == message;
    return n;
  }
};

TEST_F(HeadlessWindow, MenuStateFollowsCodeWithoutCommands) {
  headless_platform::window_record* r = platform.record(window);
  ASSERT_NE(r, nullptr);
  ASSERT_EQ(r->menu.size(), menu_model_ids(*menu_model_find("VASKEL_MAIN")).size());
  platform.menu_item_check(window, IDM_TOPMOST, true);
  platform.menu_item_enable(window, IDM_SAVE, false);
  platform.menu_item_delete(window, IDM_HELP);
  platform.menu_item_check(window, IDM_HELP, true);  // deleted: stays unchecked
  platform.menu_item_check(window, 39999, true);     // not in the menu
  drain();
  EXPECT_EQ(count(WM_COMMAND), 0u);
  EXPECT_TRUE(r->menu[IDM_TOPMOST].checked);
  EXPECT_FALSE(r->menu[IDM_SAVE].enabled);
  EXPECT_FALSE(r->menu[IDM_HELP].present);
  EXPECT_FALSE(r->menu[IDM_HELP].checked);
  EXPECT_EQ(r->menu.count(39999), 0u);
  EXPECT_TRUE(platform.menu_checked[39999]);  // the any-window record keeps every call
  EXPECT_TRUE(platform.menu_deleted.count(IDM_HELP));
}

TEST_F(HeadlessWindow, SidesNoPageCanHoldMakeNoClientArea) {
  struct {
    int width, height, expected_width, expected_height;
  } cases[] = {{65536, 65536, 0, 0}, {INT32_MAX, 480, 0, 480}, {8193, 8192, 0, 8192}, {-3, 2, 0, 2}};
  for (const auto& c : cases) {
    window_spec spec;
    spec.client_width = c.width;
    spec.client_height = c.height;
    headless_platform::window_record* r = platform.record(window_create(spec));
    EXPECT_EQ(r->client_width * 10000 + r->client_height, c.expected_width * 10000 + c.expected_height) << c.width;
    EXPECT_EQ(r->pixels.size(), static_cast<size_t>(c.expected_width) * c.expected_height);
  }
  platform.window_set_client_size(window, 65536, 65536);  // ignored, like a negative size
  EXPECT_EQ(platform.record(window)->pixels.size(), 8u * 6u);
}

TEST_F(HeadlessWindow, PaintingComesOnceForEverythingInvalidated) {
  // A 4 x 3 page, 24-bit, each pixel its own colour.
  uint8_t bits[3][12];
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x) {
      bits[y][x * 3] = static_cast<uint8_t>(x);       // blue
      bits[y][x * 3 + 1] = static_cast<uint8_t>(y);   // green
      bits[y][x * 3 + 2] = 0x80;                      // red
    }
  pixel_source page{&bits[0][0], 4, 3, 12, nullptr};
  static pixel_source* shown;
  shown = &page;
  window_spec spec;
  spec.client_width = 8;
  spec.client_height = 6;
  spec.procedure = [](window_handle w, uint32_t m, uintptr_t, intptr_t) -> intptr_t {
    received.push_back({w, m, 0, 0});
    if (m == WM_PAINT) plat().window_paint_pixels(w, 0, 0, *shown, {0, 0, 4, 3}, 2000, 2000);
    return 0;
  };
  window_handle w = window_create(spec);
  headless_platform::window_record* r = platform.record(w);

  plat_rect a{0, 0, 2, 2}, b{5, 4, 2, 2};
  platform.window_invalidate(w, &a);
  platform.window_invalidate(w, &b);
  platform.window_paint_fill(w, {0, 0, 8, 6}, 0xFFFFFF);  // outside a paint: nothing
  received.clear();
  drain();
  EXPECT_EQ(count(WM_PAINT), 1u);
  // The paint covered the bounding box of both rectangles, at twice the size, nearest pixel.
  EXPECT_EQ(r->pixel(0, 0), 0xFF800000u);
  EXPECT_EQ(r->pixel(3, 3), 0xFF800101u);  // page (1, 1)
  EXPECT_EQ(r->pixel(6, 5), 0xFF800203u);  // page (3, 2)
  EXPECT_EQ(r->pixel(7, 0), 0u);           // outside the invalid box: never painted
  drain();
  EXPECT_EQ(count(WM_PAINT), 1u);  // nothing invalid, no paint
}

TEST(HeadlessPaint, StretchClipsToAreaSourceAndPalette) {
  uint8_t indices[2][4] = {{0, 1, 0, 0}, {1, 0, 0, 0}};
  uint8_t palette[256 * 4] = {};
  palette[4 + 0] = 0x11;  // entry 1: blue 0x11, green 0x22, red 0x33
  palette[4 + 1] = 0x22;
  palette[4 + 2] = 0x33;
  pixel_source page{&indices[0][0], 2, 2, 4, palette};
  uint32_t out[5 * 5];
  std::fill(std::begin(out), std::end(out), 7u);
  // Source rectangle one pixel wider than the page: its column falls outside and stays as it was.
  paint_stretch_xrgb(page, {0, 0, 3, 2}, 1, 1, 1000, 1500, {0, 0, 5, 5}, out);
  EXPECT_EQ(out[0], 7u);                   // left of the picture
  EXPECT_EQ(out[1 * 5 + 1], 0xFF000000u);  // page (0, 0), entry 0
  EXPECT_EQ(out[1 * 5 + 2], 0xFF332211u);  // page (1, 0)
  EXPECT_EQ(out[2 * 5 + 1], 0xFF000000u);  // row 1 of 3 is still page row 0 at 1.5x
  EXPECT_EQ(out[3 * 5 + 1], 0xFF332211u);  // page (0, 1)
  EXPECT_EQ(out[1 * 5 + 3], 7u);           // page column 2 does not exist
  EXPECT_EQ(out[4 * 5 + 1], 7u);           // below the 3 rows of the picture
  plat_rect none = paint_picture_rect({0, 0, 3, 2}, 0, 0, 0, 1000);
  EXPECT_EQ(none.width, 0);
  plat_rect apart = rect_intersect({0, 0, 2, 2}, {5, 5, 1, 1});
  EXPECT_EQ(apart.width * apart.height, 0);
}

TEST_F(HeadlessWindow, TimersFireWhenDueAndOnlyWhenTheQueueIsEmpty) {
  EXPECT_EQ(timers_due_in(), WAIT_NO_LIMIT);
  timer_set(window, 0x10002, 100);
  drain();
  EXPECT_EQ(count(WM_TIMER), 0u);
  platform.advance(30);
  EXPECT_EQ(timers_due_in(), 70u);
  platform.advance(70);
  EXPECT_EQ(timers_due_in(), 0u);
  message_post(window, WM_USER, 0, 0);
  window_message m;
  ASSERT_TRUE(message_peek(m));
  EXPECT_EQ(m.message, WM_USER);  // queued messages first
  ASSERT_TRUE(message_peek(m));
  EXPECT_EQ(m.message, WM_TIMER);
  EXPECT_EQ(m.wparam, 0x10002u);
  EXPECT_FALSE(message_peek(m));  // one message per interval, however late
  platform.advance(250);
  ASSERT_TRUE(message_peek(m));
  EXPECT_FALSE(message_peek(m));
  timer_set(window, 0x10002, 50);  // the same id restarts
  platform.advance(49);
  EXPECT_FALSE(message_peek(m));
  EXPECT_TRUE(timer_kill(window, 0x10002));
  EXPECT_FALSE(timer_kill(window, 0x10002));
  platform.advance(1000);
  EXPECT_FALSE(message_peek(m));
  timer_set(window, 1, 10);
  window_destroy(window);  // its timers go with it
  platform.advance(20);
  while (message_peek(m)) EXPECT_NE(m.message, WM_TIMER);
}

// On the real clock a wait lasts until the clock's tick, and a message posted from any thread,
// before the wait or during it, ends it (the limits are far off: only a lost post reaches them).
TEST_F(HeadlessWindow, AWaitEndsAtItsTickOrAtAPostFromAnyThread) {
  headless_platform real;
  message_post_signal_clear();  // what earlier tests posted
  uint32_t begin = real.clock_ms();
  real.wait_events(20);
  EXPECT_GE(real.clock_ms() - begin, 20u);
  message_post(window, WM_USER, 1, 0);
  real.wait_events(600000);  // posted before the wait
  std::thread poster([this] { usleep(50000), message_post(window, WM_USER, 2, 0); });
  real.wait_events(600000);
  poster.join();
  EXPECT_LT(real.clock_ms() - begin, 300000u);
  drain();
  EXPECT_EQ(count(WM_USER), 2u);
}

TEST_F(HeadlessWindow, DroppedFilesAndSpawnedProgramsArriveAsMessages) {
  EXPECT_EQ(platform.drop_files(window, {"a.txt"}), 0u);  // not accepting
  platform.window_accept_files(window, true);
  uintptr_t drop = platform.drop_files(window, {"C:\\game\\start.vks", "b.png"});
  ASSERT_NE(drop, 0u);
  drain();
  ASSERT_EQ(count(WM_DROPFILES), 1u);
  std::vector<std::string> files;
  ASSERT_TRUE(dropped_files(received.back().wparam, files));
  EXPECT_EQ(files.size(), 2u);
  dropped_files_finish(drop);
  EXPECT_FALSE(dropped_files(drop, files));

  ASSERT_TRUE(platform.process_spawn("VaskelCompile.exe /f \"C:\\a b\\s.txt\"", "C:\\a b", window, 0x9003));
  ASSERT_EQ(platform.spawned.size(), 1u);
  EXPECT_EQ(platform.spawned[0].argv[2], "C:\\a b\\s.txt");
  platform.process_exit(0, 0);
  platform.process_exit(0, 0);  // ends once
  drain();
  EXPECT_EQ(count(0x9003), 1u);
}

TEST(PlatformShared, CommandLinesSplitAtBlanksOutsideQuotes) {
  using v = std::vector<std::string>;
  EXPECT_EQ(command_line_split("a b  c"), (v{"a", "b", "c"}));
  EXPECT_EQ(command_line_split("  \"C:\\Program Files\\ed.exe\" /j12 \"%fn%\" "),
            (v{"C:\\Program Files\\ed.exe", "/j12", "%fn%"}));
  EXPECT_EQ(command_line_split("x \"\" y"), (v{"x", "", "y"}));
  EXPECT_EQ(command_line_split("a\\\"b"), (v{"a\\b"}));  // a backslash escapes nothing
  EXPECT_EQ(command_line_split("\"unclosed quote"), (v{"unclosed quote"}));
  EXPECT_TRUE(command_line_split("   ").empty());
}

TEST(PlatformShared, HostPathsBecomeEnginePaths) {
  EXPECT_EQ(engine_path_from_host(utf8(u8"/home/p/セーブ/a.sav")), "\\home\\p\\セーブ\\a.sav");
  // A name that CP932 cannot hold keeps its bytes.
  std::string odd = "/tmp/\xF0\x9F\x98\x80";
  EXPECT_EQ(engine_path_from_host(odd), "\\tmp\\\xF0\x9F\x98\x80");
}

TEST(PlatformShared, SingleInstanceLockKeepsOtherProcessesOut) {
  temp_dir runtime;
  setenv("XDG_RUNTIME_DIR", runtime.path().c_str(), 1);  // each test's own home is set again after it
  auto other_process_gets = [](const std::string& name) {
    pid_t pid = fork();
    if (pid == 0) {
      instance_lock_release(name);  // the child's copy of our lock is not its own
      _exit(instance_lock_acquire(name) ? 0 : 1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
  };
  EXPECT_TRUE(instance_lock_acquire("ゲーム"));
  EXPECT_TRUE(instance_lock_acquire("ゲーム"));  // held already by us
  EXPECT_FALSE(other_process_gets("ゲーム"));
  EXPECT_TRUE(other_process_gets("別のゲーム"));
  instance_lock_release("ゲーム");
  EXPECT_TRUE(other_process_gets("ゲーム"));
}

// A runtime folder open to all, or a folder under the shared temporary folder that another user
// made first, never holds the lock: it goes to the cache folder, or nowhere (the game starts).
TEST(PlatformShared, TheLockGoesOnlyToAFolderOfTheUsersOwn) {
  temp_dir home;
  home.write("file", "");
  std::string tmp = std::string(getenv("TMPDIR")) + "/vaskrun-" + std::to_string(getuid());
  for (const std::string& folder : {home.at("open"), tmp}) mkdir(folder.c_str(), 0700), chmod(folder.c_str(), 0777);
  setenv("XDG_RUNTIME_DIR", home.at("open").c_str(), 1);
  for (const char* cache : {"cache", "file/x"}) {
    setenv("XDG_CACHE_HOME", home.at(cache).c_str(), 1);
    EXPECT_TRUE(instance_lock_acquire("ゲーム"));
    instance_lock_release("ゲーム");
  }
  EXPECT_TRUE(std::filesystem::is_empty(home.at("open")) && std::filesystem::is_empty(tmp));
  EXPECT_FALSE(std::filesystem::is_empty(home.at("cache/vaskrun")));
  std::filesystem::remove_all(tmp);
}

// The signals that end the session, each in a child process: the first is only noted (the next
// peek ends the game), a second of the same kind ends the process as that signal always does, one
// that comes before any window ends it at the peek with 128 + its number, and one the process was
// started without (nohup) stays ignored.
TEST(PlatformSharedDeath, SessionEndingSignalsKeepTheirOrderAndWhatTheProcessInherited) {
  auto caught = [] {
    windows_reset();
    session_end_signals_catch();
  };
  EXPECT_EXIT(
      {
        caught();
        raise(SIGTERM);
        if (!session_end_pending()) _exit(1);
        raise(SIGTERM);
        _exit(0);
      },
      testing::KilledBySignal(SIGTERM), "");
  EXPECT_EXIT(
      {
        caught();
        raise(SIGINT);
        window_message m;
        message_peek(m);
        _exit(0);
      },
      testing::ExitedWithCode(128 + SIGINT), "");
  EXPECT_EXIT(
      {
        signal(SIGHUP, SIG_IGN);
        caught();
        raise(SIGHUP);
        _exit(session_end_pending() ? 1 : 0);
      },
      testing::ExitedWithCode(0), "");
}
