// The software buffers and their mixer on the null output: cursors, loops, regions, gains, pan,
// resampling and saturation, against formulas of their own.
#include <cmath>

#include "sound_fixture.h"

namespace {

const sound_pcm_format STEREO16{2, 44100, 16};

// A buffer whose every sample holds one value (16-bit) or byte (8-bit).
sound_buffer* constant_buffer(const sound_pcm_format& f, uint32_t frames, int value) {
  std::vector<uint8_t> bytes(frames * f.channels * f.bits / 8);
  for (size_t i = 0; i < bytes.size(); i += f.bits / 8) memcpy(&bytes[i], &value, f.bits / 8);
  return sound_buffer_create(f, static_cast<uint32_t>(bytes.size()), bytes.data());
}

using buffers_test = sound_test;

TEST_F(buffers_test, CursorMovesOnlyWhilePlayingWrapsWhenLoopingAndStopsAtTheEndOtherwise) {
  sound_buffer* b = constant_buffer(STEREO16, 1000, 100);
  platform.sound_advance(50);
  EXPECT_EQ(sound_buffer_position(b), 0u);  // not playing yet
  sound_buffer_play(b, true);
  platform.sound_advance(300);
  EXPECT_EQ(sound_buffer_position(b), 1200u);
  sound_buffer_stop(b);
  platform.sound_advance(100);
  EXPECT_EQ(sound_buffer_position(b), 1200u);  // stop keeps the position
  sound_buffer_resume(b, true);
  platform.sound_advance(800);
  EXPECT_EQ(sound_buffer_position(b), 400u);  // 1100 frames into a ring of 1000
  sound_buffer_play(b, false);  // play rewinds
  std::vector<int16_t> out = platform.sound_advance(1200);
  EXPECT_FALSE(sound_buffer_playing(b));
  EXPECT_EQ(sound_buffer_position(b), 0u);
  EXPECT_EQ(out[2 * 999], 100);
  EXPECT_EQ(out[2 * 1000], 0);  // nothing after the end

  // At half the output rate the cursor moves half as fast, block-aligned.
  sound_buffer* mono = constant_buffer({1, 22050, 16}, 100, 7);
  sound_buffer_play(mono, true);
  platform.sound_advance(3);
  EXPECT_EQ(sound_buffer_position(mono), 2u);  // frame 1.5: the block of frame 1
}

TEST_F(buffers_test, LockGivesOneOrTwoRegionsThatTheMixerThenPlays) {
  sound_buffer* b = constant_buffer(STEREO16, 1000, 0);
  sound_regions r;
  struct {
    uint32_t offset, n, first, second;
  } cases[] = {{0, 4000, 4000, 0}, {3000, 2000, 1000, 1000}, {4100, 400, 400, 0}, {3996, 4000, 4, 3996}, {100, 0, 0, 0}};
  for (const auto& c : cases) {
    ASSERT_TRUE(sound_buffer_lock(b, c.offset, c.n, r)) << c.offset;
    EXPECT_EQ(r.first_size, c.first) << c.offset;
    EXPECT_EQ(r.second_size, c.second) << c.offset;
    EXPECT_EQ(r.second != nullptr, c.second > 0) << c.offset;
    sound_buffer_unlock(b);
  }
  EXPECT_FALSE(sound_buffer_lock(b, 0, 4001, r));

  // Frames written across the end are what the looping buffer plays there.
  ASSERT_TRUE(sound_buffer_lock(b, 3992, 16, r));
  std::vector<int16_t> frames = {1, 2, 3, 4, 5, 6, 7, 8};
  memcpy(r.first, frames.data(), r.first_size);
  memcpy(r.second, reinterpret_cast<uint8_t*>(frames.data()) + r.first_size, r.second_size);
  sound_buffer_unlock(b);
  sound_buffer_play(b, true);
  std::vector<int16_t> out = platform.sound_advance(1002);
  EXPECT_EQ(std::vector<int16_t>(out.begin() + 1996, out.end()), frames);  // frames 998..1001
  EXPECT_EQ(std::vector<int16_t>(out.begin(), out.begin() + 4), std::vector<int16_t>({5, 6, 7, 8}));
}

TEST_F(buffers_test, VolumeAndPanScaleEachSideByTheirDecibels) {
  auto db = [](int32_t hundredths) { return hundredths <= -10000 ? 0.0 : std::pow(10.0, hundredths / 2000.0); };
  for (auto [volume, pan] : {std::pair{0, 0}, {-600, 0}, {-2000, 0}, {-10000, 0}, {0, 600}, {0, -2000}, {0, 10000},
                             {-600, -600}, {-1, 1}}) {
    sound_buffers_reset();
    sound_buffer* b = constant_buffer(STEREO16, 100, 20000);
    ASSERT_TRUE(sound_buffer_set_volume(b, volume) && sound_buffer_set_pan(b, pan));
    sound_buffer_play(b, true);
    std::vector<int16_t> out = platform.sound_advance(10);
    EXPECT_NEAR(out[18], 20000 * db(volume) * db(pan > 0 ? -pan : 0), 0.5) << volume << " " << pan;
    EXPECT_NEAR(out[19], 20000 * db(volume) * db(pan < 0 ? pan : 0), 0.5) << volume << " " << pan;
  }
  // Values outside the ranges are refused and the old ones kept.
  sound_buffers_reset();
  sound_buffer* b = constant_buffer({1, 22050, 16}, 100, 1000);
  EXPECT_FALSE(sound_buffer_set_volume(b, 1) || sound_buffer_set_volume(b, -10001) || sound_buffer_set_pan(b, 10001) ||
               sound_buffer_set_frequency(b, 99) || sound_buffer_set_frequency(b, 100001));
  sound_buffer_play(b, true);
  platform.sound_advance(2);
  EXPECT_EQ(sound_buffer_position(b), 2u);  // still 22050 Hz
  EXPECT_EQ(platform.sound_advance(1)[0], 1000);
}

TEST_F(buffers_test, ResamplingMovesTheCursorByTheRateRatioAndInterpolatesLinearly) {
  // A mono ramp: sample i holds 8 i, so the interpolated value shows the fractional phase.
  std::vector<int16_t> ramp(4000);
  for (int i = 0; i < 4000; ++i) ramp[i] = static_cast<int16_t>(8 * i);
  // 0 (last) restores the format's rate after another was set.
  for (uint32_t hz : {11025u, 22050u, 32000u, 44100u, 48000u, 88200u, 100000u, 0u}) {
    sound_buffers_reset();
    sound_buffer* b = sound_buffer_create({1, 8000, 16}, 8000, ramp.data());
    ASSERT_TRUE(sound_buffer_set_frequency(b, 44100));
    ASSERT_TRUE(sound_buffer_set_frequency(b, hz));
    sound_buffer_play(b, true);
    std::vector<int16_t> out = platform.sound_advance(1000);
    double ratio = (hz ? hz : 8000) / 44100.0;
    EXPECT_NEAR(sound_buffer_position(b) / 2.0, std::fmod(1000 * ratio, 4000), 1.0) << hz;
    for (int k : {1, 7, 333})
      if (k * ratio < 3999) { EXPECT_NEAR(out[2 * k], 8 * k * ratio, 1.0) << hz << " frame " << k; }
  }
}

TEST_F(buffers_test, TheMixSumsBuffersAndSaturates) {
  struct {
    sound_pcm_format format;
    int value, count;
    int16_t expected;
  } cases[] = {{STEREO16, 1000, 3, 3000},     {STEREO16, 30000, 2, 32767},  {STEREO16, -30000, 2, -32768},
               {{1, 44100, 8}, 255, 1, 32512}, {{1, 44100, 8}, 0, 2, -32768}, {{2, 11025, 8}, 128, 4, 0}};
  for (const auto& c : cases) {
    sound_buffers_reset();
    for (int i = 0; i < c.count; ++i) sound_buffer_play(constant_buffer(c.format, 64, c.value), true);
    std::vector<int16_t> out = platform.sound_advance(8);
    EXPECT_EQ(std::vector<int16_t>(out.begin() + 10, out.begin() + 12), std::vector<int16_t>(2, c.expected)) << c.value;
  }
  EXPECT_EQ(sound_buffer_create({3, 44100, 16}, 600, nullptr), nullptr);
  EXPECT_EQ(sound_buffer_create({2, 44100, 24}, 600, nullptr), nullptr);
  EXPECT_EQ(sound_buffer_create(STEREO16, 6, nullptr), nullptr);  // not whole frames
}

}  // namespace
