// Movies: decoding a 640 x 480 movie at 25 frames a second with its sound and converting its frames
// for the screen, as a fraction of the movie's own length on one core (goal: under 15 %). The
// player runs unthreaded on the fake clock, pumped every 10 ms of movie time as its thread would
// be; its sound (MPEG audio layer 2) is decoded and resampled, then dropped. Baseline in the same run: the same decode
// without any picture conversion.
#include <benchmark/benchmark.h>

#include <time.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench_host.h"
#include "movie_fixture.h"
#include "platform/movie_player.h"

namespace {

constexpr int SECONDS = 10;
// A moving test picture (scrolling gradients, a clock, moving shapes) in place of flat bars, which
// would decode far faster than a real movie does.
const movie_file MOVIE{"bench640.avi", 640, 480, SECONDS, "-ar 44100 -c:a mp2 -b:a 192k", "-c:v mpeg4 -q:v 4",
                       "testsrc2=s=640x480:r=25:d=10"};

headless_platform* host() {
  static headless_platform* p = [] {
    headless_platform* h = &bench_host();
    h->use_fake_clock(1000);
    return h;
  }();
  return p;
}

const std::string& movie_path() {
  static std::string path = [] {
    char pattern[] = "/tmp/vaskbench-movie-XXXXXX";
    if (!mkdtemp(pattern)) abort();
    std::string p = movie_fixture_make(pattern, MOVIE);
    if (p.empty()) fprintf(stderr, "bench_movie: ffmpeg did not make its movie\n");
    return p;
  }();
  return path;
}

double cpu_seconds() {
  timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// The whole movie at the picture size w x h; the counter is the fraction of real time.
void play_whole(benchmark::State& state, int w, int h) {
  headless_platform* p = host();
  movie_player_spec spec;
  spec.path = movie_path();
  spec.width = w;
  spec.height = h;
  spec.sound_sink = false;
  spec.threaded = false;
  double cpu = 0;
  int64_t frames = 0;
  for (auto _ : state) {
    double start = cpu_seconds();
    movie_player* m = movie_player_open(spec);
    if (!m) {
      state.SkipWithError("the movie did not open");
      return;
    }
    while (!movie_player_ended(m)) {
      p->advance(10);
      movie_player_pump(m);
    }
    frames += movie_player_frames_decoded(m);
    movie_player_close(m);
    cpu += cpu_seconds() - start;
  }
  state.counters["of_real_time"] = cpu / (static_cast<double>(state.iterations()) * SECONDS);
  state.counters["frames"] = static_cast<double>(frames) / static_cast<double>(state.iterations());
}

void BM_movie_decode_only(benchmark::State& state) { play_whole(state, 0, 0); }
void BM_movie_decode_convert_640x480(benchmark::State& state) { play_whole(state, 640, 480); }
void BM_movie_decode_convert_800x600(benchmark::State& state) { play_whole(state, 800, 600); }

BENCHMARK(BM_movie_decode_only)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_movie_decode_convert_640x480)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_movie_decode_convert_800x600)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
