// The main window's commands and keys: the shell's entry in the main window's handler table.
//
// STAND-IN: the handler claims nothing (it only notes the compiler's messages), so the close box
// closes the window through the default procedure. The main-window module replaces this file.
#pragma once

#include "platform/window.h"

intptr_t main_window_handler(window_handle window, uint32_t message, uintptr_t wparam, intptr_t lparam);
