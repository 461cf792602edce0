// Input: keys, virtual buttons and mouse.
//
// STAND-IN: only the calls that the timing reset and the dispatcher need; no key or button is
// ever pressed. The input module replaces this file.
#pragma once

#include <cstdint>

// Clears the input block.
void input_unblock();
// The press time of a button when it was pressed less than 60 ms ago, else 0; the press is taken.
int32_t input_take_press(int index);
// 1 while the button is held (or was pressed less than 15 ms ago).
int input_is_pressed(int index);
// A tap of the middle button (136), as from a menu item.
void input_press_middle();
// 1 while the key is down in the window thread's key state.
int input_key_held(int key);
