#include "vm/thread.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "base/fatal.h"
#include "base/list.h"
#include "base/memory.h"
#include "base/random.h"
#include "shell/message_box.h"
#include "shell/mouse.h"
#include "text/font.h"
#include "vm/dispatcher.h"
#include "vm/hooks.h"
#include "vm/script_error.h"
#include "vm/skip.h"
#include "vm/variables.h"

script_thread* vm_thread = nullptr;
call_frame* vm_frame = nullptr;

// The thread list (newest first) and the id counter.
static struct {
  script_thread* head = nullptr;
  script_thread* tail = nullptr;
  int32_t count = 0;
  uint32_t id_counter = 0;
  bool id_seeded = false;
  bool id_wrapped = false;
  int (*random)() = engine_rand;
} threads;

// Ids run from a random seed up to 0xFFFFFFFD and then wrap to 1; -2, -1 and 0 are never handed
// out. After the first wrap an id still in use is skipped.
static int32_t thread_next_id() {
  if (!threads.id_seeded) {
    threads.id_counter = static_cast<uint32_t>(threads.random()) % 16386u * 65536u;
    if (threads.id_counter == 0) threads.id_counter = 1;
    threads.id_seeded = true;
  }
  for (;;) {
    uint32_t candidate = threads.id_counter++;
    if (threads.id_counter == 0xFFFFFFFEu) {
      threads.id_counter = 1;
      threads.id_wrapped = true;
    }
    if (!threads.id_wrapped || !thread_find(static_cast<int32_t>(candidate))) return static_cast<int32_t>(candidate);
  }
}

void thread_id_source_set(int (*random)()) {
  threads.random = random ? random : engine_rand;
  threads.id_counter = 0;
  threads.id_seeded = threads.id_wrapped = false;
}

void thread_id_counter_set(uint32_t next, bool wrapped) {
  threads.id_counter = next;
  threads.id_seeded = true;
  threads.id_wrapped = wrapped;
}

static void frame_zero_start(script_thread* t, int32_t base) {
  memset(&t->frames[0], 0, sizeof(call_frame));
  t->frames[0].base = t->frames[0].top = base;
}

script_thread* thread_create(int32_t id) {
  if (id == -1) id = thread_next_id();
  auto* t = static_cast<script_thread*>(mem_alloc(sizeof(script_thread)));
  memset(t, 0, sizeof *t);
  t->id = id;
  var_table_init(&t->vars, THREAD_TABLE_CAPACITY);
  t->stack = static_cast<value_cell*>(mem_alloc(sizeof(value_cell) * THREAD_TABLE_CAPACITY));
  t->stack_capacity = THREAD_TABLE_CAPACITY;
  stack_dummy(&t->stack[0]);
  frame_zero_start(t, 1);
  list_push_front(threads.head, threads.tail, t);
  threads.count++;
  return t;
}

void thread_reset(script_thread* t) {
  int32_t top = t->frames[t->depth].top;
  if (top > t->stack_capacity) top = t->stack_capacity;
  for (int32_t i = 0; i < top; ++i) value_release(&t->stack[i]);
  font_stack_free(t->font_stack);
  t->font_stack = nullptr;
  click_area_chain_free(t->input_regions);
  t->input_regions = nullptr;
  hook_list_drop_thread(t->id);
  t->depth = 0;
  t->state = THREAD_RUNNING;
  memset(t->frames, 0, sizeof t->frames);
  stack_dummy(&t->stack[0]);
  t->frames[0].base = t->frames[0].top = 1;
  if (t == vm_thread) vm_frame = &t->frames[0];
}

void thread_destroy(script_thread* t) {
  thread_reset(t);
  var_table_free(&t->vars);
  list_unlink(threads.head, threads.tail, t);
  threads.count--;
  // No end link may outlive the thread it names (a parent and its child can end together).
  for (script_thread* o = threads.head; o; o = o->next)
    if (o->end_link == t) o->end_link = nullptr;
  if (t == vm_thread) vm_thread = nullptr, vm_frame = nullptr;
  free(t->stack);
  free(t);
}

void threads_destroy_all() {
  while (threads.head) thread_destroy(threads.head);
}

script_thread* thread_switch(script_thread* t) {
  script_thread* previous = vm_thread;
  vm_thread = t;
  vm_frame = t ? &t->frames[t->depth] : nullptr;
  return previous;
}

script_thread* thread_list_head() { return threads.head; }
int32_t thread_count() { return threads.count; }

bool thread_valid(const script_thread* t) {
  for (script_thread* o = threads.head; o; o = o->next)
    if (o == t) return true;
  return false;
}

script_thread* thread_find(int32_t id) {
  for (script_thread* o = threads.head; o; o = o->next)
    if (o->id == id) return o;
  return nullptr;
}

std::vector<script_thread*> thread_list_array() {
  std::vector<script_thread*> list;
  list.reserve(static_cast<size_t>(threads.count));
  for (script_thread* o = threads.head; o; o = o->next) list.push_back(o);
  return list;
}

int32_t threads_wait_left() {
  if (is_skipping()) return 0;
  int32_t m = INT32_MAX;
  uint32_t now = static_cast<uint32_t>(vm_time_now());
  for (script_thread* t = threads.head; t; t = t->next) {
    if (t->state != THREAD_RUNNING) m = 1;  // on its way out: the end processing goes on pass by pass
    int32_t d = t->frames[t->depth].wait_deadline;
    if (d == WAIT_NONE) return 0;
    if (wait_is_untimed(d)) continue;
    int32_t left = static_cast<int32_t>(static_cast<uint32_t>(d) - now);  // wrap-safe distance
    if (left > WAIT_CLOCK_JUMP_MS) return 0;  // the clock jumped back: the wait counts as over
    if (left < m) m = left;
  }
  return m < 0 ? 0 : m;
}

bool threads_propagate_end() {
  bool ending = false;
  for (script_thread* t = threads.head; t; t = t->next) {
    if (t->state != THREAD_RUNNING) ending = true;
    if (t->end_link && t->end_link->state != THREAD_RUNNING) {
      ending = true;
      if (t->state == THREAD_RUNNING) {
        t->end_link = nullptr;
        t->state = THREAD_TOLD_TO_END;
      }
    }
  }
  return ending;
}

// A finished thread with an end handler starts over in it, above the cells it leaves behind.
static void thread_enter_end_handler(script_thread* t) {
  int32_t index = t->frames[t->depth].top;
  if (index >= t->stack_capacity - TABLE_HEADROOM) {
    t->frames[t->depth].top = index + 1;  // stack_grow measures from the current frame's top
    stack_grow(t);
  }
  stack_dummy(&t->stack[index]);
  frame_zero_start(t, index + 1);
  t->depth = 0;
  t->frames[0].code = t->end_handler;
  t->state = THREAD_END_HANDLER;
  t->end_handler = nullptr;
  if (t == vm_thread) vm_frame = &t->frames[0];
}

void threads_end_process() {
  bool main_ended = false;
  for (script_thread* t : thread_list_array()) {
    if (!thread_valid(t)) continue;
    if (t->id == 0 && (t->state == THREAD_TOLD_TO_END || t->state == THREAD_DEAD)) main_ended = true;
    if (t->state == THREAD_DEAD) {
      thread_destroy(t);
      continue;
    }
    if (t->state == THREAD_TOLD_TO_END) {
      // Every frame runs its end label on the way out; the others return at once.
      bool labels = false;
      for (int32_t i = 0; i <= t->depth; ++i) {
        call_frame* f = &t->frames[i];
        if (f->end_label) {
          f->code = f->end_label;
          f->end_label = nullptr;
          f->wait_deadline = 0;
          f->wait_frame_mark = 0;
          labels = true;
        } else {
          f->code = nullptr;
        }
      }
      if (labels) {
        t->state = THREAD_END_LABELS;
        continue;
      }
      t->state = THREAD_LABELS_DONE;
    }
    if (t->state == THREAD_LABELS_DONE) {
      if (t->end_handler)
        thread_enter_end_handler(t);
      else
        thread_destroy(t);
    }
  }
  if (main_ended)
    for (script_thread* t = threads.head; t; t = t->next)
      if (t->state == THREAD_RUNNING) t->state = THREAD_TOLD_TO_END;
}

void frame_overflow() {
  error_box_fatal("スタックオーバーフロー : ネストが深すぎます");
  fatal_exit();
}
