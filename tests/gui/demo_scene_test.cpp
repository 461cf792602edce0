// The sample game's title in the real window: vaskrun plays a copy of the packaged game on the
// private X server, and the title screen matches the golden picture of the headless playthrough
// (demo_game_test.cpp), in the window and centred on the screen after Alt+Enter; F4 goes back to
// the window's place, which the exit stores. Scaled to the screen, the title, the chapter's zoom
// and the page after it show the same pictures, enlarged. An open menu of the bar holds the game.
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "golden.h"
#include "gui_fixture.h"
#include "playthrough.h"
#include "test_support.h"

namespace {

const std::filesystem::path built = sample_game_built("packaged");
constexpr int W = 800, H = 600;

class SampleGame : public gui_test {
 protected:
  void TearDown() override {
    vaskrun_stop(child);
    window_manager_stop(wm);
    gui_test::TearDown();
  }

  // vaskrun on a copy of the sample game with settings of its own (their first lines given), the
  // pointer away from the menu, whose entry under it would be framed (and the top edge shows the
  // full screen's menu bar); the X id of its window once it shows.
  unsigned long play(const std::string& settings = "") {
    std::filesystem::create_directories(home.at("config/vaskrun"));
    std::ofstream(home.at("config/vaskrun/demo.ini")) << "[values]\n" << settings;
    sample_game_copy("packaged", home.at("game"));
    xdotool("mousemove 1023 767");
    child = vaskrun_start(home.at("game"), home.path());
    unsigned long xid = 0;
    EXPECT_TRUE(pump_until([&] { return (xid = find_window("vaskrun sample game")) != 0; }, 20000));
    return xid;
  }

  // Keys go to the window after it is activated, each time: a key sent to an inactive window is
  // not delivered reliably.
  void key(unsigned long xid, const char* keys) {
    xdotool("windowactivate --sync " + std::to_string(xid) + " key --clearmodifiers " + keys);
  }

  // How many of want's pixels the 1024 x 768 screen shows otherwise inside the page rectangle part,
  // page pixel (x, y) lying at screen pixel (x * zoom + dx, y * zoom + dy); -1 without the picture.
  int enlarged_mismatches(const std::vector<uint32_t>& want, double zoom, double dx, double dy, golden_skip part,
                          golden_skip skip = {}) {
    if (want.size() != static_cast<size_t>(W) * H) return -1;
    std::vector<uint32_t> screen = screenshot(0, 0, 1024, 768), got = want;
    for (int y = part.y; y < part.y + part.height; ++y)
      for (int x = part.x; x < part.x + part.width; ++x)
        got[static_cast<size_t>(y) * W + x] =
            screen[std::clamp(static_cast<int>((y + 0.5) * zoom + dy), 0, 767) * 1024 +
                   std::clamp(static_cast<int>((x + 0.5) * zoom + dx), 0, 1023)];
    return golden_mismatches(got, want, skip);
  }

  // The pixels of the game area (the bottom 800 x 600 of the window, under its menu bar) on the
  // 1024 x 768 screen that differ from the picture; -1 while the window has not its size.
  int area_mismatches(unsigned long xid, const std::vector<uint32_t>& want) {
    // Asked each time: a busy machine may show the window before its last size.
    int x, y, width, height;
    if (want.size() != size_t(W) * H || !window_geometry(xid, x, y, width, height) || height < H) return -1;
    y += height - H;
    int shown_w = std::min(W, 1024 - x), shown_h = std::min(H, 768 - y);
    if (x < 0 || y < 0 || shown_w <= 0 || shown_h <= 0) return -1;
    std::vector<uint32_t> shot = screenshot(x, y, shown_w, shown_h), got = want;
    for (int row = 0; row < shown_h && !shot.empty(); ++row)
      std::copy_n(shot.begin() + row * shown_w, shown_w, got.begin() + row * W);
    return golden_mismatches(got, want);
  }
  // The window's place and size, "x,y widthxheight".
  static std::string place(unsigned long xid) {
    int x = 0, y = 0, w = 0, h = 0;
    window_geometry(xid, x, y, w, h);
    return std::to_string(x) + "," + std::to_string(y) + " " + std::to_string(w) + "x" + std::to_string(h);
  }
  // Waits until the game shows its title in its window, which stands still at its place: the game
  // is ready for the keys.
  bool title_shown(unsigned long xid, const std::vector<uint32_t>& title) {
    auto shown = [&](const std::string&) {
      int bad = area_mismatches(xid, title);
      return bad >= 0 && bad < W * H / 100;
    };
    return pump_until_steady([&] { return place(xid); }, shown, 20000);
  }

  // The X window titled so, or 0.
  unsigned long find_window(const char* title) {
    gchar* out = nullptr;
    std::string command = std::string("xdotool search --name \"") + title + "\"";
    if (!g_spawn_command_line_sync(command.c_str(), &out, nullptr, nullptr, nullptr)) return 0;
    unsigned long id = out ? strtoul(out, nullptr, 10) : 0;
    g_free(out);
    return id;
  }

  int child = -1, wm = 0;
  temp_dir home;
};

// The title waits for the player: its picture is taken as it first stands.
TEST_F(SampleGame, TheTitleOnScreenMatchesTheHeadlessPlaythrough) {
  if (built.empty()) GTEST_SKIP() << "the sample game is not built";
  std::vector<uint32_t> want = golden_picture("01-title");
  ASSERT_EQ(want.size(), static_cast<size_t>(W) * H);

  unsigned long xid = play();
  ASSERT_NE(xid, 0u) << "vaskrun's window did not appear";

  int best = -1;
  EXPECT_TRUE(pump_until([&] { return (best = area_mismatches(xid, want)) >= 0 && best < W * H / 100; }, 4000))
      << best << " pixels differ";
  int x, y, width, height;
  if (window_geometry(xid, x, y, width, height)) save_screenshot("sample-game-title", x, y, width, height);
}

// Alt+Enter and F4 switch the game to full screen and back under a window manager; in full screen
// the title lies centred on the 1024 x 768 screen (scale type 0) while it waits. The window starts
// at the place the settings keep (partly off the screen, as a player may leave it), comes back to
// exactly that place and size, and the exit stores it.
TEST_F(SampleGame, AltEnterAndF4SwitchToFullScreenAndBack) {
  if (built.empty()) GTEST_SKIP() << "the sample game is not built";
  if (!(wm = window_manager_start())) GTEST_SKIP() << "openbox is not installed";
  std::vector<uint32_t> want = golden_picture("01-title");
  unsigned long xid = play("WinPosX=241\nWinPosY=229\n");
  ASSERT_NE(xid, 0u);
  ASSERT_TRUE(title_shown(xid, want)) << "the title did not show";
  std::string before = place(xid);
  save_screenshot("sample-game-window-before-fullscreen", 0, 0, 1024, 768);
  key(xid, "alt+Return");
  EXPECT_TRUE(pump_until([&] { return place(xid) == "0,0 1024x768"; }, 10000)) << "Alt+Enter did not fill the screen";
  int best = -1;
  bool centred = pump_until(
      [&] {
        // The keys put the title in keyboard mode, which frames its first entry: the entries are left out.
        best = golden_mismatches(screenshot((1024 - W) / 2, (768 - H) / 2, W, H), want, {272, 292, 256, 244});
        return best >= 0 && best < W * H / 100;
      },
      4000);
  save_screenshot("sample-game-fullscreen", 0, 0, 1024, 768);
  EXPECT_TRUE(centred) << best << " pixels of the centred picture differ";
  pump_for(1100);  // past the switch's one-second debounce
  key(xid, "F4");
  EXPECT_TRUE(pump_until([&] { return place(xid) == before; }, 10000))
      << "F4 left the window at " << place(xid) << ", not at " << before;
  save_screenshot("sample-game-window-after-fullscreen", 0, 0, 1024, 768);
  // Closing asks first; Enter answers yes, and the game ends in order.
  key(xid, "alt+F4");
  std::string question;
  ASSERT_TRUE(pump_until([&] { return !(question = window_besides(child, {std::to_string(xid)})).empty(); }, 10000))
      << "closing asked nothing";
  xdotool("windowactivate --sync " + question + " key --clearmodifiers Return");
  ASSERT_TRUE(pump_until([&] { return waitpid(child, nullptr, WNOHANG) == child; }, 20000)) << "it went on";
  child = -1;
  std::string settings = slurp(home.at("config/vaskrun/demo.ini"));
  EXPECT_NE(settings.find("WinPosX=241\nWinPosY=229\n"), std::string::npos) << settings;
}

// Enlarged to the screen (FullScreenFit 1: 800 x 600 on 1024 x 768 is 1.28 times), the title, the
// chapter's 1.5 times zoom on the picture's centre (and its glide toward the sun) and the scene after
// it show the pictures of the headless playthrough, enlarged; the game's zoom is on top of the
// screen's, and nothing of an earlier frame stays beside the picture.
TEST_F(SampleGame, ScaledFullScreenComposesWithTheGamesZoom) {
  if (built.empty()) GTEST_SKIP() << "the sample game is not built";
  if (!(wm = window_manager_start())) GTEST_SKIP() << "openbox is not installed";
  std::vector<uint32_t> title = golden_picture("01-title"), page = golden_picture("02-first-page");
  // The title goes on to the chapter by itself only when the game plays itself.
  unsigned long xid = play("FullScreenFit=1\nDemoLoop=1\n");
  ASSERT_NE(xid, 0u);
  ASSERT_TRUE(title_shown(xid, title)) << "the title did not show";
  key(xid, "alt+Return");
  int bad = -1;
  auto few = [&](int mismatches, int pixels) { return (bad = mismatches) >= 0 && bad < pixels / 50; };
  // The title, its entries left out (the keys framed the first).
  EXPECT_TRUE(pump_until(
      [&] { return few(enlarged_mismatches(title, 1.28, 0, 0, {0, 0, W, H}, {272, 292, 256, 244}), W * H); }, 4000))
      << bad;
  save_screenshot("sample-game-fullscreen-scaled", 0, 0, 1024, 768);
  // The zoom shows page pixels 133..666 and 100..499 at 1.92 (1.5 x 1.28): above the name plate
  // the first page's picture, still or gliding by the script's (-60, 120), enlarged.
  const golden_skip sky{137, 104, 526, 286};
  EXPECT_TRUE(pump_until(
      [&] {
        int still = enlarged_mismatches(page, 1.92, -255, -192, sky);
        return few(std::min(still, enlarged_mismatches(page, 1.92, -179, -345, sky)), 526 * 286);
      },
      20000))
      << bad;
  save_screenshot("sample-game-fullscreen-scaled-zoom", 0, 0, 1024, 768);
  // After it, the scene above the text as the first page has it.
  EXPECT_TRUE(pump_until([&] { return few(enlarged_mismatches(page, 1.28, 0, 0, {0, 0, W, 390}), W * 390); }, 20000))
      << bad;
  save_screenshot("sample-game-fullscreen-scaled-after-zoom", 0, 0, 1024, 768);
}

// Playing by itself, the title starts the chapter after five seconds; a menu of the bar opened
// over it holds the game (a window manager gives the menu its grab), and once the menu closes the
// game goes on.
TEST_F(SampleGame, AnOpenMenuHoldsTheTitleUntilItCloses) {
  if (built.empty()) GTEST_SKIP() << "the sample game is not built";
  if (!(wm = window_manager_start())) GTEST_SKIP() << "openbox is not installed";
  std::vector<uint32_t> title = golden_picture("01-title");
  ASSERT_NE(play("DemoLoop=1\n"), 0u);
  int left = 0, top = 0;
  ASSERT_TRUE(game_area_find("vaskrun sample game", W, H, left, top));
  // The first menu drops over the left half of the game area; the right half is the title's.
  auto right_half_off = [&] { return golden_mismatches(screenshot(left, top, W, H), title, {0, 0, W / 2, H}); };
  auto left_half_off = [&] { return golden_mismatches(screenshot(left, top, W, H), title, {W / 2, 0, W / 2, H}); };
  int off = -1;
  ASSERT_TRUE(pump_until([&] { return (off = right_half_off()) >= 0 && off < W * H / 200; }, 60000))
      << "the title did not show: " << off << " pixels differ at " << left << ", " << top;

  ASSERT_EQ(xdotool("mousemove " + std::to_string(left + 20) + " " + std::to_string(top - 10) + " click 1"), 0);
  ASSERT_TRUE(pump_until([&] { return left_half_off() > 5000; }, 10000)) << "the menu did not open";
  pump_for(7000);  // past the five seconds after which the title starts the chapter
  int bar = std::min(top, 40);  // the menu bar above the game area, in the picture
  save_screenshot("menu-holds-the-game", left, top - bar, W, H + bar);
  EXPECT_LT(right_half_off(), W * H / 200) << "the game went on behind the open menu";

  xdotool("key Escape");
  EXPECT_TRUE(pump_until([&] { return right_half_off() > W * H / 20; }, 60000)) << "the game did not go on";
}

}  // namespace
