// Input: keys and clicks sent to the X server arrive as the engine's messages, in order.
#include "gui_fixture.h"

// The key and button messages seen, without moves, focus and the like.
static std::vector<seen_message> input_messages() {
  std::vector<seen_message> out;
  for (const seen_message& m : seen) {
    switch (m.message) {
      case WM_KEYDOWN:
      case WM_KEYUP:
      case WM_SYSKEYDOWN:
      case WM_SYSKEYUP:
      case WM_LBUTTONDOWN:
      case WM_LBUTTONUP:
      case WM_LBUTTONDBLCLK:
      case WM_RBUTTONDOWN:
      case WM_RBUTTONUP:
      case WM_MBUTTONDOWN:
      case WM_MBUTTONUP:
      case WM_MOUSEWHEEL:
        out.push_back(m);
    }
  }
  return out;
}

class Input : public gui_test {
 protected:
  window_handle window = nullptr;
  int origin_x = 0, origin_y = 0;
  void SetUp() override {
    gui_test::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    window = open_window(320, 240, "VASKEL_MAIN");
    client_origin(window, origin_x, origin_y);
    // The pointer inside the client area, the keyboard on the window.
    ASSERT_EQ(xdotool("mousemove " + std::to_string(origin_x + 100) + " " + std::to_string(origin_y + 50)), 0);
    ASSERT_EQ(xdotool("windowfocus --sync " + std::to_string(x_window(window))), 0);
    pump_for(100);
    seen.clear();
  }
};

TEST_F(Input, KeysArriveWithTheirCodesInOrder) {
  ASSERT_EQ(xdotool("key --delay 30 a shift+b F5 Escape KP_Add"), 0);
  ASSERT_TRUE(pump_until([] { return input_messages().size() >= 12; }));
  std::vector<seen_message> got = input_messages();
  struct expected {
    uint32_t message;
    int vk;
  };
  // xdotool lets go of a combination's keys in the order it pressed them.
  const expected want[] = {{WM_KEYDOWN, 'A'},         {WM_KEYUP, 'A'},         {WM_KEYDOWN, VK_SHIFT},
                           {WM_KEYDOWN, 'B'},         {WM_KEYUP, VK_SHIFT},    {WM_KEYUP, 'B'},
                           {WM_KEYDOWN, VK_F5},       {WM_KEYUP, VK_F5},       {WM_KEYDOWN, VK_ESCAPE},
                           {WM_KEYUP, VK_ESCAPE},     {WM_KEYDOWN, VK_ADD},    {WM_KEYUP, VK_ADD}};
  ASSERT_EQ(got.size(), std::size(want));
  for (size_t i = 0; i < got.size(); ++i) {
    EXPECT_EQ(got[i].message, want[i].message) << i;
    EXPECT_EQ(got[i].wparam, static_cast<uintptr_t>(want[i].vk)) << i;
    bool up = got[i].message == WM_KEYUP;
    EXPECT_EQ((got[i].lparam & KEY_RELEASED) != 0, up) << i;
    EXPECT_EQ(got[i].lparam & 0xFFFF, 1) << i;  // the repeat count
  }
}

TEST_F(Input, AltCombinationsAreSystemKeysButNotWithCtrl) {
  ASSERT_EQ(xdotool("keydown alt key F9 keyup alt"), 0);
  ASSERT_TRUE(pump_until([] { return input_messages().size() >= 4; }));
  std::vector<seen_message> got = input_messages();
  ASSERT_EQ(got.size(), 4u);
  EXPECT_EQ(got[0].message, WM_SYSKEYDOWN);
  EXPECT_EQ(got[0].wparam, static_cast<uintptr_t>(VK_MENU));
  EXPECT_EQ(got[1].message, WM_SYSKEYDOWN);
  EXPECT_EQ(got[1].wparam, static_cast<uintptr_t>(VK_F9));
  EXPECT_NE(got[1].lparam & KEY_ALT_DOWN, 0);
  EXPECT_EQ(got[2].message, WM_SYSKEYUP);
  EXPECT_EQ(got[2].wparam, static_cast<uintptr_t>(VK_F9));
  EXPECT_EQ(got[3].message, WM_SYSKEYUP);
  EXPECT_EQ(got[3].wparam, static_cast<uintptr_t>(VK_MENU));
  // Alt with another key between does not open the menu bar.
  EXPECT_FALSE(gtk_platform::host_of(window)->menu_open);
  EXPECT_EQ(backend->key_async_state(VK_MENU), 0);

  seen.clear();
  ASSERT_EQ(xdotool("key ctrl+a"), 0);  // Ctrl makes no system key
  ASSERT_TRUE(pump_until([] { return input_messages().size() >= 4; }));
  for (const seen_message& m : input_messages()) EXPECT_TRUE(m.message == WM_KEYDOWN || m.message == WM_KEYUP);
}

TEST_F(Input, ClicksDoubleClicksAndTheWheel) {
  ASSERT_EQ(xdotool("click 1"), 0);
  pump_for(700);  // longer than the double-click time
  ASSERT_EQ(xdotool("click --repeat 3 --delay 60 1"), 0);  // a double click and a plain press
  ASSERT_EQ(xdotool("click 3"), 0);
  ASSERT_EQ(xdotool("click 4"), 0);
  ASSERT_EQ(xdotool("click 5"), 0);
  ASSERT_TRUE(pump_until([] { return input_messages().size() >= 12; }));
  std::vector<seen_message> got = input_messages();
  const uint32_t want[] = {WM_LBUTTONDOWN, WM_LBUTTONUP,  WM_LBUTTONDOWN, WM_LBUTTONUP,  WM_LBUTTONDBLCLK, WM_LBUTTONUP,
                           WM_LBUTTONDOWN, WM_LBUTTONUP,  WM_RBUTTONDOWN, WM_RBUTTONUP,  WM_MOUSEWHEEL,    WM_MOUSEWHEEL};
  ASSERT_EQ(got.size(), std::size(want));
  for (size_t i = 0; i < got.size(); ++i) EXPECT_EQ(got[i].message, want[i]) << i;
  EXPECT_EQ(lparam_x(got[0].lparam), 100);
  EXPECT_EQ(lparam_y(got[0].lparam), 50);
  EXPECT_EQ(got[0].wparam & MK_LBUTTON, MK_LBUTTON);
  EXPECT_EQ(got[1].wparam & MK_LBUTTON, 0u);
  EXPECT_EQ(static_cast<int16_t>(got[10].wparam >> 16), WHEEL_DELTA);
  EXPECT_EQ(static_cast<int16_t>(got[11].wparam >> 16), -WHEEL_DELTA);
  EXPECT_EQ(lparam_x(got[10].lparam), origin_x + 100);  // the wheel reports screen coordinates
}

TEST_F(Input, MovesAndLeavingTheWindow) {
  ASSERT_EQ(xdotool("mousemove --sync " + std::to_string(origin_x + 10) + " " + std::to_string(origin_y + 20)), 0);
  ASSERT_TRUE(pump_until([] { return seen_any(WM_MOUSEMOVE); }));
  const seen_message* move = nullptr;
  for (const seen_message& m : seen)
    if (m.message == WM_MOUSEMOVE) move = &m;
  ASSERT_NE(move, nullptr);
  EXPECT_EQ(lparam_x(move->lparam), 10);
  EXPECT_EQ(lparam_y(move->lparam), 20);
  int x, y;
  ASSERT_TRUE(backend->cursor_position(window, x, y));
  EXPECT_EQ(x, 10);
  EXPECT_EQ(y, 20);
  ASSERT_EQ(xdotool("mousemove --sync 1000 700"), 0);
  EXPECT_TRUE(pump_until([] { return seen_any(WM_MOUSELEAVE); }));
}

TEST_F(Input, FocusMovesBetweenWindows) {
  window_handle other = open_window(100, 80, "");
  seen.clear();
  ASSERT_EQ(xdotool("windowfocus --sync " + std::to_string(x_window(other))), 0);
  EXPECT_TRUE(pump_until([] { return seen_any(WM_KILLFOCUS); }));  // the first window lost it
  seen.clear();
  ASSERT_EQ(xdotool("windowfocus --sync " + std::to_string(x_window(window))), 0);
  EXPECT_TRUE(pump_until([] { return seen_any(WM_SETFOCUS); }));
}
