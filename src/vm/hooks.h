// Event hooks, object calls and thread start.
//
// Scripts register functions as handlers of named events; script code and native code (the run
// loop, menu requests, the message window) fire an event by the CRC-32 of its name, and every
// handler of the event becomes a new call frame on its owner thread. Firing never runs script
// code itself: the handlers run when their threads next execute, the frame pushed last first.
//
// Hooks registered while the start object initialises are marked persistent and survive every
// VM reset; the others go with their thread's reset or destruction. While the keep flag is set,
// no hook is ever freed.
#pragma once

#include <cstdint>

struct script_thread;

// One registration.
struct event_hook_entry {
  int32_t owner;       // the id of the thread that registered it
  int32_t persistent;  // survives VM resets and its owner's end
  uint32_t key;        // CRC-32 of the event name
  uint8_t* code;       // the handler function
  event_hook_entry* prev;
  event_hook_entry* next;
};

// The hook list, head to tail (registration order, except for hooks added first).
const event_hook_entry* hook_list_head();

void hook_list_keep(int flag);
// Marks every hook persistent (start-up, after the start object's initialisation).
void hook_list_mark_all();
// VM reset: unless kept, frees every hook without persistent mark.
void hook_list_purge();
// Shut-down: clears every persistent mark and, unless kept, frees every hook.
void ReleaseEventAll();
// Thread reset: unless kept, frees the hooks of that owner without persistent mark.
void hook_list_drop_thread(int32_t id);

// Fires every hook of the key on its owner thread, with the n cells on top of the current
// thread's stack as arguments (they are taken off the stack); push0 leaves an int 0 in their
// place. A hook whose owner thread is gone is freed (unless persistent or kept).
void hook_fire(uint32_t key, int32_t n, int32_t push0);
// Runs every hook of the key, whoever registered it, on the thread with the given id; frees
// nothing. Walks from tail to head, so the hook registered first runs first.
void hook_fire_thread(uint32_t key, int32_t id, int32_t n, int32_t push0);

// Starts a thread running the function whose hash is argument 1 of the running built-in, with
// arguments 2..n as its parameters 1..n-1, and pushes its id. Returns the new thread.
script_thread* thread_start(int32_t n);

// Built-ins (argument 1 on top of the stack).
int builtin_event_hook_add(int32_t n, int32_t drop);
int builtin_event_hook_add_first(int32_t n, int32_t drop);
int builtin_event_hook_remove(int32_t n, int32_t drop);
int builtin_event_call(int32_t n, int32_t drop);         // self-cleaning
int builtin_event_call_thread(int32_t n, int32_t drop);  // self-cleaning
int builtin_object_enter(int32_t n, int32_t drop);       // self-cleaning; also load_library
int builtin_object_call_function(int32_t n, int32_t drop);        // self-cleaning
int builtin_object_call_function_named(int32_t n, int32_t drop);  // self-cleaning
int builtin_object_exec(int32_t n, int32_t drop);           // self-cleaning
int builtin_object_exec_function(int32_t n, int32_t drop);  // self-cleaning
int builtin_thread_start(int32_t n, int32_t drop);
int builtin_thread_start_child(int32_t n, int32_t drop);
