// Input: keys, virtual buttons and mouse.
//
// Window messages become one table of 256 press flags and press times (script clock) indexed by
// key code, into which the keyboard keys, the mouse buttons, the wheel and the virtual buttons
// (decide, cancel, middle, directions) are all folded through the key map. Scripts see a
// snapshot of that table, taken once per interpreter pass. Window thread only.
#pragma once

#include <cstdint>

#include "platform/window.h"

// Indices of the press tables that no ordinary keyboard key produces (33 and 34 share the codes of
// Page Up and Page Down and carry only a time).
enum : int {
  BUTTON_WHEEL_FORWARD = 33,
  BUTTON_WHEEL_BACKWARD = 34,
  BUTTON_TAB = 128,        // Tab without Shift
  BUTTON_SHIFT_TAB = 129,  // Shift+Tab
  BUTTON_DECIDE = 130,     // left button, Enter, Space, X
  BUTTON_CANCEL = 131,     // right button, Esc, Z, End, Insert, Delete, numeric pad 0
  BUTTON_UP = 132,
  BUTTON_DOWN = 133,
  BUTTON_RIGHT = 134,  // Right arrow, numeric pad 4, Shift+Tab
  BUTTON_LEFT = 135,   // Left arrow, numeric pad 6, Tab
  BUTTON_MIDDLE = 136,  // middle button, Shift, Ctrl, CapsLock
  BUTTON_EXTRA = 147,   // Space under space_key_mode_set(1)
};

// Installs the message handler (once), clears the live and snapshot presses and the lock, and
// releases the joystick's keys (mapping mode 1). Start-up, vm_reset, after the file dialogs.
void input_init();
// Forgets everything, the key map's Space setting and the CapsLock toggle included (tests).
void input_reset();
// The main window's input handler; claims only Alt while input is locked.
intptr_t input_message_handler(window_handle window, uint32_t message, uintptr_t wparam, intptr_t lparam);

// Copies the live table to the snapshot that scripts see; once per pass. While input is blocked
// the snapshot is empty.
void input_snapshot();
// The snapshot press time of a button if it lies less than 60 ms back, else 0. The press is
// consumed either way.
int32_t input_take_press(int index);
// 1 while the button is held in the snapshot, or was pressed less than 15 ms ago.
int input_is_pressed(int index);
// 1 while the key is held in the live table (keys whose map records them).
int input_key_held(int key);
// The most recent key-down's code, then forgotten; and forgetting it.
int input_take_last_key();
void input_clear_last_key();
// The common press and release road (key -1: a mouse button, no key map; else the key's map word
// must hold mask).
void input_button_event(int key, int button, int mask, int down);
// A tap of the middle button (menu items, F6-F8).
void input_press_middle();

// After click_suppress_arm(mask) up to three presses of the buttons in mask (1 decide, 2 cancel,
// 4 middle) that follow each other within 350 ms are swallowed.
void click_suppress_arm(int mask);
int click_suppress_test(int mask);

// Mouse mode: 1 while the mouse drives the game, 0 after a key that switches to the keyboard.
int mouse_used_get();
void mouse_used_set(int value);
// The snapshot pointer in page coordinates.
int mouse_x();
int mouse_y();
// The logical pointer to page point (x, y); x = -10000 puts it back on the real pointer.
void mouse_set_logical_pos(int32_t x, int32_t y);
// The same, and the system cursor moves there (not for x = -10000).
void mouse_set_pos(int32_t x, int32_t y);
// 1 when the pointer is in the window and over the front page.
int mouse_in_client();

// The CapsLock of the skip keys is a toggle of our own: the host's CapsLock is not ours to force.
// Its snapshot when CAPSMODE is 0 (CapsLock is the skip key), else 0.
int capslock_skip_active();
// Its snapshot when CAPSMODE is 1 (CapsLock is the auto key), else 0.
int capslock_auto_active();
// Sets the toggle.
void capslock_force(int on);
// The map of Space: 0 decides, 1 presses the extra button (ERASEONSPACE); other values change nothing.
void space_key_mode_set(int mode);
// 1 while scripts block input and no menu request is being served.
int input_blocked();
// Clears the block (the interpreter's timing reset).
void input_unblock();

// Built-ins.
int builtin_input_block(int32_t n, int32_t drop);
int builtin_input_unblock(int32_t n, int32_t drop);
int builtin_joystick_use_set(int32_t n, int32_t drop);
int builtin_joystick_use_get(int32_t n, int32_t drop);
int builtin_joystick_mode_set(int32_t n, int32_t drop);
int builtin_input_lock(int32_t n, int32_t drop);
int builtin_input_unlock(int32_t n, int32_t drop);
int builtin_key_async_state(int32_t n, int32_t drop);
int builtin_input_event_count(int32_t n, int32_t drop);
int builtin_capslock_state(int32_t n, int32_t drop);
int builtin_capslock_set(int32_t n, int32_t drop);
int builtin_input_pending_get(int32_t n, int32_t drop);
