// The dispatcher: the stack tidy of each kind under both call opcodes, unknown and unbuilt
// built-ins, argument counts the frame does not hold, waits and their re-runs on the fake clock,
// and the dispatcher's own built-ins.
#include "base/env.h"
#include "dispatcher_fixture.h"
#include "shell/env_keys.h"
#include "vm/readmark.h"

namespace {

using dispatcher = dispatcher_test;

TEST_F(dispatcher, UnknownAndUnbuiltBuiltinsReportAndLeaveOneIntOrNothing) {
  push_int(7);  // the caller's cell, below the call
  int32_t before = top();
  push_int(1);
  push_string("argument");
  EXPECT_FALSE(call(0x12345678, 2));
  EXPECT_EQ(box_text(0), "組み込み関数[12345678]は定義されていません");
  ASSERT_EQ(top(), before + 1);
  EXPECT_EQ(cell(before).type, TYPE_INT);
  EXPECT_EQ(cell(before).i, 0);
  EXPECT_EQ(cell(before - 1).i, 7);
  stack_pop();

  push_string("argument");
  EXPECT_FALSE(call(0x12345678, 1, 1));
  EXPECT_EQ(top(), before);

  // Built-ins not built yet (rows of their own: every row of the table has its handler) report
  // themselves and are tidied like the others.
  const builtin_entry plain{H_BACKLOG_REPLAY, "unbuilt_plain", BUILTIN_PLAIN, 3, nullptr};
  push_int(640);
  push_int(480);
  builtin_call(&plain, plain.hash, 2, 0);
  EXPECT_EQ(box_text(2), "unbuilt_plain : この組み込み関数はまだ実装されていません");
  ASSERT_EQ(top(), before + 1);
  EXPECT_EQ(cell(before).i, 0);
  stack_pop();

  const builtin_entry unbuilt{H_BACKLOG_REPLAY, "unbuilt_self_cleaning", BUILTIN_SELF_CLEANING, 5, nullptr};
  push_string("event");
  builtin_call(&unbuilt, unbuilt.hash, 1, 1);
  EXPECT_EQ(box_text(3), "unbuilt_self_cleaning : この組み込み関数はまだ実装されていません");
  EXPECT_EQ(top(), before);
  EXPECT_EQ(run_state_get(), RUN_GO);
}

TEST_F(dispatcher, ACountBeyondTheFrameIsReportedAndClamped) {
  push_string("the caller's");
  string_block* callers = cell(top() - 1).s;
  vm_frame->base = top();  // the string belongs below this frame
  push_int(3);
  EXPECT_FALSE(call(H_THREAD_EXISTS, 5));
  EXPECT_EQ(box_text(0), "thread_exists : 引数の数(5)が正しくありません");
  ASSERT_EQ(top(), vm_frame->base + 1);  // only the one argument the frame held was replaced
  EXPECT_EQ(cell(top() - 1).i, 0);       // no thread 3
  EXPECT_EQ(callers->refcount, 1);
  EXPECT_STREQ(callers->text, "the caller's");

  EXPECT_FALSE(call(H_THREAD_EXISTS, -2));
  EXPECT_EQ(box_text(1), "thread_exists : 引数の数(-2)が正しくありません");
  EXPECT_EQ(top(), vm_frame->base + 2);  // no argument taken, one result pushed

  EXPECT_FALSE(call(0xABCDEF01, 9, 1));
  EXPECT_EQ(box_text(2), "組み込み関数[ABCDEF01] : 引数の数(9)が正しくありません");
  EXPECT_EQ(box_text(3), "組み込み関数[ABCDEF01]は定義されていません");
  EXPECT_EQ(top(), vm_frame->base);
  EXPECT_EQ(callers->refcount, 1);
}

int self_cleaning_sum(int32_t n, int32_t drop) {
  push_int(0);  // the result's cell first: the arguments are still found where they lie
  for (int32_t k = 1; k <= n; ++k) stack_top()->i += builtin_arg_int(k) * (k == 1 ? 1 : 10);
  builtin_finish(vm_frame->top - 1 - n, vm_frame->top, drop);
  return 0;
}
int self_cleaning_moves_on(int32_t, int32_t) {
  push_int(99);  // leaves the stack as its own rules say: the dispatcher must not touch it
  return 0;
}

TEST_F(dispatcher, EachKindKeepsOrDropsItsOneResult) {
  int32_t before = top();
  // Plain.
  push_int(0);
  call(H_THREAD_EXISTS, 1);
  ASSERT_EQ(top(), before + 1);
  EXPECT_EQ(cell(before).i, 1);  // thread 0 is the current one
  stack_pop();
  push_int(0);
  call(H_THREAD_EXISTS, 1, 1);
  EXPECT_EQ(top(), before);
  // Waiting, finished at once.
  push_string("extra");
  EXPECT_FALSE(call(H_SKIP_STATE_GET, 1));
  ASSERT_EQ(top(), before + 1);
  EXPECT_EQ(cell(before).type, TYPE_INT);
  stack_pop();
  push_string("extra");
  EXPECT_FALSE(call(H_SKIP_STATE_GET, 1, 1));
  EXPECT_EQ(top(), before);
  // Self-cleaning: the handler tidies; the dispatcher leaves whatever it left.
  const builtin_entry sum = {0x11111111, "sum", BUILTIN_SELF_CLEANING, 2, self_cleaning_sum};
  push_int(2);
  push_int(3);
  vm_frame->code = instruction + 8;
  builtin_call(&sum, sum.hash, 2, 0);
  ASSERT_EQ(top(), before + 1);
  EXPECT_EQ(cell(before).i, 3 + 2 * 10);  // argument 1 is the top cell
  stack_pop();
  push_int(2);
  builtin_call(&sum, sum.hash, 1, 1);
  EXPECT_EQ(top(), before);
  const builtin_entry moves = {0x22222222, "moves", BUILTIN_SELF_CLEANING, 2, self_cleaning_moves_on};
  push_int(4);
  builtin_call(&moves, moves.hash, 1, 1);
  EXPECT_EQ(top(), before + 2);
  EXPECT_EQ(cell(before).i, 4);
  EXPECT_EQ(cell(before + 1).i, 99);
}

TEST_F(dispatcher, AWaitRerunsWithItsArgumentsAndReleasesThemWhenDone) {
  int32_t before = top();
  string_block* s = string_block_new("kept between runs");
  s->refcount++;  // the test's own reference
  value_cell c = string_cell(s);
  stack_push_value(&c);
  push_int(500);
  EXPECT_TRUE(call(H_TIME_WAIT, 2));
  EXPECT_EQ(run_state_get(), RUN_YIELD);
  EXPECT_EQ(vm_frame->code, instruction);
  EXPECT_EQ(top(), before + 2);
  EXPECT_EQ(s->refcount, 2);
  pass(499);
  EXPECT_TRUE(call(H_TIME_WAIT, 2));
  EXPECT_EQ(cell(before + 1).i, 500);
  EXPECT_EQ(s->refcount, 2);
  pass(1);
  EXPECT_FALSE(call(H_TIME_WAIT, 2, 1));
  EXPECT_EQ(run_state_get(), RUN_GO);
  EXPECT_EQ(vm_frame->code, instruction + 8);
  EXPECT_EQ(top(), before);
  EXPECT_EQ(s->refcount, 1);
  EXPECT_EQ(vm_frame->wait_deadline, WAIT_NONE);
  string_release(s);
}

TEST_F(dispatcher, TimeWaitEndsAtItsDeadlineOrWhenSkippingOnTheMainThread) {
  push_int(500);
  EXPECT_TRUE(call(H_TIME_WAIT, 1, 1));  // the first run always yields
  skip_mode_set(4);
  EXPECT_FALSE(call(H_TIME_WAIT, 1, 1));  // thread 0 stops waiting while skipping

  script_thread* other = thread_create(5);
  thread_switch(other);
  push_int(500);
  EXPECT_TRUE(call(H_TIME_WAIT, 1, 1));
  EXPECT_TRUE(call(H_TIME_WAIT, 1, 1));  // another thread keeps its time
  pass(500);
  EXPECT_FALSE(call(H_TIME_WAIT, 1, 1));
  skip_mode_set(0);

  // A deadline more than 12 hours ahead counts as reached (the clock jumped back).
  push_int(500);
  EXPECT_TRUE(call(H_TIME_WAIT, 1, 1));
  vm_frame->wait_deadline = vm_time_get() + WAIT_CLOCK_JUMP_MS;
  EXPECT_TRUE(call(H_TIME_WAIT, 1, 1));
  vm_frame->wait_deadline = vm_time_get() + WAIT_CLOCK_JUMP_MS + 1;
  EXPECT_FALSE(call(H_TIME_WAIT, 1, 1));

  // A negative time waits until the thread is told to end.
  push_int(-1);
  EXPECT_TRUE(call(H_TIME_WAIT, 1, 1));
  EXPECT_EQ(vm_frame->wait_deadline, WAIT_FOREVER);
  pass(100000);
  EXPECT_TRUE(call(H_TIME_WAIT, 1, 1));
  other->state = THREAD_TOLD_TO_END;
  EXPECT_FALSE(call(H_TIME_WAIT, 1, 1));
}

TEST_F(dispatcher, TimeWaitCatchesUpOnMinusTwoAndOnZeroWhenTheGameAsks) {
  push_int(-2);
  EXPECT_TRUE(call(H_TIME_WAIT, 1, 1));
  EXPECT_TRUE(catch_up_active());
  EXPECT_FALSE(call(H_TIME_WAIT, 1, 1));  // the deadline lay 10 ms back
  EXPECT_FALSE(catch_up_active());

  push_int(0);
  EXPECT_TRUE(call(H_TIME_WAIT, 1, 1));
  EXPECT_FALSE(catch_up_active());
  EXPECT_FALSE(call(H_TIME_WAIT, 1, 1));

  game_env_load(game, "NOUPDATEONWAIT0 1\n");
  push_int(0);
  EXPECT_TRUE(call(H_TIME_WAIT, 1, 1));
  EXPECT_TRUE(catch_up_active());
  EXPECT_FALSE(call(H_TIME_WAIT, 1, 1));
  EXPECT_FALSE(catch_up_active());
  env_free();
  env_keys_reset();
}

// Moves the fake clock so that the next pass reads the VM time t.
void clock_to(headless_platform& platform, int32_t t) {
  platform.advance(static_cast<uint32_t>(t) - static_cast<uint32_t>(vm_time_now()));
  vm_time_update();
}

TEST_F(dispatcher, DeadlinesCompareAcrossTheWrapAndNeverLandOnTheSentinels) {
  EXPECT_EQ(vm_time_get(), static_cast<int32_t>(VM_TIMER_ORIGIN));  // clear of 0 and -1 at start
  clock_to(platform, INT32_MAX - 100);
  push_int(1000);
  EXPECT_TRUE(call(H_TIME_WAIT, 1, 1));
  EXPECT_LT(vm_frame->wait_deadline, 0);  // past the wrap
  pass(999);
  EXPECT_TRUE(call(H_TIME_WAIT, 1, 1));
  pass(1);
  EXPECT_FALSE(call(H_TIME_WAIT, 1, 1));

  clock_to(platform, -500);
  push_int(500);
  EXPECT_TRUE(call(H_TIME_WAIT, 1, 1));
  EXPECT_EQ(vm_frame->wait_deadline, 1);  // not 0, which would make every run a first run
  pass(499);
  EXPECT_TRUE(call(H_TIME_WAIT, 1, 1));
  pass(2);
  EXPECT_FALSE(call(H_TIME_WAIT, 1, 1));
  EXPECT_EQ(wait_deadline_after(0, -1), 1);
}

TEST_F(dispatcher, TimeWaitUntilKeepsARhythm) {
  int32_t start = vm_time_get();
  auto wait_until = [&](int32_t t, int32_t d) {
    push_int(d);
    push_int(t);
    int runs = 1;
    while (call(H_TIME_WAIT_UNTIL, 2)) {
      pass(1);
      ++runs;
    }
    int32_t result = cell(top() - 1).i;
    stack_pop();
    return std::make_pair(result, runs);
  };
  auto [next, runs] = wait_until(start, 100);
  EXPECT_EQ(next, start + 100);
  EXPECT_EQ(runs, 101);
  pass(150);  // the script came back late: no wait, and the result tells how late
  std::tie(next, runs) = wait_until(next, 100);
  EXPECT_EQ(runs, 1);
  EXPECT_EQ(next, start + 250 - 10);
  std::tie(next, runs) = wait_until(0, 100);  // ten intervals off: the rhythm starts from now
  EXPECT_EQ(next, start + 350);
  EXPECT_EQ(runs, 101);
}

// frame_wait is tested where frames are drawn: dispatcher_program_test.cpp.

TEST_F(dispatcher, InputWaitAnswersWithTheThreadsKeys) {
  int32_t before = top();
  EXPECT_TRUE(call(H_INPUT_WAIT, 0));
  EXPECT_EQ(vm_frame->wait_deadline, WAIT_INPUT);  // no deadline: the pass wakes for input
  vm_thread->decide_key = 1;
  vm_thread->middle_key = 1;
  EXPECT_FALSE(call(H_INPUT_WAIT, 0));
  ASSERT_EQ(top(), before + 1);
  EXPECT_EQ(cell(before).i, 1 + 4);
  EXPECT_EQ(vm_thread->decide_key, 0);
  EXPECT_EQ(vm_thread->middle_key, 0);
  EXPECT_EQ(vm_frame->wait_deadline, WAIT_NONE);

  vm_thread->cancel_key = 1;
  EXPECT_FALSE(call(H_INPUT_RELEASE_WAIT, 0, 1));  // nothing held
  EXPECT_EQ(vm_thread->cancel_key, 0);
}

TEST_F(dispatcher, ThreadTerminate) {
  script_thread* main_thread = vm_thread;
  EXPECT_FALSE(call(H_THREAD_TERMINATE, 0, 1));
  EXPECT_EQ(box_text(0), "thread(0)の終了には$system_end()を使用してください");
  EXPECT_EQ(main_thread->state, THREAD_RUNNING);

  script_thread* other = thread_create(5);
  push_int(5);
  call(H_THREAD_TERMINATE, 1, 1);
  EXPECT_EQ(other->state, THREAD_TOLD_TO_END);
  EXPECT_EQ(run_state_get(), RUN_GO);

  thread_switch(other);  // told to end and ending: terminating itself kills it
  call(H_THREAD_TERMINATE, 0, 1);
  EXPECT_EQ(other->state, THREAD_DEAD);
  EXPECT_EQ(run_state_get(), RUN_END_TURN);

  script_thread* third = thread_create(6);
  thread_switch(third);
  call(H_THREAD_TERMINATE, 0, 1);  // no argument: the calling thread, its turn ends at once
  EXPECT_EQ(third->state, THREAD_TOLD_TO_END);
  EXPECT_EQ(run_state_get(), RUN_END_TURN);
}

TEST_F(dispatcher, ThreadsEndAllAndTheirExistence) {
  script_thread* other = thread_create(5);
  push_int(-1);
  call(H_THREADS_END_ALL, 1, 1);  // only keeps the music
  EXPECT_EQ(other->state, THREAD_RUNNING);
  EXPECT_EQ(run_state_get(), RUN_GO);
  call(H_THREADS_END_ALL, 0, 1);
  EXPECT_EQ(other->state, THREAD_TOLD_TO_END);
  EXPECT_EQ(vm_thread->state, THREAD_TOLD_TO_END);
  EXPECT_EQ(run_state_get(), RUN_END_TURN);
  push_int(5);
  call(H_THREAD_EXISTS, 1);
  EXPECT_EQ(cell(top() - 1).i, 1);
  push_int(6);
  call(H_THREAD_EXISTS, 1);
  EXPECT_EQ(cell(top() - 1).i, 0);
}

TEST_F(dispatcher, SkipAndMenuLockBuiltins) {
  auto result = [&](uint32_t hash, int16_t n = 0) {
    call(hash, n);
    int32_t r = cell(top() - 1).i;
    stack_pop();
    return r;
  };
  call(H_SKIP_ALL_ON, 0, 1);
  EXPECT_EQ(result(H_SKIP_STATE_GET), 1);
  EXPECT_EQ(result(H_SKIP_FLAGS_GET), 1);
  push_int(2 | 4);
  call(H_SKIP_FLAGS_SET, 1, 1);
  EXPECT_EQ(result(H_SKIP_FLAGS_GET), 6);
  EXPECT_EQ(result(H_SKIP_STATE_GET), 0);

  call(H_SKIP_FORCE_ON, 0, 1);  // only under menu lock A
  EXPECT_EQ(force_skip_get(), 0);
  EXPECT_EQ(result(H_MENU_LOCK_A_SET), 0);
  call(H_SKIP_FORCE_ON, 0, 1);
  EXPECT_EQ(force_skip_get(), 1);
  EXPECT_TRUE(is_skipping());
  EXPECT_EQ(result(H_SKIP_SUPPRESS_PUSH), 1);
  EXPECT_EQ(result(H_SKIP_SUPPRESS_PUSH), 0);
  EXPECT_FALSE(is_skipping());  // suppressed even in forced skip
  EXPECT_EQ(result(H_SKIP_FORCE_END), 1);
  EXPECT_EQ(result(H_SKIP_FORCE_END), 0);
  EXPECT_EQ(skip_flags_get(), 0);
  EXPECT_EQ(result(H_MENU_LOCK_A_CLEAR), 1);
  EXPECT_EQ(result(H_MENU_LOCK_A_CLEAR), 0);
}

TEST_F(dispatcher, ReadMarkExistsByObjectName) {
  readmark_attach("START.VKO", 10);
  push_string("scenario\\start.txt");
  call(H_READMARK_EXISTS, 1);
  EXPECT_EQ(cell(top() - 1).i, 1);
  push_string("other");
  call(H_READMARK_EXISTS, 1);
  EXPECT_EQ(cell(top() - 1).i, 0);
}

TEST_F(dispatcher, SpeedChangesNeverTurnTheClockBack) {
  int32_t t0 = vm_time_get();
  auto speed = [&](float s) {
    push_float(s);
    call(H_VM_SPEED_SET, 1, 1);
  };
  speed(2.0f);
  pass(100);
  EXPECT_EQ(vm_time_get(), t0 + 200);  // 2 ms per real millisecond
  speed(3.0f);
  EXPECT_EQ(vm_time_now(), t0 + 200);  // goes on from where it stood
  pass(100);
  EXPECT_EQ(vm_time_get(), t0 + 500);
  speed(1.0f);
  EXPECT_EQ(vm_time_now(), t0 + 500);
  pass(100);
  EXPECT_EQ(vm_time_get(), t0 + 600);
  vm_clock_reset();  // the reset before a run: the engine's timer again
  EXPECT_EQ(vm_time_now(), t0 + 300);
}

using dispatcher_DeathTest = dispatcher_test;

TEST_F(dispatcher_DeathTest, SystemEndEndsTheProcessWithZero) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(call(H_SYSTEM_END, 0), ::testing::ExitedWithCode(0), "");
}

}  // namespace
