// Hooks, thread start and thread replacement reached from assembled programs through the call
// instructions 0x834 and 0x835 and run by the interpreter.
#include <string>

#include "hooks_fixture.h"

namespace {

const char* BUILTINS = R"(
.builtin event_call 0x76EE6C90
.builtin event_hook_add 0x078A756E
.builtin thread_start 0xF2F9DAA8
.builtin time_wait 0xCF35F0E3
)";

std::string hash_of(const char* function) { return std::to_string(static_cast<int32_t>(crc32_string(function))); }

class hook_programs : public hooks {
 protected:
  void SetUp() override {
    hooks::SetUp();
    thread_id_counter_set(300, false);
  }
  void start(const std::string& source) { enter(BUILTINS + source); }
};

TEST_F(hook_programs, EventCallLeavesTheStackBalancedUnderBothCallInstructions) {
  start(R"(
.entry
    push.i )" + hash_of("handler") + R"(
    push.s "ev"
    builtin.drop event_hook_add 2
    push.i 7
    push.i 10
    push.s "x"
    push.s "ev"
    builtin event_call 3
    set.i.pop @kept
    push.i 10
    push.s "ev"
    builtin.drop event_call 2
    set.i.pop @below
    ret
.func handler
    load.i _-1
    set+.i.pop @counts
    push.s "h"
    set+.s.pop @order
    ret
)");
  EXPECT_EQ(interpreter_run(), RUN_END);
  EXPECT_EQ(int_of("@kept"), 0);
  EXPECT_EQ(int_of("@below"), 7);
  EXPECT_EQ(int_of("@counts"), 3);  // two arguments, then one
  EXPECT_EQ(text_of("@order"), "hh");
  EXPECT_TRUE(platform.boxes.empty());
}

TEST_F(hook_programs, ThreadStartHandsTheArgumentsToTheNewThreadWhichRunsInTheNextPass) {
  start(R"(
.entry
    push.i 20
    push.i 10
    push.i )" + hash_of("worker") + R"(
    builtin thread_start 3
    set.i.pop @id
    push.s "M"
    set+.s.pop @order
    push.i 5
    builtin.drop time_wait 1
    ret
.func worker
)" + RECORD_PARAMETERS + R"(
    push.s "W"
    set+.s.pop @order
    ret
)");
  EXPECT_EQ(interpreter_run(), RUN_END);
  EXPECT_EQ(int_of("@id"), 300);
  expect_parameters(2, 10, 20);
  EXPECT_EQ(text_of("@order"), "MW");
}

TEST_F(hook_programs, RepeatedFiringsOntoABlockedThreadEndInTheFrameLimit) {
  start(R"(
.entry
    push.i 0
    set.i.pop @n
L:  push.s "ev"
    builtin.drop event_call 1
    load.i @n ++x
    push.i 300
    lt.i
    jt L
    ret
.func blocked
    push.i -1
    builtin.drop time_wait 1
    ret
.func handler
    ret
)");
  // The newer thread takes its turn first and blocks; the main thread then fires in one turn.
  script_thread* other = thread_create(5);
  other->frames[0].code = function_find(crc32_string("blocked"));
  hook_add_as(other, "ev", "handler");
  EXPECT_THROW(interpreter_run(), fatal_exit_called);
  EXPECT_EQ(other->depth, FRAME_COUNT - 1);
  EXPECT_EQ(int_of("@n"), FRAME_COUNT - 1);  // the firing after these pushed the 256th
  EXPECT_THAT(platform.boxes.back().text, HasSubstr("スタックオーバーフロー"));
}

}  // namespace
