// STAND-IN: no debugger is connected before the debugger module exists.
#include "vm/debugger.h"

window_handle debugger_window() { return nullptr; }
void debugger_line_hook(int) {}
void debugger_connect(const char*) {}
