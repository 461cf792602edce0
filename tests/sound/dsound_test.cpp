// The sound device over the null output: its three opening results with an output that fails,
// release and reopening, the dB scale and the volume nudge.
#include <cmath>

#include "sound_fixture.h"

namespace {

using dsound_test = sound_test;

TEST_F(dsound_test, VolumeToDbFollowsTheLogarithmHeldToItsRange) {
  struct {
    int32_t a, b, db;
  } cases[] = {{1000, 1000, 0},   {500, 1000, -602}, {250, 1000, -1204}, {0, 1000, -10000}, {1, 1000, -6000},
               {-5, 1000, -10000}, {700, 0, 0},      {700, -1, 0},       {2000, 1000, 0},   {1, 100000, -10000},
               {990, 1000, -8}};
  for (const auto& c : cases) EXPECT_EQ(volume_to_db(c.a, c.b), c.db) << c.a << "/" << c.b;
}

TEST_F(dsound_test, AnOutputThatFailsWarnsOnceAndEveryLaterCallReportsUnusable) {
  platform.sound_output_works = false;
  EXPECT_EQ(dsound_ensure_init(), 1);
  EXPECT_EQ(dsound_ensure_init(), -1);
  ASSERT_EQ(platform.boxes.size(), 1u);
  EXPECT_EQ(platform.boxes[0].text, "DirectSoundのイニシャライズに失敗しました");
  EXPECT_EQ(platform.boxes[0].style & MB_ICON_MASK, static_cast<unsigned>(MB_ICONWARNING));
  wave_format f = wave_format_pcm16(2, 44100);
  EXPECT_EQ(dsbuf_create(nullptr, 4000, &f), nullptr);
}

TEST_F(dsound_test, ReleaseWaitsForTheLastStreamBufferThenFreesAllAndTheNextUseOpensAgain) {
  EXPECT_EQ(dsound_ensure_init(), 0);
  wave_format f = wave_format_pcm16(1, 22050);
  sound_buffer_entry* e = dsbuf_create(nullptr, 4000, &f);
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(sound_buffer_count(), 2);  // with the keep-alive buffer
  dsound_release();  // a stream's buffer lives: the device stays
  EXPECT_TRUE(dsound_is_ready());
  EXPECT_EQ(sound_buffer_count(), 2);
  dsbuf_release(e);
  dsound_release();
  EXPECT_FALSE(dsound_is_ready());
  EXPECT_EQ(sound_buffer_count(), 0);
  EXPECT_EQ(dsound_ensure_init(), 0);
  EXPECT_EQ(sound_buffer_count(), 1);
  EXPECT_EQ(platform.sound_output_opens, 1);  // the output stayed open
  // Formats the buffers cannot play are refused.
  wave_format bad[] = {wave_format_pcm16(3, 44100), wave_format_pcm16(2, 44100), wave_format_pcm16(2, 44100)};
  bad[1].bits_per_sample = 24;
  bad[2].format_tag = WAVE_FORMAT_MSADPCM;
  for (const wave_format& b : bad) EXPECT_EQ(dsbuf_create(nullptr, 4800, &b), nullptr);
}

TEST_F(dsound_test, ARepeatedVolumeGoesOutOneLowerSoThatItIsAlwaysAChange) {
  ASSERT_EQ(dsound_ensure_init(), 0);
  wave_format f = wave_format_pcm16(2, 44100);
  sound_buffer_entry* e = dsbuf_create(nullptr, 4000, &f);
  ASSERT_NE(e, nullptr);
  for (auto [sent, expected] : {std::pair{0, -1}, {-500, -500}, {-500, -501}, {-501, -502}, {-10000, -10000},
                                {-10000, -9999}, {-602, -602}}) {
    dsbuf_set_volume(e, sent);
    EXPECT_EQ(e->volume, expected) << sent;
  }
  // The buffer plays at what was sent last.
  uint8_t *first, *second;
  uint32_t first_size, second_size, cursor = 0;
  ASSERT_TRUE(dsbuf_lock(e, 0, 4000, &first, &first_size, &second, &second_size));
  for (uint32_t i = 0; i < first_size; i += 2) first[i] = 0x10, first[i + 1] = 0x27;  // 10000
  dsbuf_unlock(e);
  dsbuf_play(e, 1);
  EXPECT_NEAR(platform.sound_advance(4)[4], 10000 * std::pow(10.0, -602 / 2000.0), 0.5);
  EXPECT_TRUE(dsbuf_position(e, &cursor));
  EXPECT_EQ(cursor, 16u);
  dsbuf_release(e);
  EXPECT_FALSE(dsbuf_position(nullptr, &cursor));
  EXPECT_EQ(sound_buffer_count(), 1);
}

}  // namespace
