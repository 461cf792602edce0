// Windows and their messages: the part of the window system that both backends share.
//
// A window is a record with a procedure; messages reach it by send (a direct call), or by post
// (into one queue that the message drain empties). Backends add the host side: a real GTK window,
// or nothing at all headless, and the host events that they translate into posted messages.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "platform/messages.h"

struct plat_window;
using window_handle = plat_window*;
using window_procedure = intptr_t (*)(window_handle window, uint32_t message, uintptr_t wparam, intptr_t lparam);

struct window_message {
  window_handle window;  // nullptr for thread messages (WM_QUIT)
  uint32_t message;
  uintptr_t wparam;
  intptr_t lparam;
};

// What a window is made from.
struct window_spec {
  std::string class_name;  // engine text
  std::string title;       // engine text
  window_procedure procedure = nullptr;
  int client_width = 0, client_height = 0;
  std::string menu_name;  // the menu resource shown in its menu bar; empty for none
  int status_bar_height = 0;  // a status bar this tall below the client area, in the window; 0: none
};

struct plat_window {
  window_spec spec;
  std::string title;
  bool alive = true;
  void* host = nullptr;  // the backend's own record
};

// Creates a window (and its host side). Its procedure sees WM_CREATE.
window_handle window_create(const window_spec& spec);
// Sends WM_DESTROY, then destroys the host side. The record stays valid (not alive) so that
// messages still queued for it are dropped, not dispatched into freed memory.
void window_destroy(window_handle window);
bool window_is_alive(window_handle window);
std::string window_title_get(window_handle window);
void window_title_set(window_handle window, const std::string& title);

// A wait without a time limit (wait_events, timers_due_in).
constexpr uint32_t WAIT_NO_LIMIT = 0xFFFFFFFFu;

// Calls the window's procedure now. 0 for a window that is not alive.
intptr_t message_send(window_handle window, uint32_t message, uintptr_t wparam, intptr_t lparam);
// Queues a message; safe from any thread. window nullptr makes a thread message. Every post raises
// the post signal, which wakes a wait for events (platform.h) from any thread.
void message_post(window_handle window, uint32_t message, uintptr_t wparam, intptr_t lparam);
// The post signal: a descriptor that polls readable from a post until the signal is cleared.
// Waits clear it after they return, so a post that comes before a wait ends that wait at once.
int message_post_signal();
void message_post_signal_clear();
void message_post_quit(int exit_code);
// Takes the next message: host events are handled first (they may queue messages), then the queue.
bool message_peek(window_message& message);
// Hands a taken message to its window's procedure; messages for dead windows are dropped.
intptr_t message_dispatch(const window_message& message);
// Timers: while a timer runs, message_peek hands out WM_TIMER (wparam the id) when the queue is
// empty and the interval has passed since the last one, as the window system always did (a timer
// never piles up messages). Setting an id that the window already has restarts it. Window thread
// only; the clock is the platform's.
void timer_set(window_handle window, uintptr_t id, uint32_t interval_ms);
// False when the window has no such timer.
bool timer_kill(window_handle window, uintptr_t id);
// Milliseconds of the platform clock until the next timer is due (0: one is), or WAIT_NO_LIMIT.
uint32_t timers_due_in();

// The window system's own handling of a message that no procedure claimed.
intptr_t default_window_procedure(window_handle window, uint32_t message, uintptr_t wparam, intptr_t lparam);

// SIGTERM, SIGINT and SIGHUP end the session: the next message_peek on the window thread posts
// WM_ENDSESSION to every live window (a wait for events wakes for it), or, with no window yet,
// ends the process with 128 + the signal's number. A second signal of a kind already caught
// ends the process as the signal always did, for a window thread that no longer takes messages.
// A signal the process was started with ignored (nohup) stays ignored.
void session_end_signals_catch();

// The number of a signal that asked for the session's end and that no message peek has taken
// yet (0: none). Code that may run long without peeking (a script that never waits) looks at it
// and comes back to the peek.
extern std::atomic<int> session_end_signal;
inline bool session_end_pending() { return session_end_signal.load(std::memory_order_relaxed) != 0; }

// The display is gone with every window on it: the session ends here and now. Every live
// window's procedure gets WM_ENDSESSION at once, whose handler ends the process in order without
// touching the display; with no window to tell, the process ends with status 1.
[[noreturn]] void session_end_display_lost();

// Forgets every window, timer and queued message (tests; the program never needs it).
void windows_reset();
