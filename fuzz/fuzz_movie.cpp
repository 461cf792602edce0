// Movie player: any bytes as a movie file are refused, or play to their end (sound decoded and
// dropped, the fake clock pumped) and close, without reading outside what FFmpeg hands out.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/headless/headless.h"
#include "platform/movie_player.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static headless_platform* platform = [] {
    auto* p = new headless_platform;
    p->print_boxes = false;
    p->use_fake_clock(1000);
    plat_install(p);
    return p;
  }();
  static std::string path = [] {
    char pattern[] = "/tmp/vaskfuzz-XXXXXX";
    return std::string(mkdtemp(pattern)) + "/movie.avi";
  }();
  FILE* f = fopen(path.c_str(), "wb");
  fwrite(data, 1, size, f);
  fclose(f);
  movie_player_spec spec;
  spec.path = path;
  spec.width = 33;
  spec.height = 17;
  spec.loop = size % 2 == 1;  // odd sizes loop for a while
  spec.sound_sink = false;
  spec.threaded = false;
  if (movie_player* m = movie_player_open(spec)) {
    for (int i = 0; i < 2000 && !movie_player_ended(m); i++) {
      platform->advance(40);
      movie_player_pump(m);
    }
    movie_player_close(m);
  }
  return 0;
}
