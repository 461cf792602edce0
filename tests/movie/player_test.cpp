// The movie player alone, pumped by hand: the frame due by the sound played or by the fake clock,
// conversion to other sizes, loops and ranges, and files that are damaged or name other files.
#include <arpa/inet.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <future>

#include "movie_test_fixture.h"

namespace {

movie_player_spec spec_of(const std::string& path, int w, int h) {
  movie_player_spec s;
  s.path = path;
  s.width = w;
  s.height = h;
  s.threaded = false;
  return s;
}

TEST_F(movie_test, TheFrameShownIsTheOneDueBySoundPlayed) {
  struct {
    const movie_file& file;
    int w, h;
  } cases[] = {{TONE_640, 640, 480}, {ODD_SIZE, 321, 241}, {ODD_SIZE, 160, 90}, {TONE_640, 97, 33}};
  for (auto& c : cases) {
    SCOPED_TRACE(std::string(c.file.name) + " at " + std::to_string(c.w));
    movie_player* p = movie_player_open(spec_of(movie_make(c.file), c.w, c.h));
    ASSERT_TRUE(p);
    EXPECT_EQ(shown_number(p), 0);
    int at = 0;
    for (int until : {410, 1010, 1530}) {
      play_for(until - at, p);
      at = until;
      EXPECT_NEAR(movie_player_clock_ms(p), until, 2);
      EXPECT_EQ(shown_number(p), until / 40);
    }
    // A pump held up for half a second: the output played on past the sound written.
    for (int i = 0; i < 50; i++) platform.sound_advance(SOUND_OUTPUT_RATE / 100);
    movie_player_pump(p);
    at += 500;
    EXPECT_NEAR(movie_player_clock_ms(p), at, 2);
    EXPECT_EQ(shown_number(p), std::min(at / 40, c.file.seconds * 25 - 1));
    play_for(c.file.seconds * 1000 - at + 100, p);
    EXPECT_TRUE(movie_player_ended(p));
    EXPECT_EQ(shown_number(p), c.file.seconds * 25 - 1) << "the last frame stays";
    movie_player_close(p);
  }
}

TEST_F(movie_test, LoopsAndRangesKeepTimeOnTheFakeClock) {
  platform.use_fake_clock(5000);
  struct {
    int from, to;
    bool loop;
    std::vector<std::pair<int, int>> at_shown;  // (ms since the start, frame)
    int end_ms;                                 // -1: still playing at the last time
  } cases[] = {
      {0, -1, false, {{0, 0}, {1210, 30}, {1990, 49}}, 2000},
      {0, -1, true, {{1990, 49}, {2010, 0}, {2530, 13}, {4090, 2}}, -1},
      {1000, 1500, false, {{0, 25}, {250, 31}, {490, 37}}, 500},
      {400, 800, true, {{390, 19}, {410, 10}, {810, 10}}, -1},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.from) + ".." + std::to_string(c.to) + (c.loop ? " loop" : ""));
    movie_player_spec s = spec_of(movie_make(SILENT), 160, 120);
    s.from_ms = c.from, s.to_ms = c.to, s.loop = c.loop;
    movie_player* p = movie_player_open(s);
    ASSERT_TRUE(p);
    int at = 0;
    for (auto [t, frame] : c.at_shown) {
      for (; at < t; at += 10) platform.advance(std::min(10, t - at)), movie_player_pump(p);
      EXPECT_EQ(shown_number(p), frame) << "at " << t;
      EXPECT_FALSE(movie_player_ended(p)) << "at " << t;
    }
    if (c.end_ms >= 0) {
      platform.advance(c.end_ms - at + 10);
      movie_player_pump(p);
      EXPECT_TRUE(movie_player_ended(p));
    }
    movie_player_close(p);
  }
}

TEST_F(movie_test, DamagedFilesAreRefusedOrPlayWhatTheyHold) {
  temp_dir dir;
  dir.write("text.avi", std::string(5000, 'x'));
  EXPECT_FALSE(movie_player_open(spec_of(dir.at("text.avi"), 64, 48)));
  EXPECT_FALSE(movie_player_open(spec_of(dir.at("none.avi"), 64, 48)));
  std::ifstream in(movie_make(TONE_640), std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  for (size_t keep : {bytes.size() * 2 / 5, size_t{4096}, size_t{300}}) {
    SCOPED_TRACE(keep);
    dir.write("cut.avi", bytes.substr(0, keep));
    movie_player* p = movie_player_open(spec_of(dir.at("cut.avi"), 64, 48));
    if (!p) continue;  // too little left to play
    play_for(3200, p);
    EXPECT_TRUE(movie_player_ended(p));
    movie_player_close(p);
  }
}

// A playlist names what the demuxer would open itself: a movie outside the game, an address that
// listens here, a FIFO that would block its reader. The open is refused at once and touches none.
TEST_F(movie_test, APlaylistMakesTheDemuxerOpenNothing) {
  std::string outside = movie_make(movie_file{"segment.ts", 64, 48, 1, nullptr, "-c:v mpeg2video"});
  temp_dir game, elsewhere;
  ASSERT_EQ(mkfifo(elsewhere.at("pipe.ts").c_str(), 0600), 0);
  int server = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
  sockaddr_in at{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
  socklen_t size = sizeof at;
  ASSERT_TRUE(bind(server, reinterpret_cast<sockaddr*>(&at), size) == 0 && listen(server, 4) == 0 &&
              getsockname(server, reinterpret_cast<sockaddr*>(&at), &size) == 0);
  std::string address = "http://127.0.0.1:" + std::to_string(ntohs(at.sin_port)) + "/seg.ts";
  for (const std::string& named : {outside, address, elsewhere.at("pipe.ts"), std::string()}) {
    SCOPED_TRACE(named.empty() ? "the outside movie itself" : named);
    game.write("movie/x.m3u8", "#EXTM3U\n#EXT-X-TARGETDURATION:1\n#EXTINF:1,\n" + named + "\n#EXT-X-ENDLIST\n");
    auto opened = std::async(std::launch::async, movie_player_open,
                             spec_of(named.empty() ? outside : game.at("movie/x.m3u8"), 64, 48));
    EXPECT_EQ(opened.wait_for(std::chrono::seconds(30)), std::future_status::ready);
    // Whatever reached the address or the FIFO is let go, so a faulty open cannot hang here.
    for (int fd : {accept(server, nullptr, nullptr), open(elsewhere.at("pipe.ts").c_str(), O_WRONLY | O_NONBLOCK)}) {
      EXPECT_LT(fd, 0) << "reached";
      if (fd >= 0) close(fd);
    }
    movie_player* p = opened.get();
    EXPECT_EQ(p != nullptr, named.empty());
    movie_player_close(p);
  }
  close(server);
}

}  // namespace
