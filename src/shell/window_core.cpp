#include "shell/window_core.h"

#include <cstdlib>
#include <cstring>

#include "base/cp932.h"
#include "platform/platform.h"

// Module state.
static window_handle main_window = nullptr;
static char title_buffer[WINDOW_TITLE_SIZE];
static message_handler handlers[HANDLER_TABLE_SIZE];  // the first empty slot ends the list
static intptr_t claimed_result = 0;
static window_hook box_hook = nullptr, window_hook_b = nullptr, exit_hook = nullptr;

void main_window_set(window_handle window) { main_window = window; }
window_handle main_window_get() { return main_window; }

bool status_bar_present() { return window_is_alive(main_window) && main_window->spec.status_bar_height > 0; }

void status_bar_text_set(const char* text) {
  if (status_bar_present()) plat().window_status_text(main_window, text);
}

const char* main_window_title() {
  cp932_copy(title_buffer, sizeof title_buffer, window_title_get(main_window));
  return title_buffer;
}

static int handler_slot(message_handler handler) {
  for (int i = 0; i < HANDLER_TABLE_SIZE && handlers[i]; ++i)
    if (handlers[i] == handler) return i;
  return -1;
}

int wndproc_handler_add(message_handler handler) {
  if (!handler || handler_slot(handler) >= 0) return 1;
  for (int i = 0; i < HANDLER_TABLE_SIZE; ++i) {
    if (!handlers[i]) {
      handlers[i] = handler;
      return 0;
    }
  }
  return 1;
}

int wndproc_handler_remove(message_handler handler) {
  int slot = handler_slot(handler);
  if (slot < 0) return 1;
  memmove(&handlers[slot], &handlers[slot + 1], sizeof handlers[0] * (HANDLER_TABLE_SIZE - 1 - slot));
  handlers[HANDLER_TABLE_SIZE - 1] = nullptr;
  return 0;
}

intptr_t wndproc_set_result(intptr_t value) { return claimed_result = value; }

intptr_t main_window_class_proc(window_handle window, uint32_t message, uintptr_t wparam, intptr_t lparam) {
  intptr_t saved = claimed_result;  // nested calls (boxes, drains inside a handler) keep their own
  claimed_result = 0;
  if (message == WM_DESTROY) {
    message_post_quit(0);
    claimed_result = saved;
    return 1;
  }
  // The walk goes over the table as it stood when the message came: a handler that removes
  // itself must not make the next one miss the message, and one removed by an earlier handler is
  // no longer called.
  message_handler walk[HANDLER_TABLE_SIZE];
  int count = 0;
  while (count < HANDLER_TABLE_SIZE && handlers[count]) {
    walk[count] = handlers[count];
    ++count;
  }
  intptr_t claimed = 0;
  for (int i = 0; i < count; ++i)
    if (handler_slot(walk[i]) >= 0) claimed |= walk[i](window, message, wparam, lparam);
  intptr_t result = claimed_result;
  claimed_result = saved;
  return claimed ? result : default_window_procedure(window, message, wparam, lparam);
}

int drain_window_messages() {
  int count = 0;
  window_message m;
  for (;;) {
    while (message_peek(m)) {
      if (m.message == WM_QUIT) exit(static_cast<int>(m.wparam));
      if (m.message < WM_REGISTERED_FIRST) message_dispatch(m);
      ++count;
    }
    // An open menu of the bar holds the window thread here, as the system's menu loop did: the
    // messages and timers are handled meanwhile, and the caller (a pass of the game) goes on when
    // the menu closes, as after a modal box.
    if (!plat().menu_active()) return count;
    plat().wait_events(timers_due_in());
  }
}

void box_hook_set(window_hook hook) { box_hook = hook; }
void call_box_hook() {
  if (box_hook) box_hook();
}
void window_hook_set(window_hook hook) { window_hook_b = hook; }
void call_window_hook() {
  if (window_hook_b) window_hook_b();
}
void exit_hook_set(window_hook hook) { exit_hook = hook; }
void call_exit_hook() {
  if (exit_hook) exit_hook();
}

void window_core_reset() {
  main_window = nullptr;
  memset(handlers, 0, sizeof handlers);
  claimed_result = 0;
  box_hook = window_hook_b = exit_hook = nullptr;
}
