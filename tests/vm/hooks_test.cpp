// Event hooks, object calls and thread start: the hook list with owners and persistent marks,
// firing onto owner threads, handlers run by the interpreter, the built-ins' stack effects.
#include <initializer_list>

#include "hooks_fixture.h"

namespace {

const char* HANDLERS = R"(
.entry
    push.s "E"
    set+.s.pop @order
    ret
.func one
    push.s "1"
    set+.s.pop @order
    ret
.func two
    push.s "2"
    set+.s.pop @order
    ret
.func three
    push.s "3"
    set+.s.pop @order
    ret
.func args
    load.i _-1
    set.i.pop @count
    load.s _p1
    set.s.pop @p1
    load.i _p2
    set.i.pop @p2
    push.i 99
    ret
)";

TEST_F(hooks, HandlersOfOneThreadRunLastRegisteredFirstThenTheFiringCodeGoesOn) {
  enter(HANDLERS);
  hook_add("ev", "one");
  hook_add("ev", "two");
  hook_add("other", "three");
  hook_fire(crc32_string("ev"), 0, 0);
  EXPECT_EQ(vm_thread->depth, 2);
  turn();
  EXPECT_EQ(text_of("@order"), "21E");
  EXPECT_EQ(vm_thread->frames[0].top, 1);  // handler results are dropped
}

TEST_F(hooks, AddFirstPutsTheHookAtTheHeadSoItRunsLast) {
  enter(HANDLERS);
  hook_add("ev", "one");
  hook_add("ev", "two", true);
  hook_fire(crc32_string("ev"), 0, 0);
  turn();
  EXPECT_EQ(text_of("@order"), "12E");
}

TEST_F(hooks, ArgumentsBecomeEveryHandlersParametersAndLeaveTheFiringStack) {
  enter(HANDLERS);
  script_thread* other = thread_create(5);
  hook_add("ev", "args");
  hook_add_as(other, "ev", "args");
  push_int(7);  // the caller's own cell, below the arguments
  push_int(10);
  push_string("x");  // argument 1, on top
  string_block* x = stack_top()->s;
  hook_fire(crc32_string("ev"), 2, 1);

  // The firing stack: its own cell and the int 0 in place of the arguments.
  ASSERT_EQ(vm_thread->frames[0].top, 3);
  EXPECT_EQ(vm_thread->stack[1].i, 7);
  EXPECT_EQ(vm_thread->stack[2].type, TYPE_INT);
  EXPECT_EQ(vm_thread->stack[2].i, 0);
  // The other thread: its frame 0 drops the handler's result; the handler's frame starts above
  // the copies and their count.
  ASSERT_EQ(other->depth, 1);
  EXPECT_EQ(other->frames[0].drop_result, 1);
  EXPECT_EQ(other->frames[1].base, 4);
  EXPECT_EQ(other->stack[1].i, 10);
  EXPECT_EQ(other->stack[2].s, x);
  EXPECT_EQ(other->stack[3].i, 2);
  EXPECT_EQ(x->refcount, 2);  // one copy per handler; the moved cell was released

  turn();
  EXPECT_EQ(int_of("@count"), 2);
  EXPECT_EQ(text_of("@p1"), "x");
  EXPECT_EQ(int_of("@p2"), 10);
  EXPECT_EQ(vm_thread->frames[0].top, 3);  // the handler's 99 was dropped
}

TEST_F(hooks, ResetsFreeUnmarkedHooksUnlessTheListIsKept) {
  enter(HANDLERS);
  script_thread* other = thread_create(5);
  hook_add("ev", "one");
  hook_add_as(other, "ev", "two");
  hook_list_mark_all();
  hook_add("ev", "three");
  hook_add_as(other, "ev", "three");
  EXPECT_EQ(hook_count(), 4u);

  hook_list_keep(1);
  hook_list_purge();
  thread_reset(other);
  ReleaseEventAll();  // clears the marks, frees nothing while kept
  EXPECT_EQ(hook_count(), 4u);
  hook_list_mark_all();
  hook_list_keep(0);

  hook_add_as(other, "ev", "one");
  thread_reset(other);  // drops the thread's unmarked hook only
  EXPECT_EQ(hook_count(), 4u);
  hook_add("ev", "one");
  hook_list_purge();  // a VM reset keeps what start-up marked
  EXPECT_EQ(hook_count(), 4u);
  ReleaseEventAll();
  EXPECT_EQ(hook_count(), 0u);
}

TEST_F(hooks, HooksOfAnEndedThreadAreFreedByTheFiringThatFindsThemAndTheOthersStillRun) {
  enter(HANDLERS);
  script_thread* a = thread_create(5);
  script_thread* b = thread_create(6);
  script_thread* c = thread_create(7);
  hook_add_as(a, "ev", "one");
  hook_add_as(b, "ev", "two");
  hook_add_as(b, "ev", "two");
  hook_add_as(c, "ev", "three");
  hook_add_as(b, "ev", "three");
  const_cast<event_hook_entry*>(last_hook())->persistent = 1;
  hook_list_keep(1);
  thread_destroy(b);  // kept: its hooks outlive it
  hook_list_keep(0);

  // Every hook of the dead thread next to live ones: the walk goes on past each freed record.
  hook_fire(crc32_string("ev"), 0, 0);
  EXPECT_EQ(a->depth, 1);
  EXPECT_EQ(c->depth, 1);
  ASSERT_EQ(hook_count(), 3u);
  EXPECT_EQ(last_hook()->owner, 6);  // the persistent one stays
  EXPECT_EQ(hook_list_head()->owner, 5);
  EXPECT_EQ(hook_list_head()->next->owner, 7);
}

TEST_F(hooks, FiringOnAThreadRunsEveryHookOfTheKeyFirstRegisteredFirstAndFreesNothing) {
  enter(HANDLERS);
  hook_add_as(thread_create(5), "ev", "one");
  script_thread* gone = thread_create(6);
  hook_add_as(gone, "ev", "two");
  hook_list_keep(1);
  thread_destroy(gone);
  hook_list_keep(0);
  hook_add("other", "three");
  push_int(3);
  hook_fire_thread(crc32_string("ev"), 0, 1, 0);
  EXPECT_EQ(vm_thread->depth, 2);
  EXPECT_EQ(vm_thread->frames[0].top, 1);  // no result without push0
  turn();
  EXPECT_EQ(text_of("@order"), "12E");
  EXPECT_EQ(hook_count(), 3u);
  // No thread with the id: nothing runs, the arguments still leave the stack.
  push_int(4);
  hook_fire_thread(crc32_string("ev"), 1234, 1, 1);
  EXPECT_EQ(vm_frame->top, 2);
  EXPECT_EQ(stack_top()->i, 0);
}

TEST_F(hooks, RemoveFreesOnlyTheCurrentThreadsUnmarkedHooksOfThatFunction) {
  enter(HANDLERS);
  script_thread* other = thread_create(5);
  hook_add("ev", "one");
  hook_list_mark_all();
  hook_add("ev", "one");
  hook_add("ev", "two");
  hook_add("other", "one");
  hook_add_as(other, "ev", "one");
  EXPECT_EQ(call_plain(builtin_event_hook_remove, {text("ev"), number(crc32_string("one"))}), 0);
  ASSERT_EQ(hook_count(), 4u);
  EXPECT_TRUE(hook_list_head()->persistent);
  EXPECT_EQ(hook_list_head()->next->key, crc32_string("ev"));
  EXPECT_EQ(hook_list_head()->next->code, function_find(crc32_string("two")));
  EXPECT_EQ(last_hook()->owner, 5);
  hook_list_keep(1);
  call_plain(builtin_event_hook_remove, {text("ev"), number(crc32_string("two"))});
  EXPECT_EQ(hook_count(), 4u);
}

TEST_F(hooks, EventCallThreadNamesTheCurrentThreadWithMinusOne) {
  enter(HANDLERS);
  script_thread* other = thread_create(5);
  hook_add_as(other, "ev", "args");
  call_self_cleaning(builtin_event_call_thread, 0, {number(-1), text("ev"), text("x"), number(10)});
  EXPECT_EQ(vm_thread->depth, 1);
  EXPECT_EQ(other->depth, 0);
  EXPECT_EQ(vm_thread->frames[0].top, 2);  // the kept result
  call_self_cleaning(builtin_event_call_thread, 1, {number(5), text("ev")});
  EXPECT_EQ(other->depth, 1);
  EXPECT_EQ(vm_thread->frames[0].top, 2);
  // Without a name (or thread) there is nothing to fire: an int 0 when kept, else nothing.
  call_self_cleaning(builtin_event_call, 0, {});
  call_self_cleaning(builtin_event_call_thread, 1, {number(5)});
  EXPECT_EQ(vm_frame->top, vm_frame->base + 1);
  EXPECT_EQ(other->depth, 1);
}

const char* LIBRARY = R"(
.entry
    load.i _-1
    set.i.pop @count
    load.i _p1
    load.i _p2
    sub.i
    ret
.func twice
    load.i _p1
    load.i _p1
    add.i
    ret
)";

const char* CALLER = R"(
.entry
    ret
.func after
    set.i.pop @result
    ret
)";

TEST_F(hooks, ObjectCallsEnterTheObjectLikeAScriptCall) {
  std::string lib = library(LIBRARY);
  enter(CALLER);
  vm_frame->code = function_find(crc32_string("after"));
  push_int(5);
  call_self_cleaning(builtin_object_enter, 0, {text(lib), number(50), number(8)});
  ASSERT_EQ(vm_thread->depth, 1);
  EXPECT_EQ(vm_thread->frames[0].top, 2);  // the arguments and their count went to the callee
  EXPECT_EQ(vm_thread->frames[0].drop_result, 0);
  turn();
  EXPECT_EQ(int_of("@count"), 2);
  EXPECT_EQ(int_of("@result"), 42);
  EXPECT_EQ(vm_thread->frames[0].top, 2);  // the 5 below the call stayed

  struct {
    int (*builtin)(int32_t, int32_t);
    value_cell function;
  } variants[] = {{builtin_object_call_function, number(crc32_string("twice"))},
                  {builtin_object_call_function_named, text("twice")}};
  for (auto& v : variants) {
    enter(CALLER);
    vm_frame->code = function_find(crc32_string("after"));
    call_self_cleaning(v.builtin, 0, {text(lib), v.function, number(21)});
    turn();
    EXPECT_EQ(int_of("@result"), 42);
  }
}

TEST_F(hooks, ObjectEnterDropsTheResultAndReportsAnObjectWithoutEntry) {
  std::string lib = library(LIBRARY);
  std::string bare = library(".func f\nret\n");
  enter(CALLER);
  call_self_cleaning(builtin_object_enter, 1, {text(lib), number(1), number(2)});
  EXPECT_EQ(vm_thread->frames[0].drop_result, 1);
  turn();
  EXPECT_EQ(vm_thread->frames[0].top, 1);

  enter(CALLER);
  vm_frame->code = function_find(crc32_string("after"));
  retry(1);
  call_self_cleaning(builtin_object_enter, 0, {text(bare)});
  EXPECT_THAT(reports().back(), HasSubstr("実行関数が設定されていません"));
  turn();
  EXPECT_EQ(int_of("@result"), 0);
}

const std::string EXEC_TARGET = std::string(".entry\n") + RECORD_PARAMETERS + R"(
    ret
.func g
    push.i 1
    set.i.pop @g
    load.i _p1
    set.i.pop @p1
    ret
)";

TEST_F(hooks, ObjectExecStartsTheEntryWithTheExtraArgumentsOnAnEmptyStack) {
  std::string target = library(EXEC_TARGET);
  enter(CALLER);
  push_int(1);
  push_int(2);  // cells of the old code
  frame_push(vm_thread);  // a call in progress: the thread starts over below it
  call_self_cleaning(builtin_object_exec, 0, {text(target), number(10), number(20)});
  EXPECT_EQ(run_state_get(), RUN_YIELD);
  ASSERT_EQ(vm_thread->depth, 0);
  EXPECT_EQ(vm_frame->base, 4);
  EXPECT_EQ(vm_frame->top, 4);
  EXPECT_EQ(vm_thread->stack[1].i, 20);
  EXPECT_EQ(vm_thread->stack[2].i, 10);
  EXPECT_EQ(vm_thread->stack[3].i, 2);
  turn();
  expect_parameters(2, 10, 20);

  enter(CALLER);
  frame_push(vm_thread);  // a call in progress: the thread starts over below it
  call_self_cleaning(builtin_object_exec_function, 0, {number(crc32_string("g")), number(30)});
  EXPECT_EQ(vm_thread->depth, 0);
  EXPECT_EQ(vm_frame->base, 3);
  turn();
  EXPECT_EQ(int_of("@g"), 1);
  EXPECT_EQ(int_of("@p1"), 30);
}

const std::string WORKER = std::string(".entry\nret\n.func worker\n") + RECORD_PARAMETERS + "ret\n";

TEST_F(hooks, ThreadStartChildLinksTheNewThreadsEndToTheCaller) {
  enter(WORKER);
  thread_id_counter_set(500, false);
  EXPECT_EQ(call_plain(builtin_thread_start_child, {number(crc32_string("worker"))}), 500);
  script_thread* t = thread_list_head();
  EXPECT_EQ(t->end_link, vm_thread);
  EXPECT_EQ(t->frames[0].code, function_find(crc32_string("worker")));
  EXPECT_EQ(t->stack[1].i, 0);  // no parameters: only their count
  EXPECT_EQ(t->frames[0].base, 2);
}

}  // namespace
