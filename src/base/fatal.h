// The one road by which the program ends on a fatal condition (a damaged archive, a missing
// start-up file, a script-call overflow, Cancel in an error box, memory exhausted).
#pragma once

// Exit code of every fatal end; the shell sees 255.
constexpr int FATAL_EXIT_CODE = -1;

// Ends the process with the code. Exit handlers registered with atexit run (they keep the
// clipboard and flush logs); the engine's own exit sequence is the caller's business.
[[noreturn]] void fatal_exit(int code = FATAL_EXIT_CODE);

// Tests intercept the road: the interceptor is called instead of ending the process and must not
// return (it throws). nullptr restores the real exit.
using fatal_exit_interceptor = void (*)(int code);
fatal_exit_interceptor fatal_exit_intercept(fatal_exit_interceptor interceptor);
