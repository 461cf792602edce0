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
#include <cstring>
#include <filesystem>
#include <fstream>

#include "golden.h"
#include "gui_fixture.h"
#include "playthrough.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;
constexpr int W = 800, H = 600;
constexpr double BYTES_PER_MS = 44100 * 2 * 2 / 1000.0;  // the mix: 16-bit stereo
const pixel_mask movie_frame = {240, 180, 560, 420};
const fs::path dev = sample_game_built("dev");  // the loose copy, in development mode

const std::vector<play_step> steps = {
    {"title:", 1500, "title", play_input::choose, 400, 324},
    {"page: 太郎", 2500, "first-page", play_input::enter},
    {"page: 花子", 2500, "second-page", play_input::enter},
    {"page: 夕焼け", 2500, "third-page", play_input::wheel_up},  // no voice: the music alone
    {"backlog: 一つ前", 600, "backlog", play_input::wheel_down},
    {"backlog: 閉じる", 400, "", play_input::click, 400, 100},  // Enter would frame the choice's first entry, or not, by its timing
    {"choice:", 800, "choice", play_input::choose, 400, 294},
    {"page: 太郎「神社", 2500, "shrine-page", play_input::enter},
    {"page: 花子「……", 400, "", play_input::enter},
    {"movie:", 2000, "movie", play_input::none},
    {"page: 太郎「不思議", 400, "", play_input::enter},
    {"mahjong:", 800, "", play_input::enter},
    {"page: 花子「すごい", 2500, "last-page", play_input::enter},
    {"ending:", 1500, "ending", play_input::enter},
    {"title:", 600, "title-last", play_input::choose, 400, 504},  // the title waits: "終了" ends the game
};
constexpr size_t FIRST_TITLE = 0, THIRD_PAGE = 3, LAST_TITLE = 14;

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
  // The loudness of the last `ms` of the recording, once it holds that much past `from`; false
  // before.
  bool recorded_last(int ms, size_t from, loudness* last) {
    size_t now = recorded(), length = static_cast<size_t>(ms * BYTES_PER_MS) & ~size_t{3};
    if (now < from + length) return false;
    std::string tail(length, '\0');
    std::ifstream in(audio, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(now - length)).read(tail.data(), static_cast<std::streamsize>(length));
    *last = measure(tail, 0, tail.size());
    return true;
  }
  void give(const play_step& s, int left, int top) {
    std::string at = std::to_string(left + s.x) + " " + std::to_string(top + s.y);
    std::string rest = std::to_string(left + PLAY_POINTER_REST_X) + " " + std::to_string(top + PLAY_POINTER_REST_Y);
    switch (s.input) {
      case play_input::none: break;
      case play_input::enter: EXPECT_EQ(xdotool("key Return"), 0); break;
      case play_input::click:
        EXPECT_EQ(xdotool("mousemove " + at + " sleep 0.1 click 1 sleep 0.2 mousemove " + rest), 0);
        break;
      case play_input::choose:
        EXPECT_EQ(xdotool("mousemove " + at), 0);
        EXPECT_TRUE(pump_until([&] { return framed(s.x, s.y); }, 5000)) << "the entry at " << s.x << "," << s.y
                                                                         << " was not framed under the pointer";
        EXPECT_EQ(xdotool("click 1 sleep 0.2 mousemove " + rest), 0);
        break;
      case play_input::wheel_up: EXPECT_EQ(xdotool("click 4"), 0); break;
      case play_input::wheel_down: EXPECT_EQ(xdotool("click 5"), 0); break;
    }
  }

  // vaskrun on a copy of the development folder, the pointer starting outside its window (as
  // headless); false unless its window shows, found by its first title (development mode puts the
  // script's place in it later), and it is given the keyboard. The game area lies under the menu
  // bar, and in development mode above a status bar: it is the band of the window that best
  // matches a picture of the game, sought at every look until one has matched (a window still
  // being drawn matches no band), and placed again from the window's origin each time (asked of
  // the server: GDK does not follow another client's window by itself).
  bool game_start(const fs::path& folder, const fs::path& root,
                  const std::vector<std::pair<std::string, std::string>>& environment) {
    sample_game_copy("dev", folder);
    xdotool("mousemove 1010 750");
    child = vaskrun_start(folder, root, environment);
    int width = 0;
    std::string id;
    band = -1, band_sure = false;
    if (child <= 0 || !game_area("vaskrun sample game", H, width, left, top) ||
        xdotool("search --onlyvisible --name \"vaskrun sample game\"", &id) != 0)
      return false;
    xid = strtoul(id.c_str(), nullptr, 10);
    xdotool("windowfocus --sync " + std::to_string(xid));
    return true;
  }
  bool place() {
    int width, height;
    if (!window_geometry(xid, left, top, width, height)) return false;
    top += std::max(band, 0);
    return width == W && band >= 0;
  }
  void band_find(const std::vector<uint32_t>& want) {
    int x, y, width, height, best = -1;
    if (!window_geometry(xid, x, y, width, height) || height < H) return;
    std::vector<uint32_t> whole = screenshot(x, y, W, height);
    for (int dy = 0; dy + H <= height; ++dy) {
      std::vector<uint32_t> part(whole.begin() + dy * W, whole.begin() + (dy + H) * W);
      int bad = glyph_mismatches(part, want, W);
      if (best < 0 || bad < best) best = bad, band = dy;
    }
  }
  // Whether the game area shows the picture now, all but 1 % of it outside the mask; off gets the
  // pixels that differ (-1 before the area is placed).
  bool shows(const std::vector<uint32_t>& want, const pixel_mask& mask = {}) {
    if (!band_sure) band_find(want);
    off = place() ? glyph_mismatches(screenshot(left, top, W, H), want, W, mask) : -1;
    bool matched = off >= 0 && off < W * H / 100;
    band_sure |= matched;
    return matched;
  }
  // Whether the game frames the entry whose middle is at (x, y) in the game area: the frame's
  // yellow lies round the entry (256 x 64 about its middle).
  bool framed(int x, int y) {
    if (!place()) return false;
    auto yellow = [](int r, int g, int b) { return r > 220 && g > 185 && g < 240 && b < 110; };
    return count_in(screenshot(left + x - 128, top + y - 32, 256, 64), 256, 0, 0, 256, 64, yellow) > 500;
  }
  // The game area now, once it is placed.
  std::vector<uint32_t> game_shot() { return place() ? screenshot(left, top, W, H) : std::vector<uint32_t>{}; }

  temp_dir home;
  fs::path audio = fs::path(home.path()) / "sound.raw";
  int child = -1;
  unsigned long xid = 0;
  int band = -1, left = 0, top = 0, off = -1;
  bool band_sure = false;
};

TEST_F(SampleGamePlaythrough, OnTheDesktopItMatchesTheHeadlessRunAndSoundsWhereItsMusicPlays) {
  if (dev.empty()) GTEST_SKIP() << "the sample game is not built";
  fs::path root = home.path(), shots = root / "headless", folder = root / "game";
  fs::create_directories(shots);
  sample_game_copy("dev", root / "headless-game");
  ASSERT_EQ(play_headless(root / "headless-game", shots, steps), 0);

  ASSERT_TRUE(game_start(folder, root, {{"SDL_AUDIODRIVER", "disk"}, {"SDL_DISKAUDIOFILE", audio.string()}}))
      << "vaskrun's window did not appear";

  debug_log_reader log(folder / "debugout.log");
  std::vector<size_t> at_cue(steps.size()), at_input(steps.size());
  loudness ended;
  bool ended_silent = false;
  for (size_t i = 0; i < steps.size(); ++i) {
    const play_step& s = steps[i];
    ASSERT_TRUE(pump_until([&] { return log.seen(s.cue); }, 60000)) << "step " << i << ": the game never showed "
                                                                    << s.cue << " (see " << folder << ")";
    uint32_t cued = host_clock_ms();
    at_cue[i] = recorded();
    pump_for(s.settle_ms);
    if (std::string(s.cue) == "mahjong:" && place()) save_screenshot("sample-mahjong-panel", left, top, W, H);
    if (*s.shot) {
      // The desktop keeps real time: the screen is taken until it matches, a few seconds at most.
      std::vector<uint32_t> want = raw_read(shots / (std::string(s.shot) + ".raw"));
      const pixel_mask mask = std::string(s.shot) == "movie" ? movie_frame : pixel_mask{};
      int best = -1;
      bool matched = pump_until(
          [&] {
            bool now = shows(want, mask);
            if (best < 0 || (off >= 0 && off < best)) best = off;
            return now;
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
    if (i == LAST_TITLE) {
      // On a busy machine the recording lags the game, by seconds under the sanitizers: the title
      // is heard once the last half second recorded, 2 s past its cue or later, is silent. Music
      // that plays on never gets there.
      size_t quiet_from = at_cue[i] + static_cast<size_t>(2000 * BYTES_PER_MS);
      ended_silent = pump_until([&] { return recorded_last(500, quiet_from, &ended) && ended.peak <= 8; }, 30000);
    }
    at_input[i] = recorded();
    place();
    give(s, left, top);
  }
  int status = -1;
  EXPECT_TRUE(pump_until([&] { return waitpid(child, &status, WNOHANG) == child; }, 20000))
      << "\"終了\" on the second title did not end the game";
  child = -1;
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;

  const std::string sound = slurp(audio);
  ASSERT_GT(sound.size(), 20 * 1000 * BYTES_PER_MS) << "the disk driver recorded less than the game's length";
  auto after = [](size_t offset, int ms) { return offset + static_cast<size_t>(ms * BYTES_PER_MS); };
  loudness title = measure(sound, after(at_cue[FIRST_TITLE], 300), at_input[FIRST_TITLE]);
  loudness music = measure(sound, after(at_cue[THIRD_PAGE], 500), at_input[THIRD_PAGE]);
  EXPECT_LE(title.peak, 8) << "the first title is not silent";
  EXPECT_GT(music.rms, 300) << "the chapter's music is not heard";
  EXPECT_TRUE(ended_silent) << "the music still sounds after the ending";
  printf("recorded %zu ms: the title peaks at %d, the music's rms is %.0f, after the ending the peak is %d\n",
         static_cast<size_t>(sound.size() / BYTES_PER_MS), title.peak, music.rms, ended.peak);
}

// In a picture of the game area, the pixels of the message window's text (light on its dark blue)
// and of the mode mark in its corner (yellow).
int text_pixels(const std::vector<uint32_t>& shot) { return count_in(shot, W, 44, 454, 760, 570, light); }
int mark_pixels(const std::vector<uint32_t>& shot) {
  return count_in(shot, W, 668, 434, 764, 456, [](int r, int g, int b) { return r > 180 && g > 150 && b < 150; });
}
// The first page's 53 characters typed at the slowest speed, 110 ms each.
constexpr uint32_t FIRST_PAGE_TYPING_MS = 53 * 110;
// The message window's dark blue (which GTK's dialogs have not).
bool window_blue(int r, int g, int b) { return std::abs(r - 0x14) < 16 && std::abs(g - 0x2A) < 16 && std::abs(b - 0x50) < 16; }

// Reading on the desktop, in two runs of the loose copy. At the slowest text speed the first page
// is typed: part of it shows, not all; a click shows the rest sooner than the typing alone would,
// and the page then waits: nothing turns it. A right click hides the message window, the next click
// brings it back as it was, and the page still waits. At the fastest speed the page stands whole
// as it begins; F6 puts "オート" on the window and the pages turn by themselves up to the choice,
// where auto mode ends. There the menu's save (F2) keeps the game in the slot dialog's first
// slot, which the load dialog (F3) shows with its chapter and the page's thumbnail.
TEST_F(SampleGamePlaythrough, ReadsAtBothEndsOfTheTextSpeedInAutoModeAndWithTheWindowHidden) {
  if (dev.empty()) GTEST_SKIP() << "the sample game is not built";
  std::vector<uint32_t> whole_page;
  for (const char* speed : {"0", "5000"}) {
    SCOPED_TRACE(std::string("text speed ") + speed);
    fs::path run = fs::path(home.path()) / speed, folder = run / "game";
    fs::create_directories(run / "config/vaskrun");
    std::ofstream(run / "config/vaskrun/demo.ini") << "[values]\nMojiSpeed=" << speed << "\nAutoSpeed=5000\n";
    ASSERT_TRUE(game_start(folder, run, {{"SDL_AUDIODRIVER", "dummy"}})) << "vaskrun's window did not appear";
    debug_log_reader log(folder / "debugout.log");
    std::vector<uint32_t> title = golden_picture("01-title");
    ASSERT_TRUE(pump_until([&] { return log.seen("title:"); }, 20000));
    ASSERT_TRUE(pump_until([&] { return shows(title); }, 5000)) << "the title";
    give({"", 0, "", play_input::choose, 400, 324}, left, top);
    ASSERT_TRUE(pump_until([&] { return log.seen("text: 坂の下で"); }, 30000)) << "the first page";
    uint32_t typing_began = host_clock_ms();
    auto click = [&](int button) {
      xdotool("mousemove " + std::to_string(left + 400) + " " + std::to_string(top + 300) + " sleep 0.1 click " +
              std::to_string(button));
    };

    if (whole_page.empty()) {  // the slowest speed
      // The typing has moved on from where the window first stood.
      std::vector<uint32_t> typing = game_shot();
      int first = text_pixels(typing);
      ASSERT_TRUE(pump_until([&] { return text_pixels(typing = game_shot()) > first; }, 3000)) << "nothing was typed";
      save_screenshot("reading-slowest-typing", left, top, W, H);
      click(1);
      ASSERT_TRUE(pump_until([&] { return log.seen("page: 太郎"); }, 3000)) << "the click did not show the rest";
      EXPECT_LT(host_clock_ms() - typing_began, FIRST_PAGE_TYPING_MS - 1000)
          << "the rest of the page came no sooner than the typing alone brings it";
      // The message window's text as it stands once two looks in a row agree.
      ASSERT_TRUE(pump_until_steady([&] { return text_pixels(whole_page = game_shot()); }, [](int n) { return n > 0; }));
      int part = text_pixels(typing), whole = text_pixels(whole_page);
      EXPECT_LT(part, whole / 2) << "the page was not typed: " << part << " of " << whole;
      pump_for(2000);
      EXPECT_FALSE(log.seen("text: 花子")) << "the page turned by itself";

      click(3);
      ASSERT_TRUE(pump_until([&] { return log.seen("window: 隠す"); }, 3000)) << "a right click did not hide";
      EXPECT_TRUE(pump_until([&] { return text_pixels(game_shot()) < whole / 20; }, 3000)) << "the message window stayed";
      save_screenshot("reading-window-hidden", left, top, W, H);
      click(1);
      ASSERT_TRUE(pump_until([&] { return log.seen("window: 戻す"); }, 3000)) << "a click did not show it again";
      EXPECT_TRUE(pump_until([&] { return shows(whole_page); })) << "the window came back otherwise";
      pump_for(1500);
      EXPECT_FALSE(log.seen("text: 花子")) << "the click that showed the window turned the page";
    } else {  // the fastest speed
      ASSERT_TRUE(pump_until([&] { return log.seen("page: 太郎"); }, 1000)) << "the page was not there at once";
      EXPECT_TRUE(pump_until([&] { return shows(whole_page); })) << "not the whole page";
      EXPECT_EQ(mark_pixels(game_shot()), 0) << "a mode mark without a mode";
      xdotool("windowfocus --sync " + std::to_string(xid) + " key F6");
      EXPECT_TRUE(pump_until([&] { return mark_pixels(game_shot()) > 20; }, 3000)) << "no オート on the window";
      save_screenshot("reading-auto-mode", left, top, W, H);
      ASSERT_TRUE(pump_until([&] { return log.seen("choice:"); }, 30000)) << "auto mode did not turn the pages";
      EXPECT_TRUE(pump_until([&] { return mark_pixels(game_shot()) == 0; }, 2000)) << "auto mode went on at the choice";

      // The slot dialog, through the keys of the menu: save to the first slot, then look at it.
      auto dialog = [&](const char8_t* name) {  // window names are UTF-8
        std::string id;
        pump_until([&] { return xdotool(std::string("search --onlyvisible --name ") + reinterpret_cast<const char*>(name), &id) == 0; }, 5000);
        return id.substr(0, id.find('\n'));
      };
      xdotool("windowfocus --sync " + std::to_string(xid) + " key F2");
      std::string saving = dialog(u8"データのセーブ");
      ASSERT_FALSE(saving.empty()) << "F2 opened no slot dialog";
      xdotool("windowfocus --sync " + saving + " key Down sleep 0.3 key Return");
      ASSERT_TRUE(pump_until([&] { return fs::exists(folder / "savedata/vaskel_0101.sav"); }, 5000)) << "not saved";
      // "セーブしました", over the game and the slot dialog.
      auto box = [&] { return window_besides(child, {std::to_string(xid), saving}); };
      std::string saved;
      ASSERT_TRUE(pump_until([&] { return !(saved = box()).empty(); }, 5000)) << "no box said it was saved";
      xdotool("windowfocus --sync " + saved + " key Return");
      ASSERT_TRUE(pump_until([&] { return box().empty(); }, 5000)) << "the box stayed";
      xdotool("windowfocus --sync " + std::to_string(xid) + " key F3");
      std::string loading = dialog(u8"データのロード");
      ASSERT_FALSE(loading.empty()) << "F3 opened no slot dialog";
      xdotool("windowfocus --sync " + loading + " key Down");
      // The thumbnail shows the page: the message window's dark blue.
      int dx = 0, dy = 0, dw = 0, dh = 0;
      EXPECT_TRUE(pump_until([&] {
        if (!window_geometry(strtoul(loading.c_str(), nullptr, 10), dx, dy, dw, dh) || dw <= 0 || dh <= 0) return false;
        return count_in(screenshot(dx, dy, dw, dh), dw, 0, 0, dw, dh, window_blue) > 1000;
      }, 3000)) << "no thumbnail of the page in the slot dialog";
      save_screenshot("sample-slot-dialog-thumbnail", dx, dy, dw, dh);
      xdotool("windowfocus --sync " + loading + " key Escape");
      std::string title_text = slurp(folder / "savedata/vaskel_0101.sav").substr(16, 128);
      EXPECT_STREQ(title_text.c_str(), "第一章　夕方の坂道∵夕焼け") << "chapter ∵ subject";
    }
    vaskrun_stop(child);
  }
}

}  // namespace
