// The interpreter loop.
//
// STAND-IN: the run state, the catch-up and redraw flags, the frame counter, builtin_finish and
// threads_stop_all, which the dispatcher and the timing reset need. The interpreter module
// replaces this file.
#pragma once

#include <cstdint>

// The run state that opcodes and built-ins set during a thread's turn.
enum run_state_code : int32_t {
  RUN_GO = 0,  // go on with the next opcode
  RUN_YIELD = 1,     // a waiting built-in: the thread's turn ends here
  RUN_LOAD = 2,      // leave the loop for a load
  RUN_END_TURN = 4,  // end this thread's turn
  RUN_END = 5,       // end the run
};
void run_state_set(int32_t state);
int32_t run_state_get();

// The catch-up flag: while set, passes run without drawing and the VM clock stands still.
void catch_up_set();
void catch_up_clear();
bool catch_up_active();

// Frames that were due so far (drawn or thinned); frame_wait watches it change.
uint32_t frame_counter();
void frame_counter_step();  // the pass, after every due frame
// Asks the frame limiter for a frame now; the pass clears the request after every due frame.
void redraw_request_set();
bool redraw_request_get();

// Ends a self-cleaning built-in: the arguments from base up are replaced by the result on top
// (drop 0) or by nothing (drop 1).
void builtin_finish(int32_t base, int32_t top, int32_t drop);

// Every running thread is told to end; this thread's turn ends.
void threads_stop_all();
