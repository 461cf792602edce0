// The joystick on the headless backend's fake pads: keys posted on changes in both mapping modes,
// the poll interval, focus and menus, unplugging, and the device the settings choose.
#include <utility>
#include <vector>

#include "input_fixture.h"

namespace {

class Joystick : public input_scene {
 protected:
  void SetUp() override {
    input_scene::SetUp();
    wndproc_handler_add(record_keys);
    posted().clear();
  }
  // The key messages that reached the main window: (key, down).
  static std::vector<std::pair<int, bool>>& posted() {
    static std::vector<std::pair<int, bool>> keys;
    return keys;
  }
  static intptr_t record_keys(window_handle, uint32_t message, uintptr_t wparam, intptr_t) {
    if (message == WM_KEYDOWN || message == WM_KEYUP) posted().emplace_back(static_cast<int>(wparam), message == WM_KEYDOWN);
    return 0;
  }
  // Sets pad p and polls once, `wait` ms after the previous poll; the keys it posted.
  std::vector<std::pair<int, bool>> poll(int p, uint32_t x, uint32_t y, uint32_t buttons, uint32_t wait = 10) {
    platform.pads[p] = {x, y, buttons};
    later(wait);
    posted().clear();
    joy_poll();
    drain_window_messages();
    return posted();
  }
  using keys = std::vector<std::pair<int, bool>>;
};

TEST_F(Joystick, TwoPadsInMode2AndThePostedKeysPassThroughTheKeyMap) {
  platform.pad_present[0] = platform.pad_present[1] = true;
  joy_select_device(0);
  EXPECT_EQ(poll(0, 32767, 32767, 1), (keys{{VK_ESCAPE, true}}));
  input_snapshot();
  EXPECT_EQ(input_is_pressed(BUTTON_CANCEL), 1);
  EXPECT_EQ(poll(0, 32767, 32767, 0), (keys{{VK_ESCAPE, false}}));
  joy_reset_keys(2);  // both pads: pad 1 on the arrows and numeric pad, pad 0 on letters
  drain_window_messages();
  EXPECT_EQ(joy_device_get(), -2);
  EXPECT_EQ(poll(1, 65535, 0, 1), (keys{{VK_RIGHT, true}, {VK_NUMPAD0 + 8, true}, {VK_NUMPAD0 + 6, true}}));
  EXPECT_EQ(poll(0, 0, 32767, 8), (keys{{'X', true}, {'J', true}}));
  platform.pad_present[1] = false;  // pad 1 gone: pad 0 alone
  poll(0, 0, 32767, 8);
  EXPECT_EQ(joy_device_get(), 0);
  EXPECT_EQ(poll(0, 32767, 0, 0), (keys{{'X', false}, {'I', true}, {'J', false}}));
}

TEST_F(Joystick, PollsComeAtMostEvery10MsAndNotWithoutFocus) {
  platform.pad_present[0] = true;
  joy_select_device(0);
  poll(0, 32767, 32767, 0);
  EXPECT_EQ(poll(0, 32767, 32767, 1, 5), keys{});  // read once
  EXPECT_EQ(poll(0, 32767, 32767, 1, 5), (keys{{VK_ESCAPE, true}}));

  post(WM_KILLFOCUS, 0, 0);
  EXPECT_EQ(poll(0, 32767, 32767, 0), keys{});  // recorded, not posted: Esc stays down
  post(WM_SETFOCUS, 0, 0);
  post(WM_MENUSELECT, MF_POPUP, 1);
  EXPECT_EQ(poll(0, 32767, 32767, 2), keys{});
  post(WM_MENUSELECT, MENUSELECT_CLOSED, 0);
  EXPECT_EQ(poll(0, 32767, 32767, 0), (keys{{VK_RETURN, false}}));
  posted().clear();
  joy_reset_keys(1);
  drain_window_messages();
  EXPECT_EQ(posted().size(), 18u);
  EXPECT_EQ(posted()[0], (std::pair<int, bool>{VK_ESCAPE, false}));
}

TEST_F(Joystick, UnpluggingTurnsItOffAndWithoutAPadResetsPostNothing) {
  platform.pad_present[0] = true;
  joy_select_device(0);
  poll(0, 32767, 32767, 1);
  platform.pad_present[0] = false;
  poll(0, 32767, 32767, 0);
  EXPECT_EQ(joy_device_get(), -1);
  platform.pad_present[0] = true;
  EXPECT_EQ(poll(0, 32767, 32767, 1), keys{});  // off until selected again
  move(30, 30);
  input_init();  // a reset releases the pads' keys only while a pad is in use
  drain_window_messages();
  EXPECT_TRUE(posted().empty());
  input_snapshot();
  EXPECT_EQ(mouse_used_get(), 1);
}

}  // namespace
