#include <gtest/gtest.h>

#include "platform/messages.h"
#include "shell/ime.h"
#include "shell/window_core.h"
#include "test_support.h"

class ImeAndCentring : public engine_test {
 protected:
  void SetUp() override {
    engine_test::SetUp();
    window_core_reset();
    ime_enable();
  }
  void TearDown() override {
    ime_enable();
    window_core_reset();
    engine_test::TearDown();
  }
};

TEST_F(ImeAndCentring, FilterIsInTheTableOnceWhileTheImeIsOff) {
  ime_disable();
  ime_disable();
  EXPECT_EQ(ime_disabled(), 1);
  EXPECT_EQ(wndproc_handler_remove(ime_notify_filter), 0);
  EXPECT_EQ(wndproc_handler_remove(ime_notify_filter), 1) << "added twice";
  ime_disable();
  ime_enable();
  EXPECT_EQ(ime_disabled(), 0);
  EXPECT_EQ(wndproc_handler_remove(ime_notify_filter), 1);
  for (uintptr_t w : {0u, 1u, 2u, 3u, 9u})
    EXPECT_EQ(ime_notify_filter(nullptr, WM_IME_NOTIFY, w, 0), w == 1 || w == 2 ? 1 : 0) << w;
  EXPECT_EQ(ime_notify_filter(nullptr, WM_SYSKEYDOWN, 1, 0), 0);
  EXPECT_EQ(wallpaper_apply("a.bmp", 1), WALLPAPER_SYSTEM_REFUSED);
}

TEST_F(ImeAndCentring, CentringClampsToTheScreen) {
  struct row {
    int rx, ry, rw, rh, w, h, want_x, want_y;
  } rows[] = {
      {100, 100, 640, 480, 200, 100, 320, 290},
      {0, 0, 1920, 1080, 2000, 1200, 0, 0},  // larger than the screen: at the corner
      {1800, 1000, 400, 300, 200, 100, 1720, 980},  // would leave the screen: pulled back
      {-300, -200, 100, 100, 50, 50, 0, 0},
  };
  for (const row& r : rows) {
    int x, y;
    center_position(r.rx, r.ry, r.rw, r.rh, r.w, r.h, 1920, 1080, &x, &y);
    EXPECT_EQ(x, r.want_x) << r.rx;
    EXPECT_EQ(y, r.want_y) << r.ry;
  }
}
