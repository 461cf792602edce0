// The joystick module over the desktop backend's SDL pads, with SDL's virtual joystick in place of
// a real pad: stick and buttons become the keys of both mapping modes.
#include <SDL.h>

#include <utility>
#include <vector>

#include "gui_fixture.h"
#include "shell/joystick.h"
#include "shell/window_core.h"

namespace {

class DesktopPad : public gui_test {
 protected:
  void SetUp() override {
    gui_test::SetUp();
    if (HasFatalFailure() || IsSkipped()) return;
    joystick_reading r;
    backend->joystick_read(0, r);  // brings SDL's joystick subsystem up
    index = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_GAMECONTROLLER, 2, 4, 0);
    ASSERT_GE(index, 0) << SDL_GetError();
    pad = SDL_JoystickOpen(index);
    ASSERT_NE(pad, nullptr) << SDL_GetError();
    window = open_window(100, 100);
    main_window_set(window);
    joy_reset();
  }
  void TearDown() override {
    joy_reset();
    main_window_set(nullptr);
    if (pad) SDL_JoystickClose(pad);
    if (index >= 0) SDL_JoystickDetachVirtual(index);
    gui_test::TearDown();
  }
  // Sets the virtual pad, polls once and returns the keys that reached the window: (key, down).
  std::vector<std::pair<int, bool>> poll(int16_t x, int16_t y, std::initializer_list<int> buttons) {
    SDL_JoystickSetVirtualAxis(pad, 0, x);
    SDL_JoystickSetVirtualAxis(pad, 1, y);
    for (int b = 0; b < 4; ++b) SDL_JoystickSetVirtualButton(pad, b, 0);
    for (int b : buttons) SDL_JoystickSetVirtualButton(pad, b, 1);
    pump_for(15);  // the poll interval
    seen.clear();
    joy_poll();
    pump_for(20);
    std::vector<std::pair<int, bool>> keys;
    for (const seen_message& m : seen)
      if (m.message == WM_KEYDOWN || m.message == WM_KEYUP) keys.emplace_back(static_cast<int>(m.wparam), m.message == WM_KEYDOWN);
    return keys;
  }
  using keys = std::vector<std::pair<int, bool>>;

  int index = -1;
  SDL_Joystick* pad = nullptr;
  window_handle window = nullptr;
};

TEST_F(DesktopPad, StickAndButtonsBecomeKeysInBothModes) {
  joy_select_device(0);
  EXPECT_EQ(poll(0, 0, {}), keys{});
  EXPECT_EQ(poll(-32768, 0, {0}), (keys{{VK_ESCAPE, true}, {VK_LEFT, true}}));
  EXPECT_EQ(poll(-32768, 0, {0}), keys{});
  EXPECT_EQ(poll(0, 32767, {3}), (keys{{VK_ESCAPE, false}, {VK_RETURN, true}, {VK_DOWN, true}, {VK_LEFT, false}}));
  joy_reset_keys(2);  // both pads asked for; with only one, pad 0 carries on
  poll(0, 0, {});
  EXPECT_EQ(poll(0, -32768, {2}), (keys{{'Z', true}, {'I', true}}));
  EXPECT_EQ(joy_device_get(), 0);
}

}  // namespace
