// The sound built-ins through the dispatcher's table, over the real mixer with no worker running:
// what each asked of the mixer is read back from the stream records it made.
#include "save/save_header.h"
#include "shell/settings.h"
#include "sound/sound.h"
#include "sound/stream_mixer.h"
#include "sound_encoder.h"
#include "sound_fixture.h"
#include "test_support.h"
#include "vm/builtin_table.h"
#include "vm/dispatcher.h"
#include "vm/script_error.h"
#include "vm/skip.h"
#include "vm/thread.h"
#include "vm/variables.h"

namespace {

constexpr int32_t NOT_FINISHED = -99;
builtin_handler probed = nullptr;  // the handler under call(), which reports "not finished"

int probe(int32_t n, int32_t drop) {
  if (probed(n, drop) == 0) return 0;
  push_int(NOT_FINISHED);
  return 0;
}

class sound_builtins_test : public sound_test {
 protected:
  void SetUp() override {
    sound_test::SetUp();
    settings_state_reset();
    data_base_folder_set(dir.path().c_str());
    const std::pair<setting_id, int> settings[] = {
        {SETTING_MUSIC_VOLUME, 800}, {SETTING_VOICE_VOLUME, 600},   {SETTING_SOUND_VOLUME, 500},
        {SETTING_PLAY_MUSIC, 1},     {SETTING_PLAY_SOUND, 1},       {SETTING_TALK_FEMALE, 1},
        {SETTING_TALK_MALE, 1},      {SETTING_REPROT_NO_VOICE, 1}, {SETTING_LOG_NO_VOICE, 0}};
    for (auto [id, value] : settings) setting_store(id, value);
    stream_worker_manual(true);
    stream_mixer_reset();
    sound_state_reset();
    skip_reset();
    thread_switch(thread_create(0));
    for (int i = 0; i < 32; ++i) platform.queued_answers.push_back(IDRETRY);
    for (const char* name : {"bgm", "loop", "other", "se", "voice1", "voice2"}) write(std::string(name) + ".wav");
  }
  void TearDown() override {
    threads_destroy_all();
    thread_switch(nullptr);
    stream_mixer_reset();
    stream_worker_manual(false);
    sound_state_reset();
    skip_reset();
    settings_state_reset();
    script_error_reset();
    sound_test::TearDown();
  }
  void write(const std::string& name) { dir.write(name, wav_pcm16(std::vector<int16_t>(4410, 100), 1, 44100)); }

  using arg = call_arg;
  // A built-in by name: its int result (NOT_FINISHED for a wait that goes on), or its text.
  int32_t call(const char* name, std::initializer_list<arg> args = {}) {
    std::string text;
    return call_with(name, args, text);
  }
  std::string call_text(const char* name, std::initializer_list<arg> args = {}) {
    std::string text = "(not a string)";
    call_with(name, args, text);
    return text;
  }
  int32_t call_with(const char* name, std::initializer_list<arg> args, std::string& text) {
    const builtin_entry* row = builtin_named(name);
    if (!row || !row->handler) return ADD_FAILURE() << "no handler of " << name, 0;
    probed = row->handler;
    builtin_entry e{row->hash, row->name, BUILTIN_PLAIN, 6, probe};
    for (auto it = std::rbegin(args); it != std::rend(args); ++it) stack_push_value(&it->cell);
    builtin_call(&e, e.hash, static_cast<int16_t>(args.size()), 0);
    const value_cell* c = stack_top();
    int32_t result = c->i;
    if (c->type == TYPE_STRING) text = c->s->text;
    stack_pop();
    return result;
  }
  static sound_stream record(int32_t id) {
    sound_stream s{};
    stream_snapshot(id, &s);
    return s;
  }
  static sound_slot_view slot(const char* name, int ch = 0) { return sound_slot_get(name, ch); }
  std::string last_box() const { return platform.boxes.empty() ? "(no box)" : platform.boxes.back().text; }
};

TEST_F(sound_builtins_test, PendingLevelsGoToTheNextPlayOnlyAndEachSlotKeepsItsOwnRule) {
  struct {
    const char* level_call;  // before the play, or null
    int32_t level;
    const char* play;
    const char* file;
    const char* slot;
    int32_t volume, current;  // what the mixer got, and the slot's current level
  } cases[] = {
      {"music_vol", 500, "music_play", "bgm", "music", 400, 500},
      {nullptr, 0, "music_play", "other", "music", 800, 1000},  // the pending level was used up
      {"voice_vol", 300, "voice_play", "voice1", "voice", 180, 300},
      {nullptr, 0, "voice_play", "voice2", "voice", 600, 1000},
      {"sound_vol", 200, "sound", "se", "sound", 100, 200},
      {"sound3_vol", 200, "sound3", "se", "sound3", 100, 200},
      {"sound3_fade", 200, "sound3", "se", "sound3", 500, 1000},  // a fade is no pending level
  };
  for (const auto& c : cases) {
    if (c.level_call) call(c.level_call, {c.level, 100});
    call(c.play, {c.file});
    sound_slot_view s = slot(c.slot);
    EXPECT_EQ(record(s.id).volume, c.volume) << c.play << " " << c.file;
    EXPECT_EQ(s.level, c.current) << c.play << " " << c.file;
    EXPECT_EQ(s.pending, 1000) << c.play << " " << c.file;
  }
  // While playing: sound (the first slot) keeps a level as pending, sound2..4 as current.
  int32_t first = (call("sound", {"se", 1}), slot("sound").id);
  int32_t third = (call("sound3", {"se", 1}), slot("sound3").id);
  call("sound_vol", {400});
  call("sound3_vol", {400});
  EXPECT_EQ(record(first).volume, 200);
  EXPECT_EQ(record(third).volume, 200);
  EXPECT_EQ(slot("sound").pending, 400);
  EXPECT_EQ(slot("sound").level, 1000);
  EXPECT_EQ(slot("sound3").level, 400);
  call("sound_fadeout", {100});
  call("sound3_fadeout", {100});
  EXPECT_EQ(slot("sound").level, 1000);
  EXPECT_EQ(slot("sound3").level, 0);
  // The channel family's level serves the next play on any channel.
  call("sound_ch_vol", {3, 250});
  call("sound_ch", {7, "se"});
  EXPECT_EQ(record(slot("sound_ch", 7).id).volume, 125);
  call("sound_ch", {8, "se"});
  EXPECT_EQ(record(slot("sound_ch", 8).id).volume, 500);
}

TEST_F(sound_builtins_test, MusicGoesOnForTheSameNamesAndPopRestoresThePushedOne) {
  call("music_with_loop_part", {"bgm", "loop"});
  int32_t id = slot("music").id;
  ASSERT_NE(id, 0);
  EXPECT_STREQ(record(id).loop_part, "loop.wav");
  EXPECT_EQ(record(id).loop, -1);
  call("music_with_loop_part", {"BGM.ogg", "data\\loop"});  // the same names, resolved
  EXPECT_EQ(slot("music").id, id);
  call("music_push");
  call("music_play", {"other", 0});
  EXPECT_EQ(record(slot("music").id).loop, 0);
  EXPECT_EQ(stream_status(id), 0);
  call("music_pop");
  EXPECT_STREQ(record(slot("music").id).file, "bgm.wav");
  int32_t popped = slot("music").id;
  call("music_pop");
  EXPECT_EQ(slot("music").id, popped);  // equal to what plays: nothing happens
  call("music_replace", {"other", 0});
  EXPECT_STREQ(record(popped).next_file, "other.wav");
  call("music_play", {"missing"});
  EXPECT_EQ(slot("music").id, popped);
  EXPECT_NE(last_box().find("music : ファイル[missing]が存在しません"), std::string::npos);
}

TEST_F(sound_builtins_test, ChannelsOutsideTheRangeAreReportedByName) {
  const std::pair<const char*, std::vector<int32_t>> cases[] = {
      {"voice_ch", {20}}, {"sound_ch_stop", {-1}}, {"voice_ch_stat", {20}}, {"sound_ch_get_fn", {99}}};
  for (const auto& [name, args] : cases) {
    size_t boxes = platform.boxes.size();
    if (std::string(name) == "sound_ch_get_fn")
      EXPECT_EQ(call_text(name, {args[0]}), "");
    else
      EXPECT_EQ(call(name, {args[0], "se"}), 0);
    ASSERT_EQ(platform.boxes.size(), boxes + 1) << name;
    EXPECT_NE(last_box().find(std::string(name) + " : chは0～19です"), std::string::npos) << last_box();
  }
  EXPECT_EQ(stream_count(), 0);
}

TEST_F(sound_builtins_test, WaitsGoOnWhileTheEndIsUnheardAndStopTheStreamWhileSkipping) {
  call("voice_play", {"voice1"});
  int32_t id = slot("voice").id;
  EXPECT_EQ(call("voice_wait"), NOT_FINISHED);
  EXPECT_NE(vm_frame->wait_deadline, WAIT_NONE);
  skip_mode_set(4);
  EXPECT_EQ(call("voice_wait"), 0);
  EXPECT_EQ(stream_status(id), 0);
  EXPECT_EQ(vm_frame->wait_deadline, WAIT_NONE);
  // While skipping a voice does not even start; a fade-out wait ends at once.
  call("voice_play", {"voice2"});
  EXPECT_EQ(slot("voice").id, 0);
  call("music_play", {"bgm"});
  EXPECT_EQ(call("music_fadeout_wait", {1000}), 0);
  EXPECT_EQ(stream_status(slot("music").id), 0);
  skip_reset();
  call("music_play", {"bgm"});
  vm_time_update();
  EXPECT_EQ(call("music_fadeout_wait", {1000}), NOT_FINISHED);
  EXPECT_EQ(slot("music").id, 0);
  platform.advance(999);
  vm_time_update();
  EXPECT_EQ(call("music_fadeout_wait", {1000}), NOT_FINISHED);
  platform.advance(1);
  vm_time_update();
  EXPECT_EQ(call("music_fadeout_wait", {1000}), 0);
}

TEST_F(sound_builtins_test, NoWaitKeepsTheVoiceAndKeepSparesOneReset) {
  call("voice_pan", {-300});
  call("voice_vol", {500});
  call("voice_play", {"voice1"});
  int32_t id = slot("voice").id;
  EXPECT_EQ(record(id).pan, -300);
  call("voice_vol", {700});  // the voice plays: its level now
  call("voice_pan", {200});
  call("voice_play", {"##NW##"});
  EXPECT_EQ(slot("voice").id, id);
  EXPECT_EQ(stream_status(id), 1);
  EXPECT_EQ(slot("voice").level, 700);
  EXPECT_EQ(call_text("voice_get_fn"), "##NW##");
  call("music_play", {"bgm"});
  int32_t music = slot("music").id;
  sound_keep();
  sound_reset();
  EXPECT_EQ(stream_status(music), 1);
  sound_reset();
  EXPECT_EQ(stream_status(music), 0);
  EXPECT_EQ(slot("music").id, 0);
  EXPECT_EQ(slot("music").level, 1000);  // current levels stay
}

TEST_F(sound_builtins_test, TheSaveBlockRoundTripsAndLongOrUnterminatedNamesStayInTheirFields) {
  std::string longer(140, 'x');
  write(longer + ".wav");
  call("music_vol", {600});
  call("music_with_loop_part", {"bgm", "loop"});
  call("sound2_vol", {300});
  call("sound2", {"se", 1});
  call("sound3", {"other", 0});  // not looping: not saved
  call("sound4", {longer.c_str(), 1});
  save_header h;
  memset(&h, 0x55, sizeof h);
  sound_save_state(h);
  EXPECT_STREQ(h.music_file, "bgm.wav");
  EXPECT_STREQ(h.music_loop, "loop.wav");
  EXPECT_STREQ(h.sound_slots[1].file, "se.wav");
  EXPECT_STREQ(h.sound_slots[2].file, "");
  EXPECT_EQ(strnlen(h.sound_slots[3].file, sizeof h.sound_slots[3].file), 127u);
  EXPECT_EQ(h.music_level, 600);
  EXPECT_EQ(h.sound_levels[1], 300);
  EXPECT_EQ(h.music_loop_flag, 1);

  sound_reset();
  memset(h.sound_slots[3].file, 'y', sizeof h.sound_slots[3].file);  // no NUL at all
  sound_load_state(h);
  EXPECT_STREQ(record(slot("music").id).loop_part, "loop.wav");
  EXPECT_EQ(record(slot("music").id).volume, 480);
  EXPECT_STREQ(record(slot("sound2").id).file, "se.wav");
  EXPECT_EQ(record(slot("sound2").id).volume, 150);
  EXPECT_EQ(slot("sound3").id, 0);
  EXPECT_EQ(slot("sound4").id, 0);
  EXPECT_NE(last_box().find("sound4 : ファイル[" + std::string(128, 'y') + "]"), std::string::npos);
}

TEST_F(sound_builtins_test, NamesResolveByBaseNameWavFirst) {
  dir.write("both.ogg", "x");
  write("both.wav");
  dir.write("only.ogg", "x");
  const std::pair<const char*, const char*> cases[] = {
      {"both", "both.wav"}, {"se\\only.wav", "only.ogg"}, {"data/both.mp3", "both.wav"}, {"none", ""}};
  for (auto [name, found] : cases) {
    char out[260] = "junk";
    EXPECT_EQ(sound_resolve_file(out, name), found[0] != 0) << name;
    EXPECT_STREQ(out, found) << name;
  }
  for (uint32_t hash : {0x649CFC79u, 0x45AD5F4Du}) {
    const builtin_entry* e = builtin_find(hash);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->handler, &builtin_sound_file_exists);
  }
  EXPECT_EQ(call("sound_file_exists", {"only"}), 1);
  EXPECT_EQ(call("sound_file_exists", {"none"}), 0);
}

}  // namespace
