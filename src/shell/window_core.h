// The main window's core: the table of message handlers that subsystems add, the class procedure
// that calls them, the message drain that the interpreter and every waiting loop call, the window
// and its title, and three hook slots.
#pragma once

#include <cstdint>

#include "platform/window.h"

// A subsystem's share of the main window's messages; nonzero means "claimed".
using message_handler = intptr_t (*)(window_handle window, uint32_t message, uintptr_t wparam, intptr_t lparam);
using window_hook = void (*)();

constexpr int HANDLER_TABLE_SIZE = 256;
constexpr int WINDOW_TITLE_SIZE = 260;

void main_window_set(window_handle window);
window_handle main_window_get();
// The main window's current title (engine text, a buffer that each call overwrites): the caption of
// every box. Empty before the window exists.
const char* main_window_title();

// The development status bar, a strip below the main window's client area that start-up makes
// when reports are shown. The window grows by the system's caption height (23 pixels on the
// engine's reference desktop) plus 5 for it.
constexpr int STATUS_BAR_HEIGHT = 23 + 5;
// Whether the main window has the status bar; its one line of text (nothing without the bar).
bool status_bar_present();
void status_bar_text_set(const char* text);

// 0 added; 1 when it is already in the table or the table is full.
int wndproc_handler_add(message_handler handler);
// 0 removed (later handlers move up); 1 when not present.
int wndproc_handler_remove(message_handler handler);
// Sets what the window procedure returns for a claimed message; returns the value.
intptr_t wndproc_set_result(intptr_t value);

// The procedure of the main window's class: every handler sees every message.
intptr_t main_window_class_proc(window_handle window, uint32_t message, uintptr_t wparam, intptr_t lparam);

// Handles every pending message; returns how many. WM_QUIT ends the process with its wparam as the
// exit code (exit handlers run). Registered messages (0xC000 and up) are counted, not dispatched.
// While a menu of the bar is open it returns only once the menu has closed.
int drain_window_messages();

// Hook A: before the warning, notice and question boxes (and the screen-option dialog).
void box_hook_set(window_hook hook);
void call_box_hook();
// Hook B: before the error boxes and modal dialogs (start-up makes it leave full screen).
void window_hook_set(window_hook hook);
void call_window_hook();
// Hook C: when an error box ends the program.
void exit_hook_set(window_hook hook);
void call_exit_hook();

// Empties the table, forgets the window and the hooks (tests; the program keeps them all run).
void window_core_reset();
