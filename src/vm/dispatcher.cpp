#include "vm/dispatcher.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "base/gamepath.h"
#include "base/int32.h"
#include "graphics/sprite.h"
#include "platform/window.h"
#include "save/vm_exit.h"
#include "shell/devtools.h"
#include "shell/display_mode.h"
#include "shell/env_keys.h"
#include "shell/exit_state.h"
#include "shell/input.h"
#include "shell/mouse.h"
#include "shell/settings.h"
#include "sound/sound.h"
#include "vm/builtin_table.h"
#include "vm/interpreter.h"
#include "vm/readmark.h"
#include "vm/script_error.h"
#include "vm/script_object.h"
#include "vm/skip.h"
#include "vm/thread.h"
#include "vm/variables.h"

// A call instruction: opcode, hash, count. A waiting built-in steps back over all of it.
constexpr int32_t CALL_INSTRUCTION_SIZE = 8;

// Module state: where the running built-in's arguments lie (they stay put while it pushes).
static int32_t running_base = 0, running_count = 0;

// ---------------------------------------------------------------------------------------------
// Arguments and deadlines

const value_cell* builtin_arg(int32_t k) {
  static const value_cell missing = int_cell(0);
  if (k < 1 || k > running_count) return &missing;
  return &vm_thread->stack[running_base + running_count - k];
}

int32_t builtin_arg_int(int32_t k) {
  const value_cell* c = builtin_arg(k);
  return c->type == TYPE_INT || c->type == TYPE_FLOAT ? c->i : 0;
}

float builtin_arg_float(int32_t k) {
  const value_cell* c = builtin_arg(k);
  return c->type == TYPE_INT || c->type == TYPE_FLOAT ? c->f : 0.0f;
}

const char* builtin_arg_text(int32_t k) {
  const value_cell* c = builtin_arg(k);
  return c->type == TYPE_STRING && c->s ? c->s->text : "";
}

bool wait_deadline_reached(int32_t deadline, int32_t now) {
  int32_t ahead = i32_sub(deadline, now);
  return ahead <= 0 || ahead > WAIT_CLOCK_JUMP_MS;
}

int32_t wait_deadline_after(int32_t now, int32_t ms) {
  int32_t d = i32_add(now, ms);
  return d == WAIT_NONE || wait_is_untimed(d) ? 1 : d;
}

// ---------------------------------------------------------------------------------------------
// Dispatch

// The count the frame really holds: a negative one, or one that reaches below the frame's base,
// is reported and clamped, so the tidy never releases cells of the caller.
static int32_t argument_count(int16_t count, const builtin_entry* e, uint32_t hash) {
  int32_t held = vm_frame->top - vm_frame->base;
  if (count >= 0 && count <= held) return count;
  if (e)
    script_error("%s : 引数の数(%d)が正しくありません", e->name, count);
  else
    script_error("組み込み関数[%08X] : 引数の数(%d)が正しくありません", hash, count);
  return count < 0 ? 0 : held;
}

void builtin_dispatch(int drop) {
  uint32_t hash;
  int16_t count;
  memcpy(&hash, vm_frame->code, 4);
  memcpy(&count, vm_frame->code + 4, 2);
  vm_frame->code += 6;
  builtin_call(builtin_find(hash), hash, count, drop);
}

void builtin_call(const builtin_entry* e, uint32_t hash, int16_t count, int drop) {
  file_failure_scope report_scope;  // a box of this call names only files this call refused
  int32_t n = argument_count(count, e, hash);
  int32_t base = vm_frame->top - n;
  running_base = base, running_count = n;
  if (!e) {
    script_error("組み込み関数[%08X]は定義されていません", hash);
    push_int(0);
  } else if (!e->handler) {
    script_error("%s : この組み込み関数はまだ実装されていません", e->name);
    push_int(0);
  } else if (e->kind == BUILTIN_SELF_CLEANING) {
    e->handler(n, drop);
    return;
  } else if (e->handler(n, drop) != 0 && e->kind == BUILTIN_WAITING) {
    // Not finished: the arguments stay and the same call runs on the thread's next turn.
    run_state_set(RUN_YIELD);
    vm_frame->code -= CALL_INSTRUCTION_SIZE;
    return;
  }
  builtin_finish(base, vm_frame->top, drop);
}

// ---------------------------------------------------------------------------------------------
// Waiting group

int builtin_time_wait(int32_t, int32_t) {
  call_frame* f = vm_frame;
  int32_t now = vm_time_get();
  if (f->wait_deadline == WAIT_NONE) {
    int32_t ms = builtin_arg_int(1);
    if (ms >= 0) {
      f->wait_deadline = wait_deadline_after(now, ms);
      if (ms == 0 && no_update_on_wait0()) catch_up_set();
    } else if (ms == -2) {
      f->wait_deadline = wait_deadline_after(now, -10);
      catch_up_set();
    } else {
      f->wait_deadline = WAIT_FOREVER;  // until the thread is told to end
    }
    return 1;
  }
  bool done = vm_thread->state != THREAD_RUNNING || (vm_thread->id == 0 && is_skipping()) ||
              (f->wait_deadline != WAIT_FOREVER && wait_deadline_reached(f->wait_deadline, now));
  if (!done) return 1;
  f->wait_deadline = WAIT_NONE;
  catch_up_clear();
  push_int(0);
  return 0;
}

// time_wait_until(T, D): waits until T + D and returns the time to pass as the next T, so that a
// loop keeps a steady rhythm. A T far off (ten intervals) starts the rhythm again from now.
int builtin_time_wait_until(int32_t, int32_t) {
  call_frame* f = vm_frame;
  int32_t now = vm_time_get();
  if (f->wait_deadline == WAIT_NONE) {
    int32_t base = builtin_arg_int(1), interval = builtin_arg_int(2);
    if (std::llabs(static_cast<long long>(i32_sub(now, base))) >= 10LL * interval) base = now;
    f->wait_deadline = wait_deadline_after(base, interval);
  }
  if (!wait_deadline_reached(f->wait_deadline, now)) return 1;
  int32_t late = i32_add(now, -10);
  push_int(i32_sub(f->wait_deadline, late) >= 0 ? f->wait_deadline : late);
  f->wait_deadline = WAIT_NONE;
  return 0;
}

// The keys and presses come with window messages and the skip keys of a pass; the pass wakes for
// them (builtin_waits_due_in), so the wait needs no deadline.
int builtin_input_wait(int32_t, int32_t) {
  call_frame* f = vm_frame;
  script_thread* t = vm_thread;
  if (f->wait_deadline == WAIT_NONE) {
    // Wheel turns and extra-button presses from before the wait do not answer it.
    input_take_press(BUTTON_WHEEL_FORWARD);
    input_take_press(BUTTON_WHEEL_BACKWARD);
    input_take_press(BUTTON_EXTRA);
  }
  int32_t bits = (t->decide_key ? 1 : 0) | (t->cancel_key ? 2 : 0) | (t->middle_key ? 4 : 0);
  if (input_take_press(BUTTON_WHEEL_FORWARD)) bits |= 8;
  if (input_take_press(BUTTON_WHEEL_BACKWARD)) bits |= 16;
  if (input_take_press(BUTTON_EXTRA)) bits |= 32;
  if (bits == 0) {
    f->wait_deadline = WAIT_INPUT;
    return 1;
  }
  t->decide_key = t->cancel_key = t->middle_key = 0;
  f->wait_deadline = WAIT_NONE;
  push_int(bits);
  return 0;
}

static const int RELEASE_BUTTONS[] = {BUTTON_EXTRA, BUTTON_MIDDLE, BUTTON_CANCEL, BUTTON_DECIDE};

static bool release_buttons_pressed() {
  for (int b : RELEASE_BUTTONS)
    if (input_is_pressed(b)) return true;
  return false;
}

// A button held down is let go with a window message; one let go a moment ago still counts as
// pressed for a few milliseconds, which only the clock ends.
int builtin_input_release_wait(int32_t, int32_t) {
  call_frame* f = vm_frame;
  if (release_buttons_pressed()) {
    bool held = false;
    for (int b : RELEASE_BUTTONS) held = held || input_key_held(b);
    f->wait_deadline = held ? WAIT_RELEASE : wait_deadline_after(vm_time_get(), 1);
    return 1;
  }
  vm_thread->decide_key = vm_thread->cancel_key = vm_thread->middle_key = 0;
  f->wait_deadline = WAIT_NONE;
  push_int(0);
  return 0;
}

// frame_wait([redraw]): waits until more than 1 ms has passed and a frame was drawn since the
// call. The clock's part is a deadline 2 ms on; then the pass wakes for the frame.
int builtin_frame_wait(int32_t, int32_t) {
  call_frame* f = vm_frame;
  int32_t now = vm_time_get();
  int32_t frames = static_cast<int32_t>(frame_counter());
  if (f->wait_deadline == WAIT_NONE) {
    f->wait_deadline = wait_deadline_after(now, 2);
    f->wait_frame_mark = frames;
    if (builtin_arg_int(1) != 0) redraw_request_set();
    return 1;
  }
  if (sprite_update_suspend_count() == 0) {
    if (f->wait_deadline != WAIT_FRAME && !wait_deadline_reached(f->wait_deadline, now)) return 1;
    if (frames == f->wait_frame_mark) {
      f->wait_deadline = WAIT_FRAME;
      return 1;
    }
  }
  f->wait_deadline = WAIT_NONE;
  f->wait_frame_mark = 0;
  push_int(0);
  return 0;
}

uint32_t builtin_waits_due_in(bool input_came) {
  uint32_t ms = WAIT_NO_LIMIT;
  for (script_thread* t = thread_list_head(); t; t = t->next) {
    const call_frame* f = &t->frames[t->depth];
    switch (f->wait_deadline) {
      case WAIT_INPUT:
        if (input_came || t->decide_key || t->cancel_key || t->middle_key) return 0;
        break;
      case WAIT_RELEASE:
        if (input_came || !release_buttons_pressed()) return 0;
        break;
      case WAIT_FRAME:
        if (sprite_update_suspend_count() != 0 || frame_counter() != static_cast<uint32_t>(f->wait_frame_mark)) return 0;
        ms = std::min(ms, frame_due_in());
        break;
      default:
        break;
    }
  }
  return ms;
}

int builtin_thread_terminate(int32_t n, int32_t) {
  int32_t id = n >= 1 ? builtin_arg_int(1) : vm_thread->id;
  if (id == 0) {
    script_error("thread(0)の終了には$system_end()を使用してください");
  } else if (script_thread* t = thread_find(id)) {
    if (t == vm_thread) run_state_set(RUN_END_TURN);
    if (t->state == THREAD_RUNNING)
      t->state = THREAD_TOLD_TO_END;
    else if (t == vm_thread)
      t->state = THREAD_DEAD;
  }
  push_int(0);
  return 0;
}

// ---------------------------------------------------------------------------------------------
// Plain group

int builtin_system_end(int32_t, int32_t) {
  push_int(0);
  ExecOut();
  ReleaseVaskel();
  save_window_state();
  KATAZUKE();
  message_post_quit(0);
  exit(0);
}

int builtin_vm_speed_set(int32_t, int32_t) {
  vm_speed_set(builtin_arg_float(1));
  push_int(0);
  return 0;
}

int builtin_thread_exists(int32_t, int32_t) {
  push_int(thread_find(builtin_arg_int(1)) ? 1 : 0);
  return 0;
}

int builtin_thread_end_handler_set(int32_t, int32_t) {
  vm_thread->end_handler = function_find(static_cast<uint32_t>(builtin_arg_int(1)));
  push_int(0);
  return 0;
}

// threads_end_all([n]): n > 0 keeps the music playing and ends every thread; n < 0 only keeps the
// music; 0 or nothing ends the threads.
int builtin_threads_end_all(int32_t, int32_t) {
  int32_t how = builtin_arg_int(1);
  if (how != 0) sound_keep();
  if (how >= 0) threads_stop_all();
  push_int(0);
  return 0;
}

int builtin_start_object_restart(int32_t, int32_t) {
  const char* name = builtin_arg_text(1);
  start_object_set(name);
  LoadObject(name);
  threads_stop_all();
  push_int(0);
  return 0;
}

int builtin_readmark_exists(int32_t, int32_t) {
  char file[OBJECT_NAME_SIZE];
  object_name_make(builtin_arg_text(1), file);
  push_int(readmark_find(file) ? 1 : 0);
  return 0;
}

int builtin_read_filter_set(int32_t, int32_t) {
  read_filter_set(builtin_arg_text(1));
  push_int(0);
  return 0;
}

int builtin_mouse_set_logical_pos(int32_t, int32_t) {
  mouse_set_logical_pos(builtin_arg_int(1), builtin_arg_int(2));
  push_int(0);
  return 0;
}

int builtin_mouse_set_pos(int32_t, int32_t) {
  mouse_set_pos(builtin_arg_int(1), builtin_arg_int(2));
  push_int(0);
  return 0;
}

int builtin_mouse_in_client(int32_t, int32_t) {
  push_int(mouse_in_client());
  return 0;
}

int builtin_screen_full_set(int32_t n, int32_t) {
  if (n >= 1) display_mode_toggle(builtin_arg_int(1) != 0);
  push_int(is_fullscreen());
  return 0;
}
