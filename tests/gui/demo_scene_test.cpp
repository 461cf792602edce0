// The sample game's title in the real window: vaskrun plays the packaged game on the private X
// server, and the title screen matches the golden picture of the headless playthrough
// (demo_game_test.cpp), in the window and centred on the screen after Alt+Enter; F4 goes back.
#include <signal.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>

#include "golden.h"
#include "gui_fixture.h"
#include "platform/headless/headless.h"
#include "shell/display_mode.h"
#include "shell/exit_state.h"
#include "shell/window_core.h"
#include "test_support.h"

// After gtest: the X headers define None.
#include <gdk/gdkx.h>

namespace {

const std::string game = VASK_BINARY_DIR "/demo/packaged";
constexpr int W = 800, H = 600;

class SampleGame : public gui_test {
 protected:
  void TearDown() override {
    vaskrun_stop(child);
    gui_test::TearDown();
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

  pid_t child = -1;
  temp_dir home;
};

// The title stands five seconds before it starts the game by itself: the picture is taken at once.
TEST_F(SampleGame, TheTitleOnScreenMatchesTheHeadlessPlaythrough) {
  if (!std::filesystem::exists(game + "/data.arc")) GTEST_SKIP() << "the sample game is not built";
  std::vector<uint32_t> want = golden_picture("01-title");
  ASSERT_EQ(want.size(), static_cast<size_t>(W) * H);

  // vaskrun on this display, in the game's folder, with settings of its own; the pointer away from
  // the menu, whose entry under it would be framed.
  xdotool("mousemove 1023 767");
  child = vaskrun_start(game, home.path());
  ASSERT_GT(child, 0);
  unsigned long xid = 0;
  ASSERT_TRUE(pump_until([&] { return (xid = find_window("vaskrun sample game")) != 0; }, 20000))
      << "vaskrun's window did not appear";

  // The client area is the bottom 800 x 600 of the window, under the menu bar.
  GdkWindow* frame = gdk_x11_window_foreign_new_for_display(gdk_display_get_default(), xid);
  ASSERT_NE(frame, nullptr);
  int best = -1;
  bool settled = pump_until(
      [&] {
        // Asked of the server each time: a busy machine may show the window before its last size.
        int x, y, width, height;
        gdk_window_get_geometry(frame, nullptr, nullptr, &width, &height);
        gdk_window_get_origin(frame, &x, &y);
        if (height < H) return false;
        best = golden_mismatches(screenshot(x, y + height - H, W, H), want);
        save_screenshot("sample-game-title", x, y, width, height);
        return best >= 0 && best < W * H / 100;
      },
      4000);
  g_object_unref(frame);
  EXPECT_TRUE(settled) << best << " pixels differ";
}

// Whether the full-screen hook that start-up installs switches (asked here on the headless backend).
bool fullscreen_hook_switches() {
  headless_platform host;
  host.print_boxes = false;
  platform_backend* previous = plat_install(&host);
  window_spec spec;
  spec.procedure = main_window_class_proc;
  spec.client_width = W;
  spec.client_height = H;
  window_handle window = window_create(spec);
  main_window_set(window);
  set_screen_size(W, H, 0);
  enter_fullscreen_callback();
  bool asked = host.record(window) && host.record(window)->fullscreen;
  window_destroy(window);
  display_mode_reset();
  window_core_reset();
  windows_reset();
  plat_install(previous);
  return asked;
}

// Alt+Enter and F4 switch the game to full screen and back under a window manager (full screen
// needs one); in full screen the title lies centred on the 1024 x 768 screen (scale type 0), while
// it stands before the game starts by itself.
// Keys go to the window after it is activated, each time: a key sent to an inactive window is
// not delivered reliably.
TEST_F(SampleGame, AltEnterAndF4SwitchToFullScreenAndBack) {
  if (!std::filesystem::exists(game + "/data.arc")) GTEST_SKIP() << "the sample game is not built";
  if (!fullscreen_hook_switches()) GTEST_SKIP() << "the full-screen hook does not switch yet";
  gchar* wm_path = g_find_program_in_path("openbox");
  if (!wm_path) GTEST_SKIP() << "openbox is not installed";
  gchar* wm_argv[] = {wm_path, nullptr};
  GPid wm = 0;
  ASSERT_TRUE(g_spawn_async(nullptr, wm_argv, nullptr, G_SPAWN_DO_NOT_REAP_CHILD, nullptr, nullptr, &wm, nullptr));
  g_free(wm_path);
  std::vector<uint32_t> want = golden_picture("01-title");
  xdotool("mousemove 1023 767");  // outside the game area (the top edge would show the menu bar)
  gchar** env = g_get_environ();
  env = g_environ_setenv(env, "HOME", home.path().c_str(), TRUE);
  env = g_environ_setenv(env, "XDG_CONFIG_HOME", home.at("config").c_str(), TRUE);
  env = g_environ_setenv(env, "XDG_RUNTIME_DIR", home.path().c_str(), TRUE);
  gchar* argv[] = {const_cast<gchar*>(VASK_BINARY_DIR "/vaskrun"), nullptr};
  GPid pid = 0;
  bool started = g_spawn_async(game.c_str(), argv, env, G_SPAWN_DO_NOT_REAP_CHILD, nullptr, nullptr, &pid, nullptr);
  g_strfreev(env);
  ASSERT_TRUE(started);
  child = pid;
  unsigned long xid = 0;
  ASSERT_TRUE(pump_until([&] { return (xid = find_window("vaskrun sample game")) != 0; }, 20000));
  GdkWindow* frame = gdk_x11_window_foreign_new_for_display(gdk_display_get_default(), xid);
  ASSERT_NE(frame, nullptr);
  // Asked of the server each time: GDK does not follow another client's window by itself.
  auto fills_screen = [&] {
    int x, y, w, h;
    gdk_window_get_geometry(frame, &x, &y, &w, &h);
    return w == 1024 && h == 768;
  };
  pump_for(500);
  xdotool("windowactivate --sync " + std::to_string(xid) + " key --clearmodifiers alt+Return");
  EXPECT_TRUE(pump_until(fills_screen, 10000)) << "Alt+Enter did not fill the screen";
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
  xdotool("windowactivate --sync " + std::to_string(xid) + " key --clearmodifiers F4");
  EXPECT_TRUE(pump_until([&] { return !fills_screen(); }, 10000)) << "F4 did not go back to the window";
  g_object_unref(frame);
  kill(wm, SIGTERM);
  waitpid(wm, nullptr, 0);
}

}  // namespace
