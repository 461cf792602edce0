// Assembled programs on the interpreter that wait through the dispatcher's built-ins: two threads
// waiting on the clock take turns in time order; frame waits end only after a frame.
#include "interpreter_fixture.h"
#include "vm/interpreter.h"
#include "vm/pass_sleep.h"
#include "vm/script_error.h"

namespace {

class waiting_programs : public program_test {
 protected:
  void SetUp() override {
    program_test::SetUp();
    // Real time also passes while a pass runs; the fake clock moves 1 ms per message pump.
    platform.on_pump = [this] { platform.advance(1); };
  }
};

// A thread function that waits `interval` ms, appends its digit to @order and does so `rounds`
// times, counting in a local.
std::string waiting_function(const std::string& name, int interval, int digit, int rounds) {
  return ".func " + name + "\n" + (name == "main" ? ".entry\n" : "") + "    locals int\n" + name + "_loop:\n" +
         "    push.i " + std::to_string(interval) + "\n    builtin.drop time_wait 1\n" +
         "    load.i @order\n    push.i 10\n    mul.i\n    push.i " + std::to_string(digit) + "\n    add.i\n" +
         "    set.i.pop @order\n" +
         "    load.i _0\n    push.i 1\n    add.i\n    set.i.pop _0\n" +
         "    load.i _0\n    push.i " + std::to_string(rounds) + "\n    lt.i\n    jt " + name + "_loop\n    ret\n";
}

TEST_F(waiting_programs, TwoThreadsWaitingOnTheClockInterleave) {
  enter(".builtin time_wait 0xCF35F0E3\n" + waiting_function("main", 100, 1, 3) +
        waiting_function("worker", 130, 2, 2));
  script_thread* worker = thread_create(1);
  worker->frames[0].code = function_find(crc32_string("worker"));
  int32_t start = vm_time_now();
  EXPECT_EQ(interpreter_run(), RUN_END);
  // The main thread at 100, 200 and 300 ms, the worker at 130 and 260.
  EXPECT_EQ(int_of("@order"), 12121);
  int32_t elapsed = vm_time_now() - start;
  EXPECT_GE(elapsed, 300);
  EXPECT_LT(elapsed, 320);  // the waits ran side by side, not one after the other
  EXPECT_TRUE(platform.boxes.empty());
}

TEST_F(waiting_programs, FrameWaitsEndAfterAFrame) {
  // frame_wait(1) asks for a frame at once; frame_wait(0) waits for the pacer's next frame. Each
  // sleeps three times: its 2 ms, until the frame, none after it.
  platform.fake_wait_max = WAIT_NO_LIMIT;
  auto run = [&](int redraw) {
    std::string wait = "push.i " + std::to_string(redraw) + "\nbuiltin.drop frame_wait 1\n";
    if (!vm_thread) thread_switch(thread_create(0));  // the last run ended the main thread
    enter(".builtin frame_wait 0x4662E95D\n.entry\n" + wait + wait + wait + "ret\n");
    uint32_t frames = frame_counter();
    uint64_t waits = platform.waits;
    int32_t start = vm_time_now();
    EXPECT_EQ(interpreter_run(), RUN_END);
    EXPECT_GE(frame_counter() - frames, 3u);
    EXPECT_LE(platform.waits - waits, 3u * 3);
    return vm_time_now() - start;
  };
  EXPECT_LT(run(1), 12);  // three frames on request, each within a few milliseconds
  int32_t paced = run(0);
  EXPECT_GE(paced, 24);  // at least two paced frame intervals of 12 ms, at most three and the waits'
  EXPECT_LE(paced, 3 * 12 + 3 * 3);
}

// Waits for input sleep until a message brings it and end in the pass after the one that took it,
// no later than when every pass slept 1 ms.
TEST_F(waiting_programs, InputWaitsSleepUntilAMessageAndEndInThePassAfter) {
  platform.fake_wait_max = WAIT_NO_LIMIT;
  window_handle w = main_window_open(64, 64);
  const struct {
    const char* wait;
    uint32_t message;  // posted at the third pump
    uintptr_t wparam;
  } rows[] = {{"input_wait", WM_MOUSEWHEEL, 120u << 16}, {"input_release_wait", WM_LBUTTONUP, 0}};
  for (const auto& row : rows) {
    if (!vm_thread) thread_switch(thread_create(0));  // the last run ended the main thread
    enter(".entry\nbuiltin.drop " + std::string(row.wait) + " 0\nret\n");
    if (row.message == WM_LBUTTONUP) input_button_event(-1, BUTTON_DECIDE, 0, 1), input_snapshot();  // held
    uint32_t start = platform.clock_ms(), at = 0;
    uint64_t waits = 0;
    platform.on_pump = [&, pumps = 0]() mutable {
      if (++pumps == 3) at = platform.clock_ms(), waits = platform.waits, message_post(w, row.message, row.wparam, 0);
      if (pumps == 20) threads_stop_all();  // a wait that missed its message
    };
    EXPECT_EQ(interpreter_run(), RUN_END) << row.wait;
    EXPECT_GE(at - start, 2 * PASS_SLEEP_MAX_MS) << row.wait;  // two passes, each one long sleep
    EXPECT_EQ(platform.waits - waits, 1u) << row.wait;         // the pass that took the input
    EXPECT_EQ(platform.clock_ms(), at) << row.wait;
    input_init();
  }
  graphics_state_reset();
}

}  // namespace
