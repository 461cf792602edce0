// Menu requests: menu commands, function keys, the close box and the screen-mode switch never act
// on the game directly; they queue one request code, which the interpreter pass serves between
// thread steps. Most codes become a script event; the dialog save and load and the quick save and
// load are carried out here. A script that opens its own system menu locks the machinery, so a
// second request neither interrupts it nor gets lost.
#pragma once

#include <cstdint>
#include <string>

// The request codes that are not plain script events.
enum : int {
  REQUEST_LOAD_MENU = 1,
  REQUEST_LOAD_DIALOG = 2,
  REQUEST_SAVE_MENU = 3,
  REQUEST_SAVE_DIALOG = 4,
  REQUEST_QUICK_LOAD = 5,
  REQUEST_QUICK_SAVE = 6,
  REQUEST_NO_LOCK_CODE = 9999,  // the lock of a system menu opened while nothing was being served
};

// The request machinery's state (module state, one record).
struct system_request {
  int32_t pending;  // waiting to be served; 0 none; a newer request overwrites an older one
  int32_t current;  // the code request_dispatch took last
  int32_t locked;   // 0 while requests are served; else the code the open system menu holds
  int32_t busy;     // a request was accepted while something was locked
};

// 0 when the code is the locked one; otherwise 1 (and the busy flag is set). Sources queue only
// on 1.
int request_allowed(int code);
// Makes the code the pending request: 92..95 always, other codes only while input is not blocked.
void request_queue(int code);
// request_allowed, then request_queue: what every source does.
void request_post(int code);
// The request being served (the last one dispatched).
int request_current();
// Once per pass: fires the busy event when a request came while locked; clears the busy flag.
void request_busy_event();
// Serves the pending request unless locked; -1 when a save file was accepted for loading, else 0.
int request_dispatch();
// The VM reset's step: the pending, current and locked codes and the busy flag are cleared.
void request_reset();

// The system-menu built-ins and the slot load reach the queue and the lock through these.
int request_pending();
void request_pending_clear();
int request_locked();
void request_lock_set(int code);

// The event hash of a code that is served as a script event (0 for the others), and its
// argument count.
uint32_t request_event_hash(int code, int* argument_count);

// The quick-save ring: the stored QuickNum held to 0..7 (written back when it was outside), and
// the number the next quick save takes.
int quick_num_get();
int quick_num_next(int newest);
// Whether the file is there (a regular file that opens) and begins with the save magic in its
// first 16 bytes (a short read does not).
enum save_file_state { SAVE_FILE_MISSING, SAVE_FILE_FOREIGN, SAVE_FILE_OURS };
save_file_state save_file_check(const std::string& path);
