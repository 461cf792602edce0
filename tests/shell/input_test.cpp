// Keys, virtual buttons and the mouse: the key map, press timing, click suppression, blocking,
// keyboard and mouse modes, the skip keys and the key-state built-ins.
#include <climits>
#include <set>

#include "input_fixture.h"
#include "vm/skip.h"

namespace {

using Input = input_scene;

// Every index whose snapshot flag is set.
std::set<int> held() {
  std::set<int> s;
  for (int i = 0; i < 256; ++i)
    if (input_is_pressed(i)) s.insert(i);
  return s;
}

TEST_F(Input, TheKeyMapFoldsKeysIntoVirtualButtons) {
  struct {
    int key;
    bool shift;
    std::set<int> pressed;
  } rows[] = {
      {VK_RETURN, false, {13, 130}}, {VK_ESCAPE, false, {27, 131}}, {'X', false, {88, 130}},
      {'Z', false, {90, 131}},       {VK_LEFT, false, {37, 135}},   {VK_RIGHT, false, {39, 134}},
      {VK_UP, false, {38, 132}},     {VK_DOWN, false, {40, 133}},   {VK_NUMPAD0 + 4, false, {100, 134}},
      {VK_NUMPAD0, false, {96, 131}}, {VK_END, false, {35, 131}},   {VK_SPACE, false, {32, 130}},
      {VK_TAB, false, {9, 128, 135}}, {VK_TAB, true, {9, 16, 129, 134, 136}},
      {'A', false, {65}},            {'9', false, {}},              {VK_F1 + 4, false, {}},
  };
  for (const auto& row : rows) {
    if (row.shift) key_down(VK_SHIFT);
    key_down(row.key);
    input_snapshot();
    EXPECT_EQ(held(), row.pressed) << row.key;
    EXPECT_EQ(input_take_last_key(), row.key);
    key_up(row.key);
    if (row.shift) key_up(VK_SHIFT);
    later(100);
    input_snapshot();
    EXPECT_EQ(held(), std::set<int>{}) << row.key;
  }
  space_key_mode_set(1);
  key_down(VK_SPACE);
  input_snapshot();
  EXPECT_EQ(held(), (std::set<int>{32, 147}));
}

TEST_F(Input, APressIsTakenOnceWithin60MsAndCountsAsHeldFor15MsAcrossTheClockWrap) {
  for (bool wrap : {false, true}) {
    if (wrap) later(static_cast<uint32_t>(INT32_MAX - vm_time_now() - 20));  // wraps 20 ms after the press
    key(VK_RETURN);
    int32_t at = vm_time_now();
    input_snapshot();
    later(14);
    EXPECT_EQ(input_is_pressed(BUTTON_DECIDE), 1) << wrap;  // released, but pressed less than 15 ms ago
    later(1);
    EXPECT_EQ(input_is_pressed(BUTTON_DECIDE), 0) << wrap;
    later(44);
    EXPECT_EQ(input_take_press(BUTTON_DECIDE), at) << wrap;
    input_snapshot();
    EXPECT_EQ(input_take_press(BUTTON_DECIDE), 0) << wrap;  // consumed
    key(VK_RETURN);
    input_snapshot();
    later(60);
    EXPECT_EQ(input_take_press(BUTTON_DECIDE), 0) << wrap;  // too old
    if (wrap) { EXPECT_LT(vm_time_now(), 0); }  // the clock did wrap
    later(1000);
  }
}

TEST_F(Input, ClickSuppressionSwallowsUpToThreeQuickPresses) {
  struct {
    std::vector<int> gaps;  // ms before each click after arming
    uint32_t recorded;      // clicks that were counted
  } rows[] = {
      {{200, 400}, 1},          // the second comes 400 ms after the swallowed one: recorded
      {{100, 100, 100, 100}, 1},  // three swallowed, the fourth recorded
      {{400, 100}, 2},          // too late: disarmed, so the next quick one counts too
  };
  for (const auto& row : rows) {
    click(10, 10);
    click_suppress_arm(1);
    int32_t before = call(builtin_input_event_count);
    for (int gap : row.gaps) {
      later(static_cast<uint32_t>(gap));
      click(10, 10);
    }
    EXPECT_EQ(call(builtin_input_event_count) - before, static_cast<int32_t>(row.recorded));
    later(1000);
  }
}

TEST_F(Input, BlockedInputShowsNothingUntilUnblocked) {
  EXPECT_EQ(call(builtin_input_block), -1);
  EXPECT_EQ(call(builtin_input_block), 0);
  key_down(VK_RETURN);
  input_snapshot();
  EXPECT_EQ(held(), std::set<int>{});
  EXPECT_EQ(input_take_press(BUTTON_DECIDE), 0);
  EXPECT_EQ(call(builtin_input_unblock), 0);
  input_snapshot();
  EXPECT_EQ(held(), (std::set<int>{13, 130}));
}

TEST_F(Input, ALockStopsKeysAndClaimsAltUntilUnlocked) {
  auto alt_claimed = [] { return input_message_handler(main_window_get(), WM_SYSKEYDOWN, VK_MENU, 0); };
  key_down('A');
  EXPECT_EQ(call(builtin_input_lock), 1);
  EXPECT_EQ(call(builtin_input_lock), 0);
  EXPECT_EQ(alt_claimed(), 1);
  EXPECT_EQ(input_message_handler(main_window_get(), WM_SYSKEYDOWN, VK_F10, 0), 0);  // Alt alone
  key_down(VK_RETURN);
  input_snapshot();
  EXPECT_EQ(held(), std::set<int>{65});  // Enter went unrecorded
  EXPECT_EQ(input_take_last_key(), VK_RETURN);
  EXPECT_EQ(call(builtin_input_unlock), 0);
  input_snapshot();
  EXPECT_EQ(held(), std::set<int>{});  // as after input_init
  EXPECT_EQ(alt_claimed(), 0);
}

TEST_F(Input, KeysSwitchToKeyboardModeAndAMoveSwitchesBack) {
  move(50, 50);
  input_snapshot();
  EXPECT_EQ(mouse_used_get(), 1);
  for (int k : {int{VK_SHIFT}, int{VK_CONTROL}, int{VK_SPACE}, VK_F1 + 4}) {
    key(k);
    input_snapshot();
    EXPECT_EQ(mouse_used_get(), 1) << k;
  }
  key('A');
  input_snapshot();
  EXPECT_EQ(mouse_used_get(), 0);
  move(50, 50);  // the same point: still the keyboard
  input_snapshot();
  EXPECT_EQ(mouse_used_get(), 0);
  move(60, 50);
  input_snapshot();
  EXPECT_EQ(mouse_used_get(), 1);
  EXPECT_EQ(mouse_x(), 60);
}

TEST_F(Input, APointerOffThePageReleasesTheButtons) {
  button(WM_LBUTTONDOWN, 10, 10);
  button(WM_RBUTTONDOWN, 10, 10);
  input_snapshot();
  later(100);
  EXPECT_EQ(held(), (std::set<int>{130, 131}));
  move(850, 10);  // right of the 800-pixel page
  input_snapshot();
  EXPECT_EQ(held(), std::set<int>{});
  EXPECT_EQ(mouse_x(), 10);  // the logical position stays on the page
}

TEST_F(Input, AChildWindowsButtonDownIsATapThatLeavesThePosition) {
  move(10, 10);
  for (uint32_t child : {uint32_t{WM_RBUTTONDOWN}, uint32_t{WM_RBUTTONUP}, uint32_t{WM_CREATE}}) {
    int32_t before = call(builtin_input_event_count);
    post(WM_PARENTNOTIFY, child, make_lparam(300, 200));
    int32_t at = vm_time_now();
    input_snapshot();
    later(20);
    EXPECT_EQ(held(), std::set<int>{}) << child;  // released at once
    EXPECT_EQ(input_take_press(BUTTON_CANCEL), child == WM_RBUTTONDOWN ? at : 0) << child;
    EXPECT_EQ(call(builtin_input_event_count) - before, child == WM_RBUTTONDOWN ? 1 : 0) << child;
    EXPECT_EQ(mouse_x(), 10) << child;
    later(100);
  }
}

TEST_F(Input, ThePointerIsInTheClientOnlyOnThePageAfterAMoveAndSetPosWarpsInWindowPoints) {
  view_offset_set(-100, -40);  // page (x, y) shows at window (x + 100, y + 40)
  platform.cursor_x = 150, platform.cursor_y = 60;
  EXPECT_EQ(call(builtin_mouse_in_client), 0);  // no move into use yet
  key('A');
  move(150, 60);
  EXPECT_EQ(call(builtin_mouse_in_client), 1);
  platform.cursor_x = 50;  // left of the picture
  EXPECT_EQ(call(builtin_mouse_in_client), 0);
  platform.cursor_x = 150;
  post(WM_MOUSELEAVE, 0, 0);
  EXPECT_EQ(call(builtin_mouse_in_client), 0);
  call(builtin_mouse_set_pos, {10, 20});
  EXPECT_EQ((std::vector<int>{platform.cursor_x, platform.cursor_y, mouse_x(), mouse_y()}),
            (std::vector<int>{110, 60, 10, 20}));
  call(builtin_mouse_set_pos, {-10000, 0});  // back to where the window last saw the pointer
  EXPECT_EQ((std::vector<int>{platform.cursor_x, mouse_x(), mouse_y()}), (std::vector<int>{110, 50, 20}));
}

TEST_F(Input, TheSkipKeysSwitchModesWhileHeld) {
  struct {
    int key;
    bool auto_before;
    int while_held;  // skip flags: 1 all, 2 read, 4 auto
    int after;
  } rows[] = {
      {VK_CONTROL, false, 1, 0},
      {VK_SHIFT, false, 2, 0},
      {VK_CONTROL, true, 1, 4},
  };
  for (const auto& row : rows) {
    skip_mode_set(row.auto_before ? 3 : 0);
    key_down(row.key);
    EXPECT_EQ(skip_flags_get() & 3, row.while_held & 3) << row.key;
    key_up(row.key);
    EXPECT_EQ(skip_flags_get(), row.after) << row.key;
  }
}

TEST_F(Input, KeyStateBuiltinsClampTheirKeyCodes) {
  platform.keys_down[127] = true;
  platform.keys_down[0] = true;
  EXPECT_EQ(call(builtin_key_async_state, {1000}), KEY_STATE_DOWN);
  EXPECT_EQ(call(builtin_key_async_state, {-5}), KEY_STATE_DOWN);
  EXPECT_EQ(call(builtin_key_async_state, {'A'}), 0);
  EXPECT_EQ(input_is_pressed(100000), 0);
  EXPECT_EQ(input_take_press(-1), 0);
}

TEST_F(Input, PendingPressesAndTheCapsLockToggle) {
  vm_thread->cancel_key = 5;
  post(WM_MOUSEWHEEL, static_cast<uintptr_t>(static_cast<uint16_t>(-WHEEL_DELTA)) << 16, 0);
  input_snapshot();
  EXPECT_EQ(call(builtin_input_pending_get), 2 | 16);
  input_snapshot();
  EXPECT_EQ(call(builtin_input_pending_get), 2);  // the wheel was taken, the thread's flag stays
  EXPECT_EQ(call(builtin_capslock_state), 0);
  key(VK_CAPITAL);
  EXPECT_EQ(call(builtin_capslock_state), 1);
  input_snapshot();
  EXPECT_EQ(capslock_skip_active(), 1);
  call(builtin_capslock_set, {0});
  EXPECT_EQ(call(builtin_capslock_state), 0);
}

}  // namespace
