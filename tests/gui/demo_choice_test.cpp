// The sample game's choice scene in the real window: vaskrun plays the packaged game on the private
// X server; xdotool drags the token, chooses a button with the mouse and the other with the keys,
// and each step changes the screen where it should. Esc then ends the game.
#include <signal.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>

#include "gui_fixture.h"
#include "test_support.h"

namespace {

const std::string game = VASK_BINARY_DIR "/demo/packaged";
constexpr int W = 800, H = 600;
constexpr uint32_t BUTTON = 0x23407a, TOKEN = 0xf08a24, MARK = 0x3fbf5a;

class ChoiceScene : public gui_test {
 protected:
  void TearDown() override {
    vaskrun_stop(child);
    gui_test::TearDown();
  }
  // The colour at a point of the game area (0x00RRGGBB).
  uint32_t at(int x, int y) { return screenshot(left + x, top + y, 1, 1)[0]; }
  static bool near(uint32_t a, uint32_t b) {
    for (int s = 0; s < 24; s += 8)
      if (std::abs(static_cast<int>(a >> s & 0xFF) - static_cast<int>(b >> s & 0xFF)) > 6) return false;
    return true;
  }
  bool shows(int x, int y, uint32_t colour, int timeout_ms = 3000) {
    return pump_until([&] { return near(at(x, y), colour); }, timeout_ms);
  }
  void mouse(const std::string& what) { xdotool(what); }
  std::string point(int x, int y) { return std::to_string(left + x) + " " + std::to_string(top + y); }

  pid_t child = -1;
  int left = 0, top = 0;  // the game area on the screen
  temp_dir home;
};

TEST_F(ChoiceScene, KeyboardMouseAndDragEachChangeTheScreen) {
  if (!std::filesystem::exists(game + "/data.arc")) GTEST_SKIP() << "the sample game is not built";
  child = vaskrun_start(game, home.path());
  ASSERT_GT(child, 0);
  int width = 0;
  ASSERT_TRUE(game_area("vaskrun sample game", H, width, left, top));  // the 800 x 600 under the menu bar
  ASSERT_EQ(width, W);

  // The scene comes after chapter1's sprites, its movie and the message scene, whose
  // pages Enter turns.
  mouse("mousemove " + point(400, 200));
  bool choice = false;
  for (int i = 0; i < 60 && !(choice = shows(170, 470, BUTTON, 1000)); ++i) xdotool("key Return");
  ASSERT_TRUE(choice) << "the choice scene did not appear";
  ASSERT_TRUE(shows(400, 300, TOKEN));

  mouse("mousemove " + point(400, 300));
  pump_for(200);
  mouse("mousedown 1");
  for (int step = 1; step <= 5; ++step) {
    mouse("mousemove " + point(400 + 40 * step, 300 - 30 * step));
    pump_for(60);
  }
  mouse("mouseup 1");
  EXPECT_TRUE(shows(600, 150, TOKEN)) << "the token did not follow the drag";
  EXPECT_FALSE(near(at(400, 300), TOKEN));
  save_screenshot("choice-after-drag", left, top, W, H);

  mouse("mousemove " + point(260, 480));
  pump_for(200);
  mouse("click 1");
  EXPECT_TRUE(shows(260, 410, MARK)) << "a click did not choose button 1";
  save_screenshot("choice-by-mouse", left, top, W, H);

  for (const char* key : {"Right", "Right", "Return"}) {
    xdotool(std::string("key ") + key);
    pump_for(150);
  }
  EXPECT_TRUE(shows(540, 410, MARK)) << "the keys did not choose button 2";
  EXPECT_FALSE(near(at(260, 410), MARK));
  save_screenshot("choice-by-keys", left, top, W, H);

  xdotool("key Escape");
  int status = -1;
  ASSERT_TRUE(pump_until([&] { return waitpid(child, &status, WNOHANG) == child; }, 10000)) << "Esc did not end the game";
  child = -1;
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

}  // namespace
