#include "shell/window_core.h"

// Stand-in until the main window exists: there is no window whose messages could be pending.
int drain_window_messages() { return 0; }

const char* main_window_title() { return ""; }
