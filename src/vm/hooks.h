// Event hooks: script functions registered as handlers of named events; object calls and
// thread start.
//
// STAND-IN: only the calls of thread reset, the dispatcher, the VM reset, start-up, the run loop
// and shut-down. No hook is ever registered before the hooks module exists, so a firing only takes
// its arguments off the stack. The hooks module replaces this file.
#pragma once

#include <cstdint>

struct script_thread;

// While the flag is set, no hook is ever freed (start-up sets it around the start object's
// initialisation).
void hook_list_keep(int flag);
// Marks every hook persistent.
void hook_list_mark_all();
// VM reset: unless kept, frees every hook without persistent mark.
void hook_list_purge();
// Shut-down: clears every persistent mark and, unless kept, frees every hook.
void ReleaseEventAll();
// Fires every hook of the key on its owner thread, with the n cells on top of the current
// thread's stack as arguments (they are taken off the stack); push0 leaves an int 0 in their
// place.
void hook_fire(uint32_t key, int32_t n, int32_t push0);

// Frees the hooks that the thread with this id registered, except persistent ones.
void hook_list_drop_thread(int32_t id);

// Starts a thread running the function named by argument 1 with arguments 2..n as its
// parameters, and pushes its id. Returns the new thread (null when none was started).
script_thread* thread_start(int32_t n);
