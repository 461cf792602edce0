// Joystick: game pads turned into key presses.
//
// STAND-IN: the joystick module replaces this file. Until then no pad is ever selected or read.
#pragma once

// Once per interpreter pass.
void joy_poll();
// Selects the pads to poll: 0 pad 0, 1 pad 1, 2 both pads, any other value none.
void joy_select_device(int choice);
