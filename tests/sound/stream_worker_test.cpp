// The streaming worker, pass by pass on the null output and the fake clock: what a player hears is
// the mixed output, read here in 10 ms windows (their RMS level in thousands), so intro, loop part,
// queued file, fades and ends are checked by ear rather than by field.
#include <algorithm>
#include <cmath>
#include <thread>

#include "sound/stream_mixer.h"
#include "sound_encoder.h"
#include "sound_fixture.h"

namespace {

constexpr int WINDOW = 441;  // 10 ms of output

class stream_worker_test : public sound_test {
 protected:
  void SetUp() override {
    sound_test::SetUp();
    stream_worker_manual(true);
    stream_mixer_reset();
    ASSERT_EQ(dsound_ensure_init(), 0);
  }
  void TearDown() override {
    stream_mixer_reset();
    stream_worker_manual(false);
    sound_test::TearDown();
  }
  // A WAV file holding one sample value for its whole length.
  void constant(const std::string& name, int16_t value, double seconds, int channels = 1, int rate = 44100) {
    std::vector<int16_t> frames(static_cast<size_t>(seconds * rate) * channels, value);
    dir.write(name, wav_pcm16(frames, channels, rate));
  }
  // Plays ms of audio with the clock moving as far, then runs a worker pass; the left channel's
  // levels, one a window, are appended to heard.
  void play(int ms) {
    for (int done = 0; done < ms; done += 100) {
      int step = std::min(100, ms - done);
      std::vector<int16_t> out = platform.sound_advance(step * 441 / 10);
      for (size_t w = 0; w + 2 * WINDOW <= out.size(); w += 2 * WINDOW) {
        double sum = 0;
        for (int i = 0; i < WINDOW; ++i) sum += std::pow(out[w + 2 * i], 2);
        heard.push_back(static_cast<int>(std::lround(std::sqrt(sum / WINDOW) / 1000)));
      }
      platform.advance(static_cast<uint32_t>(step));
      stream_pass();
    }
  }
  // The heard levels as runs: (level, windows).
  std::vector<std::pair<int, int>> runs() const {
    std::vector<std::pair<int, int>> out;
    for (int level : heard) {
      if (!out.empty() && out.back().first == level)
        ++out.back().second;
      else
        out.push_back({level, 1});
    }
    return out;
  }
  std::vector<int> levels() const {
    std::vector<int> out;
    for (auto [level, n] : runs()) out.push_back(level);
    return out;
  }
  sound_stream record(int32_t id) {
    sound_stream s{};
    EXPECT_TRUE(stream_snapshot(id, &s));
    return s;
  }
  std::vector<int> heard;
};

using L = std::vector<int>;

TEST_F(stream_worker_test, StreamsOpenOnThePassAndFailuresAreShownOnTheWindowThread) {
  constant("a.wav", 1000, 1);
  int32_t a = stream_play_simple("A.WAV", 1000, 0);
  int32_t missing = stream_play_simple("gone.wav", 1000, 0);
  EXPECT_EQ(missing, a + 1);
  EXPECT_EQ(record(a).buffer, nullptr);  // nothing touched before the worker's pass
  EXPECT_STREQ(record(a).file, "a.wav");
  stream_pass();
  EXPECT_NE(record(a).buffer, nullptr);
  EXPECT_EQ(stream_status(a), 1);
  EXPECT_EQ(stream_count(), 1);
  ASSERT_EQ(platform.boxes.size(), 1u);  // shown by the status call, not by the pass
  EXPECT_NE(platform.boxes[0].text.find("ファイル[gone.wav]が発見できませんでした。"), std::string::npos);
  stream_stop(a);
  stream_pass();
  EXPECT_EQ(stream_status(a), 0);
  EXPECT_EQ(stream_play_simple("a.wav", 1000, 0), missing + 1);  // ids are never reused
}

TEST_F(stream_worker_test, TheRingIsRefilledOnlyOnceMoreThanSeventyPercentHasPlayed) {
  constant("long.wav", 1000, 20, 2);
  int32_t id = stream_play_simple("long.wav", 1000, 0);
  stream_pass();
  uint32_t ahead = record(id).write_cursor;
  EXPECT_GT(ahead, STREAM_RING_BYTES - STREAM_REFILL_THRESHOLD);  // filled past the threshold at once
  EXPECT_LE(ahead, STREAM_RING_BYTES - STREAM_REFILL_THRESHOLD + 35280);
  // Played bytes that leave more than the threshold queued: no write.
  uint32_t slack = ahead - (STREAM_RING_BYTES - STREAM_REFILL_THRESHOLD);
  platform.sound_advance(static_cast<int>(slack / 4) - 1);
  stream_pass();
  EXPECT_EQ(record(id).write_cursor, ahead);
  platform.sound_advance(2);
  stream_pass();
  EXPECT_EQ(record(id).write_cursor, ahead + 35280);
}

TEST_F(stream_worker_test, IntroThenLoopPartThenTheQueuedFileAtTheLoopPartsEnd) {
  constant("intro.wav", 1000, 0.3);
  constant("loop.wav", 2000, 0.3);
  constant("next.wav", 3000, 0.5);
  int32_t id = stream_play("intro.wav", "loop.wav", 1000, 1);
  stream_pass();
  play(2000);
  EXPECT_EQ(levels(), (L{1, 2}));
  EXPECT_EQ(runs()[0].second, 30);
  EXPECT_EQ(stream_status(id), -1);  // the loop part's end has been heard
  stream_queue_next(id, "next.wav", "", 0);
  play(5000);  // mono: the ring holds 2.4 s ahead
  auto r = runs();
  ASSERT_EQ(levels(), (L{1, 2, 3, 0}));
  EXPECT_EQ(r[1].second % 30, 0);  // whole loop parts before the queued file
  EXPECT_EQ(r[2].second, 50);
  EXPECT_EQ(stream_status(id), 0);  // it played once and retired
}

TEST_F(stream_worker_test, EndNoticesAndStopTimesFollowWhatHasBeenHeard) {
  constant("short.wav", 1000, 0.5);
  int32_t once = stream_play_simple("short.wav", 1000, 0);
  int32_t repeat = stream_play_simple("short.wav", 1000, 1);
  stream_pass();  // all of the file is read at once, but not yet heard
  EXPECT_EQ(stream_status(once), 1);
  EXPECT_EQ(stream_status(repeat), 1);
  play(400);
  EXPECT_EQ(stream_status(once), 1);
  play(200);
  EXPECT_EQ(stream_status(once), 0);    // retired once its last byte had played
  EXPECT_EQ(stream_status(repeat), -1);  // its end was heard; it plays on
  play(1000);
  EXPECT_EQ(stream_status(repeat), -1);
  EXPECT_EQ(heard.back(), 1);
}

TEST_F(stream_worker_test, AnEndingSoundRetiresOnceItsLastFrameIsMixedOrItsOutputStalls) {
  constant("short.wav", 1000, 0.5);
  // The output 120 ms behind the clock, as a device that mixes in blocks may be.
  int32_t id = stream_play_simple("short.wav", 1000, 0);
  stream_pass();
  std::vector<int16_t> out = platform.sound_advance(19404);  // 440 ms
  platform.advance(560), stream_pass();
  EXPECT_EQ(stream_status(id), -1);  // its end is due by the clock, but not yet mixed
  for (int16_t v : platform.sound_advance(4410)) out.push_back(v);
  stream_pass();
  EXPECT_EQ(stream_status(id), 0);
  EXPECT_EQ(out.size() - std::count(out.begin(), out.end(), 0), 2u * 22050);  // every frame was heard
  // An output that stalls: the clock retires the stream a second after its last frame was due,
  // but not while it is paused, nor as soon as it resumes.
  for (bool paused : {false, true}) {
    id = stream_play_simple("short.wav", 1000, 0);
    stream_pass();
    if (paused) stream_pause(id);
    platform.advance(1400), stream_pass();
    EXPECT_EQ(stream_status(id), -1);
    platform.advance(200), stream_pass();
    if (paused) stream_resume(id), stream_pass();
    EXPECT_EQ(stream_status(id), paused ? -1 : 0);
    stream_stop(id), stream_pass();
  }
}

TEST_F(stream_worker_test, OggAndWavTellEachEndWhenItIsHeardAlsoAfterItWasCleared) {
  constant("round.wav", 1000, 3, 2);
  dir.write("round.ogg", vorbis_encode(sine_frames(2, 44100, 441, 3, 0.1), 2, 44100));
  for (const char* file : {"round.wav", "round.ogg"}) {
    SCOPED_TRACE(file);
    int32_t id = stream_play_simple(file, 1000, 1);
    stream_pass();
    for (int round = 1; round <= 2; round++) {
      play(round == 1 ? 2800 : 2700);
      EXPECT_EQ(stream_status(id), 1) << round;
      play(300);
      EXPECT_EQ(stream_status(id), -1) << round;  // heard at 3.0 s, then at 6.0 s
      stream_clear_ended(id);
    }
    stream_stop(id), stream_pass();
  }
}

TEST_F(stream_worker_test, FadesFollowTheClockAndAFadeOutRetiresTheStream) {
  constant("long.wav", 1000, 30);
  struct {
    int32_t duration, after, volume;
  } cases[] = {{1000, 500, 500}, {1000, 2000, 0}, {3000000, 2400000, 200}};  // the last overflows 32 bits
  for (const auto& c : cases) {
    int32_t id = stream_play_simple("long.wav", 1000, 1);
    stream_pass();
    stream_fade(id, 0, c.duration);
    platform.advance(static_cast<uint32_t>(c.after));
    stream_pass();
    EXPECT_EQ(record(id).volume, c.volume) << c.duration << " " << c.after;
    stream_stop(id);
    stream_pass();
  }
  int32_t out = stream_play_simple("long.wav", 1000, 1);
  stream_pass();
  stream_fade_out(out, 0, 300);
  play(200);
  EXPECT_EQ(stream_status(out), 1);
  play(200);
  EXPECT_EQ(stream_status(out), 0);
  // At once: with no time, or before the worker has opened it.
  int32_t now = stream_play_simple("long.wav", 1000, 1);
  stream_fade_out(now, 0, 1000);
  EXPECT_EQ(stream_status(now), 0);
}

TEST_F(stream_worker_test, APausedStreamHoldsItsPlaceUntilResumed) {
  constant("long.wav", 1000, 10);
  int32_t id = stream_play_simple("long.wav", 1000, 0);
  stream_pass();
  play(300);
  stream_pause(id);
  stream_pass();
  play(500);
  stream_resume(id);
  stream_pass();
  play(300);
  auto r = runs();
  ASSERT_EQ(levels(), (L{1, 0, 1}));
  EXPECT_EQ(r[0].second + r[2].second, 60);
}

TEST_F(stream_worker_test, AQueuedFileOfAnotherFormatIsConvertedToTheStreams) {
  std::vector<int16_t> sine = sine_frames(1, 22050, 441, 0.5, 2828 / 32767.0);  // RMS 2000
  dir.write("sine.ogg", vorbis_encode(sine, 1, 22050));
  struct {
    std::function<void()> make;
    const char* first;
    const char* next;
  } cases[] = {
      {[&] { constant("a.wav", 1000, 0.3, 2), constant("b.wav", 2000, 0.5, 1, 22050); }, "a.wav", "b.wav"},
      {[&] { constant("a.wav", 1000, 0.3, 1, 22050), constant("b.wav", 2000, 0.5, 2); }, "a.wav", "b.wav"},
      {[&] { constant("a.wav", 1000, 0.3, 2); }, "a.wav", "sine.ogg"},
      {[&] { constant("b.wav", 1000, 0.5, 2, 32000); }, "sine.ogg", "b.wav"},
  };
  for (const auto& c : cases) {
    c.make();
    heard.clear();
    int32_t id = stream_play_simple(c.first, 1000, 1);
    stream_pass();
    play(400);
    stream_queue_next(id, c.next, "", 0);
    play(7000);
    auto r = runs();
    ASSERT_GE(r.size(), 3u) << c.next;
    EXPECT_EQ(r[r.size() - 1].first, 0) << c.next;
    EXPECT_NEAR(r[r.size() - 2].second, 50, 2) << c.next;  // 0.5 s at the stream's own rate
    EXPECT_EQ(stream_status(id), 0) << c.next;
  }
  heard.clear();
  stream_play("sine.ogg", "b.wav", 1000, 1);  // an Ogg intro, then a WAV loop part
  stream_pass();
  play(4000);
  ASSERT_EQ(levels(), (L{2, 1}));
  EXPECT_NEAR(runs()[0].second, 50, 2);
}

TEST_F(stream_worker_test, FastModeShortensMonoSixteenBitOnlyAndEightBitSilenceIsSilent) {
  dir.write("eight.wav", wav_file({{"fmt ", wav_format_block(1, 1, 44100, 44100, 1, 8)},
                                   {"data", std::string(22050, static_cast<char>(0x80 + 40))}}));
  constant("mono.wav", 1000, 0.5);
  constant("stereo.wav", 1000, 0.5, 2);
  struct {
    const char* file;
    bool fast;
    int windows, level;
  } cases[] = {{"mono.wav", false, 50, 1},   {"mono.wav", true, 25, 1},   {"stereo.wav", true, 50, 1},
               {"eight.wav", true, 50, 10}, {"eight.wav", false, 50, 10}};
  for (const auto& c : cases) {
    heard.clear();
    if (c.fast) stream_set_next_fast();
    int32_t id = stream_play_simple(c.file, 1000, 0);
    stream_pass();
    play(1500);
    auto r = runs();
    ASSERT_EQ(levels(), (L{c.level, 0})) << c.file << c.fast;
    EXPECT_EQ(r[0].second, c.windows) << c.file << c.fast;
    EXPECT_EQ(stream_status(id), 0);
  }
}

TEST_F(stream_worker_test, TwelveStreamsNeverRunDryWhenPassesComeLate) {
  for (int k = 0; k < 12; ++k) constant("s" + std::to_string(k) + ".wav", 100, 20, 2);
  std::vector<int32_t> ids;
  for (int k = 0; k < 12; ++k) ids.push_back(stream_play_simple(("s" + std::to_string(k) + ".wav").c_str(), 1000, 0));
  stream_pass();
  std::vector<uint64_t> written(12), last(12);
  for (int k = 0; k < 12; ++k) written[k] = last[k] = record(ids[k]).write_cursor;
  uint64_t played = 0;
  for (int pass = 0; pass < 20; ++pass) {
    // A pass every 300 ms of audio: later than one chunk lasts.
    platform.sound_advance(13230);
    played += 13230 * 4;
    platform.advance(300);
    stream_pass();
    for (int k = 0; k < 12; ++k) {
      uint32_t cursor = record(ids[k]).write_cursor;
      written[k] += (cursor + STREAM_RING_BYTES - last[k]) % STREAM_RING_BYTES;
      last[k] = cursor;
      EXPECT_GT(written[k], played) << "stream " << k << " ran dry at pass " << pass;
    }
  }
}

using StreamWorkerThreaded = stream_worker_test;

TEST_F(StreamWorkerThreaded, StopAllReturnsOnceTheWorkerHasEmptiedTheList) {
  stream_worker_manual(false);
  constant("a.wav", 1000, 5);
  stream_stop_all();  // starts the worker
  std::vector<int32_t> ids;
  for (int k = 0; k < 6; ++k) {
    ids.push_back(stream_play_simple("a.wav", 500, k % 2));
    stream_set_volume(ids.back(), 800);
    stream_fade(ids.back(), 0, 1000);
    stream_set_pan(ids.back(), 100 * k);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    platform.advance(100);
    platform.sound_advance(441);
  }
  for (int32_t id : ids) stream_status(id);
  stream_stop_all();
  EXPECT_EQ(stream_count(), 0);
  for (int32_t id : ids) EXPECT_EQ(stream_status(id), 0);
}

TEST_F(StreamWorkerThreaded, TheWorkerToldToStopEndsAtOnceRatherThanAfterItsTick) {
  // A worker that slept its tick out would take a whole tick every time; the quickest of a few
  // starts and stops shows the join, however busy the machine is at the others.
  auto quickest = std::chrono::steady_clock::duration::max();
  for (int k = 0; k < 20; ++k) {
    auto start = std::chrono::steady_clock::now();
    stream_worker_manual(false);
    stream_stop_all();     // starts the worker
    stream_mixer_reset();  // stops and joins it
    quickest = std::min(quickest, std::chrono::steady_clock::now() - start);
  }
  EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(quickest).count(), int64_t{STREAM_TICK_MS});
}

}  // namespace
