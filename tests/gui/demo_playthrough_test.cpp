// The sample game played through on the desktop: vaskrun plays the loose copy on the private X
// server, driven through the server's test extension (xdotool) at the lines the game writes to its
// debug log, with SDL's disk driver recording all it sends to the sound card. The same steps are
// first played headless in a child of this test. At every checkpoint the window's client area
// matches the headless picture with the end-to-end test's tolerance for glyph shapes; the
// recording holds sound while the chapter's music plays and silence at the title before it and
// after the ending has faded it out. The mahjong hand is played but not compared: its wall is
// shuffled anew by each process.
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "gui_fixture.h"
#include "playthrough.h"
#include "test_support.h"

// After gtest: the X headers define None.
#include <gdk/gdkx.h>

namespace {

namespace fs = std::filesystem;
constexpr int W = 800, H = 600;
constexpr double BYTES_PER_MS = 44100 * 2 * 2 / 1000.0;  // the mix: 16-bit stereo
const pixel_mask movie_frame = {240, 180, 560, 420};

const std::vector<play_step> steps = {
    {"title:", 1500, "title", play_input::click, 400, 324},
    {"page: 太郎", 2500, "first-page", play_input::enter},
    {"page: 花子", 2500, "second-page", play_input::enter},
    {"page: 夕焼け", 2500, "third-page", play_input::wheel_up},  // no voice: the music alone
    {"backlog: 一つ前", 600, "backlog", play_input::wheel_down},
    {"backlog: 閉じる", 400, "", play_input::enter},
    {"choice:", 800, "choice", play_input::click, 400, 294},
    {"page: 太郎「神社", 2500, "shrine-page", play_input::enter},
    {"page: 花子「……", 400, "", play_input::enter},
    {"movie:", 2000, "movie", play_input::none},
    {"page: 太郎「不思議", 400, "", play_input::enter},
    {"mahjong:", 800, "", play_input::enter},
    {"page: 花子「すごい", 2500, "last-page", play_input::enter},
    {"ending:", 1500, "ending", play_input::enter},
    {"title:", 600, "title-last", play_input::none},  // left alone, the second title ends the game
};
constexpr size_t FIRST_TITLE = 0, THIRD_PAGE = 3, LAST_TITLE = 14;

std::string slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// The root mean square and the peak of the recorded samples between two byte offsets.
struct loudness {
  double rms = 0;
  int peak = 0;
};
loudness measure(const std::string& audio, size_t from, size_t to) {
  loudness l;
  from &= ~size_t{3}, to = std::min(to, audio.size()) & ~size_t{3};
  if (to <= from) return l;
  double sum = 0;
  for (size_t i = from; i < to; i += 2) {
    int16_t v;
    memcpy(&v, audio.data() + i, 2);
    sum += double(v) * v;
    l.peak = std::max(l.peak, std::abs(int(v)));
  }
  l.rms = std::sqrt(sum / double((to - from) / 2));
  return l;
}

// A headless picture beside the screenshots, for people to look at.
void save_picture(const std::string& name, const std::vector<uint32_t>& pixels) {
  if (pixels.size() != static_cast<size_t>(W) * H) return;
  std::vector<guchar> rgb;
  for (uint32_t p : pixels) rgb.insert(rgb.end(), {guchar(p >> 16), guchar(p >> 8), guchar(p)});
  GdkPixbuf* pb = gdk_pixbuf_new_from_data(rgb.data(), GDK_COLORSPACE_RGB, FALSE, 8, W, H, 3 * W, nullptr, nullptr);
  fs::path folder = fs::path(VASK_BINARY_DIR) / "gui-screenshots";
  fs::create_directories(folder);
  gdk_pixbuf_save(pb, (folder / (name + ".png")).c_str(), "png", nullptr, nullptr);
  g_object_unref(pb);
}

class SampleGamePlaythrough : public gui_test {
 protected:
  void TearDown() override {
    vaskrun_stop(child);
    gui_test::TearDown();
  }
  // The recording's length so far.
  size_t recorded() {
    struct stat st;
    return stat(audio.c_str(), &st) == 0 ? static_cast<size_t>(st.st_size) : 0;
  }
  void give(const play_step& s, int left, int top) {
    std::string at = std::to_string(left + s.x) + " " + std::to_string(top + s.y);
    switch (s.input) {
      case play_input::none: break;
      case play_input::enter: EXPECT_EQ(xdotool("key Return"), 0); break;
      case play_input::click: {
        std::string rest = std::to_string(left + PLAY_POINTER_REST_X) + " " + std::to_string(top + PLAY_POINTER_REST_Y);
        EXPECT_EQ(xdotool("mousemove " + at + " sleep 0.1 click 1 sleep 0.2 mousemove " + rest), 0);
        break;
      }
      case play_input::wheel_up: EXPECT_EQ(xdotool("click 4"), 0); break;
      case play_input::wheel_down: EXPECT_EQ(xdotool("click 5"), 0); break;
    }
  }

  temp_dir home;
  fs::path audio = fs::path(home.path()) / "sound.raw";
  int child = -1;
};

TEST_F(SampleGamePlaythrough, OnTheDesktopItMatchesTheHeadlessRunAndSoundsWhereItsMusicPlays) {
  const fs::path dev = fs::path(VASK_BINARY_DIR) / "demo/dev";
  if (!fs::exists(dev / "scenario/chapter1.vko")) GTEST_SKIP() << "the sample game is not built";
  fs::path root = home.path(), shots = root / "headless", folder = root / "game";
  fs::create_directories(shots);
  fs::copy(dev, root / "headless-game", fs::copy_options::recursive);
  ASSERT_EQ(play_headless(root / "headless-game", shots, steps), 0);

  fs::copy(dev, folder, fs::copy_options::recursive);
  ASSERT_EQ(xdotool("mousemove 1010 750"), 0);  // the pointer starts outside the window, as headless
  child = vaskrun_start(folder, root, {{"SDL_AUDIODRIVER", "disk"}, {"SDL_DISKAUDIOFILE", audio.string()}});
  ASSERT_GT(child, 0);
  int width = 0, left = 0, top = 0;
  ASSERT_TRUE(game_area("vaskrun sample game", H, width, left, top)) << "vaskrun's window did not appear";
  std::string id;
  ASSERT_EQ(xdotool("search --onlyvisible --name \"vaskrun sample game\"", &id), 0);
  GdkWindow* frame = gdk_x11_window_foreign_new_for_display(gdk_display_get_default(), strtoul(id.c_str(), nullptr, 10));
  ASSERT_NE(frame, nullptr);
  // The game area lies under the menu bar, and in development mode above a status bar: it is found
  // once, as the band of the window that best matches the first checkpoint, and placed again
  // from the window's origin each time (asked of the server: GDK does not follow another
  // client's window by itself).
  int band = -1;
  auto place = [&] {
    int width;
    gdk_window_get_geometry(frame, nullptr, nullptr, &width, nullptr);
    gdk_window_get_origin(frame, &left, &top);
    top += std::max(band, 0);
    return width == W && band >= 0;
  };
  auto find_band = [&](const std::vector<uint32_t>& want) {
    int x, y, height, best = -1;
    gdk_window_get_geometry(frame, nullptr, nullptr, nullptr, &height);
    gdk_window_get_origin(frame, &x, &y);
    if (height < H) return;
    std::vector<uint32_t> whole = screenshot(x, y, W, height);
    for (int dy = 0; dy + H <= height; ++dy) {
      std::vector<uint32_t> part(whole.begin() + dy * W, whole.begin() + (dy + H) * W);
      int bad = glyph_mismatches(part, want, W);
      if (best < 0 || bad < best) best = bad, band = dy;
    }
  };
  xdotool("windowfocus --sync " + id);

  debug_log_reader log(folder / "debugout.log");
  std::vector<size_t> at_cue(steps.size()), at_input(steps.size());
  for (size_t i = 0; i < steps.size(); ++i) {
    const play_step& s = steps[i];
    ASSERT_TRUE(pump_until([&] { return log.seen(s.cue); }, 60000)) << "step " << i << ": the game never showed "
                                                                    << s.cue << " (see " << folder << ")";
    uint32_t cued = host_clock_ms();
    at_cue[i] = recorded();
    pump_for(s.settle_ms);
    if (*s.shot) {
      // The desktop keeps real time: the screen is taken until it matches, a few seconds at most.
      std::vector<uint32_t> want = raw_read(shots / (std::string(s.shot) + ".raw")), got;
      const pixel_mask mask = std::string(s.shot) == "movie" ? movie_frame : pixel_mask{};
      int best = -1;
      bool matched = pump_until(
          [&] {
            if (band < 0) find_band(want);
            if (!place()) return false;
            got = screenshot(left, top, W, H);
            int bad = glyph_mismatches(got, want, W, mask);
            if (best < 0 || (bad >= 0 && bad < best)) best = bad;
            return bad >= 0 && bad < W * H / 100;
          },
          3000);
      printf("%s: %d pixels off\n", s.shot, best);
      EXPECT_TRUE(matched) << s.shot << ": " << best << " pixels off, " << host_clock_ms() - cued << " ms after "
                           << "its cue";
      if (best != 0) {  // for people to look at
        save_screenshot(std::string("playthrough-") + s.shot, left, top, W, H);
        save_picture(std::string("playthrough-") + s.shot + "-headless", want);
      }
    }
    at_input[i] = recorded();
    place();
    give(s, left, top);
  }
  g_object_unref(frame);
  int status = -1;
  EXPECT_TRUE(pump_until([&] { return waitpid(child, &status, WNOHANG) == child; }, 20000))
      << "the second title did not end the game";
  child = -1;
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;

  const std::string sound = slurp(audio);
  ASSERT_GT(sound.size(), 20 * 1000 * BYTES_PER_MS) << "the disk driver recorded less than the game's length";
  auto after = [](size_t offset, int ms) { return offset + static_cast<size_t>(ms * BYTES_PER_MS); };
  loudness title = measure(sound, after(at_cue[FIRST_TITLE], 300), at_input[FIRST_TITLE]);
  loudness music = measure(sound, after(at_cue[THIRD_PAGE], 500), at_input[THIRD_PAGE]);
  loudness ended = measure(sound, after(at_cue[LAST_TITLE], 2000), sound.size());
  EXPECT_LE(title.peak, 8) << "the first title is not silent";
  EXPECT_GT(music.rms, 300) << "the chapter's music is not heard";
  EXPECT_LE(ended.peak, 8) << "the music still sounds after the ending";
  printf("recorded %zu ms: the title peaks at %d, the music's rms is %.0f, after the ending the peak is %d\n",
         static_cast<size_t>(sound.size() / BYTES_PER_MS), title.peak, music.rms, ended.peak);
}

}  // namespace
