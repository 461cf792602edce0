// The whole sample game, played as a player would: the program's own start-up and run loop
// (WinMain) in a child process of this test on the headless backend and its fake clock, so that
// minutes of play take seconds. Input is scripted on what the game tells its debug log (the loose
// copy runs in development mode, where the game notes every screen it shows): at each of them the
// front page is taken (a checkpoint) and the next input is given.
//
// First run: the title, the settings (text at once, music lower, a mincho face), the chapter's
// first two pages, a quick save and a menu save (the slot dialog's first slot) at the second, full
// screen and back, the close question answered yes. Second run (a restart in the same folder): the
// title, "つづきから" opens the slot dialog, whose first slot loads the second page back; the third
// page, the log a page back and forth again, the choice's second entry, the movie, the mahjong
// hand, the last page, the ending, the title again, where "終了" ends the game.
//
// The checkpoints match tests/e2e/golden/*.png, with a tolerance for glyph shapes; the message log
// at the ending matches message_log.txt there. VASK_UPDATE_GOLDEN=1 writes the goldens afresh from
// this run (then look at them before committing).
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <glib.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>

#include "archive_writer.h"
#include "base/cp932.h"
#include "base/hash.h"
#include "base/random.h"
#include "golden.h"
#include "playthrough.h"
#include "gtest/gtest.h"
#include "platform/headless/headless.h"
#include "platform/messages.h"
#include "resources/menus.h"
#include "save/eternal.h"
#include "save/loadsave_dialog.h"
#include "save/savefile.h"
#include "shell/startup.h"
#include "sound/stream_mixer.h"
#include "shell/window_core.h"
#include "test_support.h"
#include "text/message_log.h"
#include "vko_assembler.h"
#include "vm/value.h"

namespace {

namespace fs = std::filesystem;
const fs::path golden_dir = fs::path(VASK_SOURCE_DIR) / "tests/e2e/golden";
constexpr int W = GOLDEN_WIDTH, H = GOLDEN_HEIGHT;

std::string utf8(const std::string& cp932) {
  gsize n = 0;
  gchar* out = g_convert(cp932.data(), static_cast<gssize>(cp932.size()), "UTF-8", "CP932", nullptr, &n, nullptr);
  std::string s = out ? std::string(out, n) : std::string("?");
  g_free(out);
  return s;
}

// One scripted moment: when the debug log gains a line starting with `line`, the front page
// is taken `settle_ms` later as checkpoint `shot` (none when empty) and `act` gives the input.
struct step {
  const char* line;
  int settle_ms;
  const char* shot;
  std::function<void(headless_platform&, window_handle)> act;
};

// Input goes in as a user gives it: a move, then a press, then a release, some frames apart, so
// that the game's polls see each of them.
struct timed_message {
  uint32_t offset_ms, message;
  uintptr_t wparam;
  intptr_t lparam;
};
std::vector<timed_message> input_queue;

void post_key(window_handle, int vk) {
  input_queue.push_back({0, WM_KEYDOWN, static_cast<uintptr_t>(vk), 1});
  input_queue.push_back({80, WM_KEYUP, static_cast<uintptr_t>(vk), 1 | (1 << 30) | (1u << 31)});
}
void post_click(headless_platform& host, window_handle, int x, int y) {
  host.cursor_x = x, host.cursor_y = y;
  intptr_t at = (y << 16) | x;
  input_queue.push_back({0, WM_MOUSEMOVE, 0, at});
  input_queue.push_back({60, WM_LBUTTONDOWN, 1, at});
  input_queue.push_back({140, WM_LBUTTONUP, 0, at});
}
void post_wheel(window_handle, int delta) {
  input_queue.push_back({0, WM_MOUSEWHEEL, static_cast<uintptr_t>(static_cast<uint16_t>(delta)) << 16, (300 << 16) | 400});
}
auto enter = [](headless_platform&, window_handle w) { post_key(w, VK_RETURN); };
auto nothing = [](headless_platform&, window_handle) {};

// The child of play: the game's whole life, ended by its own end built-in or the quit message.
void play_child(const fs::path& folder, const fs::path& out, std::vector<step>& steps) {
  fs::current_path(folder);
  static headless_platform host;
  host.print_boxes = false;
  host.use_fake_clock(1000);
  plat_install(&host);
  stream_worker_manual(true);
  size_t read = 0, next = 0;
  uint32_t due = 0, sounded = host.clock_ms(), queued_at = 0;
  std::vector<std::pair<uint32_t, double>> loudness;  // (time, RMS of the mix since the last)
  bool seeded = false;
  host.on_pump = [&] {
    if (!seeded) engine_srand(20261209), seeded = true;  // the mahjong wall is the same every run
    uint32_t now = host.clock_ms();
    if (now - sounded >= 10) {
      stream_pass();  // the music's streams, filled on the fake clock as the worker would
      // The mix heard meanwhile: the loudest 10 ms of the last half second is kept per window.
      std::vector<int16_t> mix = host.sound_advance(static_cast<int>((now - sounded) * 441 / 10));
      double sum = 0;
      for (int16_t v : mix) sum += static_cast<double>(v) * v;
      loudness.push_back({now, mix.empty() ? 0 : std::sqrt(sum / static_cast<double>(mix.size()))});
      while (!loudness.empty() && now - loudness.front().first > 500) loudness.erase(loudness.begin());
      sounded = now;
    }
    window_handle w = main_window_get();
    if (!input_queue.empty()) {
      if (!queued_at) queued_at = now;
      while (!input_queue.empty() && now - queued_at >= input_queue.front().offset_ms) {
        message_post(w, input_queue.front().message, input_queue.front().wparam, input_queue.front().lparam);
        input_queue.erase(input_queue.begin());
      }
      if (input_queue.empty()) queued_at = 0;
      return;
    }
    if (next >= steps.size()) return;
    if (due) {
      if (static_cast<int32_t>(now - due) < 0) return;
      step& s = steps[next++];
      due = 0;
      if (*s.shot) {
        std::ofstream pic(out / (std::string(s.shot) + ".raw"), std::ios::binary);
        for (uint32_t p : host.record(w)->pixels) {
          uint32_t v = p & 0xFFFFFF;
          pic.write(reinterpret_cast<const char*>(&v), 4);
        }
        double loudest = 0;
        for (const auto& l : loudness) loudest = std::max(loudest, l.second);
        std::ofstream(out / (std::string(s.shot) + ".rms")) << loudest;
        if (std::string(s.shot) == "13-ending") {
          std::ofstream log(out / "message_log.bin", std::ios::binary);
          log.write(reinterpret_cast<const char*>(message_log_bytes()), MESSAGE_LOG_SIZE);
        }
      }
      s.act(host, w);
      return;
    }
    if (!*steps[next].line) {  // a step on time alone: after the one before it
      due = now + static_cast<uint32_t>(steps[next].settle_ms);
      return;
    }
    std::string text = slurp("debugout.log");
    while (read < text.size()) {
      size_t end = text.find('\n', read);
      if (end == std::string::npos) break;
      std::string line = text.substr(read, end - read);  // engine text, as the literals here
      read = end + 1;
      size_t blank = line.find(' ');
      if (blank != std::string::npos && line.compare(blank + 1, strlen(steps[next].line), steps[next].line) == 0) {
        due = now + static_cast<uint32_t>(steps[next].settle_ms);
        if (!due) due = 1;
        break;
      }
    }
  };
  WinMain("", 1);
}

// Plays in a child process from the game folder until the game ends; checkpoints are written as
// raw 0x00RRGGBB pictures into `out`, the message log at the ending as message_log.bin. The
// child's exit status, or -1.
int play(const fs::path& folder, const fs::path& out, std::vector<step> steps) {
  return game_child_run([&] { play_child(folder, out, steps); });
}

// VASK_UPDATE_GOLDEN=1: the goldens are written from this run.
bool updating_goldens() {
  const char* v = getenv("VASK_UPDATE_GOLDEN");
  return v && *v && strcmp(v, "0") != 0;
}

// A checkpoint's pixels, 0x00RRGGBB.
std::vector<uint32_t> checkpoint(const fs::path& shots, const std::string& name) {
  std::string bytes = slurp(shots / (name + ".raw"));
  std::vector<uint32_t> pixels(bytes.size() / 4);
  memcpy(pixels.data(), bytes.data(), pixels.size() * 4);
  return pixels;
}

// The log's entries, oldest first, in UTF-8, one a line.
std::string log_entries(const std::string& log) {
  std::vector<std::string> entries;
  for (int e = MESSAGE_LOG_SIZE; e >= 3;) {
    int len = static_cast<unsigned char>(log[e - 2]) | static_cast<unsigned char>(log[e - 1]) << 8;
    if (len < 3 || len > e) break;
    entries.push_back(utf8(log.substr(e - len, len - 3)));
    e -= len;
  }
  std::string out;
  for (auto it = entries.rbegin(); it != entries.rend(); ++it) out += *it + "\n";
  return out;
}

TEST(WholeSampleGame, PlaysFromTitleToEndingWithASaveAQuitARestartAndALoad) {
  if (sample_game_built("dev").empty()) GTEST_SKIP() << "the sample game is not built";
  temp_dir root_dir;
  fs::path root = root_dir.path(), folder = root / "game", shots = root / "shots";
  fs::create_directories(shots);
  sample_game_copy("dev", folder);

  auto title_click = [](int entry) {
    return [entry](headless_platform& host, window_handle w) { post_click(host, w, 400, 300 + 60 * (entry - 1) + 24); };
  };
  // LOADSAVE, the slot dialog, answered with the first slot of its first page.
  auto first_slot = [](dialog_form& f) {
    f.find(IDC_LOADSAVE_TABS)->value = 0;
    f.find(IDC_LOADSAVE_LIST)->value = 0;
    return IDOK;
  };
  auto settings = [](headless_platform& host, window_handle w) {
    host.form_answers.push_back([](dialog_form& f) {  // text speed: the slider's right end, at once
      if (form_control* c = f.find(1002)) c->value = 5000;
      return IDOK;
    });
    host.form_answers.push_back([](dialog_form& f) {  // the music lower
      if (form_control* c = f.find(1001)) c->value = 300;
      return IDOK;
    });
    host.form_answers.push_back([](dialog_form& f) {  // a mincho face
      if (form_control* c = f.find(1009))
        for (size_t i = 0; i < c->rows.size(); ++i)
          if (c->rows[i].find("Mincho") != std::string::npos) c->value = static_cast<int>(i);
      return IDOK;
    });
    post_click(host, w, 400, 420 + 24);
  };
  std::vector<step> first = {
      {"title:", 600, "01-title", settings},
      {"settings: フォント", 10, "", nothing},
      {"title:", 600, "", title_click(1)},
      {"page: 太郎", 400, "02-first-page", enter},
      {"page: 花子", 400, "03-second-page",
       [](headless_platform&, window_handle w) {
         message_post(w, WM_COMMAND, IDM_QUICK_SAVE, 0);  // one request at a time: the menu keeps one
         message_post(w, WM_COMMAND, IDM_FULLSCREEN, 0);
       }},
      {"", 1500, "",
       [first_slot](headless_platform& host, window_handle w) {
         host.form_answers.push_back(first_slot);
         message_post(w, WM_COMMAND, IDM_SAVE, 0);
       }},
      {"", 1500, "",
       [](headless_platform& host, window_handle w) {
         EXPECT_TRUE(host.record(w)->fullscreen) << "the menu's full screen";
         message_post(w, WM_COMMAND, IDM_WINDOWED, 0);
       }},
      {"", 1500, "",
       [](headless_platform& host, window_handle w) {
         EXPECT_FALSE(host.record(w)->fullscreen) << "back in the window";
         host.answer_boxes({IDYES});
         message_post(w, WM_CLOSE, 0, 0);
       }},
  };
  ASSERT_EQ(play(folder, shots, first), 0);

  std::vector<step> second = {
      {"title:", 600, "04-title-again",
       [first_slot, title_click](headless_platform& host, window_handle w) {
         host.form_answers.push_back(first_slot);
         title_click(2)(host, w);
       }},
      {"page: 花子", 400, "05-loaded-second-page", enter},
      {"page: 夕焼け", 400, "06-third-page", [](headless_platform&, window_handle w) { post_wheel(w, 120); }},
      {"backlog: 一つ前", 400, "07-backlog", [](headless_platform&, window_handle w) { post_wheel(w, -120); }},
      {"backlog: 閉じる", 400, "", enter},
      {"choice:", 600, "08-choice", [](headless_platform& host, window_handle w) { post_click(host, w, 400, 294); }},
      {"page: 太郎「神社", 400, "09-shrine-page", enter},
      {"page: 花子「……", 400, "", enter},
      {"movie:", 2000, "10-movie", nothing},
      {"page: 太郎「不思議", 400, "", enter},
      {"mahjong:", 800, "11-mahjong", enter},
      {"page: 花子「すごい", 400, "12-last-page", enter},
      {"ending:", 1500, "13-ending", enter},
      {"title:", 600, "14-title-last", title_click(4)},  // the title waits: "終了" ends the game
  };
  fs::path killed = folder / "savedata" / "vaskel_0101.sav.tmp-Ab3xY9";  // what a killed save leaves
  std::ofstream(killed) << "half";
  ASSERT_EQ(play(folder, shots, second), 0);
  EXPECT_FALSE(fs::exists(killed)) << "the start sweeps it";

  for (const char* name : {"01-title", "02-first-page", "03-second-page", "04-title-again", "05-loaded-second-page",
                           "06-third-page", "07-backlog", "08-choice", "09-shrine-page", "10-movie", "11-mahjong",
                           "12-last-page", "13-ending", "14-title-last"}) {
    std::vector<uint32_t> got = checkpoint(shots, name);
    if (updating_goldens()) golden_write(name, got);
    // The movie's frame depends on its decoder thread's pace: only the scene around it is compared.
    golden_skip skip = std::string(name) == "10-movie" ? golden_skip{240, 180, 320, 240} : golden_skip{};
    int bad = golden_mismatches(got, golden_picture(name), skip);
    EXPECT_GE(bad, 0) << name << ": no checkpoint or no golden";
    EXPECT_LT(bad, W * H / 100) << name << ": more than 1 % of the pixels differ";
  }
  // The mahjong result's line alone, to the pixel: a figure a hundred points off is far below 1 %.
  auto result_line = [](std::vector<uint32_t> v) {
    for (size_t i = 0; i < v.size(); i++)
      if (i / W < 284 || i / W >= 306 || i % W >= 540) v[i] = 0;
    return v;
  };
  EXPECT_EQ(golden_mismatches(result_line(checkpoint(shots, "11-mahjong")), result_line(golden_picture("11-mahjong"))), 0);
  EXPECT_EQ(golden_mismatches(checkpoint(shots, "03-second-page"), checkpoint(shots, "05-loaded-second-page")), 0)
      << "the load brings the saved page back as it was";

  // What a player hears at the checkpoints: the chapter's music (and the movie's tone), none at
  // the title.
  for (auto [name, heard] : {std::pair{"01-title", false}, {"02-first-page", true}, {"03-second-page", true},
                             {"04-title-again", false}, {"06-third-page", true}, {"10-movie", true},
                             {"11-mahjong", true}, {"14-title-last", false}}) {
    double rms = std::stod("0" + slurp(shots / (std::string(name) + ".rms")));
    if (heard)
      EXPECT_GT(rms, 100) << name << ": silent";
    else
      EXPECT_EQ(rms, 0) << name << ": not silent";
  }

  std::string log = log_entries(slurp(shots / "message_log.bin"));
  if (updating_goldens()) std::ofstream(golden_dir / "message_log.txt", std::ios::binary) << log;
  EXPECT_EQ(log, slurp(golden_dir / "message_log.txt"));

  // The saves: slot 101 (the menu's save, LOADSAVE's first slot) and the first quick slot, both
  // at the second page; the eternal file counts the two runs, keeps the font chosen and the slot
  // saved last.
  fs::path saves = folder / "savedata";
  std::vector<fs::path> files = {saves / "vaskel_0101.sav"};
  for (const fs::directory_entry& e : fs::directory_iterator(saves))
    if (e.path().filename().string().rfind("vaskel_quick", 0) == 0) files.push_back(e.path());
  ASSERT_EQ(files.size(), 2u) << "slot 101 and one quick save";
  for (const fs::path& file : files) {
    std::string bytes = slurp(file);
    staged_save staged;
    ASSERT_TRUE(savefile_parse(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), &staged)) << file;
    EXPECT_STREQ(staged.header->title, "第一章　夕方の坂道∵花子") << file;  // chapter ∵ subject
  }
  std::string eternal = slurp(saves / "vaskel_system.mss");
  uint32_t seen[SEEN_NAME_COUNT];
  std::vector<value_cell> cells;
  ASSERT_EQ(system_file_parse(reinterpret_cast<const uint8_t*>(eternal.data()), eternal.size(), seen, &cells), 0);
  bool visits = false, font = false, newest = false;
  for (const value_cell& c : cells) {
    if (c.hash == crc32_string("#visits@GLOBAL") && c.type == TYPE_INT) visits = c.i == 2;
    if (c.hash == crc32_string("#save_newest@GLOBAL") && c.type == TYPE_INT) newest = c.i == 101;
    if (c.hash == crc32_string("#font_face@GLOBAL") && c.type == TYPE_STRING && c.s)
      font = utf8(c.s->text).find("Mincho") != std::string::npos;
  }
  for (value_cell& c : cells) value_release(&c);
  EXPECT_TRUE(visits) << "#visits: two runs";
  EXPECT_TRUE(newest) << "#save_newest: the menu's save went to slot 101";

  // The settings as the dialogs left them, where the game reads them from.
  std::string store = slurp(fs::path(getenv("XDG_CONFIG_HOME")) / "vaskrun/demo.ini");
  EXPECT_NE(store.find("MojiSpeed=5000\n"), std::string::npos) << store;
  EXPECT_NE(store.find("MusicVolume=300\n"), std::string::npos) << store;
  EXPECT_TRUE(font) << "#font_face: the mincho face chosen in the settings";
}

// Read-skip after the choice: a first run reads through it to the shrine; in the next, F7 skips the
// read pages up to the choice, which ends skipping. F7 at the choice must leave it waiting for the
// player (a loop that skipped its waits would spin and hold the fake clock: the alarm ends that
// run), and F7 at the sea's page, which nobody has read yet, must leave that page standing.
TEST(WholeSampleGame, ReadSkipStopsAtTheOtherWaysFirstPage) {
  if (sample_game_built("dev").empty()) GTEST_SKIP() << "the sample game is not built";
  temp_dir root_dir;
  fs::path root = root_dir.path(), folder = root / "game";
  sample_game_copy("dev", folder);
  auto click_at = [](int y) { return [y](headless_platform& host, window_handle w) { post_click(host, w, 400, y); }; };
  auto f7 = [](headless_platform&, window_handle w) { post_key(w, VK_F7); };
  auto close = [](headless_platform& host, window_handle w) {
    host.answer_boxes({IDYES});
    message_post(w, WM_CLOSE, 0, 0);
  };
  ASSERT_EQ(play(folder, root, {{"title:", 600, "", click_at(324)}, {"page: 太郎", 400, "", enter},
                                {"page: 花子", 400, "", enter}, {"page: 夕焼け", 400, "", enter},
                                {"choice:", 600, "", click_at(294)}, {"page: 太郎「神社", 400, "", close}}),
            0);
  fs::remove(folder / "debugout.log");  // the steps of the next run read the log from its start
  auto start = [](headless_platform& host, window_handle w) {
    alarm(static_cast<unsigned>(test_budget_ms(15000) / 1000));
    post_click(host, w, 400, 324);
  };
  ASSERT_EQ(play(folder, root, {{"title:", 600, "", start}, {"page: 太郎", 400, "", f7}, {"choice:", 600, "", f7},
                                {"", 600, "", click_at(224)}, {"page: 太郎「海", 400, "", f7}, {"", 3000, "", close}}),
            0) << "the second run did not end";
  std::string log = slurp(folder / "debugout.log");
  EXPECT_EQ(log.find("text: 空の映像"), std::string::npos) << "read-skip passed the unread page:\n" << utf8(log);
}

// The blocks of docs/guide.md that name a file of the game on their first line, by that name.
std::map<std::string, std::string> guide_files() {
  std::string guide = slurp(fs::path(VASK_SOURCE_DIR) / "docs/guide.md");
  std::map<std::string, std::string> files;
  for (size_t at = guide.find("```\n"); at != std::string::npos;) {
    size_t end = guide.find("```\n", at + 4);
    if (end == std::string::npos) break;
    std::string block = guide.substr(at + 4, end - at - 4);
    std::string first = block.substr(0, block.find('\n'));
    for (const char* comment : {"; ", "// "})
      if (first.rfind(comment, 0) == 0) files[first.substr(strlen(comment))] = block;
    at = guide.find("```\n", end + 4);
  }
  return files;
}

// The guide's own first game, made as the guide says: its environment file converted to CP932, its
// start object assembled (built-ins by name), a picture for data/room.png, each folder packed into
// a V3 archive; then played headless as a player gets it: the page shows over the picture and a
// click ends the game.
TEST(GuideGame, TheGuidesExampleBuildsIntoArchivesAndPlays) {
  std::map<std::string, std::string> files = guide_files();
  ASSERT_TRUE(files.count("fastdata/vaskel.env") && files.count("scenario/start.vasm")) << "the guide's example";
  temp_dir game;
  fs::path folder = game.path(), shots = folder / "shots";
  fs::create_directories(shots);
  std::string env;
  ASSERT_TRUE(utf8_to_cp932(files["fastdata/vaskel.env"], env));
  vko_builder start;
  std::string error;
  ASSERT_TRUE(vko_assemble_text(files["scenario/start.vasm"], start, error)) << error;
  GdkPixbuf* room = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, 640, 480);
  for (int y = 0; y < 480; ++y)  // a gradient, as the guide's ImageMagick line makes
    for (int x = 0; x < 640; ++x) {
      guchar* p = gdk_pixbuf_get_pixels(room) + y * gdk_pixbuf_get_rowstride(room) + x * 3;
      p[0] = static_cast<guchar>(0x4A + (0xF2 - 0x4A) * y / 479), p[1] = static_cast<guchar>(0x78 + (0xD8 - 0x78) * y / 479);
      p[2] = static_cast<guchar>(0xB0 + (0xA0 - 0xB0) * y / 479);
    }
  gchar* png = nullptr;
  gsize png_size = 0;
  ASSERT_TRUE(gdk_pixbuf_save_to_buffer(room, &png, &png_size, "png", nullptr, nullptr));
  g_object_unref(room);
  ASSERT_TRUE(archive_write((folder / "fastdata.arc").string(), archive_version::v3, {{"vaskel.env", env}}));
  ASSERT_TRUE(archive_write((folder / "scenario.arc").string(), archive_version::v3, {{"start.vko", start.build()}}));
  ASSERT_TRUE(archive_write((folder / "data.arc").string(), archive_version::v3, {{"room.png", std::string(png, png_size)}}));
  g_free(png);

  ASSERT_EQ(play_headless(folder, shots, {{"", 3000, "page", play_input::click, 320, 240}}), 0) << "a click ends it";
  std::vector<uint32_t> page = raw_read(shots / "page.raw");
  ASSERT_EQ(page.size(), 640u * 480u) << "the screen is the environment's 640 x 480";
  EXPECT_EQ(page[10 * 640 + 10] & 0xF0F0F0, 0x4070B0u) << "the picture at the top";
  auto window = [](int r, int g, int b) { return r == 0x10 && g == 0x20 && b == 0x40; };
  EXPECT_GT(count_in(page, 640, 20, 340, 620, 460, window), 600 * 120 / 2) << "the message window";
  EXPECT_GT(count_in(page, 640, 20, 340, 620, 460, light), 300) << "the page's text";
}

}  // namespace
