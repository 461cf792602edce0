// Sound: mixing 40 playing buffers for one second of output (goal: under 1% of a second on one
// core), against a plain saturating sum of 40 streams at the output rate; MS-ADPCM decoding of a sox
// file against sox's own decode of it (process start taken off); Vorbis decoding against libvorbis's
// own file layer (vorbisfile) on the same file.
#include <benchmark/benchmark.h>
#include <vorbis/vorbisfile.h>

#include <sys/wait.h>
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "base/datasource.h"
#include "bench_host.h"
#include "platform/headless/headless.h"
#include "platform/sound_buffers.h"
#include "sound/ogg_decoder.h"
#include "sound/wav_reader.h"
#include "sound_encoder.h"

namespace {

constexpr int SECOND = 44100;
constexpr int STREAMS = 40;
std::string folder;

double now_seconds() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return t.tv_sec + t.tv_nsec * 1e-9;
}

void setup() {
  static bool done = [] {
    bench_host();
    char pattern[] = "/tmp/vaskbench-XXXXXX";
    if (!mkdtemp(pattern)) abort();
    folder = pattern;
    data_base_folder_set(pattern);
    std::string cd = "cd '" + folder + "' && sox -n ";
    if (system((cd + "-r 44100 -c 2 -e ms-adpcm long.wav synth 120 sine 300-3000 sine 440 2>/dev/null").c_str()) != 0 ||
        system((cd + "-r 44100 -c 2 -e ms-adpcm short.wav synth 0.01 sine 440 2>/dev/null").c_str()) != 0)
      fprintf(stderr, "bench_sound: sox did not make its files\n");
    std::string ogg = vorbis_encode(sine_frames(2, 44100, 440, 30, 0.5), 2, 44100);
    FILE* f = fopen((folder + "/long.ogg").c_str(), "wb");
    fwrite(ogg.data(), 1, ogg.size(), f);
    fclose(f);
    return true;
  }();
  (void)done;
}

// 40 buffers of two seconds in the formats games use, at several volumes and pans.
void BM_mix_40_buffers(benchmark::State& state) {
  setup();
  sound_buffers_reset();
  const sound_pcm_format formats[] = {{2, 44100, 16}, {1, 22050, 16}, {2, 22050, 16}, {1, 44100, 16}, {2, 48000, 16}};
  for (int i = 0; i < STREAMS; ++i) {
    const sound_pcm_format& f = formats[i % 5];
    uint32_t size = static_cast<uint32_t>(f.rate * 2 * f.channels * f.bits / 8);
    std::vector<uint8_t> bytes(size);
    for (uint32_t k = 0; k < size; ++k) bytes[k] = static_cast<uint8_t>(k * 31 + i);
    sound_buffer* b = sound_buffer_create(f, size, bytes.data());
    sound_buffer_set_volume(b, -100 * (i % 20));
    sound_buffer_set_pan(b, 500 * (i % 9) - 2000);
    sound_buffer_play(b, true);
  }
  std::vector<int16_t> out(2 * SECOND);
  for (auto _ : state) {
    sound_mix(out.data(), SECOND);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(state.iterations() * SECOND);
  // Seconds of one core per second of output.
  state.counters["core_share"] = benchmark::Counter(static_cast<double>(state.iterations()),
                                                    benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  sound_buffers_reset();
}

// The baseline: 40 stereo 16-bit streams summed with saturation, no gains, no resampling.
void BM_plain_sum_40_streams(benchmark::State& state) {
  std::vector<std::vector<int16_t>> streams(STREAMS, std::vector<int16_t>(2 * SECOND));
  for (int i = 0; i < STREAMS; ++i)
    for (size_t k = 0; k < streams[i].size(); ++k) streams[i][k] = static_cast<int16_t>(k * 31 + i);
  std::vector<int32_t> acc(2 * SECOND);
  std::vector<int16_t> out(2 * SECOND);
  for (auto _ : state) {
    std::fill(acc.begin(), acc.end(), 0);
    for (const auto& s : streams)
      for (size_t k = 0; k < acc.size(); ++k) acc[k] += s[k];
    for (size_t k = 0; k < acc.size(); ++k) out[k] = static_cast<int16_t>(std::clamp(acc[k], -32768, 32767));
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(state.iterations() * SECOND);
}

// The whole file through the reader, chunk by chunk as the mixer reads it.
void BM_msadpcm_decode(benchmark::State& state) {
  setup();
  int64_t frames = 0;
  for (auto _ : state) {
    sound_stream s{};
    strcpy(s.file, "long.wav");
    if (stream_open_wav(&s, s.file, s.resolved_file) != 0) {
      state.SkipWithError("no file");
      return;
    }
    std::vector<uint8_t> in(s.source_chunk), out(4 * s.source_chunk);
    while (s.consumed < s.data_size) {
      int want = std::min(s.source_chunk, s.data_size - s.consumed);
      int64_t got = sound_source_read(s.resolved_file, s.data_offset + s.consumed, in.data(), want);
      if (got <= 0) break;
      frames += msadpcm_decode(s.source_format, s.source_format_size, in.data(), s.output_format, out.data(),
                               static_cast<int>(got)) / 4;
      s.consumed += static_cast<int32_t>(got);
    }
    sound_stream_decoding_free(&s);
  }
  state.SetItemsProcessed(frames);
}

// sox decoding the same file to raw samples, less a run on a file of 10 ms (its start-up).
void BM_sox_msadpcm_decode(benchmark::State& state) {
  setup();
  auto run = [](const char* name) {
    double t = now_seconds();
    std::string cmd = "sox '" + folder + "/" + name + "' -t raw -e signed -b 16 /dev/null 2>/dev/null";
    if (system(cmd.c_str()) != 0) return -1.0;
    return now_seconds() - t;
  };
  for (auto _ : state) {
    double start = run("short.wav"), whole = run("long.wav");
    if (start < 0 || whole < 0) {
      state.SkipWithError("sox failed");
      return;
    }
    state.SetIterationTime(std::max(whole - start, 1e-6));
  }
  state.SetItemsProcessed(state.iterations() * 120 * SECOND);
}

void BM_vorbis_decode(benchmark::State& state) {
  setup();
  int64_t bytes = 0;
  for (auto _ : state) {
    oggdec_state* d = oggdec_open("long.ogg", "", 0);
    if (!d) {
      state.SkipWithError("no file");
      return;
    }
    while (oggdec_ended(d) != 1) {
      uint8_t* out;
      int got = oggdec_read(d, 35280, 1 << 20, &out);
      bytes += got;
      free(out);
      if (got <= 0) break;
    }
    oggdec_close(d);
  }
  state.SetItemsProcessed(bytes / 4);
}

void BM_vorbisfile_decode(benchmark::State& state) {
  setup();
  int64_t bytes = 0;
  std::vector<char> out(65536);
  for (auto _ : state) {
    OggVorbis_File vf;
    if (ov_fopen((folder + "/long.ogg").c_str(), &vf) != 0) {
      state.SkipWithError("no file");
      return;
    }
    int section;
    long got;
    while ((got = ov_read(&vf, out.data(), static_cast<int>(out.size()), 0, 2, 1, &section)) > 0) bytes += got;
    ov_clear(&vf);
  }
  state.SetItemsProcessed(bytes / 4);
}

BENCHMARK(BM_mix_40_buffers)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_plain_sum_40_streams)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_msadpcm_decode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_sox_msadpcm_decode)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_vorbis_decode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_vorbisfile_decode)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  return bench_main(argc, argv,
                    {{"BM_mix_40_buffers", "BM_plain_sum_40_streams", ""},
                     {"BM_msadpcm_decode", "", "BM_sox_msadpcm_decode/iterations:5/manual_time"},
                     {"BM_vorbis_decode", "", "BM_vorbisfile_decode"}},
                    {"frame",
                     "x baseline: the mixer's rate over a plain saturating sum of 40 streams;\n"
                     "x peer: over sox's / vorbisfile's rate decoding the same file (above 1 = faster).\n"
                     "core_share of the mix: seconds of one core per second of output."});
}
