// The interpreter pass: threads taking turns on the fake clock, thread ends and destruction, the
// skip keys, frame thinning, catch-up, the return to the title, and the services that native
// code calls.
#include <functional>

#include "graphics/page_grid.h"
#include "graphics/presentation.h"
#include "graphics/sprite.h"
#include "interpreter_fixture.h"
#include "vm/dispatcher.h"
#include "vm/opcodes.h"
#include "vm/pass_sleep.h"
#include "vm/script_error.h"

namespace {

// Until the dispatcher has its waiting built-ins, the tests have their own. A built-in hash
// 0x7E57xxxx is unknown, so calling it is reported (answered Retry); hook B, which runs before
// every error box, then makes the call wait xxxx ms the way a waiting built-in does: the deadline
// goes into the frame, the run state becomes 1 and the code pointer goes back onto the call.
// 0x7E58xxxx instead destroys the thread with id xxxx at once.
size_t reports_seen;  // a report may run hook B more than once; the built-in acts once

void test_builtin(size_t report) {
  if (report == reports_seen || vm_run_state != RUN_GO || !vm_frame || !vm_frame->code) return;
  reports_seen = report;
  uint32_t hash = code_u32(vm_frame->code - 6);
  if (hash >> 16 == 0x7E58) {
    if (script_thread* t = thread_find(static_cast<int32_t>(hash & 0xFFFF))) thread_destroy(t);
    return;
  }
  if (hash >> 16 != 0x7E57) return;
  call_frame* f = vm_frame;
  int32_t now = vm_time_get();
  if (f->wait_deadline == 0) f->wait_deadline = now + static_cast<int32_t>(hash & 0xFFFF);
  if (now - f->wait_deadline >= 0) {
    f->wait_deadline = 0;
    return;
  }
  run_state_set(RUN_YIELD);
  f->code -= 8;
}

class passes : public program_test {
 protected:
  void SetUp() override {
    program_test::SetUp();
    current = this;
    reports_seen = 0;
    window_hook_set(on_report);
    retry(10000);
    thread_id_counter_set(100, false);
  }
  // The boxes shown so far name the report that is about to show its box.
  static void on_report() { test_builtin(current->platform.boxes.size() + 1); }

  // Loads the source; the main thread enters it.
  script_object* start(const std::string& source) {
    script_object* o = load(".builtin wait1 0x7E570001\n.builtin wait2 0x7E570002\n.builtin wait6 0x7E570006\n"
                            ".builtin wait9 0x7E570009\n.builtin wait100 0x7E570064\n.builtin kill100 0x7E580064\n" +
                            source);
    object_entry_set(o->name);
    return o;
  }
  // A new thread that runs the named function of the loaded objects.
  script_thread* thread_at(const char* function) {
    script_thread* t = thread_create(-1);
    t->frames[0].code = function_find(crc32_string(function));
    return t;
  }
  std::string text_of(const std::string& name) {
    value_cell* v = variable(name);
    return v && v->type == TYPE_STRING ? v->s->text : "(none)";
  }

  static passes* current;
};
passes* passes::current = nullptr;

TEST_F(passes, ThreadsTakeTurnsUntilTheirWaitsEndOnTheFakeClock) {
  start(R"(
.entry
    builtin.drop wait9 0
    push.s "A"
    set+.s.pop @order
    ret
.func x
    builtin.drop wait2 0
    push.s "X"
    set+.s.pop @order
    ret
.func y
    builtin.drop wait1 0
    push.s "Y"
    set+.s.pop @order
    builtin.drop wait6 0
    push.s "Z"
    set+.s.pop @order
    ret
)");
  thread_at("x");
  thread_at("y");
  uint32_t begin = platform.clock_ms();
  EXPECT_EQ(interpreter_run(), RUN_END);
  EXPECT_EQ(text_of("@order"), "YXZA");
  EXPECT_EQ(thread_count(), 0);
  // Every pass in which all threads waited slept 1 ms, and no longer.
  uint32_t elapsed = platform.clock_ms() - begin;
  EXPECT_GE(elapsed, 9u);
  EXPECT_LE(elapsed, 12u);
}

TEST_F(passes, AThreadDestroyedByAnotherDuringThePassIsPassedOver) {
  start(".entry\nret\n.func killer\nbuiltin.drop kill100 0\nret\n.func victim\npush.i 1\nset.i.pop @ran\nret\n");
  thread_at("victim");  // id 100: older, so its turn comes after the killer's
  thread_at("killer");
  EXPECT_EQ(interpreter_run(), RUN_END);
  EXPECT_EQ(variable("@ran"), nullptr);
}

TEST_F(passes, TheMainThreadsDeathEndsTheRunAtTheEndOfItsTurn) {
  start(".entry\nret\n.func other\nbuiltin.drop wait100 0\nret\n");
  vm_thread->state = THREAD_END_HANDLER;  // its return from frame 0 makes it dead
  script_thread* other = thread_at("other");
  EXPECT_EQ(interpreter_run(), RUN_END);
  EXPECT_EQ(run_state_get(), RUN_END);
  EXPECT_EQ(thread_find(0), nullptr);
  EXPECT_TRUE(thread_valid(other));
}

TEST_F(passes, TheCurrentThreadIsNeverADestroyedOne) {
  start(".entry\nret\n.func other\nbuiltin.drop wait100 0\nret\n");
  script_thread* other = thread_at("other");
  int pumps = 0;
  platform.on_pump = [&] {
    // The main thread, current after its turn, ended and was destroyed; menu requests work on
    // the current thread, which must be a live one.
    if (pumps++ == 0) {
      EXPECT_EQ(vm_thread, other);
    }
  };
  EXPECT_EQ(interpreter_run(), RUN_END);
  EXPECT_GT(pumps, 0);
}

const char* LABELS = R"(
.entry
    label.decide D
    label.cancel C
    label.middle M
    call f 0
    pop
    push.i 0
    set.i.pop @r
    ret
D:  push.i 1
    set.i.pop @r
    ret
C:  push.i 2
    set.i.pop @r
    ret
M:  push.i 3
    set.i.pop @r
    ret
.func f
    label.cancel F
    builtin.drop wait100 0
    push.i 0
    ret
F:  push.i 10
    set.i.pop @f
    push.i 0
    ret
.func idle
    builtin.drop wait100 0
    ret
)";

TEST_F(passes, EachButtonMovesEveryFrameWithItsLabelAheadOfTheCodePointer) {
  struct {
    int button;
    int32_t r, f;
    int32_t script_thread::*key;
    bool main_keeps;  // only a label taken by the current frame clears the thread's key flags
  } rows[] = {{130, 1, 0, &script_thread::decide_key, true},
              {131, 2, 10, &script_thread::cancel_key, false},
              {136, 3, 0, &script_thread::middle_key, true}};
  for (const auto& row : rows) {
    start(LABELS);
    script_thread* idle = thread_at("idle");
    input_button_event(-1, row.button, 0, 1);
    input_button_event(-1, row.button, 0, 0);
    int pumps = 0;
    platform.on_pump = [&] {
      // In the next pass: the idle thread took no label, so its key flag waits for one.
      if (++pumps == 2) {
        EXPECT_NE(idle->*row.key, 0) << row.button;
        const script_thread* main = thread_find(0);  // gone once its cancel label returned
        EXPECT_EQ(main && main->*row.key != 0, row.main_keeps) << row.button;
      }
    };
    EXPECT_EQ(interpreter_run(), RUN_END) << row.button;
    EXPECT_EQ(int_of("@r"), row.r) << row.button;
    // Only the cancel label of the called frame lay ahead of its code pointer.
    EXPECT_EQ(variable("@f") ? variable("@f")->i : 0, row.f) << row.button;
    var_table_free(&var_global);
    thread_switch(thread_create(0));
  }
}

TEST_F(passes, SkippingTakesDecideLabelsWithoutAPress) {
  start(LABELS);
  int pumps = 0;
  platform.on_pump = [&] { skip_mode_set(pumps++ == 0 ? 4 : 0); };  // after the turns, before the skip keys
  EXPECT_EQ(interpreter_run(), RUN_END);
  EXPECT_EQ(int_of("@r"), 1);
}

TEST_F(passes, AggskipThinsDrawnFramesOnlyWhileSkipping) {
  struct {
    int aggskip, mode;
    const char* drawn;  // of due frames 0..8
  } rows[] = {{2, 4, "100100100"}, {1, 4, "101010101"}, {3, 4, "100010001"}, {9, 4, "100010001"},
              {0, 4, "111111111"}, {-1, 4, "111111111"}, {2, 0, "111111111"}, {2, 6, "000000000"}};
  for (const auto& row : rows) {
    interpreter_reset();  // the key is read once
    agg_skip_set(row.aggskip);
    skip_mode_set(row.mode);
    std::string drawn;
    for (uint32_t frame = 0; frame < 9; ++frame) drawn += frame_draw_due(frame) ? '1' : '0';
    EXPECT_EQ(drawn, row.drawn) << row.aggskip << " " << row.mode;
  }
}

TEST_F(passes, DueFramesAreCountedAtThePacersRate) {
  start(".entry\nbuiltin.drop wait100 0\nret\n");
  uint32_t begin = platform.clock_ms();
  interpreter_run();
  EXPECT_NEAR(static_cast<double>(frame_counter()), (platform.clock_ms() - begin) / 12.0, 2.0);
}

// A pass whose threads all wait sleeps once, until the nearest deadline in the platform's
// milliseconds at the VM clock's speed, and no later: 100 VM ms at speeds 1, 2, 0.5 and 3.
TEST_F(passes, AWaitingPassSleepsOnceUntilItsDeadlineAtTheVmsSpeed) {
  platform.fake_wait_max = WAIT_NO_LIMIT;  // the fake clock moves as far as each wait asks
  start(".builtin vm_speed_set 0x806261CE\n.entry\n    builtin.drop wait100 0\n"
        "    push.f 2.0\n    builtin.drop vm_speed_set 1\n    builtin.drop wait100 0\n"
        "    push.f 0.5\n    builtin.drop vm_speed_set 1\n    builtin.drop wait100 0\n"
        "    push.f 3.0\n    builtin.drop vm_speed_set 1\n    builtin.drop wait100 0\n    ret\n");
  uint32_t begin = platform.clock_ms();
  uint64_t waits = platform.waits;
  EXPECT_EQ(interpreter_run(), RUN_END);
  EXPECT_EQ(platform.clock_ms() - begin, 100u + 50 + 200 + 34);  // 33 ms at 3 is 99 VM ms: one more
  EXPECT_EQ(platform.waits - waits, 5u);
  vm_clock_reset();  // speed 1 again for the tests after
}

// The idle pass wakes for a window timer and for a frame with work; a wait for input ends at once
// while its thread has a key, a wait for a release while nothing is pressed.
TEST_F(passes, TheIdleSleepEndsByTheFirstThingDue) {
  window_handle w = main_window_open(64, 64);
  front_page_set(page_new_rgb24(64, 64, 1));
  frame_limit(1);
  const struct {
    int32_t wait;  // a deadline this far ahead, or a sentinel
    std::function<void()> set;
    uint32_t ms;
  } rows[] = {{500, [&] { timer_set(w, 1, 30); }, 30},
              {500, [] { mark_dirty_rect(front_page_get(), page_rect{0, 0, 1, 1}); }, frame_due_in()},
              {WAIT_INPUT, [] { vm_thread->cancel_key = 1; }, 0},
              {WAIT_RELEASE, [] {}, 0}};
  for (const auto& row : rows) {
    vm_frame->wait_deadline = wait_is_untimed(row.wait) ? row.wait : vm_time_now() + row.wait;
    row.set();
    EXPECT_EQ(pass_sleep_ms(false), row.ms) << &row - rows;
    timer_kill(w, 1);
  }
  graphics_state_reset();
}

// While a menu of the bar is open no thread takes a turn and no frame comes; the game goes on
// once it closes.
TEST_F(passes, WhileAMenuIsOpenNoThreadRunsAndNoFrameComes) {
  start(".builtin time_wait 0xCF35F0E3\n.entry\nloop:\n    load.i @n\n    push.i 1\n    add.i\n"
        "    set.i.pop @n\n    push.i 1\n    builtin.drop time_wait 1\n    load.i @n\n    push.i 300\n"
        "    lt.i\n    jt loop\n    ret\n");
  uint32_t opened = 0, closed = 0, frames = 0;
  int32_t turns = 0, turns_while_open = -1;
  platform.on_pump = [&] {
    value_cell* n = variable("@n");
    if (!n || n->i < 100 || closed) return;
    if (!opened) {
      opened = platform.clock_ms(), frames = frame_counter(), turns = n->i;
      platform.menu_open = true;
    } else if (platform.clock_ms() - opened >= 200) {
      closed = platform.clock_ms();
      turns_while_open = n->i - turns;
      EXPECT_EQ(frame_counter(), frames);
      platform.menu_open = false;
    }
  };
  EXPECT_EQ(interpreter_run(), RUN_END);
  EXPECT_EQ(int_of("@n"), 300);
  EXPECT_EQ(closed - opened, 200u);
  EXPECT_EQ(turns_while_open, 0);
}

TEST_F(passes, CatchingUpFreezesVmTimeAndSkipsDrawingPumpingAndSleeping) {
  start(".entry\nbuiltin.drop wait100 0\nret\n");
  static std::vector<int32_t> frozen;
  static uint32_t frames_at_start;
  static bool started;
  frozen.clear();
  started = false;
  window_hook_set([] {
    if (!started) {  // a built-in switches catch-up on during the first pass
      started = true;
      catch_up_set();
      frames_at_start = frame_counter();
    } else if (catch_up_active()) {
      frozen.push_back(vm_time_get());
      EXPECT_EQ(frame_counter(), frames_at_start);
      static_cast<headless_platform&>(plat()).advance(120);  // real time runs on; passes do not sleep
    }
    on_report();
  });
  int pumps_while_catching_up = 0;
  platform.on_pump = [&] { pumps_while_catching_up += catch_up_active(); };
  int32_t begin = vm_time_now();  // what the first pass reads
  EXPECT_EQ(interpreter_run(), RUN_END);
  EXPECT_FALSE(catch_up_active());
  // Cleared in the pass that found the real clock more than 500 ms ahead of the frozen time.
  ASSERT_EQ(frozen.size(), 5u);
  for (int32_t t : frozen) EXPECT_EQ(t, begin);
  EXPECT_EQ(pumps_while_catching_up, 0);
}

TEST_F(passes, StopAllTellsEveryRunningThreadToEnd) {
  script_thread* other = thread_create(5);
  other->state = THREAD_END_LABELS;
  threads_stop_all();
  EXPECT_EQ(vm_thread->state, THREAD_TOLD_TO_END);
  EXPECT_EQ(other->state, THREAD_END_LABELS);
  EXPECT_EQ(run_state_get(), RUN_END_TURN);
}

TEST_F(passes, NativeCodeCallsAScriptFunctionByHash) {
  start(".entry\npush.i 1\nret\n.func add\nparams int int\nload.i _p1\nload.i _p2\nsub.i\nret\n");
  push_int(100);
  push_int(20);
  push_int(22);  // the first argument on top
  script_call_by_hash(crc32_string("add"), 2);
  EXPECT_EQ(vm_thread->depth, 1);
  EXPECT_EQ(vm_thread->frames[0].drop_result, 0);
  turn();
  ASSERT_EQ(vm_frame->top, 4);  // 100, the result, then the entry's own push
  EXPECT_EQ(vm_thread->stack[1].i, 100);
  EXPECT_EQ(vm_thread->stack[2].i, 2);
}

TEST_F(passes, BuiltinFinishCollapsesOrDropsTheCells) {
  push_int(1);
  push_string("a");
  push_string("result");
  string_block* result = stack_top()->s;
  builtin_finish(1, vm_frame->top, 0);
  ASSERT_EQ(vm_frame->top, 2);
  EXPECT_EQ(stack_top()->s, result);
  EXPECT_EQ(result->refcount, 1);
  push_int(2);
  builtin_finish(2, vm_frame->top, 1);
  EXPECT_EQ(vm_frame->top, 2);
  builtin_finish(2, 2, 0);  // a built-in that left nothing still gives one result
  EXPECT_EQ(vm_frame->top, 3);
  EXPECT_EQ(stack_top()->i, 0);
}

TEST_F(passes, OperandsAreReadSignedAndTheTitleQuestionLeavesOnlyOnYes) {
  uint8_t code[] = {0xFE, 0xFF, 0x05, 0x00};
  vm_frame->code = code;
  EXPECT_EQ(operand_read_u16(), -2);
  EXPECT_EQ(operand_read_u16(), 5);
  EXPECT_EQ(vm_frame->code, code + 4);

  // No at every pump: the run goes on to the entry's end. Yes at the first pump: the run ends
  // after that pump, the main thread still inside its 100 ms wait.
  for (int answer : {IDNO, IDYES}) {
    if (thread_count() == 0) thread_switch(thread_create(0));
    start(".entry\nbuiltin.drop wait100 0\nret\n");
    int pumps = 0;
    platform.on_pump = [&] {
      if (answer == IDNO || pumps == 0) {
        platform.queued_answers.push_front(answer);
        title_return_ask();
      }
      pumps++;
    };
    EXPECT_EQ(interpreter_run(), RUN_END) << answer;
    if (answer == IDNO) {
      EXPECT_EQ(thread_count(), 0);  // it ran to its end
      EXPECT_GT(pumps, 1);
    } else {
      EXPECT_EQ(thread_count(), 1);
      EXPECT_EQ(pumps, 1);
    }
    platform.on_pump = nullptr;
    threads_destroy_all();
  }
}

}  // namespace
