// Mouse, cursor and click areas.
//
// Click areas are rectangles a script thread registers, each with script functions for the
// pointer entering, leaving and choosing it; click_area_select, called once per frame by the
// script, moves the selection by pointer or arrow keys and calls at most one of those functions.
// The drag family tracks presses, clicks, double clicks and drags of the two buttons and calls
// the script's handlers from mouse_drag_poll. Script functions are entered from native code and
// run once the built-in has returned. Window thread only.
#pragma once

#include <cstdint>

#include "platform/window.h"

struct click_area {
  int32_t id;
  int32_t x, y, width, height;  // page coordinates
  uint32_t enter, leave, choose;  // script function hashes
  int32_t state;                  // 0 outside, 1 pointer inside, 2 chosen
  int32_t depth;                  // the thread's call depth when the area was added
  int32_t key;                    // 0: not reachable by the arrow keys
  int32_t key_selected;
  click_area* next;
};

// Frees a thread's chain of click areas.
void click_area_chain_free(click_area* head);

// The cursor: hidden over the window by cursor_hide until cursor_restore (the timing reset).
void cursor_hide();
void cursor_restore();
int cursor_is_shown();
// The pointer's position over the main window (client coordinates).
void cursor_pos_get(int* x, int* y);

// The drag tracker's message handler, in the main window's table between mouse_drag_begin and
// mouse_drag_end.
intptr_t mouse_drag_handler(window_handle window, uint32_t message, uintptr_t wparam, intptr_t lparam);
// Forgets the drag state and the cursor state (tests).
void mouse_reset();

int builtin_mouse_x_get(int32_t n, int32_t drop);
int builtin_mouse_y_get(int32_t n, int32_t drop);
int builtin_mouse_buttons_get(int32_t n, int32_t drop);
int builtin_click_area_clear(int32_t n, int32_t drop);
int builtin_click_area_add(int32_t n, int32_t drop);
int builtin_click_area_handlers_set(int32_t n, int32_t drop);
int builtin_click_area_select(int32_t n, int32_t drop);  // self-cleaning
int builtin_cursor_show(int32_t n, int32_t drop);
int builtin_mouse_drag_begin(int32_t n, int32_t drop);
int builtin_mouse_drag_end(int32_t n, int32_t drop);
int builtin_mouse_drag_poll(int32_t n, int32_t drop);  // self-cleaning
int builtin_mouse_drag_params(int32_t n, int32_t drop);
int builtin_mouse_drag_params2(int32_t n, int32_t drop);
int builtin_mouse_nop(int32_t n, int32_t drop);
