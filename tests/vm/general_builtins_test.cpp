// The diagnostic, message-box, clock and number built-ins: the log line and its silent mode, the
// box styles and answers through the headless backend, the engine's random sequence, the timed
// interpolation, the folds and the front page.
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <fstream>
#include <regex>
#include <sstream>

#include "base/random.h"
#include "builtin_fixture.h"
#include "graphics/page_grid.h"
#include "graphics/presentation.h"
#include "graphics/sprite.h"
#include "vm/debug_log.h"

namespace {

enum : uint32_t {
  H_DEBUG_PRINT = 0xF3679C34, H_RANDOM_INT = 0xC6282F19, H_RANDOM_REAL = 0x46B18379, H_CLOCK_MS = 0x6584F13E,
  H_CLOCK_LERP = 0xEE6B328D, H_INTS_MAX = 0x6CFC884A, H_INTS_MIN = 0x3D053317, H_INT_ABS = 0x959B0A16,
  H_FRONTBUFFER_GET = 0x3E11F2C5, H_SET_FRONTBUFFER = 0x2399D761,
};

class general : public builtin_test {
 protected:
  void TearDown() override {
    page_free_all_at_exit();
    sprite_module_reset();
    presentation_reset();
    builtin_test::TearDown();
  }
  std::string log() const {
    std::stringstream s;
    s << std::ifstream(save_folder.at(DEBUG_LOG_FILE), std::ios::binary).rdbuf();
    return s.str();
  }
};

TEST_F(general, DebugPrintWritesOneStampedLineOfTheArgumentTextAndNothingWhenSilent) {
  value_cell array = array_cell(array_block_new(TYPE_INT_ARRAY, 1, 1, 1));
  stack_push_value(&array);
  EXPECT_EQ(run_int(H_DEBUG_PRINT, {-3, 1.5, "text"}), 0);  // the array lies below, as the 4th argument
  call(H_DEBUG_PRINT, 1);
  stack_pop();
  EXPECT_TRUE(std::regex_match(log(), std::regex(R"(\d{6}_\d{4} -3 1\.500000 text \n\d{6}_\d{4} \[INT_ARRAY\] \n)")))
      << log();
  // Past the 512-byte buffer the text is cut on a character boundary: 300 double-byte characters.
  std::string wide;
  for (int i = 0; i < 300; ++i) wide += "\x83\x5C";
  run_int(H_DEBUG_PRINT, {wide, 7});
  EXPECT_EQ(log().size() - log().rfind('\n', log().size() - 2), 1 + 12 + 510 + 1u);  // 255 characters
  error_report_mode_set(2);  // packaged: silent
  run_int(H_DEBUG_PRINT, {"quiet"});
  EXPECT_EQ(log().find("quiet"), std::string::npos);

  debug_log_open();  // the menu command hands the file to the user's program
  EXPECT_EQ(platform.opened, std::vector<std::string>{save_path(DEBUG_LOG_FILE)});
}

// A game may ship the log as a link out of its folder, or as a FIFO that nobody reads.
TEST_F(general, TheLogFollowsNoLinkWaitsForNoReaderAndTakesTheUmask) {
  std::string file = save_folder.at(DEBUG_LOG_FILE);
  ASSERT_EQ(symlink(game.at("victim").c_str(), file.c_str()), 0);
  run_int(H_DEBUG_PRINT, {"leak"});
  EXPECT_NE(access(game.at("victim").c_str(), F_OK), 0);
  ASSERT_EQ(unlink(file.c_str()) + mkfifo(file.c_str(), 0600), 0);
  run_int(H_DEBUG_PRINT, {"held"});
  mode_t old = umask(002);
  unlink(file.c_str());
  run_int(H_DEBUG_PRINT, {"x"});
  umask(old);
  struct stat st;
  EXPECT_EQ(stat(file.c_str(), &st) == 0 ? st.st_mode & 0777 : 0, 0664u);
}

TEST_F(general, EveryBoxHasItsStyleAndAnswersOneOnlyForItsAffirmativeButton) {
  struct row {
    uint32_t hash;
    unsigned style;
    int yes, no;  // the affirmative answer and another (0 for OK-only boxes)
  } rows[] = {
      {0x4D2D4277, 0x00, 0, 0}, {0x0D141855, 0x01, IDOK, IDCANCEL}, {0x693D9729, 0x04, IDYES, IDNO},
      {0xE218BA5F, 0x05, IDRETRY, IDCANCEL}, {0xD0F4B51A, 0x30, 0, 0}, {0xEDFD552C, 0x31, IDOK, IDCANCEL},
      {0x8DC0D2CD, 0x34, IDYES, IDNO}, {0x253982F4, 0x25, IDRETRY, IDCANCEL}, {0x6E7F7FB7, 0x25, IDRETRY, IDCANCEL},
      {0x67444F84, 0x20, 0, 0}, {0x1576CCEC, 0x21, IDOK, IDCANCEL}, {0x5F7FFD3B, 0x24, IDYES, IDNO},
      {0xDF644F85, 0x10, 0, 0}, {0xB5551FDF, 0x11, IDOK, IDCANCEL}, {0x65D3B77C, 0x14, IDYES, IDNO},
      {0x4020C370, 0x15, IDRETRY, IDCANCEL},
  };
  for (const row& r : rows) {
    platform.queued_answers.clear();
    platform.boxes.clear();
    skip_mode_set(4);
    platform.answer_boxes({r.yes ? r.yes : IDOK, r.no ? r.no : IDOK});
    EXPECT_EQ(run_int(r.hash, {"n", 5}), r.yes ? 1 : 0) << std::hex << r.hash;
    EXPECT_FALSE(is_skipping()) << std::hex << r.hash;
    EXPECT_EQ(run_int(r.hash, {"n", 5}), 0) << std::hex << r.hash;
    ASSERT_EQ(platform.boxes.size(), 2u);
    EXPECT_EQ(platform.boxes[0].style, r.style) << std::hex << r.hash;
    EXPECT_EQ(platform.boxes[0].text, "n 5 ");
  }
  EXPECT_NE(log().find(" n 5 \n"), std::string::npos);  // error boxes are logged first

  // In the silent mode error boxes show nothing and answer as if affirmed.
  platform.boxes.clear();
  std::string logged = log();
  error_report_mode_set(2);
  EXPECT_EQ(run_int(0x65D3B77C, {"x"}), 1);
  EXPECT_EQ(run_int(0xDF644F85, {"x"}), 0);
  EXPECT_EQ(platform.boxes.size(), 0u);
  EXPECT_EQ(log(), logged);
}

TEST_F(general, TheRandomSequenceIsTheEnginesAndItsBuiltinsKeepTheirRanges) {
  engine_srand(1);  // the sequence every script was written against
  for (int expected : {41, 18467, 6334, 26500}) EXPECT_EQ(engine_rand(), expected);
  engine_srand(1);
  EXPECT_EQ(run_int(H_RANDOM_INT, {100}), 41);
  EXPECT_EQ(run_int(H_RANDOM_INT, {-100}), 67);  // 18467 % -100: the dividend's sign
  for (int i = 0; i < 3000; ++i) {
    int32_t v = run_int(H_RANDOM_INT, {i % 2 ? 7 : INT_MIN});
    EXPECT_TRUE(v >= 0 && v <= (i % 2 ? 6 : 32767)) << v;
    float f = run_float(H_RANDOM_REAL, {});
    ASSERT_TRUE(f >= 0.0f && f < 1.0f) << f;
  }
  engine_srand(0xF01BF641);  // the next draw is 32767, the one after it 15401
  EXPECT_EQ(run_float(H_RANDOM_REAL, {}), static_cast<float>(15401 / 32767.0));
  thread_id_source_set(nullptr);  // the thread ids draw from the same sequence
  engine_srand(1);
  EXPECT_EQ(thread_create(-1)->id, 41 * 65536);
  EXPECT_EQ(run_int(H_RANDOM_INT, {0}), 0);
  EXPECT_EQ(box_text(0), "乱数の種に０が指定されました。");
}

TEST_F(general, ClockLerpAndTheIntegerFolds) {
  int32_t now = run_int(H_CLOCK_MS, {});
  EXPECT_EQ(now, vm_time_get());
  struct row {
    int32_t start, duration, value, expected;
  } rows[] = {
      {now - 250, 1000, 400, 100}, {now + 250, 1000, 400, 100},  // before the start: the distance
      {now - 5000, 1000, 400, 400}, {now - 1001, 1000, 1000, 1000},  // held from one past the end
      {now - 250, 0, 400, 400}, {now - 250, -5, 400, 400},
      {now - 999999, 1000000, INT_MAX, 2147481499}, {now - 1, 3, -7, -2},  // 64-bit product
  };
  for (const row& r : rows)
    EXPECT_EQ(run_int(H_CLOCK_LERP, {r.start, r.duration, r.value}), r.expected) << r.start - now << " " << r.duration;
  pass(static_cast<uint32_t>(INT_MAX) - now + 100);  // the clock wraps to INT_MIN + 99: 200 ms after the start
  EXPECT_EQ(run_int(H_CLOCK_LERP, {INT_MAX - 100, 1000, 1000}), 200);
  EXPECT_EQ(run_int(H_INTS_MAX, {3, 9, -2, 9}), 9);
  EXPECT_EQ(run_int(H_INTS_MIN, {3, 9, -2, 9}), -2);
  EXPECT_EQ(run_int(H_INTS_MAX, {-5}), -5);  // one argument is its own maximum
  EXPECT_EQ(run_int(H_INTS_MIN, {5}), 5);
  EXPECT_EQ(run_int(H_INT_ABS, {-12}), 12);
  EXPECT_EQ(run_int(H_INT_ABS, {INT_MIN}), INT_MIN);
}

TEST_F(general, SetFrontbufferSwitchesPagesAndRefusesAMissingOne) {
  page* a = page_new_rgb24(64, 48, 1);
  page* b = page_new_rgb24(32, 16, 0);
  front_page_set(a);
  EXPECT_EQ(run_int(H_FRONTBUFFER_GET, {}), static_cast<int32_t>(a->id));
  EXPECT_EQ(run_int(H_SET_FRONTBUFFER, {static_cast<int32_t>(b->id)}), static_cast<int32_t>(a->id));
  EXPECT_EQ(front_page_get(), b);
  EXPECT_EQ(page_grid_find(b)->users, 1);
  EXPECT_EQ(page_grid_find(a)->users, 1);  // a persistent page keeps its grid's user
  EXPECT_EQ(run_int(H_SET_FRONTBUFFER, {12345}), static_cast<int32_t>(b->id));
  EXPECT_EQ(box_text(0), "set_frontbuffer : ページが存在しません");
  EXPECT_EQ(front_page_get(), b);
}

}  // namespace
