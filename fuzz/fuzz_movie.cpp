// Movie player: any bytes as a movie file are refused, or play to their end (sound decoded and
// dropped, the fake clock pumped) and close, without reading outside what FFmpeg hands out. Inputs
// with an odd first byte damage a valid movie instead: each following three bytes put a byte at a
// place, and the input's length cuts the file.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "movie_fixture.h"
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
  static std::string folder = [] {
    char pattern[] = "/tmp/vaskfuzz-XXXXXX";
    return std::string(mkdtemp(pattern));
  }();
  static std::string valid = [] {
    std::string made = movie_fixture_make(folder, movie_file{"valid.avi", 64, 48, 1, "-ar 22050 -c:a mp2", "-c:v mpeg4"});
    std::string bytes;
    if (FILE* v = fopen(made.c_str(), "rb")) {
      for (int c; (c = fgetc(v)) != EOF;) bytes.push_back(static_cast<char>(c));
      fclose(v);
    }
    return bytes;
  }();
  std::string bytes(reinterpret_cast<const char*>(data), size);
  if (size > 0 && (data[0] & 1) && !valid.empty()) {
    bytes = valid;
    for (size_t i = 1; i + 2 < size; i += 3) bytes[(data[i] << 8 | data[i + 1]) % bytes.size()] = static_cast<char>(data[i + 2]);
    size_t cut = size % 64 * 97;
    if (cut < bytes.size()) bytes.resize(bytes.size() - cut);
  }
  std::string path = folder + "/movie.avi";
  FILE* f = fopen(path.c_str(), "wb");
  fwrite(bytes.data(), 1, bytes.size(), f);
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
