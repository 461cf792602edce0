// Script threads and call frames.
//
// Scripts run as cooperative threads on the window thread. Each thread owns a value stack, a
// table of thread variables and a fixed array of 256 call frames; frames[depth] is the frame that
// runs. Every opcode and built-in reaches the stack through the two pointers vm_thread and
// vm_frame, which thread_switch sets.
#pragma once

#include <cstdint>
#include <vector>

#include "vm/value.h"

struct click_area;       // the thread's click areas (mouse module)
struct font_descriptor;  // the thread's text-style stack (font module)
struct script_object;
struct decoded_op;       // the interpreter's record of an instruction

constexpr int FRAME_COUNT = 256;
constexpr int32_t THREAD_TABLE_CAPACITY = 1024;  // first size of the stack and the variable table
constexpr int32_t TABLE_GROWTH = 256;
constexpr int32_t TABLE_HEADROOM = 8;  // tables grow once fewer than this many cells are free

// A table of variable cells (thread, global and eternal scopes).
struct var_table {
  value_cell* cells;
  int32_t count;
  int32_t capacity;
};

// One call. Code addresses point into a loaded code block; labels are 0 when not set.
struct call_frame {
  uint8_t* code;    // next opcode; null makes the frame return as soon as it runs
  int32_t base;     // stack index of the first local; the argument count lies at base - 1
  int32_t top;      // stack index of the first free cell
  int32_t drop_result;  // set by a call in this frame: 1 drops the callee's result
  int32_t line;
  uint8_t* decide_label;
  uint8_t* cancel_label;
  uint8_t* middle_label;
  uint8_t* back_label;
  uint8_t* end_label;  // run once when the frame returns or the thread is told to end
  int32_t input_args[4];         // owned by the click-area built-ins
  click_area* input_links[2];    // likewise
  script_object* mark_object;    // the object whose read marks the line opcode uses (cache)
  int32_t mark_looked_up;        // 0 until mark_object was looked up
  int32_t wait_deadline;         // VM ms; 0 not waiting, -1 waiting without a time limit
  int32_t wait_frame_mark;       // frame counter noted when a wait began
  const decoded_op* resume;      // the interpreter's record for code, when its address is code (cache)
};

enum thread_state : int32_t {
  THREAD_RUNNING = 0,
  THREAD_TOLD_TO_END = 1,
  THREAD_END_LABELS = 2,
  THREAD_LABELS_DONE = 3,
  THREAD_END_HANDLER = 4,
  THREAD_DEAD = -1,
};

struct script_thread {
  int32_t depth;  // index of the current frame, 0..255
  int32_t id;     // 0 is the main thread
  var_table vars;
  value_cell* stack;  // index 0 is a dummy cell
  int32_t stack_capacity;
  script_thread* end_link;  // when that thread ends, this one ends too
  script_thread* prev;
  script_thread* next;
  call_frame frames[FRAME_COUNT];
  font_descriptor* font_stack;
  click_area* input_regions;
  uint8_t* end_handler;  // where the thread continues once after it has finished
  int32_t state;
  int32_t decide_key;
  int32_t cancel_key;
  int32_t middle_key;
};

// The current thread and its current frame.
extern script_thread* vm_thread;
extern call_frame* vm_frame;

// id -1 takes the next free id; any other value is used as given.
script_thread* thread_create(int32_t id);
void thread_reset(script_thread* t);
void thread_destroy(script_thread* t);
void threads_destroy_all();
script_thread* thread_switch(script_thread* t);  // returns the previous current thread

script_thread* thread_list_head();  // newest first
int32_t thread_count();
bool thread_valid(const script_thread* t);
script_thread* thread_find(int32_t id);

// The threads in list order. The caller owns the copy, so a nested walk cannot take it away.
std::vector<script_thread*> thread_list_array();

// VM milliseconds until the first wait of a thread's current frame ends by the clock: 0 when a
// thread runs (or skipping is in effect, or a deadline lies so far ahead that it counts as
// reached), at most 1 while a thread is on its way out, INT32_MAX when no thread waits on the
// clock.
int32_t threads_wait_left();
// Passes thread ends along end links; true when any thread is ending.
bool threads_propagate_end();
// The end processing after a pass: end labels, end handlers, destruction, and the main thread's
// end ending every other thread.
void threads_end_process();

// Opens a frame above the current one of t (the 256th nested call ends the program). Inline:
// every script call opens one.
[[noreturn]] void frame_overflow();
// The same with the caller's top given (the opcode loop holds it).
inline call_frame* frame_push(script_thread* t, int32_t caller_top) {
  if (t->depth + 1 >= FRAME_COUNT) [[unlikely]]
    frame_overflow();
  call_frame* caller = &t->frames[t->depth];
  call_frame* f = caller + 1;
  // Field by field: a block clear of the frame compiles to a string store, slow at this size.
  static_assert(sizeof(call_frame) == 128, "a new field must be cleared here");
  f->code = caller->code;
  f->base = f->top = caller_top;
  f->drop_result = 0;
  f->line = caller->line;
  f->decide_label = f->cancel_label = f->middle_label = f->back_label = f->end_label = nullptr;
  f->input_args[0] = f->input_args[1] = f->input_args[2] = f->input_args[3] = 0;
  f->input_links[0] = f->input_links[1] = nullptr;
  f->mark_object = nullptr;
  f->mark_looked_up = f->wait_deadline = f->wait_frame_mark = 0;
  f->resume = nullptr;
  t->depth++;
  if (t == vm_thread) vm_frame = f;
  return f;
}
inline call_frame* frame_push(script_thread* t) { return frame_push(t, t->frames[t->depth].top); }

// Writes the dummy cell {0, int, local, 0}.
inline void stack_dummy(value_cell* c) { *c = int_cell(0); }

// The id source draws from this function (engine_rand by default); setting it also forgets the counter,
// so the next id is seeded afresh. Tests make ids repeatable with it.
void thread_id_source_set(int (*random)());
// Places the counter (tests reach the wrap with it).
void thread_id_counter_set(uint32_t next, bool wrapped);
