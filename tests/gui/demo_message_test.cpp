// The sample game's message scene in the real window: vaskrun plays the packaged game on the
// private X server. The first page, typed out with its name plate, stands still at its page wait;
// a click turns to the second page, and Enter to the first again, replayed from the message log.
// Each of those screens matches the same moment of a headless run in this process, where the
// page waits are answered by setting the decide key.
#include <sys/wait.h>

#include <filesystem>

#include "base/hash.h"
#include "graphics/sprite.h"
#include "gui_fixture.h"
#include "headless_game.h"
#include "test_support.h"
#include "vm/interpreter.h"
#include "vm/script_error.h"
#include "vm/script_object.h"
#include "vm/thread.h"

namespace {

const std::string game = VASK_BINARY_DIR "/demo/packaged";
constexpr int W = 800, H = 600;

// The screen at each of the scene's first two page waits, once 100 ms of it have been drawn.
std::vector<std::vector<uint32_t>> headless_pages() {
  headless_game run(game);
  // The game's movie lies in its folder, where the game runs.
  std::filesystem::path kept = std::filesystem::current_path();
  std::filesystem::current_path(game);
  script_object* chapter = object_load("chapter1");
  vm_frame->code = chapter->code + chapter->entry_offset;
  std::vector<std::vector<uint32_t>> pages;
  int32_t waiting_since = -1;
  run.host.on_pump = [&] {
    script_thread* main = thread_find(0);
    const call_frame& f = main->frames[main->depth];
    // The page-wait handler's frame, waiting: its code lies between the handler's start and the
    // function after it in the scene ("panel").
    script_object* scene = object_find_by_address(f.code);
    const uint8_t* start = scene ? object_function(scene, crc32_string("msg_on_page")) : nullptr;
    const uint8_t* end = scene ? object_function(scene, crc32_string("panel")) : nullptr;
    bool waiting = start && end && f.code >= start && f.code < end && f.wait_deadline != 0;
    if (!waiting) {
      waiting_since = -1;
    } else if (waiting_since < 0) {
      waiting_since = vm_time_get();
    } else if (vm_time_get() - waiting_since > 100) {
      pages.push_back(run.pixels());
      waiting_since = -1;
      if (pages.size() == 2)
        threads_stop_all();
      else
        main->decide_key = 1;
    }
  };
  // The save scene at chapter1's start asks to load its slot back; the pages do not depend on it,
  // so the scene simply goes on.
  while (interpreter_run() == RUN_LOAD) run_state_set(RUN_GO);
  run.host.on_pump = nullptr;
  std::filesystem::current_path(kept);
  EXPECT_TRUE(run.host.boxes.empty()) << run.host.boxes.front().text;
  return pages;
}

class MessageScene : public gui_test {
 protected:
  void TearDown() override {
    vaskrun_stop(child);
    gui_test::TearDown();
  }
  // Waits until the game area matches the picture; the pixels that differ at the end.
  int settles_on(const std::vector<uint32_t>& want, const char* name, int timeout_ms) {
    int best = -1;
    pump_until([&] { return (best = pixel_mismatches(screenshot(left, top, W, H), want)) == 0; }, timeout_ms);
    save_screenshot(name, left, top, W, H);
    return best;
  }

  pid_t child = -1;
  int left = 0, top = 0;
  temp_dir home;
};

TEST_F(MessageScene, PagesTypedOutTurnedByClickAndEnterAndReplayedMatchTheHeadlessRun) {
  if (!std::filesystem::exists(game + "/data.arc")) GTEST_SKIP() << "the sample game is not built";
  std::vector<std::vector<uint32_t>> pages = headless_pages();
  ASSERT_EQ(pages.size(), 2u);
  ASSERT_EQ(pages[0].size(), static_cast<size_t>(W) * H);

  child = vaskrun_start(game, home.path());
  ASSERT_GT(child, 0);
  int width = 0;
  ASSERT_TRUE(game_area("vaskrun sample game", H, width, left, top));  // the 800 x 600 under the menu bar

  EXPECT_EQ(settles_on(pages[0], "message-first-page", 40000), 0) << "the first page";
  xdotool("mousemove " + std::to_string(left + 400) + " " + std::to_string(top + 200) + " click 1");
  EXPECT_EQ(settles_on(pages[1], "message-second-page", 10000), 0) << "the second page, after a click";
  xdotool("key Return");
  EXPECT_EQ(settles_on(pages[0], "message-replayed-page", 10000), 0) << "the first page again, after Enter";
}

}  // namespace
