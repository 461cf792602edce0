// The built-in dispatcher and the calling convention of every built-in.
//
// Scripts call built-ins with 0x834 (keep the result) or 0x835 (drop it), followed by the
// built-in's 32-bit hash and a 16-bit argument count n. The arguments lie on the current frame's
// stack, the first on top, so optional trailing ones lie deepest. A handler reads them in place
// (builtin_arg) and pushes exactly one result (an int 0 when it has nothing to return); the
// dispatcher then replaces the arguments by that result, or by nothing for 0x835. A waiting
// built-in returns non-zero while it cannot finish: the call then runs again on the thread's next
// turn with the same arguments, its progress kept in the frame's wait deadline and wait frame
// mark. A self-cleaning built-in tidies the stack itself (builtin_finish).
#pragma once

#include <cstdint>

#include "vm/value.h"

// Every handler: n arguments, the instruction's drop flag (self-cleaning built-ins use it).
using builtin_handler = int (*)(int32_t n, int32_t drop);

// Runs the built-in whose hash and argument count follow the current frame's code pointer (which
// stands just past the opcode); drop is 1 for 0x835. An unknown hash, a built-in not implemented
// yet and an argument count that the frame does not hold are reported; the stack stays balanced.
void builtin_dispatch(int drop);
// The same, once the operands are read (the code pointer stands past them): e is the hash's row
// of the table, or null for an unknown hash.
struct builtin_entry;
void builtin_call(const builtin_entry* e, uint32_t hash, int16_t count, int drop);

// Argument k (1-based) of the running built-in, where it lay when the built-in was called (a
// handler may read it after pushing); an argument beyond its count reads as int 0.
const value_cell* builtin_arg(int32_t k);
// The 32-bit payload of an int or float argument, read as the engine always read it (0 for
// strings and arrays).
int32_t builtin_arg_int(int32_t k);
float builtin_arg_float(int32_t k);
// The text of a string argument ("" for any other type).
const char* builtin_arg_text(int32_t k);

// Wait deadlines, in VM ms. 0: not waiting; -1: waiting without a time limit; the waits that
// end by input or by a frame, not by the clock: -2 input_wait, -3 input_release_wait while a
// button is held down, -4 frame_wait once its millisecond passed.
constexpr int32_t WAIT_NONE = 0;
constexpr int32_t WAIT_FOREVER = -1;
constexpr int32_t WAIT_INPUT = -2;
constexpr int32_t WAIT_RELEASE = -3;
constexpr int32_t WAIT_FRAME = -4;
inline bool wait_is_untimed(int32_t deadline) { return deadline <= WAIT_FOREVER && deadline >= WAIT_FRAME; }
// A deadline this far ahead of the clock counts as reached (the clock jumped).
constexpr int32_t WAIT_CLOCK_JUMP_MS = 43200000;
// Reached when now is at or past the deadline, compared across the clock's wrap.
bool wait_deadline_reached(int32_t deadline, int32_t now);
// The deadline ms after now (wrapping like the clock); never one of the sentinels (they become 1).
int32_t wait_deadline_after(int32_t now, int32_t ms);

// Platform ms until a wait of input, release or frame can end (0: at the next pass), for the
// pass's sleep; WAIT_NO_LIMIT without such a wait. input_came: the pass handled window messages,
// which the threads see in their next turns.
uint32_t builtin_waits_due_in(bool input_came);

// The dispatcher's own built-ins (their rows in builtin_table.cpp point here).
// Waiting group.
int builtin_time_wait(int32_t n, int32_t drop);
int builtin_time_wait_until(int32_t n, int32_t drop);
int builtin_input_wait(int32_t n, int32_t drop);
int builtin_input_release_wait(int32_t n, int32_t drop);
int builtin_frame_wait(int32_t n, int32_t drop);
int builtin_thread_terminate(int32_t n, int32_t drop);
// Plain group.
int builtin_system_end(int32_t n, int32_t drop);
int builtin_vm_speed_set(int32_t n, int32_t drop);
int builtin_thread_exists(int32_t n, int32_t drop);
int builtin_thread_end_handler_set(int32_t n, int32_t drop);
int builtin_threads_end_all(int32_t n, int32_t drop);
int builtin_start_object_restart(int32_t n, int32_t drop);
int builtin_readmark_exists(int32_t n, int32_t drop);
int builtin_read_filter_set(int32_t n, int32_t drop);
int builtin_mouse_set_logical_pos(int32_t n, int32_t drop);
int builtin_mouse_set_pos(int32_t n, int32_t drop);
int builtin_mouse_in_client(int32_t n, int32_t drop);
int builtin_screen_full_set(int32_t n, int32_t drop);
