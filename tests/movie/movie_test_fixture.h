// The movie tests' fixture: movies made by the ffmpeg tool at test time (tools/lib/movie_fixture),
// the module state reset, the sound output stepped by hand and a headless window to paint in.
#pragma once

#include <cstdlib>
#include <string>

#include "graphics/page.h"
#include "graphics/presentation.h"
#include "movie_fixture.h"
#include "platform/movie_player.h"
#include "platform/sound_buffers.h"
#include "shell/window_core.h"
#include "sound/dsound.h"
#include "sound/movie.h"
#include "test_support.h"

// 25 frames a second in every file.
const movie_file TONE_640{"tone640.avi", 640, 480, 3, "-ar 44100 -c:a pcm_s16le", "-c:v mpeg4 -q:v 2"};
const movie_file ODD_SIZE{"odd.mkv", 321, 241, 2, "-ar 22050 -c:a pcm_s16le", "-c:v ffv1"};
const movie_file SILENT{"silent.avi", 160, 120, 2, nullptr, "-c:v mpeg4 -q:v 2"};

// The host path of the movie, made on first use in the test program's temporary folder.
inline std::string movie_make(const movie_file& m) {
  const char* tmp = getenv("TMPDIR");
  std::string path = movie_fixture_make(tmp ? tmp : "/tmp", m);
  if (path.empty()) ADD_FAILURE() << "ffmpeg could not make " << m.name;
  return path;
}

inline int shown_number(movie_player* p) {
  int n = -1;
  movie_player_paint(p, [](const pixel_source& f, void* out) {
    *static_cast<int*>(out) = movie_fixture_number(f.bits + static_cast<size_t>(f.stride) * (f.height / 2), f.width);
  }, &n);
  return n;
}

class movie_test : public engine_test {
 protected:
  void SetUp() override {
    engine_test::SetUp();
    settings_state_reset();
    graphics_state_reset();
    movie_reset();
    dsound_reset();
    sound_buffers_reset();
  }
  void TearDown() override {
    movie_reset();
    dsound_reset();
    sound_buffers_reset();
    graphics_state_reset();
    settings_state_reset();
    engine_test::TearDown();
  }
  // The sound output plays ms in steps of 10 ms, the player pumped after each (0: the player's
  // own thread, which the test then gives time).
  void play_for(int ms, movie_player* p) {
    for (int t = 0; t < ms; t += 10) {
      platform.sound_advance(SOUND_OUTPUT_RATE / 100);
      if (p) movie_player_pump(p);
      else host_sleep_ms(5);
    }
  }
  window_handle open_window(int w, int h) {
    window_handle win = main_window_open(w, h);
    front = page_new_rgb24(w, h, 1);
    front_page_set(front);
    return win;
  }
  page* front = nullptr;
};
