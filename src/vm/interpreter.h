// The interpreter: the program's main loop. One pass reads the VM clock, gives every script thread
// a turn, handles ended threads, draws a frame when one is due, polls the joystick, pumps window
// messages, serves menu requests, applies the skip keys and sleeps at most 1 ms.
//
// Opcodes and built-ins steer the pass through the run state. The services below are what the
// dispatcher, the built-ins and the shell call.
#pragma once

#include <cstdint>

// Run states: set during a thread's turn, read after every instruction that can change it.
enum run_state_code : int32_t {
  RUN_GO = 0,        // go on with the next instruction
  RUN_YIELD = 1,     // a waiting built-in: the thread runs the same call again next pass
  RUN_LOAD = 2,      // leave the loop: a save file is to be loaded
  RUN_END_TURN = 4,  // end this thread's turn
  RUN_END = 5,       // end the run
};

// Runs passes until the run ends; returns RUN_LOAD or RUN_END (the run state keeps that value).
int32_t interpreter_run();

void run_state_set(int32_t state);
int32_t run_state_get();

// Reads the signed 16-bit operand at the current frame's code pointer and moves past it.
int16_t operand_read_u16();

// Native code calls a script function: the caller has pushed argc arguments (first on top). The
// function runs when the interpreter next runs this thread; its result is left on the caller's
// stack like any call's.
void script_call_by_hash(uint32_t hash, int32_t argc);

// Ends a self-cleaning built-in: the cells base..top-1 of the current frame collapse into the
// result at top-1 (drop = 0) or into nothing (drop = 1).
void builtin_finish(int32_t base, int32_t top, int32_t drop);

// Sets the line-was-read flag (a restored save continues on a read line).
void line_read_mark();

// Every running thread is told to end; the current thread's turn ends.
void threads_stop_all();

// Asks whether to return to the title; on Yes closes a playing movie and makes the loop end the
// run after its next message pump.
void title_return_ask();

// The catch-up flag: while set, passes run without drawing, pumping or sleeping and the VM clock
// stands still. The pass clears it once the real clock is more than 500 ms away from VM time.
void catch_up_set();
void catch_up_clear();
bool catch_up_active();

// Due frames so far (drawn or thinned); waits compare it to see whether a frame went by.
uint32_t frame_counter();
// Asks the frame limiter for a frame at the next pass.
void redraw_request_set();

// Whether due frame number `frame` is drawn: never under forced skip; while skipping, only every
// second to fourth frame, by the AGGSKIP key (read once).
bool frame_draw_due(uint32_t frame);

// Forgets the module state: run state, flags, frame counter and the AGGSKIP divisor (tests, and
// nothing else: the program keeps them for the whole process).
void interpreter_reset();
