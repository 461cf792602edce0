// STAND-IN for the interpreter module: the state the dispatcher reads and writes, and the two
// helpers it calls, until the loop exists.
#include "vm/interpreter.h"

#include "vm/thread.h"
#include "vm/variables.h"

static int32_t state = RUN_GO;
static bool catching_up = false;
static uint32_t frames_due = 0;
static bool redraw_request = false;

void run_state_set(int32_t s) { state = s; }
int32_t run_state_get() { return state; }

void catch_up_set() { catching_up = true; }
void catch_up_clear() { catching_up = false; }
bool catch_up_active() { return catching_up; }

uint32_t frame_counter() { return frames_due; }
void frame_counter_step() {
  ++frames_due;
  redraw_request = false;
}
void redraw_request_set() { redraw_request = true; }
bool redraw_request_get() { return redraw_request; }

void builtin_finish(int32_t base, int32_t top, int32_t drop) {
  value_cell* stack = vm_thread->stack;
  if (drop) {
    for (int32_t i = top - 1; i >= base; --i) value_release(&stack[i]);
    vm_frame->top = base;
    return;
  }
  for (int32_t i = top - 2; i >= base; --i) value_release(&stack[i]);
  stack[base] = stack[top - 1];
  vm_frame->top = base + 1;
}

void threads_stop_all() {
  for (script_thread* t = thread_list_head(); t; t = t->next)
    if (t->state == THREAD_RUNNING) t->state = THREAD_TOLD_TO_END;
  state = RUN_END_TURN;
}
