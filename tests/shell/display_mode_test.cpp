#include <gtest/gtest.h>

#include "graphics/page.h"
#include "graphics/presentation.h"
#include "graphics/screen_geometry.h"
#include "platform/messages.h"
#include "shell/display_mode.h"
#include "shell/window_core.h"
#include "test_support.h"

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

TEST(ScreenGeometry, ZoomAndRecentringArithmetic) {
  EXPECT_EQ(screen_zoom_per_mille(1.0015f), 1000);
  EXPECT_EQ(screen_zoom_per_mille(1.5f), 1500);
  EXPECT_EQ(screen_zoom_per_mille(1.5015f), 1500);  // 1501 made even
  EXPECT_EQ(screen_window_zoom_offset(1280, 640, 2000), 0);
  EXPECT_EQ(screen_window_zoom_offset(1280, 640, 1500), -160);
  EXPECT_EQ(screen_window_zoom_offset(960, 480, 1500), -120);
  // A centred 2x zoom of 640 shows page pixels 160..479; 1x starts at 0; 0.5x shows a border.
  EXPECT_EQ(screen_zoom_origin(640, 2000), 160);
  EXPECT_EQ(screen_zoom_origin(640, 1000), 0);
  EXPECT_EQ(screen_zoom_origin(640, 500), -320);
  EXPECT_EQ(screen_zoom_origin(640, 0), 0);
}

// The switch through injected window messages on the headless backend's fake clock.
class DisplaySwitch : public engine_test {
 protected:
  void SetUp() override {
    engine_test::SetUp();
    window_core_reset();
    display_mode_reset();
    platform.use_fake_clock(5000);
    set_screen_size(640, 480, 1);
  }
  void TearDown() override {
    display_mode_reset();
    window_core_reset();
    engine_test::TearDown();
  }
  static void send(uint32_t message, uintptr_t wparam, intptr_t lparam = 0) {
    display_mode_handler(nullptr, message, wparam, lparam);
  }
  static inline int hook_calls = 0;
};

TEST_F(DisplaySwitch, FullScreenOnlyOnceConfirmedAndDebounced) {
  send(WM_SYSKEYDOWN, VK_RETURN);
  EXPECT_EQ(is_fullscreen(), 0) << "not before the window system confirms";
  send(WM_SIZE, SIZE_RESTORED);
  EXPECT_EQ(is_fullscreen(), 1);
  EXPECT_EQ(fullscreen_offset_x(), 0) << "type 0 has no scaled view";
  view_offset_set(fullscreen_offset_x(), fullscreen_offset_y());  // a script's screen_set_offset(0, 0)
  EXPECT_EQ(page_to_window_x(0), (1920 - 640) / 2) << "centred once, not twice";
  send(WM_SYSKEYDOWN, VK_RETURN);  // within a second: dropped
  EXPECT_EQ(is_fullscreen(), 1);
  platform.advance(1000);
  send(WM_KEYDOWN, VK_F4);
  EXPECT_EQ(is_fullscreen(), 0);
  EXPECT_EQ(page_to_window_x(0), 0);
  platform.advance(1000);
  send(WM_SIZE, SIZE_MAXIMIZED);  // maximising asks for full screen too
  send(WM_SIZE, SIZE_RESTORED);
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

// Fit (type 1) zooms the page by the smaller screen ratio and centres it: the page's centre lies on
// the screen's centre, and a script's offset of (0, 0) keeps it there.
TEST_F(DisplaySwitch, FitScalesAndCentresThePicture) {
  front_page_set(page_new_rgb24(640, 480, 1));
  display_scale_type_set(1);
  display_mode_toggle(1);
  send(WM_SIZE, SIZE_RESTORED);
  view_offset_set(fullscreen_offset_x(), fullscreen_offset_y());
  EXPECT_EQ(page_to_window_x(320), 1920 / 2);
  EXPECT_EQ(page_to_window_y(240), 1080 / 2);
  platform.advance(1000);
  display_mode_toggle(0);
  EXPECT_EQ(page_to_window_x(320), 320) << "the window shows the page 1:1 again";
  presentation_reset();
  page_free_all_at_exit();
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
  send(WM_SIZE, SIZE_RESTORED);
  work_area_fit();
  menu_bar_track_cursor(0, 0);
  window_pos shown = offer({0, 0, 1920, 1080, 0});
  EXPECT_EQ(shown.y * 10000 + shown.height, 44 * 10000 + 1080 - 44);
}

TEST_F(DisplaySwitch, HooksReplaceTheSwitchAndTheMenuBarFollowsTheCursor) {
  hook_calls = 0;
  fullscreen_hook_set([] { hook_calls++; });
  send(WM_SYSKEYDOWN, VK_RETURN);
  EXPECT_EQ(hook_calls, 1);
  EXPECT_EQ(is_fullscreen(), 0);
  fullscreen_hook_set(nullptr);
  platform.advance(1000);
  display_mode_toggle(1);
  send(WM_SIZE, SIZE_RESTORED);
  ASSERT_EQ(menu_bar_mode_get(), 1);
  work_area_fit();
  menu_bar_track_cursor(0, 3);
  send(WM_MENUSELECT, MENUSELECT_CLOSED, 0);
  send(WM_SYSCOMMAND, SC_KEYMENU);
  send(WM_POWERBROADCAST, 0);
  EXPECT_EQ(is_fullscreen(), 0) << "query-suspend goes back to the window";
}
