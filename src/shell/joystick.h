// Joystick: game pads turned into key presses.
//
// STAND-IN: only the poll of the interpreter pass. The joystick module replaces this file. Until
// then no pad is ever read.
#pragma once

// Once per interpreter pass.
void joy_poll();
