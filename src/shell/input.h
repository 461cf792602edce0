// Input: keys, virtual buttons and mouse.
//
// STAND-IN: the timing reset's call, the press tables that the interpreter pass and the dispatcher
// read, and the two switches of start-up, without the key map, the block, click suppression or the
// mouse. The input module replaces this file.
#pragma once

#include <cstdint>

// Clears the live and snapshot press tables.
void input_init();
// Clears the input block.
void input_unblock();

// Copies the live press flags and times to the snapshot that scripts see; once per pass.
void input_snapshot();
// The snapshot press time of a button if it lies less than 60 ms from now, else 0; the live time
// is consumed either way.
int32_t input_take_press(int index);
// 1 while the button is held in the snapshot, or was pressed less than 15 ms ago.
int input_is_pressed(int index);
// Click suppression (complete; the button events of this stand-in do not consult it yet). Arming
// with a button mask (1 decide, 2 cancel, 4 middle) swallows up to three further presses of those
// buttons, each less than 350 ms after the press before it.
void click_suppress_arm(int mask);
// 1 when a press of the mask's button is to be swallowed; every call notes the press time.
int click_suppress_test(int mask);
// A tap of the middle button (136), as from a menu item.
void input_press_middle();
// 1 while the key is down in the window thread's key state.
int input_key_held(int key);
// The common press and release road of keys and buttons (key -1: a mouse button, no key map).
void input_button_event(int key, int button, int mask, int down);

// STAND-IN (skip module): the virtual CapsLock. The engine forces CapsLock off when the skip key
// is cancelled; the host's own CapsLock is not ours to force, so the engine keeps a toggle state
// of its own, which the snapshot copies like the press tables.
// The CapsLock snapshot when CAPSMODE is 0 (CapsLock is the skip key), else 0.
int capslock_skip_active();
// The CapsLock snapshot when CAPSMODE is 1 (CapsLock is the auto key), else 0.
int capslock_auto_active();
// Sets the virtual CapsLock toggle state.
void capslock_force(int on);
// The map of the Space key: 0 decides, 1 also erases the message window (ERASEONSPACE).
void space_key_mode_set(int mode);
