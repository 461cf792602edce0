#include "shell/window_core.h"

#include "base/cp932.h"

// Stand-in until the main window exists: there is no window whose messages could be pending, and
// the title is only kept for the boxes' captions.
static char title[260] = "";

int drain_window_messages() { return 0; }

const char* main_window_title() { return title; }

void main_window_title_set(const char* text) { cp932_copy(title, sizeof title, text ? text : ""); }
