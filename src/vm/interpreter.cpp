#include "vm/interpreter.h"

#include <vector>

#include "graphics/sprite.h"
#include "platform/platform.h"
#include "platform/window.h"
#include "shell/devtools.h"
#include "shell/display_mode.h"
#include "shell/env_keys.h"
#include "shell/input.h"
#include "shell/joystick.h"
#include "shell/menu_request.h"
#include "shell/message_box.h"
#include "shell/mouse.h"
#include "shell/window_core.h"
#include "sound/movie.h"
#include "vm/execute.h"
#include "vm/pass_sleep.h"
#include "vm/script_error.h"
#include "vm/script_object.h"
#include "vm/skip.h"

int32_t vm_run_state = RUN_GO;

// The rest of the interpreter's state.
static struct {
  bool leave;        // title_return_ask said Yes: end the run after the next message pump
  bool catch_up;     // run passes without drawing, pumping or sleeping; VM time stands still
  int redraw;        // handed to the frame limiter; cleared after every due frame
  uint32_t frames;   // due frames, drawn or thinned
  int divisor = -1;  // frame thinning while skipping, from AGGSKIP; -1 until read
} interp;

void interpreter_reset() {
  vm_run_state = RUN_GO;
  interp = {};
  interp.divisor = -1;
}

void run_state_set(int32_t state) { vm_run_state = state; }
int32_t run_state_get() { return vm_run_state; }

void catch_up_set() { interp.catch_up = true; }
void catch_up_clear() { interp.catch_up = false; }
bool catch_up_active() { return interp.catch_up; }
uint32_t frame_counter() { return interp.frames; }
void redraw_request_set() { interp.redraw = 1; }

int16_t operand_read_u16() {
  int16_t v = code_i16(vm_frame->code);
  vm_frame->code += 2;
  return v;
}

// ---------------------------------------------------------------------------------------------
// Services for native code

void script_call_by_hash(uint32_t hash, int32_t argc) {
  script_thread* t = vm_thread;
  call_frame* caller = vm_frame;
  caller->drop_result = 0;
  exec_push(t, caller, int_cell(argc));
  call_frame* callee = frame_push(t);
  caller->top -= argc + 1;
  callee->code = function_find(hash);
}

void builtin_finish(int32_t base, int32_t top, int32_t drop) {
  stack_collapse(vm_thread, vm_frame, base < 1 ? 1 : base, top, drop);
}

void line_read_mark() { line_was_read_set(1); }

void threads_stop_all() {
  for (script_thread* t = thread_list_head(); t; t = t->next)
    if (t->state == THREAD_RUNNING) t->state = THREAD_TOLD_TO_END;
  vm_run_state = RUN_END_TURN;
}

void title_return_ask() {
  if (!question_box("タイトルに戻ります。よろしいですか？")) return;
  movie_close();
  interp.leave = true;
}

// ---------------------------------------------------------------------------------------------
// The pass

bool frame_draw_due(uint32_t frame) {
  if (interp.divisor < 0) {
    int v = agg_skip();
    interp.divisor = v <= 0 ? 0 : v >= 3 ? 4 : v + 1;
  }
  if (force_skip_get()) return false;
  // is_skipping is false while the skip-suppress counter is set, so it covers that test too.
  if (interp.divisor != 0 && is_skipping()) return frame % static_cast<uint32_t>(interp.divisor) == 0;
  return true;
}

void thread_turn(script_thread* t) {
  thread_switch(t);
  vm_run_state = RUN_GO;
  if (!vm_frame->code) op_return();
  if (vm_run_state == RUN_GO) thread_execute();
}

// Menu requests and built-ins work on the current thread: never leave a destroyed one current.
static void current_thread_keep_valid() {
  if (vm_thread && thread_valid(vm_thread)) return;
  script_thread* t = thread_find(0);
  thread_switch(t ? t : thread_list_head());
}

// A label beyond the frame's code pointer is taken: the frame jumps there and its labels and
// wait are cleared.
static bool label_take(call_frame* f, uint8_t* label) {
  if (reinterpret_cast<uintptr_t>(label) <= reinterpret_cast<uintptr_t>(f->code)) return false;
  f->code = label;
  f->decide_label = f->cancel_label = f->middle_label = nullptr;
  f->wait_deadline = 0;
  return true;
}

// The decide, cancel and middle buttons (and skipping, for decide) move every frame that has the
// matching label ahead of its code pointer to that label.
static void skip_keys_apply(const std::vector<script_thread*>& threads) {
  input_snapshot();
  int32_t decide = input_take_press(BUTTON_DECIDE);
  int32_t cancel = input_take_press(BUTTON_CANCEL);
  int32_t middle = input_take_press(BUTTON_MIDDLE);
  for (script_thread* t : threads) {
    if (!thread_valid(t)) continue;
    if (decide) t->decide_key = decide;
    if (cancel) t->cancel_key = cancel;
    if (middle) t->middle_key = middle;
    bool take_decide = decide || is_skipping();
    if (!take_decide && !cancel && !middle) continue;
    for (int32_t d = 0; d <= t->depth; ++d) {
      call_frame* f = &t->frames[d];
      bool taken = false;
      if (take_decide) taken |= label_take(f, f->decide_label);
      if (cancel) taken |= label_take(f, f->cancel_label);
      if (middle) taken |= label_take(f, f->middle_label);
      if (taken && d == t->depth) t->decide_key = t->cancel_key = t->middle_key = 0;
    }
  }
}

// Whether the real clock has come back within 500 ms of VM time. The real clock is the engine's
// timer, which the VM clock counts from.
static bool clock_caught_up() {
  uint32_t gap = vm_timer_ms() - static_cast<uint32_t>(vm_time_get());
  return gap > 500 && gap < 0u - 500u;
}

int32_t interpreter_run() {
  interp.leave = false;
  for (;;) {
    if (!interp.catch_up)
      vm_time_update();
    else if (clock_caught_up() || session_end_pending())  // the session's end comes at the peek
      interp.catch_up = false;

    std::vector<script_thread*> threads = thread_list_array();
    if (threads.empty()) return vm_run_state = RUN_END;
    for (script_thread* t : threads) {
      if (!thread_valid(t)) continue;  // destroyed by another thread during this pass
      thread_turn(t);
      if (thread_valid(t) && t->state == THREAD_DEAD) {
        bool main = t->id == 0;
        thread_destroy(t);
        if (main) vm_run_state = RUN_END;
      }
      if (vm_run_state == RUN_LOAD || vm_run_state == RUN_END) return vm_run_state;
    }
    if (threads_propagate_end()) {
      threads_end_process();
      if (thread_count() == 0) return vm_run_state = RUN_END;
    }
    current_thread_keep_valid();

    int messages = 0;
    if (!interp.catch_up) {
      if (frame_limit(interp.redraw)) {
        if (frame_draw_due(interp.frames)) sprite_update_all();
        interp.frames++;
        interp.redraw = 0;
        if (is_fullscreen()) {
          int x, y;
          cursor_pos_get(&x, &y);
          menu_bar_track_cursor(x, y);
        }
      }
      joy_poll();
      messages = drain_window_messages();
      current_thread_keep_valid();
      if (sprite_update_suspend_count() == 0) {
        request_busy_event();
        if (request_dispatch() == -1) return vm_run_state = RUN_LOAD;
      }
      if (interp.leave) return vm_run_state = RUN_END;
    }

    threads = thread_list_array();
    if (threads.empty()) return vm_run_state = RUN_END;
    skip_keys_apply(threads);

    if (interp.catch_up) continue;
    watch_list_show();
    pass_sleep(messages > 0);
  }
}
