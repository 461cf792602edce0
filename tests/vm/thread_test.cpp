// Thread ids, the list and its snapshot, end links and end processing, frames and the overflow
// exit, the smallest wait.
#include "vm/dispatcher.h"
#include "vm/script_error.h"
#include "vm_fixture.h"

namespace {

using threads = vm_test;

uint8_t code[64];  // addresses for labels and code pointers; never executed here

TEST_F(threads, IdsStartFromTheInjectedSeedAndAreNewestFirst) {
  thread_id_source_set([] { return 16386 + 3; });  // seed 3 * 65536
  script_thread* a = thread_create(-1);
  script_thread* b = thread_create(-1);
  EXPECT_EQ(a->id, 3 * 65536);
  EXPECT_EQ(b->id, 3 * 65536 + 1);
  EXPECT_EQ(thread_list_head(), b);
  EXPECT_EQ(thread_count(), 3);
  EXPECT_EQ(thread_find(3 * 65536), a);
  thread_id_source_set([] { return 0; });  // a seed of 0 becomes 1
  EXPECT_EQ(thread_create(-1)->id, 1);
}

TEST_F(threads, IdsWrapBeforeMinusTwoAndThenSkipLiveOnes) {
  thread_id_counter_set(0xFFFFFFFCu, false);
  EXPECT_EQ(static_cast<uint32_t>(thread_create(-1)->id), 0xFFFFFFFCu);
  EXPECT_EQ(static_cast<uint32_t>(thread_create(-1)->id), 0xFFFFFFFDu);  // the last before -2
  thread_create(2);
  thread_create(3);
  EXPECT_EQ(thread_create(-1)->id, 1);
  EXPECT_EQ(thread_create(-1)->id, 4);  // 2 and 3 are in use
}

TEST_F(threads, SnapshotSurvivesANestedSnapshot) {
  thread_create(5);
  std::vector<script_thread*> outer = thread_list_array();
  ASSERT_EQ(outer.size(), 2u);
  {
    std::vector<script_thread*> inner = thread_list_array();
    EXPECT_EQ(inner, outer);
  }
  EXPECT_EQ(outer[0]->id, 5);  // still readable after the nested walk ended
  EXPECT_EQ(outer[1]->id, 0);
}

TEST_F(threads, ResetKeepsVariablesAndClearsFramesAndStack) {
  script_thread* t = vm_thread;
  value_cell var = string_cell(string_block_new("kept"), 9);
  var.scope = SCOPE_THREAD;
  var_assign(&var, nullptr);
  push_string("released");
  frame_push(t);
  t->frames[1].end_label = code;
  t->end_handler = code;
  t->decide_key = 1;
  thread_reset(t);
  EXPECT_EQ(t->depth, 0);
  EXPECT_EQ(vm_frame, &t->frames[0]);
  EXPECT_EQ(vm_frame->base, 1);
  EXPECT_EQ(vm_frame->top, 1);
  EXPECT_EQ(t->frames[1].end_label, nullptr);
  EXPECT_STREQ(var_find_any(9)->s->text, "kept");
  EXPECT_EQ(t->end_handler, code);
  EXPECT_EQ(t->decide_key, 1);
}

TEST_F(threads, DestroyKeepsTheListAndClearsLinksToTheThread) {
  script_thread* main = vm_thread;
  script_thread* a = thread_create(1);
  script_thread* b = thread_create(2);
  script_thread* c = thread_create(3);
  c->end_link = b;
  a->end_link = b;
  thread_destroy(b);
  EXPECT_EQ(c->end_link, nullptr);
  EXPECT_EQ(a->end_link, nullptr);
  EXPECT_FALSE(thread_valid(b));
  EXPECT_EQ(thread_count(), 3);
  thread_destroy(c);  // the head
  EXPECT_EQ(thread_list_head(), a);
  thread_destroy(main);  // the tail, and current
  EXPECT_EQ(vm_thread, nullptr);
  EXPECT_EQ(a->next, nullptr);
  EXPECT_EQ(a->prev, nullptr);
}

TEST_F(threads, EndLinksPropagateInOnePass) {
  script_thread* parent = thread_create(1);
  script_thread* child = thread_create(2);
  child->end_link = parent;
  EXPECT_FALSE(threads_propagate_end());
  parent->state = THREAD_TOLD_TO_END;
  EXPECT_TRUE(threads_propagate_end());
  EXPECT_EQ(child->state, THREAD_TOLD_TO_END);
  EXPECT_EQ(child->end_link, nullptr);
}

TEST_F(threads, ParentAndChildEndingTogetherLeaveNoDanglingLink) {
  script_thread* parent = thread_create(1);
  script_thread* child = thread_create(2);
  child->end_link = parent;
  child->state = THREAD_LABELS_DONE;  // both finished in the same pass
  parent->state = THREAD_DEAD;
  threads_end_process();
  EXPECT_FALSE(thread_valid(parent));
  EXPECT_FALSE(thread_valid(child));
  EXPECT_FALSE(threads_propagate_end());  // walks the main thread only, no freed link read
}

TEST_F(threads, EndProcessingRunsEndLabelsThenTheHandler) {
  script_thread* t = thread_create(1);
  thread_switch(t);
  push_int(5);
  frame_push(t);
  frame_push(t);
  t->frames[0].end_label = code + 1;
  t->frames[2].end_label = code + 2;
  t->frames[2].wait_deadline = 1234;
  t->frames[1].code = code + 9;
  t->end_handler = code + 3;
  t->state = THREAD_TOLD_TO_END;
  threads_end_process();
  EXPECT_EQ(t->state, THREAD_END_LABELS);
  EXPECT_EQ(t->frames[2].code, code + 2);  // the current frame runs its label first
  EXPECT_EQ(t->frames[2].wait_deadline, 0);
  EXPECT_EQ(t->frames[1].code, nullptr);  // returns at once when reached
  EXPECT_EQ(t->frames[0].code, code + 1);

  // The labels have run (the return opcode moves 2 to 3): the end handler starts above the stack.
  t->state = THREAD_LABELS_DONE;
  int32_t top = vm_frame->top;
  threads_end_process();
  EXPECT_EQ(t->state, THREAD_END_HANDLER);
  EXPECT_EQ(t->depth, 0);
  EXPECT_EQ(vm_frame, &t->frames[0]);
  EXPECT_EQ(vm_frame->code, code + 3);
  EXPECT_EQ(vm_frame->base, top + 1);
  EXPECT_EQ(vm_frame->top, top + 1);
  EXPECT_EQ(t->end_handler, nullptr);
  EXPECT_EQ(t->stack[1].i, 5);  // the cells below are kept

  t->state = THREAD_LABELS_DONE;  // the handler finished without a new one: destroyed
  threads_end_process();
  EXPECT_FALSE(thread_valid(t));
}

TEST_F(threads, MainThreadEndingEndsEveryOther) {
  script_thread* main = vm_thread;
  script_thread* other = thread_create(1);
  main->end_handler = code;
  main->state = THREAD_TOLD_TO_END;
  threads_end_process();
  EXPECT_EQ(main->state, THREAD_END_HANDLER);
  EXPECT_EQ(other->state, THREAD_TOLD_TO_END);
}

TEST_F(threads, FramePushCopiesTheCallerAndOverflowsAt256) {
  script_thread* t = vm_thread;
  vm_frame->code = code + 4;
  vm_frame->line = 17;
  push_int(1);
  call_frame* f = frame_push(t);
  EXPECT_EQ(f, vm_frame);
  EXPECT_EQ(f->code, code + 4);
  EXPECT_EQ(f->line, 17);
  EXPECT_EQ(f->base, 2);
  EXPECT_EQ(f->top, 2);
  while (t->depth < 255) frame_push(t);  // depth 255 itself works
  platform.answer_boxes({IDOK});
  try {
    frame_push(t);
    FAIL() << "the 256th nested call must end the program";
  } catch (const fatal_exit_called& e) {
    EXPECT_EQ(e.code, -1);
  }
  ASSERT_EQ(platform.boxes.size(), 1u);
  std::string expected = "スタックオーバーフロー : ネストが深すぎます";
  EXPECT_EQ(platform.boxes[0].text, expected);
  EXPECT_EQ(t->depth, 255);
}

// What the pass may sleep: the nearest deadline, none without one, 1 ms while a thread is on its
// way out.
TEST_F(threads, TheWaitLeftIsTheNearestDeadline) {
  script_thread* other = thread_create(1);
  int32_t now = vm_time_now();
  const int32_t rows[][4] = {  // the main thread's deadline, the other's, its state, the wait
      {-1, -1, THREAD_RUNNING, INT32_MAX},     {-1, now + 100, THREAD_RUNNING, 100},
      {now + 30, now + 100, THREAD_RUNNING, 30}, {now + 30, 0, THREAD_RUNNING, 0},
      {-1, now - 5, THREAD_RUNNING, 0},        {-1, now + WAIT_CLOCK_JUMP_MS + 1, THREAD_RUNNING, 0},
      {-1, -1, THREAD_TOLD_TO_END, 1},         {now + 30, now + 100, THREAD_END_LABELS, 1}};
  for (const auto& r : rows) {
    vm_frame->wait_deadline = r[0], other->frames[0].wait_deadline = r[1], other->state = r[2];
    EXPECT_EQ(threads_wait_left(), r[3]) << r[0] - now << " " << r[1] - now << " " << r[2];
  }
  other->state = THREAD_RUNNING;
}

}  // namespace
