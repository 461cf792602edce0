#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "base/datasource.h"
#include "base/env.h"
#include "base/registry.h"
#include "graphics/page.h"
#include "graphics/presentation.h"
#include "graphics/scaler.h"
#include "graphics/screen_geometry.h"
#include "platform/messages.h"
#include "shell/display_mode.h"
#include "shell/env_keys.h"
#include "shell/exit_state.h"
#include "shell/window_core.h"
#include "test_support.h"
#include "vm/thread.h"

// The full-screen pick on made-up mode lists.
TEST(DisplayMode, FullScreenPickByAspectClassAndPreference) {
  const std::vector<display_mode_entry> wide = {{1920, 1080, 32}, {1366, 768, 32}, {1280, 720, 32}, {1280, 800, 32}};
  const std::vector<display_mode_entry> narrow = {{1024, 768, 32}, {1280, 1024, 32}, {800, 600, 32}};
  const std::vector<display_mode_entry> shallow = {{1280, 720, 8}, {1280, 800, 16}};
  struct row {
    const std::vector<display_mode_entry>* modes;
    int preference, game_w, game_h, want_w, want_h;
  } rows[] = {
      {&wide, 2, 800, 600, 1280, 720},      // 16:9 first: the smallest that holds the game
      {&wide, 1, 800, 600, 1280, 800},      // 16:10 first
      {&wide, 0, 800, 600, 800, 600},       // no preference: the game size
      {&narrow, 1, 640, 480, 640, 480},     // no wide mode at all
      {&wide, 2, 1600, 900, 1920, 1080},    // too small modes are skipped
      {&shallow, 2, 640, 480, 1280, 800},   // 8 bits never count; 16:10 is the second choice
  };
  for (const row& r : rows) {
    int w = 0, h = 0;
    fullscreen_size_pick(*r.modes, r.preference, r.game_w, r.game_h, &w, &h);
    EXPECT_EQ(w, r.want_w) << r.preference << " " << r.game_w;
    EXPECT_EQ(h, r.want_h) << r.preference << " " << r.game_w;
  }
  EXPECT_EQ(aspect_class(1350, 1000), 0);
  EXPECT_EQ(aspect_class(1360, 1000), 1);
  EXPECT_EQ(aspect_class(1750, 1000), 2);
}

TEST(DisplayMode, ScaleTypesGiveViewAndZoom) {
  struct row {
    int type, gw, gh, fw, fh;
    display_view want;
  } rows[] = {
      {0, 640, 480, 1280, 960, {640, 480, -1, -1}},
      {1, 640, 480, 640, 480, {640, 480, -1, -1}},  // s = 50: as type 0
      {1, 640, 480, 1280, 720, {960, 720, 1500, 1500}},
      {2, 1024, 768, 1280, 1024, {1024, 998, 1000, 1300}},
      {2, 800, 600, 1280, 1024, {800, 720, 1000, 1200}},
      {3, 640, 480, 1280, 720, {640, 720, 1000, 1500}},
      {4, 640, 480, 1280, 720, {678, 720, 1060, 1500}},
  };
  for (const row& r : rows) {
    display_view v = display_scale_view(r.type, r.gw, r.gh, r.fw, r.fh);
    EXPECT_EQ(v.width, r.want.width) << r.type;
    EXPECT_EQ(v.height, r.want.height) << r.type;
    EXPECT_EQ(v.zoom_x, r.want.zoom_x) << r.type;
    EXPECT_EQ(v.zoom_y, r.want.zoom_y) << r.type;
  }
}

// The switch through injected window messages on the headless backend's fake clock: a main
// window of the game's size, on a 1920 x 1080 monitor, and a script thread for the built-ins.
class DisplaySwitch : public engine_test {
 protected:
  void SetUp() override {
    engine_test::SetUp();
    window_core_reset();
    display_mode_reset();
    platform.use_fake_clock(5000);
    data_base_folder_set(game.path().c_str());
    main_window_open(640, 480);
    set_screen_size(640, 480, 1);
    thread_switch(thread_create(0));
  }
  void TearDown() override {
    threads_destroy_all();
    thread_switch(nullptr);
    screen_geometry_reset();
    display_mode_reset();
    graphics_state_reset();
    hq_workers_stop();  // a death test's child would wait for them at its exit
    reg_store_reset();
    engine_test::TearDown();
  }
  static void send(uint32_t message, uintptr_t wparam, intptr_t lparam = 0) {
    display_mode_handler(nullptr, message, wparam, lparam);
  }
  // The window system's word that the window's state changed.
  static void confirm() { send(WM_SIZE, SIZE_RESTORED); }
  headless_platform::window_record& window() { return *platform.record(main_window_get()); }
  // A white front page of the game's size.
  static page* white_front() {
    page* front = page_new_rgb24(640, 480, 1);
    memset(front->bits, 0xFF, static_cast<size_t>(front->stride) * front->height);
    front_page_set(front);
    return front;
  }
  static inline int hook_calls = 0;
  static inline int switch_value = 0;
  temp_dir game;
};

TEST_F(DisplaySwitch, FullScreenOnlyOnceConfirmedAndDebounced) {
  send(WM_SYSKEYDOWN, VK_RETURN);
  EXPECT_EQ(is_fullscreen(), 0) << "not before the window system confirms";
  platform.fullscreen_pending = true;
  confirm();
  EXPECT_EQ(is_fullscreen(), 0) << "a state change that is not the full screen's own";
  platform.fullscreen_pending = false;
  confirm();
  EXPECT_EQ(is_fullscreen(), 1);
  builtin_call_named("screen_set_offset", {0, 0});
  EXPECT_EQ(page_to_window_x(0), (1920 - 640) / 2) << "centred once, not twice";
  platform.advance(999);
  send(WM_SYSKEYDOWN, VK_RETURN);  // within a second of the switch: dropped
  EXPECT_EQ(is_fullscreen(), 1);
  platform.advance(1);
  send(WM_KEYDOWN, VK_F4);
  EXPECT_EQ(is_fullscreen(), 0);
  EXPECT_EQ(page_to_window_x(0), 0);
  platform.advance(1000);
  send(WM_SIZE, SIZE_MAXIMIZED);  // maximising asks for full screen too
  confirm();
  EXPECT_EQ(is_fullscreen(), 1);
  platform.other_program_foreground = true;
  platform.advance(999);
  send(WM_KILLFOCUS, 0);  // too soon after the switch
  EXPECT_EQ(is_fullscreen(), 1);
  platform.advance(1);
  platform.other_program_foreground = false;
  send(WM_KILLFOCUS, 0);  // our own dialog took the focus
  EXPECT_EQ(is_fullscreen(), 1);
  platform.other_program_foreground = true;
  send(WM_KILLFOCUS, 0);
  EXPECT_EQ(is_fullscreen(), 0);
}

// Fit (type 1) scales 640 x 480 by 2240 per mille on 1920 x 1080 under the game's zoom (1.5) and
// offsets, whichever comes first: the page's centre on the screen's, 100 page pixels become 336,
// the script's offset is scaled too, the picture is cut to the game screen with black all round;
// the window gets the game's view back.
TEST_F(DisplaySwitch, TheGamesZoomComposesWithTheFullScreenScale) {
  white_front();
  display_scale_type_set(1);
  for (bool zoom_first : {true, false}) {
    if (zoom_first) builtin_call_named("screen_set_zoom", {1.5f});
    display_mode_toggle(1);
    confirm();
    if (!zoom_first) builtin_call_named("screen_set_zoom", {1.5f});
    EXPECT_NEAR(page_to_window_x(320) * 10000 + page_to_window_y(240), 960 * 10000 + 540, 2) << zoom_first;
    EXPECT_NEAR(page_to_window_x(420) - page_to_window_x(320), 336, 1);
    builtin_call_named("screen_set_offset", {-60, 120});
    EXPECT_NEAR(page_to_window_x(320), 960 + 134, 2);
    plat().window_set_client_size(main_window_get(), 1920, 1080);  // as the window system does
    platform.pump_host_events();
    const auto& shown = window();
    EXPECT_EQ(std::count(shown.pixels.begin(), shown.pixels.end(), 0u), 0) << "all painted";
    EXPECT_EQ(shown.pixel(100, 540) | shown.pixel(1800, 540), 0xFF000000u) << "black beside the game screen";
    EXPECT_EQ(shown.pixel(960, 540), 0xFFFFFFFFu);
    builtin_call_named("screen_set_offset", {0, 0});
    display_mode_toggle(0);
    confirm();
    EXPECT_EQ(page_to_window_x(420) * 1000 + page_to_window_x(320), 470 * 1000 + 320) << "the game's zoom";
    builtin_call_named("screen_set_zoom", {1.0f});
  }
}

// Leaving full screen puts the window back where it was, should the window system have left it
// elsewhere (the rectangles computed again meanwhile); the exit stores that place.
TEST_F(DisplaySwitch, LeavingFullScreenPutsTheWindowBackWhereItWas) {
  plat().window_move(main_window_get(), 241, 229);
  display_mode_toggle(1);
  window().x = window().y = 0;  // the window system fills the screen from its corner
  confirm();
  work_area_fit();
  display_mode_toggle(0);
  confirm();
  save_window_state();
  EXPECT_EQ(reg_get_int(reg_global_name(), reg_local_name(), "WinPosX", -1), 241);  // read from the window
  EXPECT_EQ(reg_get_int(reg_global_name(), reg_local_name(), "WinPosY", -1), 229);
}

// The size fix: the window keeps the game size, full screen the monitor less a shown menu bar,
// from the moment full screen is asked for.
TEST_F(DisplaySwitch, WindowPosChangingKeepsTheRectangleOfTheState) {
  auto offer = [](window_pos pos) {
    EXPECT_NE(display_mode_handler(nullptr, WM_WINDOWPOSCHANGING, 0, reinterpret_cast<intptr_t>(&pos)), 0);
    return pos;
  };
  window_pos grown = offer({30, 40, 700, 500, SWP_NOMOVE});
  EXPECT_EQ(grown.width * 10000 + grown.height, 640 * 10000 + 480);
  EXPECT_EQ(offer({30, 40, 700, 500, SWP_NOSIZE}).width, 700);
  display_mode_toggle(1);
  window_pos asked = offer({30, 40, 700, 500, 0});
  EXPECT_EQ(asked.x + asked.y + asked.width * 10000 + asked.height, 1920 * 10000 + 1080);
  confirm();
  work_area_fit();
  menu_bar_track_cursor(0, 0);
  window_pos shown = offer({0, 0, 1920, 1080, 0});
  EXPECT_EQ(shown.y * 10000 + shown.height, 44 * 10000 + 1080 - 44);
}

TEST_F(DisplaySwitch, HooksReplaceTheSwitchAndTheMenuBarFollowsTheCursor) {
  switch_value = 0;
  display_switch_hook_set([](int value) { return switch_value = value; });
  display_mode_reapply();  // after an interpreter run, in the window
  EXPECT_EQ(switch_value, -1) << "the window's state is applied again";
  hook_calls = 0;
  fullscreen_hook_set([] { hook_calls++; });
  send(WM_SYSKEYDOWN, VK_RETURN);
  EXPECT_EQ(hook_calls, 1);
  EXPECT_EQ(is_fullscreen(), 0);
  fullscreen_hook_set(nullptr);
  platform.advance(1000);
  display_mode_toggle(1);
  confirm();
  ASSERT_EQ(menu_bar_mode_get(), 1);
  work_area_fit();
  menu_bar_track_cursor(0, 3);
  send(WM_MENUSELECT, MENUSELECT_CLOSED, 0);
  send(WM_SYSCOMMAND, SC_KEYMENU);
  send(WM_POWERBROADCAST, 0);
  EXPECT_EQ(is_fullscreen(), 0) << "query-suspend goes back to the window";
}

// The screen-geometry built-ins through the dispatcher, each row from a fresh white 640 x 480
// front page: where the window shows a page point, whether the front page was blanked, and the
// window's client width after the calls (IGNORESCREENMODE in the last row).
TEST_F(DisplaySwitch, ScreenGeometryBuiltIns) {
  using calls = std::vector<std::pair<const char*, std::vector<call_arg>>>;
  const calls view = {{"screen_set_view", {640, 480}}};
  auto then = [](calls c, calls more) { return c.insert(c.end(), more.begin(), more.end()), c; };
  struct row {
    calls run;
    int px, py, want_x, want_y, blanked, client_width;
  } rows[] = {
      {{{"screen_set_zoom", {1.5f}}}, 420, 340, 470, 390, 0, 640},  // about the page's centre
      {{{"screen_set_zoom", {1.5015f}}}, 1000, 0, 1340, -120, 0, 640},  // 1501 made even
      {{{"screen_set_zoom", {0.0f}}}, 100, 100, 0, 0, 0, 640},
      {{{"screen_set_offset", {-60, 120}}}, 100, 100, 160, -20, 0, 640},
      {{{"screen_set_view", {320, 240}}}, 10, 20, 10, 20, 1, 640},
      {{{"screen_set_view", {320, 240, 10, 20}}}, 10, 20, 0, 0, 1, 640},
      {{{"screen_set_window_zoom", {1280, 960}}}, 0, 0, 640, 480, 1, 1280},  // no view yet: 0 x 0
      {then(view, {{"screen_set_window_zoom", {1280, 960, 1500, 1500}}}), 0, 0, 160, 120, 1, 1280},
      {then(view, {{"screen_set_window_zoom", {1280, 960}}}), 0, 0, 320, 240, 1, 1280},
      {then(view, {{"screen_set_window_zoom", {1280, 960, 1500, 1500}}, {"screen_set_offset", {10, 10}}}), 0, 0, -10,
       -10, 1, 1280},
      {then(view, {{"screen_set_window_zoom", {1280, 960, 1500, 1500}}, {"screen_set_offset", {10, 10}}}), 0, 0, 150,
       110, 1, 1280},
  };
  for (const row& r : rows) {
    presentation_reset();
    screen_geometry_reset();
    game_env_load(game, &r == std::end(rows) - 1 ? "IGNORESCREENMODE\t1\n" : "");
    set_screen_size(640, 480, 1);
    plat().window_set_client_size(main_window_get(), 640, 480);
    page* front = white_front();
    for (const auto& [name, args] : r.run) builtin_call_named(name, args);
    EXPECT_EQ(std::vector<int>({page_to_window_x(r.px), page_to_window_y(r.py), front->bits[0] == 0,
                                window().client_width}),
              std::vector<int>({r.want_x, r.want_y, r.blanked, r.client_width}))
        << &r - rows;
  }
  // The full-screen size for a game size: the 16:9 monitor for 1600 x 1080 (not for 1080 x 1600);
  // a forced width.
  widescreen_pref_set(2);
  EXPECT_EQ(builtin_call_named("get_fullscreen_width", {1600, 1080}), 1920);
  EXPECT_EQ(builtin_call_named("get_fullscreen_height", {1600, 1080}), 1080);
  fullscreen_width_set(1280);
  EXPECT_EQ(builtin_call_named("get_fullscreen_width", {1600, 1080}), 1280);
}
