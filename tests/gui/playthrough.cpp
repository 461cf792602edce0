#include "playthrough.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <deque>
#include <fstream>
#include <sstream>

#include "base/registry.h"
#include "graphics/scaler.h"
#include "headless_game.h"
#include "platform/headless/headless.h"
#include "platform/messages.h"
#include "save/vm_exit.h"
#include "shell/startup.h"
#include "shell/window_core.h"
#include "sound/stream_mixer.h"
#include "vm/readmark.h"

std::string slurp(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

int count_in(const std::vector<uint32_t>& shot, int width, int x0, int y0, int x1, int y1,
             bool (*is)(int r, int g, int b)) {
  int n = 0;
  for (int y = y0; y < y1 && !shot.empty(); ++y)
    for (int x = x0; x < x1; ++x) {
      uint32_t p = shot[static_cast<size_t>(y) * width + x];
      n += is(p >> 16 & 0xFF, p >> 8 & 0xFF, p & 0xFF);
    }
  return n;
}

std::filesystem::path sample_game_built(const char* kind) {
  std::filesystem::path folder = std::filesystem::path(VASK_BINARY_DIR) / "demo" / kind;
  // The movie is the last file each copy gets.
  return std::filesystem::exists(folder / "movie/opening.avi") ? folder : std::filesystem::path();
}

void sample_game_copy(const char* kind, const std::filesystem::path& folder) {
  std::filesystem::create_directories(folder.parent_path());
  std::filesystem::copy(sample_game_built(kind), folder, std::filesystem::copy_options::recursive);
}

bool debug_log_reader::seen(const char* cue) {
  const std::string s = slurp(path_);
  while (read_ < s.size()) {
    size_t end = s.find('\n', read_);
    if (end == std::string::npos) break;
    size_t blank = s.find(' ', read_);
    read_ = end + 1;
    if (blank < end && s.compare(blank + 1, strlen(cue), cue) == 0) return true;
  }
  return false;
}

namespace {

// Input goes in as a user gives it: a move, a press, a release, some frames apart, so that the
// game's polls see each of them.
struct timed_message {
  uint32_t offset_ms, message;
  uintptr_t wparam;
  intptr_t lparam;
};

void queue_input(const play_step& s, std::deque<timed_message>& queue) {
  intptr_t at = (s.y << 16) | s.x;
  switch (s.input) {
    case play_input::none:
      break;
    case play_input::enter:
      queue.push_back({0, WM_KEYDOWN, VK_RETURN, 1});
      queue.push_back({80, WM_KEYUP, VK_RETURN, 1 | (1 << 30) | (1u << 31)});
      break;
    case play_input::click:
    case play_input::choose:
      queue.push_back({0, WM_MOUSEMOVE, 0, at});
      queue.push_back({60, WM_LBUTTONDOWN, 1, at});
      queue.push_back({140, WM_LBUTTONUP, 0, at});
      queue.push_back({300, WM_MOUSEMOVE, 0, (PLAY_POINTER_REST_Y << 16) | PLAY_POINTER_REST_X});
      break;
    case play_input::wheel_up:
    case play_input::wheel_down: {
      uint16_t delta = static_cast<uint16_t>(s.input == play_input::wheel_up ? 120 : -120);
      queue.push_back({0, WM_MOUSEWHEEL, static_cast<uintptr_t>(delta) << 16, (300 << 16) | 400});
      break;
    }
  }
}

// The child of play_headless: the game's whole life, ended by the game itself.
void play_child(const std::filesystem::path& folder, const std::filesystem::path& out,
                const std::vector<play_step>& steps) {
  std::filesystem::current_path(folder);
  static headless_platform host;
  host.print_boxes = false;
  host.use_fake_clock(1000);
  plat_install(&host);
  debug_log_reader log(folder / "debugout.log");
  std::deque<timed_message> queue;
  size_t next = 0;
  uint32_t due = 0, sounded = host.clock_ms(), queued_at = 0;
  host.on_pump = [&] {
    uint32_t now = host.clock_ms();
    // The null sound output keeps pace with the fake clock, so that voices and sounds end.
    if (now - sounded >= 10) host.sound_advance(static_cast<int>((now - sounded) * 441 / 10)), sounded = now;
    window_handle w = main_window_get();
    if (!queue.empty()) {
      if (!queued_at) queued_at = now;
      while (!queue.empty() && now - queued_at >= queue.front().offset_ms) {
        if (queue.front().message == WM_MOUSEMOVE)
          host.cursor_x = queue.front().lparam & 0xFFFF, host.cursor_y = queue.front().lparam >> 16;
        message_post(w, queue.front().message, queue.front().wparam, queue.front().lparam);
        queue.pop_front();
      }
      if (queue.empty()) queued_at = 0;
      return;
    }
    if (next >= steps.size()) return;
    const play_step& s = steps[next];
    if (!due) {
      if (*s.cue && !log.seen(s.cue)) return;
      due = now + static_cast<uint32_t>(s.settle_ms) + 1;
      return;
    }
    if (static_cast<int32_t>(now - due) < 0) return;
    due = 0, ++next;
    if (*s.shot) {
      std::ofstream pic(out / (std::string(s.shot) + ".raw"), std::ios::binary);
      for (uint32_t p : host.record(w)->pixels) {
        uint32_t v = p & 0xFFFFFF;
        pic.write(reinterpret_cast<const char*>(&v), 4);
      }
    }
    queue_input(s, queue);
  };
  WinMain("", 1);
}

}  // namespace

int game_child_run(const std::function<void()>& play) {
  // A child has none of this process's threads: the sound worker and the scaler's workers are
  // stopped first, so that it starts its own instead of waiting on these.
  stream_mixer_reset();
  hq_workers_stop();
  pid_t child = fork();
  if (child < 0) return -1;
  if (child > 0) {
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  // Registered before any of the game's, so it runs after them and before every exit handler
  // inherited from this process.
  on_exit([](int status, void*) { _exit(status); }, nullptr);
  // What earlier tests of this process left in the engine (its environment, windows, settings,
  // read marks and eternal values kept in memory) is forgotten: the game starts as a program does.
  headless_engine_clear();
  windows_reset();
  reg_store_reset();
  readmark_reset();
  vm_lifecycle_reset();
  startup_reset();
  play();
  _exit(0);
}

int play_headless(const std::filesystem::path& folder, const std::filesystem::path& out,
                  const std::vector<play_step>& steps) {
  return game_child_run([&] { play_child(folder, out, steps); });
}


std::vector<uint32_t> raw_read(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::vector<uint32_t> pixels;
  for (uint32_t v; in.read(reinterpret_cast<char*>(&v), 4);) pixels.push_back(v);
  return pixels;
}

int glyph_mismatches(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b, int width,
                     const pixel_mask& mask) {
  if (a.size() != b.size() || a.empty()) return -1;
  int bad = 0;
  for (size_t i = 0; i < a.size(); ++i) {
    int x = static_cast<int>(i % width), y = static_cast<int>(i / width);
    if (x >= mask.left && x < mask.right && y >= mask.top && y < mask.bottom) continue;
    for (int shift : {0, 8, 16})
      if (std::abs(static_cast<int>(a[i] >> shift & 0xFF) - static_cast<int>(b[i] >> shift & 0xFF)) > 40) {
        ++bad;
        break;
      }
  }
  return bad;
}
