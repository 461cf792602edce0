// Joystick: game pads turned into key presses.
//
// One or two pads are polled once per interpreter pass; changes of their stick and buttons are
// posted to the main window as key-down and key-up messages, which then pass through the key map
// like real keys. Window thread only.
#pragma once

#include <cstdint>

#include "platform/window.h"

// Reads the pads and posts the keys of what changed; at most once every 10 ms.
void joy_poll();
// Milliseconds of the platform clock until joy_poll reads the pads again (0: now), or
// WAIT_NO_LIMIT while none is selected.
uint32_t joy_poll_due_in();
// Selects the pads to poll: 0 pad 0, 1 pad 1, 2 both pads, any other value none.
void joy_select_device(int choice);
// Sets the mapping mode (1 arrows, Esc and Enter; 2 letter keys, and the second pad on the numeric
// pad) and posts the key-ups of every key the pads can hold down.
void joy_reset_keys(int mode);
// The main window's handler while a pad is selected: no keys are posted while the window has no
// focus or a menu is open.
intptr_t joy_focus_handler(window_handle window, uint32_t message, uintptr_t wparam, intptr_t lparam);
// Takes the focus handler out of the table.
void joy_handler_remove();
// The pads polled: -1 none, 0 pad 0, 1 pad 1, -2 both.
int joy_device_get();
// Forgets the selection, the mode and the pads' last state (tests).
void joy_reset();
