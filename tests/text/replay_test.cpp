// The log replay: one entry a turn through the codes and the typewriter, page and window modes,
// colours of the replay's time, voices recorded, and a hostile log walked to its end.
#include <random>
#include <string>
#include <vector>

#include "message_fixture.h"
#include "vm/interpreter.h"

namespace {

using strings = std::vector<std::string>;

class replay : public message_test {
 protected:
  // The page the player saw: a window clear, a coloured text, a page wait, a newline, a second
  // text with its voice, and the last page wait.
  void SetUp() override {
    message_test::SetUp();
    console_at(0, 0, 400, 300);
    for (const char* step : {"\\w", "一ページ目", "\\c0x000000ff0xffffffff", "\\p", "\\n", "\\v0voice", "「二ページ目」", "\\p"}) {
      if (step[0] == '\\')
        msg_control_exec(step + 1, 1);
      else
        text(step), show();
    }
    fired();
    console_at(0, 0, 400, 300);
  }
  // Calls the built-in the way the interpreter does, turn after turn, until it ends.
  int32_t run(const char* name, int32_t position, strings* events, int* turns = nullptr) {
    static uint8_t code[16];
    vm_frame->code = code + 8;
    push_int(position);
    const builtin_entry* e = builtin_named(name);
    int n = 0;
    for (; n < 3 * MESSAGE_LOG_SIZE; n++) {
      builtin_call(e, e->hash, 1, 0);
      for (std::string& s : fired()) events->push_back(s);
      if (run_state_get() != RUN_YIELD) break;
      run_state_set(RUN_GO);
      EXPECT_EQ(vm_frame->code, code) << "a waiting call steps back over itself";
      vm_frame->code = code + 8;
    }
    if (turns) *turns = n;
    int32_t result = stack_top()->i;
    stack_pop();
    EXPECT_EQ(vm_frame->top, base_top);
    return result;
  }
  static std::string log_copy() { return std::string(reinterpret_cast<const char*>(message_log_bytes()), MESSAGE_LOG_SIZE); }
  int32_t base_top = 1;
};

TEST_F(replay, APageReplaysEntryByEntryWithoutBeingLoggedAgain) {
  std::string before = log_copy();
  console().d.colour = 0x00ff00;
  struct { const char* name; int32_t position; strings events; } rows[] = {
      {"backlog_replay", -2, {"clear()", "line(65536,0,0,140,20,0)"}},  // the last page of page mode
      {"backlog_replay", backlog_prev_start(backlog_prev_start(-2, true), true),
       {"clear()", "line(65536,0,0,100,20,0)"}},  // the first page, up to the newline after its wait
      {"backlog_replay_nowait", -1,  // the window page: its newline is run, not a page end
       {"clear()", "line(65536,0,0,100,20,1)", "newline()", "line(65536,0,25,140,20,1)"}},
  };
  for (auto r : rows) {
    base_top = vm_frame->top;
    strings events;
    EXPECT_EQ(run(r.name, r.position, &events), 0);
    for (std::string& e : events)  // the page id varies; the numbers after it do not
      if (e.rfind("line(", 0) == 0) e = "line(65536" + e.substr(e.find(','));
    EXPECT_EQ(events, r.events) << r.name << " " << r.position;
    EXPECT_FALSE(console().replaying);
    EXPECT_EQ(console().d.no_wait, 0);
    EXPECT_EQ(vm_frame->wait_frame_mark, 0);
  }
  EXPECT_EQ(log_copy(), before);
  EXPECT_EQ(console().d.colour, 0x00ff00) << "colours are not replayed";
  EXPECT_EQ(call_text("voice_list_name", {0}), "voice") << "the no-wait replay records the voice";
}

TEST_F(replay, AHostileLogIsReplayedToItsEndWithinBounds) {
  std::mt19937 random(5);
  std::string noise(MESSAGE_LOG_SIZE, '\0');
  for (char& b : noise) b = static_cast<char>(random() % 4 == 0 ? '\\' : random());
  message_log_restore(noise.data(), noise.size());
  platform.queued_answers.assign(1000, IDRETRY);
  for (int32_t position : {-1, -2, 0, 39999, 40000, 12345, -7}) {
    base_top = vm_frame->top;
    strings events;
    int turns = 0;
    run("backlog_replay_nowait", position, &events, &turns);
    EXPECT_LT(turns, 3 * MESSAGE_LOG_SIZE) << position;
    EXPECT_FALSE(console().replaying);
    message_module_reset();
  }
}

}  // namespace
