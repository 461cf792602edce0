// Skip and auto modes: the mode table, the predicate with its skip-key rule, the flags and the
// built-ins over them, the screen-mode switch.
#include <cstdlib>

#include "base/env.h"
#include "base/registry.h"
#include "hooks_fixture.h"
#include "shell/menu_request.h"

namespace {

class skip_modes : public hooks {
 protected:
  void SetUp() override {
    hooks::SetUp();
    setenv("HOME", home.path().c_str(), 1);
    setenv("XDG_CONFIG_HOME", home.at("config").c_str(), 1);
    reg_store_reset();
    env_keys_reset();
    skip_suppress_clear();
  }
  void TearDown() override {
    input_reset();  // the CapsLock toggle and its snapshot
    skip_suppress_clear();
    if (fastmode_read_get()) fastmode_read_set(0);
    env_free();
    env_keys_reset();
    reg_store_reset();
    hooks::TearDown();
  }
  void load_env(const std::string& text) { game_env_load(game, text); }
  // A tap (press and release) of a virtual button, seen by the next snapshot.
  static void tap(int button) {
    input_button_event(-1, button, 0, 1);
    input_button_event(-1, button, 0, 0);
  }
  // Every flag on: forced skip, skip-all, skip-read and auto.
  static void all_on() {
    skip_mode_set(6);
    skip_flags_set(7);
  }

  temp_dir home;
};

TEST_F(skip_modes, TheModeTableFromEveryFlagOn) {
  struct {
    int mode;
    int fastmode;
    int bits;  // 1 skip-all, 2 skip-read, 4 auto
    int forced;
  } rows[] = {
      {0, 0, 0, 0}, {1, 0, 1, 0}, {1, 1, 2, 0}, {2, 0, 3, 0}, {3, 0, 4, 0},  {4, 0, 1, 0},
      {5, 1, 1, 0}, {6, 0, 1, 1}, {7, 0, 0, 0}, {8, 0, 7, 0}, {-1, 0, 7, 0},
  };
  for (const auto& row : rows) {
    if (fastmode_read_get() != row.fastmode) fastmode_read_set(row.fastmode);
    all_on();
    skip_mode_set(row.mode);
    EXPECT_EQ(skip_flags_get(), row.bits) << row.mode << " fast " << row.fastmode;
    EXPECT_EQ(force_skip_get(), row.forced) << row.mode;
  }
}

TEST_F(skip_modes, ModeFiveFollowsTheFastSkipSettingUnderAltMenuA) {
  load_env("ALTMENU_A 1\n");
  fastmode_read_set(1);
  skip_mode_set(5);
  EXPECT_EQ(skip_flags_get(), 2);
  fastmode_read_set(0);
  skip_mode_set(5);
  EXPECT_EQ(skip_flags_get(), 1);
  EXPECT_EQ(reg_get_int(reg_global_name(), reg_local_name(), "FastModeFlg_AR", -1), 0);
  EXPECT_EQ(call_plain(builtin_fastmode_read_set, {number(1)}), 0);
  EXPECT_EQ(fastmode_read_get(), 1);
  EXPECT_EQ(reg_get_int(reg_global_name(), reg_local_name(), "FastModeFlg_AR", -1), 1);
}

TEST_F(skip_modes, SkipReadStopsForGoodAtTheFirstUnreadLine) {
  skip_mode_set(2);
  line_was_read_set(1);
  EXPECT_TRUE(is_skipping());
  line_was_read_set(0);
  EXPECT_FALSE(is_skipping());
  EXPECT_EQ(skip_flags_get(), 0);
  line_was_read_set(1);
  EXPECT_FALSE(is_skipping());
}

TEST_F(skip_modes, AutoModeSkipsOnlyWhileThePageIsReady) {
  skip_mode_set(3);
  EXPECT_FALSE(is_skipping());
  call_plain(builtin_auto_ready_set, {number(1)});
  EXPECT_TRUE(is_skipping());
  auto_ready_set(0);
  EXPECT_FALSE(is_skipping());
  EXPECT_EQ(call_plain(builtin_is_auto_mode, {}), 1);
  skip_mode_set(0);
  EXPECT_EQ(is_auto_mode(), 0);
}

TEST_F(skip_modes, CapsLockIsTheAutoKeyUnderCapsMode1) {
  load_env("CAPSMODE 1\n");
  capslock_force(1);
  input_snapshot();
  EXPECT_EQ(is_auto_mode(), 1);
  EXPECT_EQ(skip_flags_get(), 0);  // the key is not the flag
  line_was_read_set(1);
  EXPECT_FALSE(is_skipping());  // not the skip key
  auto_ready_set(1);
  EXPECT_TRUE(is_skipping());
}

TEST_F(skip_modes, TheSkipKeySkipsReadLinesUntilCancelIsHeld) {
  capslock_force(1);
  input_snapshot();
  line_was_read_set(0);
  EXPECT_FALSE(is_skipping());
  line_was_read_set(1);
  EXPECT_TRUE(is_skipping());

  int pumps = 0;
  platform.on_pump = [&] { ++pumps; };
  tap(130);
  tap(136);
  input_button_event(-1, 131, 0, 1);  // held
  input_snapshot();
  EXPECT_FALSE(is_skipping());
  EXPECT_GT(pumps, 0);
  input_snapshot();
  EXPECT_EQ(capslock_skip_active(), 0);  // forced off
  EXPECT_EQ(input_take_press(130), 0);
  EXPECT_EQ(input_take_press(131), 0);
  EXPECT_EQ(input_take_press(136), 0);
  EXPECT_FALSE(is_skipping());

  // Without the skip key, holding cancel changes nothing and takes no press (a decide press
  // itself ends skipping, so the mode is set after it).
  tap(130);
  skip_mode_set(2);
  input_snapshot();
  EXPECT_TRUE(is_skipping());
  input_snapshot();
  EXPECT_NE(input_take_press(130), 0);
}

TEST_F(skip_modes, HandlersRunByTheCancelPumpMayAskThePredicateAgain) {
  capslock_force(1);
  line_was_read_set(1);
  input_button_event(-1, 131, 0, 1);
  input_snapshot();
  int depth = 0, deepest = 0, calls = 0;
  platform.on_pump = [&] {
    // The snapshot still shows the skip key and cancel held: a second pump would start here.
    ++depth, ++calls;
    if (depth > deepest) deepest = depth;
    if (depth < 4) {
      EXPECT_FALSE(is_skipping());
    }
    --depth;
  };
  EXPECT_FALSE(is_skipping());
  EXPECT_EQ(deepest, 1);
  EXPECT_GT(calls, 0);
}

TEST_F(skip_modes, BuiltinsSwitchModesAndReadFlags) {
  struct {
    builtin f;
    int bits;
  } rows[] = {{builtin_skip_all_on, 1}, {builtin_skip_read_on, 3}, {builtin_auto_on, 4},
              {builtin_skip_off, 0},    {builtin_skip_on, 1}};
  for (const auto& row : rows) {
    EXPECT_EQ(call_plain(row.f, {}), 0);
    EXPECT_EQ(skip_flags_get(), row.bits);
  }
  call_plain(builtin_skip_flags_set, {number(6)});
  EXPECT_EQ(call_plain(builtin_skip_flags_get, {}), 6);
  input_button_event(-1, 17, 0, 1);  // Ctrl down
  EXPECT_EQ(call_plain(builtin_skip_flags_get, {}), 0);
  input_button_event(-1, 17, 0, 0);
}

TEST_F(skip_modes, ForcedSkipTapsTheMiddleButtonAndTheResetKeepsOnlyTheFastSkipSetting) {
  call_plain(builtin_menu_lock_a_set, {});
  call_plain(builtin_menu_lock_b_set, {});
  call_plain(builtin_skip_force_on, {});
  EXPECT_EQ(force_skip_get(), 1);
  input_snapshot();
  EXPECT_NE(input_take_press(136), 0);
  EXPECT_EQ(call_plain(builtin_menu_lock_b_clear, {}), 1);

  fastmode_read_set(1);
  all_on();
  auto_ready_set(1);
  line_was_read_set(1);
  skip_reset();
  EXPECT_EQ(skip_flags_get() + force_skip_get() + menu_lock_a_get() + line_was_read(), 0);
  skip_mode_set(3);
  EXPECT_FALSE(is_skipping());  // auto-ready went too
  EXPECT_EQ(fastmode_read_get(), 1);
}

TEST_F(skip_modes, ScreenModeQueuesARequestUnderIgnoreScreenMode) {
  screen_mode_set(1);
  request_dispatch();
  int before = request_current();
  EXPECT_NE(before, 92);  // switched at once, nothing queued
  load_env("IGNORESCREENMODE 1\n");
  screen_mode_set(1);
  request_dispatch();
  EXPECT_EQ(request_current(), 92);
  screen_mode_set(0);
  request_dispatch();
  EXPECT_EQ(request_current(), 93);
}

}  // namespace
