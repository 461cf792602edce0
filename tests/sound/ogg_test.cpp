// The Ogg Vorbis decoder: sines encoded at test time through libvorbisenc decode within a small error
// of the sine; intro, loop part and queued file follow each other; damaged files fail cleanly.
#include <cmath>

#include "sound/ogg_decoder.h"
#include "sound_encoder.h"
#include "sound_fixture.h"

namespace {

class ogg_test : public sound_test {
 protected:
  void write_sine(const std::string& name, int channels, int rate, double seconds, double amplitude, double hz = 440) {
    dir.write(name, vorbis_encode(sine_frames(channels, rate, hz, seconds, amplitude), channels, rate));
  }
  // Reads n bytes a call, as the mixer asks, until bytes have been had; samples and the ended flag
  // after each call.
  std::vector<int16_t> read(oggdec_state* d, size_t bytes, int n = 35280, int limit = 1 << 30,
                            std::vector<int>* ended = nullptr) {
    std::vector<int16_t> out;
    while (out.size() * 2 < bytes) {
      uint8_t* data;
      int got = oggdec_read(d, n, limit, &data);
      EXPECT_LE(got, std::min(4 * n, limit));
      if (got <= 0) break;
      out.insert(out.end(), reinterpret_cast<int16_t*>(data), reinterpret_cast<int16_t*>(data + got));
      free(data);
      if (ended) ended->push_back(oggdec_ended(d));
    }
    return out;
  }
  // The loudest sample of each tenth of a second of mono 22050 Hz.
  static std::vector<double> peaks(const std::vector<int16_t>& s) {
    std::vector<double> out;
    for (size_t at = 0; at + 2205 <= s.size(); at += 2205) {
      int peak = 0;
      for (size_t i = at; i < at + 2205; ++i) peak = std::max(peak, std::abs(s[i]));
      out.push_back(std::round(peak / 32767.0 * 10) / 10);
    }
    return out;
  }
};

TEST_F(ogg_test, SinesDecodeCloseToTheSineInTheirOwnFormat) {
  struct {
    int channels, rate;
  } cases[] = {{1, 22050}, {2, 44100}, {2, 32000}, {1, 8000}};
  for (const auto& c : cases) {
    write_sine("sine.ogg", c.channels, c.rate, 1.0, 0.5);
    sound_stream s = stream_named("sine.ogg");
    ASSERT_EQ(stream_open_ogg(&s), 0) << c.rate;
    EXPECT_EQ(s.output_format->channels, c.channels);
    EXPECT_EQ(s.output_format->samples_per_sec, static_cast<uint32_t>(c.rate));
    std::vector<int16_t> got = read(s.ogg, static_cast<size_t>(c.rate) * c.channels * 2);
    std::vector<int16_t> sine = sine_frames(c.channels, c.rate, 440, 1.0, 0.5);
    ASSERT_GE(got.size(), sine.size());
    double error = 0;
    for (size_t i = 0; i < sine.size(); ++i) error += std::pow(got[i] - sine[i], 2);
    EXPECT_LT(std::sqrt(error / sine.size()) / (0.5 * 32767), 0.02) << c.channels << " " << c.rate;
    EXPECT_EQ(oggdec_ended(s.ogg), 1);  // the end has been heard
    sound_stream_decoding_free(&s);
  }
  sound_stream s = stream_named("tune.wav");
  EXPECT_EQ(stream_open_ogg(&s), -1);
  wave_format f;
  EXPECT_EQ(oggdec_format(nullptr, &f), -1);
  EXPECT_EQ(oggdec_ended(nullptr), -1);
}

TEST_F(ogg_test, IntroThenLoopPartRepeatsThenAQueuedFilePlaysOnceAndSilenceFollows) {
  write_sine("intro.ogg", 1, 22050, 0.5, 0.2);
  write_sine("loop.ogg", 1, 22050, 0.3, 0.6);
  write_sine("next.ogg", 1, 22050, 0.5, 0.4);
  oggdec_state* d = oggdec_open("intro.ogg", "loop.ogg", 1);
  ASSERT_NE(d, nullptr);
  std::vector<int> ended;
  std::vector<double> p = peaks(read(d, 2 * 22050 * 1.5, 8820, 1 << 30, &ended));
  // Tenths 0-4 the intro, then the loop part over and over; the loop part's end has been heard.
  std::vector<double> want(15, 0.6);
  std::fill_n(want.begin(), 5, 0.2);
  EXPECT_EQ(std::vector<double>(p.begin(), p.begin() + 15), want);
  EXPECT_EQ(ended.front(), 0);
  EXPECT_EQ(ended.back(), 1);
  oggdec_set_next(d, "next.ogg", "", 0);
  EXPECT_EQ(oggdec_ended(d), 0);
  p = peaks(read(d, 2 * 22050 * 2.0, 8820));
  // What remains of the loop part, the queued file once (all of it), then silence.
  size_t next = std::find(p.begin(), p.end(), 0.4) - p.begin();
  ASSERT_LT(next, 5u);
  EXPECT_EQ(std::vector<double>(p.begin() + next, p.begin() + next + 5), std::vector<double>(5, 0.4));
  EXPECT_EQ(std::vector<double>(p.end() - 5, p.end()), std::vector<double>(5, 0.0));
  EXPECT_EQ(oggdec_ended(d), 1);
  oggdec_close(d);
}

TEST_F(ogg_test, EachReadStaysWithinTheRoomGivenAndTheRestComesNext) {
  // A quiet sine packs many packets into each page: one page decodes to more than 4 x n.
  write_sine("quiet.ogg", 2, 44100, 2.0, 0.01, 100);
  oggdec_state *whole = oggdec_open("quiet.ogg", "", 0), *parts = oggdec_open("quiet.ogg", "", 0);
  ASSERT_TRUE(whole && parts);
  EXPECT_EQ(read(parts, 2 * 44100 * 4, 35280, 3000), read(whole, 2 * 44100 * 4, 35280));
  oggdec_close(whole);
  oggdec_close(parts);
  uint8_t* data;
  EXPECT_EQ(oggdec_read(nullptr, 100, 40, &data), 40);  // silence, within the room too
  free(data);
}

// Every round's end is told once, at its place in the bytes handed out, whether it falls in the
// read that decoded it or in the carry that a later read hands out.
TEST_F(ogg_test, EachEndIsToldOnceAtItsPlaceInTheBytes) {
  write_sine("round.ogg", 1, 22050, 0.3, 0.5);
  const size_t round = 2 * 6615;  // 0.3 s of mono 16-bit
  for (auto [n, limit] : {std::pair{1000, 1 << 30}, {1000, 1500}, {3000, 2000}}) {
    oggdec_state* d = oggdec_open("round.ogg", "", 1);
    ASSERT_NE(d, nullptr);
    std::vector<size_t> ends;
    for (size_t had = 0; had < 7 * round / 2;) {
      uint8_t* data;
      int got = oggdec_read(d, n, limit, &data);
      free(data);
      ASSERT_GT(got, 0);
      had += static_cast<size_t>(got);
      if (int after = oggdec_end_take(d); after >= 0) ends.push_back(had - static_cast<size_t>(after));
    }
    EXPECT_EQ(ends, (std::vector<size_t>{round, 2 * round, 3 * round})) << n << " " << limit;
    oggdec_close(d);
  }
}

TEST_F(ogg_test, DamagedFilesFailToOpenOrPlaySilenceAndGoOn) {
  std::string good = vorbis_encode(sine_frames(1, 22050, 440, 6.0, 0.5), 1, 22050);
  size_t audio = good.find("OggS", good.find("OggS", 1) + 1);  // the third page: the first of audio
  ASSERT_NE(audio, std::string::npos);
  std::string flipped = good;
  for (size_t i = (audio + good.size()) / 2; i < good.size(); i += 97) flipped[i] ^= 0x5A;
  std::string absurd = good;
  absurd[5] = 0, absurd[26] = static_cast<char>(255);  // header type and segment count
  struct {
    const char* name;
    std::string bytes;
    bool opens;
  } cases[] = {
      {"truncated.ogg", good.substr(0, 100), false},   {"headers_only.ogg", good.substr(0, audio), true},
      {"flipped.ogg", flipped, true},                   {"absurd.ogg", absurd, false},
      {"garbage.ogg", std::string(9000, '\x4f'), false}, {"empty.ogg", "", false},
  };
  for (const auto& c : cases) {
    dir.write(c.name, c.bytes);
    oggdec_state* d = oggdec_open(c.name, "", 0);
    EXPECT_EQ(d != nullptr, c.opens) << c.name;
    if (!d) continue;
    for (int calls = 0; oggdec_ended(d) != 1 && calls < 50; ++calls) read(d, 1, 8820);
    EXPECT_EQ(oggdec_ended(d), 1) << c.name;
    EXPECT_EQ(read(d, 1, 8820), std::vector<int16_t>(4410, 0)) << c.name;  // silence once stopped
    oggdec_close(d);
  }
  EXPECT_EQ(oggdec_open("missing.ogg", "", 0), nullptr);
  EXPECT_TRUE(platform.boxes.empty());
}

}  // namespace
