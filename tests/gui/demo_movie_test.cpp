// The sample game's movie in the real window: vaskrun plays a copy of the packaged game on the
// private X server; Enter turns the chapter's pages until the movie plays over the scene's middle, and two
// screenshots a second apart show the frames due at those times (each frame's number stands in
// eight black and white bars along its bottom). The scene shows again once the movie is closed;
// Enter then takes the game through to its ending and the title, where the key 4 ("終了") ends it.
#include <sys/wait.h>
#include <time.h>

#include <cstdlib>
#include <filesystem>

#include "golden.h"
#include "gui_fixture.h"
#include "playthrough.h"
#include "test_support.h"

namespace {

constexpr int W = 800, H = 600;
// The movie's rectangle in the game area (movie.vasm), and the row through its bars.
constexpr int MX = 240, MY = 180, MW = 320, BAR_Y = 180 + 220;

double seconds_now() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

class MovieScene : public gui_test {
 protected:
  void TearDown() override {
    vaskrun_stop(child);
    gui_test::TearDown();
  }
  // The number in the bars, or -1 when the row does not hold eight black or white bars.
  int shown_number() {
    std::vector<uint32_t> row = screenshot(left + MX, top + BAR_Y, MW, 1);
    int n = 0;
    for (int k = 0; k < 8; k++) {
      uint32_t p = row[static_cast<size_t>((2 * k + 1) * MW / 16)];
      int r = p >> 16 & 0xFF, g = p >> 8 & 0xFF, b = p & 0xFF;
      if (std::abs(r - g) > 24 || std::abs(g - b) > 24 || (g > 40 && g < 200)) return -1;
      if (g >= 200) n |= 1 << k;
    }
    return n;
  }
  pid_t child = -1;
  int left = 0, top = 0;
  temp_dir home;
};

TEST_F(MovieScene, TheMoviePlaysItsFramesOnTimeOverTheSceneAndTheSceneReturns) {
  if (sample_game_built("packaged").empty()) GTEST_SKIP() << "the sample game is not built";
  sample_game_copy("packaged", home.at("game"));
  child = vaskrun_start(home.at("game"), home.path());
  ASSERT_GT(child, 0);
  ASSERT_TRUE(game_area_find("vaskrun sample game", W, H, left, top));

  int first = -1;
  // Enter frames the title's first entry and then chooses it; at the choice likewise.
  ASSERT_TRUE(pump_until(
      [&] {
        if ((first = shown_number()) > 0) return true;
        xdotool("key Return");
        pump_for(400);
        return (first = shown_number()) > 0;
      },
      60000))
      << "the movie did not appear";
  // Two readings a second apart, each between two looks at the clock (a screenshot takes a while
  // on a busy machine): the frames moved on at 25 a second over the time between them, give or
  // take a few frames that a busy machine may show late.
  double a0 = seconds_now();
  first = shown_number();
  double a1 = seconds_now();
  save_screenshot("movie-first", left, top, W, H);
  pump_for(1000);
  double b0 = seconds_now();
  int second = shown_number();
  double b1 = seconds_now();
  save_screenshot("movie-second", left, top, W, H);
  ASSERT_GE(first, 0) << "the movie's bars did not show";
  if (second < 0) {
    EXPECT_GT(b1 - a0, 3.0) << "the movie ended before its four seconds";  // a machine that slow
  } else {
    EXPECT_GE(second - first, (b0 - a1) * 25 - 8) << first << " then " << second;
    EXPECT_LE(second - first, (b1 - a0) * 25 + 8) << first << " then " << second;
  }

  EXPECT_TRUE(pump_until([&] { return shown_number() < 0; }, 6000)) << "the movie did not end";
  std::vector<uint32_t> middle = screenshot(left + MX, top + MY, MW, 200);
  int movie_colours = 0;  // the test picture's pure bars of colour
  for (uint32_t p : middle) movie_colours += p == 0xFF0000 || p == 0x00FF00 || p == 0xFFFF00 || p == 0xFF00FF;
  EXPECT_LT(movie_colours, 100) << "the movie's picture stayed after it was closed";
  save_screenshot("movie-after", left, top, W, H);

  // Enter until the title is back (Enter there would choose its framed entry and play again), then
  // 4 chooses "終了".
  std::vector<uint32_t> title = golden_picture("01-title");
  bool at_title = pump_until(
      [&] {
        if (golden_mismatches(screenshot(left, top, W, H), title, {272, 292, 256, 244}) < W * H / 100) return true;
        xdotool("key Return");
        pump_for(400);
        return false;
      },
      60000);
  EXPECT_TRUE(at_title) << "the title did not come back";
  xdotool("key 4");
  int status = -1;
  bool ended = pump_until([&] { return waitpid(child, &status, WNOHANG) == child; }, 15000);
  EXPECT_TRUE(ended);
  if (ended) child = -1;
}

}  // namespace
