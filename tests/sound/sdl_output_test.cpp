// The real output on SDL's drivers for machines without a sound card: "dummy" pulls frames from
// the mixer at the device's pace, "disk" writes them to a file that must hold the mixed samples.
#include <thread>

#include "platform/sdl/sdl_audio.h"
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
  // Waits (real time) until the buffer has stopped; false after 10 s.
  static bool wait_stopped(sound_buffer* b) {
    for (int i = 0; i < 1000 && sound_buffer_playing(b); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return !sound_buffer_playing(b);
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
  FILE* f = fopen(path.c_str(), "rb");
  ASSERT_NE(f, nullptr);
  std::string bytes = read_rest(f);
  fclose(f);
  std::vector<int16_t> written(bytes.size() / 2);
  memcpy(written.data(), bytes.data(), written.size() * 2);
  // Silence until the buffer started, then the ramp as it stands, then silence.
  auto start = std::find_if(written.begin(), written.end(), [](int16_t v) { return v != 0; });
  ASSERT_GE(written.end() - start, static_cast<ptrdiff_t>(ramp.size()));
  EXPECT_EQ(std::vector<int16_t>(start, start + static_cast<ptrdiff_t>(ramp.size())), ramp);
}

}  // namespace
