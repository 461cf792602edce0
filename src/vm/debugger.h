// The link to an external script debugger.
//
// STAND-IN: only what the line instruction and start-up call. The debugger module replaces this
// file. Until then no debugger is ever connected.
#pragma once

#include "platform/window.h"

// The debugger's window, or null when none is connected.
window_handle debugger_window();
// Stops at breakpoints and step targets; called by every line mark while a debugger is connected.
void debugger_line_hook(int line);
// Connects to the debugger that the command line names ("/DEBUG:" and its window number).
void debugger_connect(const char* command_line);
