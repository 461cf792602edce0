// Event hooks: script functions registered as handlers of named events; object calls and
// thread start.
//
// STAND-IN: only the calls that thread reset and the dispatcher need. The hooks module replaces
// this file.
#pragma once

#include <cstdint>

struct script_thread;

// Frees the hooks that the thread with this id registered, except persistent ones.
void hook_list_drop_thread(int32_t id);

// Starts a thread running the function named by argument 1 with arguments 2..n as its
// parameters, and pushes its id. Returns the new thread (null when none was started).
script_thread* thread_start(int32_t n);
