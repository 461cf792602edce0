// The movie module and its built-ins on the headless backend: the crash flag and the skip rules,
// file lookup, the results of both back ends, hides and shows, clicks in movie_wait, the picture in
// the window and the sound in the mixer.
#include <unistd.h>

#include <cmath>

#include "base/datasource.h"
#include "base/env.h"
#include "base/registry.h"
#include "graphics/kernel.h"
#include "shell/env_keys.h"
#include "shell/startup.h"
#include "sound/sound.h"
#include "sound/stream_mixer.h"
#include "sound_encoder.h"
#include "vm/builtin_table.h"
#include "vm/dispatcher.h"
#include "vm/skip.h"
#include "vm/thread.h"
#include "vm/variables.h"
#include "movie_test_fixture.h"

namespace {

class movie_module : public movie_test {
 protected:
  void SetUp() override {
    movie_test::SetUp();
    platform.use_fake_clock(1000);  // silent movies stand still; the others wait for the sound output
    thread_switch(thread_create(0));
    movie_set_mode(1);
    for (int i = 0; i < 8; i++) platform.queued_answers.push_back(IDRETRY);
    old_cwd = getcwd(nullptr, 0);
    ASSERT_EQ(chdir(game.path().c_str()), 0);
    game.mkdir("movie");
    ASSERT_EQ(run_command("cp '" + movie_make(SILENT) + "' clip.avi && cp '" + movie_make(TONE_640) + "' movie/tone.avi"), 0);
  }
  void TearDown() override {
    EXPECT_EQ(chdir(old_cwd), 0);
    free(old_cwd);
    skip_mode_set(0);
    threads_destroy_all();
    thread_switch(nullptr);
    movie_test::TearDown();
  }
  // A built-in with its arguments (first argument first); its result, or -99 while it waits.
  int32_t call(builtin_handler f, std::initializer_list<const char*> text, std::initializer_list<int32_t> ints = {}) {
    int32_t top = vm_frame->top;
    for (auto it = std::rbegin(ints); it != std::rend(ints); ++it) push_int(*it);
    for (const char* t : text) push_string(t);
    static builtin_handler target;
    static int waits;
    target = f;
    builtin_entry e{0, "test", BUILTIN_SELF_CLEANING, 6, [](int32_t n, int32_t drop) { return waits = target(n, drop); }};
    builtin_call(&e, 0, static_cast<int16_t>(text.size() + ints.size()), 0);
    int32_t r = waits ? -99 : stack_top()->i;
    while (vm_frame->top > top) stack_pop();
    return r;
  }
  int crash_flag() { return reg_get_int(reg_global_name(), reg_local_name(), "AbnormalMovieTerminateFlg", -1); }
  bool box_shown(const std::string& part) {
    for (auto& b : platform.boxes)
      if (b.text.find(part) != std::string::npos) return true;
    return false;
  }
  // The window's frame number in the page rectangle (x, y, w, h) after the paint.
  int window_number(int x, int y, int w, int h) {
    drain_window_messages();
    platform.pump_host_events();
    auto* r = platform.record(main_window_get());
    int n = 0;
    for (int k = 0; k < 8; k++)
      if ((r->pixel(x + (2 * k + 1) * w / 16, y + h / 2) >> 8 & 0xFF) > 128) n |= 1 << k;
    return n;
  }
  temp_dir game;
  char* old_cwd = nullptr;
};

TEST_F(movie_module, TheCrashFlagAndSkippingDecideWhetherAMoviePlays) {
  uint8_t label = 0;
  struct {
    const char* flag;
    bool skipping, label;
    builtin_handler play;
    bool plays;
  } cases[] = {
      {"1", false, false, builtin_movie_play, false},       {"0", false, false, builtin_movie_play, true},
      {"0", true, true, builtin_movie_play, false},         {"0", true, true, builtin_movie_play_loop, false},
      {"0", true, false, builtin_movie_play, true},         {"0", false, true, builtin_movie_play_loop, true},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(std::string(c.flag) + (c.skipping ? " skipping" : "") + (c.label ? " label" : ""));
    reg_set_string(reg_global_name(), reg_local_name(), "AbnormalMovieTerminateFlg", c.flag);
    skip_mode_set(c.skipping ? 4 : 0);
    vm_frame->decide_label = c.label ? &label : nullptr;
    EXPECT_EQ(call(c.play, {"clip.avi"}, {0}), 0);
    EXPECT_EQ(movie_is_playing(), c.plays);
    EXPECT_EQ(crash_flag(), c.flag[0] == '1' ? 1 : 0);
    movie_close();
  }
  // A range plays while skipping.
  skip_mode_set(4);
  vm_frame->decide_label = &label;
  EXPECT_EQ(call(builtin_movie_play_range, {"clip.avi"}, {100, 900, 0}), 0);
  EXPECT_EQ(movie_is_playing(), 1);
  EXPECT_TRUE(platform.boxes.empty());
}

TEST_F(movie_module, MoviesAreFoundAsNamedOrInTheMovieFolder) {
  std::string fits(248, 'a'), too_long(250, 'b');
  game.write("movie/" + fits + ".avi", "x");
  game.write("movie/" + too_long + ".avi", "x");
  EXPECT_EQ(movie_file_find("clip.avi"), "clip.avi");
  EXPECT_EQ(movie_file_find("tone.avi"), "movie\\tone.avi");
  EXPECT_EQ(movie_file_find("TONE.AVI"), "movie\\TONE.AVI");
  EXPECT_EQ(movie_file_find((fits + ".avi").c_str()), "movie\\" + fits + ".avi");
  EXPECT_EQ(movie_file_find((too_long + ".avi").c_str()), "");
  EXPECT_EQ(movie_file_find(engine_path_from_host(game.at("clip.avi")).c_str()), "");  // names inside the game only
  EXPECT_EQ(call(builtin_movie_play, {"none.avi"}, {0}), 0);
  EXPECT_TRUE(box_shown("movie_play : ムービーファイル[none.avi]が存在しません"));
  EXPECT_EQ(movie_is_playing(), 0);
}

TEST_F(movie_module, StartsReportTheirBackEndsResultsAndAlwaysOpenTheFileAsked) {
  game.write("bad.avi", std::string(4000, 'z'));
  struct {
    int mode;
    int (*start)(const char*);
    const char* file;
    int result, buffers;
  } cases[] = {
      {1, [](const char* f) { return movie_start(f, 0, 0, 64, 48); }, "movie/tone.avi", 0, 1},
      {1, [](const char* f) { return movie_start(f, 0, 0, 64, 48); }, "clip.avi", 0, 0},
      {1, [](const char* f) { return movie_start(f, 0, 0, 64, 48); }, "bad.avi", MOVIE_WINDOW_OPEN_FAILED, 0},
      {2, [](const char* f) { return movie_start(f, 0, 0, 64, 48); }, "bad.avi", MOVIE_GRAPH_FAILED, 0},
      {0, [](const char* f) { return movie_start(f, 0, 0, 64, 48); }, "clip.avi", -2, 0},
      {3, [](const char* f) { return movie_start_loop(f, 0, 0, 64, 48); }, "clip.avi", 1, 0},
      {2, [](const char* f) { return movie_start_range(f, 0, 0, 64, 48, 500, 1500); }, "movie/tone.avi", 0, 1},
      {2, [](const char* f) { return movie_start_loop(f, 0, 0, 64, 48); }, "clip.avi", 0, 0},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.mode) + " " + c.file);
    movie_set_mode(c.mode);
    EXPECT_EQ(c.start(c.file), c.result);
    EXPECT_EQ(movie_is_playing(), c.result == 0);
    EXPECT_EQ(sound_buffer_count(), c.buffers);
  }
}

TEST_F(movie_module, StopSoundReleasesTheSoundDeviceOnlyWhenAskedAndNeverUnderKeptMusic) {
  stream_worker_manual(true);
  data_base_folder_set(game.path().c_str());
  game.write("kept.wav", wav_pcm16(std::vector<int16_t>(44100, 1000), 1, 44100));
  int32_t music = 0;
  for (int stop : {0, 1, 2}) {  // 2: stop sound over music kept as threads_end_all(-1) keeps it
    ASSERT_EQ(dsound_ensure_init(), 0);
    if (stop == 2) music = stream_play_simple("kept.wav", 1000, 1), stream_pass(), sound_keep();
    call(builtin_movie_play, {"clip.avi"}, {stop});
    EXPECT_EQ(dsound_is_ready(), stop != 1) << stop;
  }
  EXPECT_EQ(sound_buffer_count(), 2);  // the music's and the keep-alive
  ASSERT_EQ(dsound_ensure_init(), 0);
  stream_pass();  // the worker writes on into the music's buffer
  EXPECT_EQ(stream_status(music), 1);
  stream_mixer_reset();
  stream_worker_manual(false);
}

TEST_F(movie_module, HidesNestAndOnlyTheLastShowBringsThePictureBack) {
  open_window(320, 240);
  page_fill_rect(front, page_rect{0, 0, 320, 240}, 0xFFFFFF);
  ASSERT_EQ(movie_start("clip.avi", 40, 30, 160, 120), 0);
  auto picture_shown = [&] { return window_number(40, 30, 160, 120) == 0; };  // frame 0 is black
  EXPECT_TRUE(picture_shown());
  movie_hide(), movie_hide(), movie_show();
  EXPECT_FALSE(picture_shown());
  movie_show();
  EXPECT_TRUE(picture_shown());
  movie_show(), movie_hide();  // a show without its hide does not undo the next hide
  EXPECT_FALSE(picture_shown());
  movie_show();
  movie_close();
  EXPECT_FALSE(picture_shown());
}

TEST_F(movie_module, ThreadedPlayerPutsTheFrameDueBySoundPlayedInTheWindow) {
  open_window(320, 240);
  ASSERT_EQ(movie_start("movie\\tone.avi", 40, 30, 160, 120), 0);
  play_for(1010, nullptr);
  // The sound output stops there; the thread's next pumps bring the frame due then.
  int shown = -1;
  for (uint32_t begin = host_clock_ms(); host_clock_ms() - begin < static_cast<uint32_t>(test_budget_ms(2000));) {
    if ((shown = window_number(40, 30, 160, 120)) == 25) break;
    host_sleep_ms(10);
  }
  EXPECT_EQ(shown, 25);
}

TEST_F(movie_module, MovieWaitEndsWithTheMovieOrWithAClickWhenAsked) {
  ASSERT_EQ(movie_start("movie\\tone.avi", 0, 0, 64, 48), 0);
  struct {
    int click_ends;
    bool clicked;
    int result;
  } cases[] = {{0, true, -99}, {1, false, -99}, {1, true, 0}};
  for (auto& c : cases) {
    vm_thread->decide_key = c.clicked ? 5 : 0;
    EXPECT_EQ(call(builtin_movie_wait, {}, {c.click_ends}), c.result);
    EXPECT_EQ(vm_thread->decide_key, c.result == 0 ? 0 : vm_thread->decide_key);
    EXPECT_EQ(vm_frame->wait_deadline != WAIT_NONE, c.result != 0);
  }
  EXPECT_EQ(movie_is_playing(), 1) << "a click ends the wait only";
  movie_close();
  EXPECT_EQ(call(builtin_movie_wait, {}, {0}), 0);
}

double rms(const std::vector<int16_t>& s) {
  double sum = 0;
  for (int16_t v : s) sum += static_cast<double>(v) * v;
  return std::sqrt(sum / static_cast<double>(s.size()));
}

TEST_F(movie_module, ThreadedPlayerSoundReachesTheMixerAtTheMovieVolume) {
  ASSERT_EQ(movie_start("movie\\tone.avi", 0, 0, 64, 48), 0);
  double full = rms(platform.sound_advance(4410));
  ASSERT_GT(full, 1000);
  for (int level : {500, 100, 0, -1}) {
    SCOPED_TRACE(level);
    if (level >= 0) call(builtin_movie_vol, {}, {level});
    ASSERT_EQ(movie_start("movie\\tone.avi", 0, 0, 64, 48), 0);
    double expected = level < 0 ? full : level == 0 ? 0 : full * std::pow(10.0, volume_to_db(level, 1000) / 2000.0);
    EXPECT_NEAR(rms(platform.sound_advance(4410)), expected, full * 0.01) << "-1: back to full after a start";
  }
}

TEST_F(movie_module, AMovieCrashMovesStartUpToTheOtherBackEnd) {
  struct {
    int method_key, stored, flag, mode;  // stored -1: none
  } cases[] = {{1, -1, 0, 2}, {0, -1, 0, 1}, {1, -1, 1, 0}, {1, 1, 1, 2}, {1, 3, 1, 1},
               {0, 2, 1, 1},  {0, 3, 1, 2},  {0, 1, 1, 0}};
  for (auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.method_key) + " " + std::to_string(c.stored) + " " + std::to_string(c.flag));
    settings_state_reset();
    data_base_folder_set(game.path().c_str());
    game.write("vaskel.env", "MOVIEMETHOD " + std::to_string(c.method_key) + "\n");
    ASSERT_EQ(env_load("vaskel.env"), 0);
    if (c.stored >= 0) reg_set_int(reg_global_name(), reg_local_name(), "MoviePlayMethod", c.stored);
    reg_set_int(reg_global_name(), reg_local_name(), "AbnormalMovieTerminateFlg", c.flag);
    movie_method_choose();
    int expected = c.mode == 1 ? MOVIE_WINDOW_OPEN_FAILED : c.mode == 2 ? MOVIE_GRAPH_FAILED : c.mode - 2;
    EXPECT_EQ(movie_start("missing.avi", 0, 0, 8, 8), expected);
    EXPECT_EQ(crash_flag(), 0);
    if (c.flag) { EXPECT_EQ(reg_get_int(reg_global_name(), reg_local_name(), "MoviePlayMethod", -1), c.mode); }
  }
}

}  // namespace
