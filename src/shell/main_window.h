// The main window's commands and keys: the shell's entry in the main window's handler table. The
// close box, the function keys, the menu commands, dropped files and a few messages from other
// programs become actions here; most only queue a menu request for the scripts.
#pragma once

#include <cstdint>

#include "platform/window.h"

// Messages from outside: the compiler finished (0x9002) or ended (0x9003), and the debugger's
// order to end the program without asking (0xA00B). The compile-state flags are the development
// tools' (shell/devtools.h).
enum : uint32_t { WM_COMPILE_FINISHED = 0x9002, WM_COMPILE_ENDED = 0x9003, WM_DEBUGGER_QUIT = 0xA00B };

intptr_t main_window_handler(window_handle window, uint32_t message, uintptr_t wparam, intptr_t lparam);

// Forgets the close guard, the compile flags and the cached environment keys (tests).
void main_window_reset();
