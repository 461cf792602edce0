// The main window's core: the message drain that every long loop calls, and the window title that
// captions every box.
//
// Until the window exists this module is a stand-in: the drain handles nothing and the title is
// only remembered. The window core replaces both with the real handler table and message pump.
#pragma once

// Handles the pending window messages; returns how many it handled.
int drain_window_messages();

// The main window's title (engine text), the caption of every box.
const char* main_window_title();
// Sets the main window's title (engine text).
void main_window_title_set(const char* title);
