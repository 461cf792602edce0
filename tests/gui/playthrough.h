// A scripted playthrough of the sample game: steps cued by the lines the loose copy (development
// mode) writes to its debug log as it shows each screen. The same steps are played headless in a
// child process on the fake clock and, by the desktop tests, through the X server, so that the
// checkpoints of the two can be compared.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

// After a click the pointer moves on to rest here, over no entry, so that no frame marks the entry
// under it on the next screen.
constexpr int PLAY_POINTER_REST_X = 790, PLAY_POINTER_REST_Y = 10;

// choose: a click on an entry that the game frames while the pointer rests on it; the click waits
// until the frame shows (a click that came before the game saw the pointer there would choose
// nothing).
enum class play_input { none, enter, click, choose, wheel_up, wheel_down };

struct play_step {
  const char* cue;   // the start of a debug-log line (after its date stamp), in engine text
  int settle_ms;     // from the cue to the checkpoint and the input
  const char* shot;  // the checkpoint's name, "" for none
  play_input input;
  int x = 0, y = 0;  // a click's place in the client area
};

// The built sample game: "packaged" (V3 archives, as a player gets it) or "dev" (loose folders,
// development mode, writing its debug log); empty when that copy was not built.
std::filesystem::path sample_game_built(const char* kind);
// A copy of it in the folder, for one test to play: what a run writes (saves, read marks, the
// debug log) never lands in the build's copies, which `make demo` plays.
void sample_game_copy(const char* kind, const std::filesystem::path& folder);

// A debug log read as it grows.
class debug_log_reader {
 public:
  explicit debug_log_reader(std::filesystem::path path) : path_(std::move(path)) {}
  // Whether a line beginning with the cue has come since the last one that matched.
  bool seen(const char* cue);

 private:
  std::filesystem::path path_;
  size_t read_ = 0;
};

// Runs play, the game's whole life, in a child process of this test: the child's exit status, or
// -1 when it died. The child leaves through _exit with the status the game ends with, so that the
// exit handlers it inherited (this process's GTK, which talks to the X server over the connection
// both share, and the workers' joins) run in this process alone.
int game_child_run(const std::function<void()>& play);

// Plays the steps headless in a child process in the game folder until the game ends by itself;
// every checkpoint is written to out/<shot>.raw (0x00RRGGBB, row by row). The child's exit status,
// or -1.
int play_headless(const std::filesystem::path& folder, const std::filesystem::path& out,
                  const std::vector<play_step>& steps);
std::vector<uint32_t> raw_read(const std::filesystem::path& file);
// The file's bytes; empty when it cannot be read.
std::string slurp(const std::filesystem::path& file);

// A rectangle left out of a comparison (a movie's frame, which follows its decoder's pace).
struct pixel_mask {
  int left = 0, top = 0, right = 0, bottom = 0;
};
// The pixels of two pictures of that width that differ by more than 40 in a channel (the
// tolerance for glyph shapes), outside the mask; -1 when the sizes differ.
int glyph_mismatches(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b, int width,
                     const pixel_mask& mask = {});
// The pixels of the kind inside the rectangle [x0, x1) x [y0, y1) of a picture (0x00RRGGBB) that
// is width pixels wide; 0 for an empty picture.
int count_in(const std::vector<uint32_t>& shot, int width, int x0, int y0, int x1, int y1,
             bool (*is)(int r, int g, int b));
// Light in every channel: the message window's text.
inline bool light(int r, int g, int b) { return r > 150 && g > 150 && b > 150; }
