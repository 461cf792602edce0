// The real output on SDL's drivers for machines without a sound card: "dummy" pulls frames from
// the mixer at the device's pace, "disk" writes them to a file that must hold the mixed samples.
#include <thread>

#include "platform/sdl/sdl_audio.h"
#include "sound/stream_mixer.h"
#include "sound_encoder.h"
#include "sound_fixture.h"

namespace {

class sdl_output_test : public sound_test {
 protected:
  void TearDown() override {
    sdl_audio_close();
    unsetenv("SDL_AUDIODRIVER");
    unsetenv("SDL_DISKAUDIOFILE");
    sound_test::TearDown();
  }
  // The 16-bit samples of what the disk driver wrote (none when it wrote nothing).
  static std::vector<int16_t> samples_of(const std::string& path) {
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) return {};
    std::string bytes = read_rest(f);
    fclose(f);
    std::vector<int16_t> out(bytes.size() / 2);
    memcpy(out.data(), bytes.data(), out.size() * 2);
    return out;
  }
  // Waits (real time) until the buffer has stopped; false after a budget of 10 s.
  static bool wait_stopped(sound_buffer* b) {
    for (uint32_t begin = host_clock_ms(); sound_buffer_playing(b);) {
      if (host_clock_ms() - begin > static_cast<uint32_t>(test_budget_ms(10000))) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
  }
};

TEST_F(sdl_output_test, TheDummyDriverPlaysABufferToItsEnd) {
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  ASSERT_TRUE(sdl_audio_open());
  EXPECT_TRUE(sdl_audio_open());  // already open
  sound_buffer* b = sound_buffer_create({2, 44100, 16}, 4 * 4410, nullptr);
  sound_buffer_play(b, false);
  EXPECT_TRUE(wait_stopped(b));
}

TEST_F(sdl_output_test, TheDiskDriverWritesTheMixedSamples) {
  std::string path = dir.at("out.raw");
  setenv("SDL_AUDIODRIVER", "disk", 1);
  setenv("SDL_DISKAUDIOFILE", path.c_str(), 1);
  std::vector<int16_t> ramp(2 * 8000);
  for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = static_cast<int16_t>(i * 3 - 20000);
  ASSERT_TRUE(sdl_audio_open());
  sound_buffer* b = sound_buffer_create({2, 44100, 16}, static_cast<uint32_t>(ramp.size() * 2), ramp.data());
  sound_buffer_play(b, false);
  ASSERT_TRUE(wait_stopped(b));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  sdl_audio_close();
  std::vector<int16_t> written = samples_of(path);
  // Silence until the buffer started, then the ramp as it stands, then silence.
  auto start = std::find_if(written.begin(), written.end(), [](int16_t v) { return v != 0; });
  ASSERT_GE(written.end() - start, static_cast<ptrdiff_t>(ramp.size()));
  EXPECT_EQ(std::vector<int16_t>(start, start + static_cast<ptrdiff_t>(ramp.size())), ramp);
}

// The headless backend with the real output: its sound goes to SDL.
class sdl_sound_platform : public headless_platform {
 public:
  bool sound_output_open() override { return sdl_audio_open(); }
};

// A scene's music (an intro, then its loop part) played by the worker thread into SDL's disk
// driver is heard sample for sample as the null output mixes it pass by pass.
TEST_F(sdl_output_test, TheDiskDriverRecordsASceneAsTheNullOutputMixesIt) {
  dir.write("intro.wav", wav_pcm16(sine_frames(2, 44100, 440, 0.3, 0.3), 2, 44100));
  dir.write("loop.wav", wav_pcm16(sine_frames(2, 44100, 660, 0.2, 0.2), 2, 44100));
  constexpr size_t FRAMES = 66150;  // 1.5 s
  stream_worker_manual(true);
  std::vector<int16_t> null_mix;
  ASSERT_EQ(dsound_ensure_init(), 0);
  stream_play("intro.wav", "loop.wav", 1000, 1);
  while (null_mix.size() < 2 * FRAMES) {
    stream_pass();
    std::vector<int16_t> out = platform.sound_advance(4410);
    null_mix.insert(null_mix.end(), out.begin(), out.end());
    platform.advance(100);
  }
  stream_mixer_reset();
  stream_worker_manual(false);
  dsound_reset();
  sound_buffers_reset();

  std::string path = dir.at("scene.raw");
  setenv("SDL_AUDIODRIVER", "disk", 1);
  setenv("SDL_DISKAUDIOFILE", path.c_str(), 1);
  sdl_sound_platform sdl;
  sdl.use_fake_clock(1000);
  sdl.print_boxes = false;
  plat_install(&sdl);
  ASSERT_EQ(dsound_ensure_init(), 0);
  stream_stop_all();  // starts the worker
  stream_play("intro.wav", "loop.wav", 1000, 1);
  for (int i = 0; i < 50; ++i) {  // 2.5 s, the clock moving with real time
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    sdl.advance(50);
  }
  stream_mixer_reset();
  sdl_audio_close();
  dsound_reset();
  plat_install(&platform);
  std::vector<int16_t> recorded = samples_of(path);
  auto start = std::find_if(recorded.begin(), recorded.end(), [](int16_t v) { return v != 0; });
  start -= (start - recorded.begin()) % 2;  // the frame's left sample
  ASSERT_GE(recorded.end() - start, static_cast<ptrdiff_t>(2 * FRAMES));
  std::vector<int16_t> heard(start, start + 2 * FRAMES);
  null_mix.resize(2 * FRAMES);
  EXPECT_EQ(heard, null_mix);
}

}  // namespace
