// STAND-IN: see main_window.h.
#include "shell/main_window.h"

intptr_t main_window_handler(window_handle, uint32_t, uintptr_t, intptr_t) { return 0; }
