// The desktop backend's entry: free of GTK headers, so that the program can include it.
#pragma once

#include "platform/platform.h"

// Opens the display and returns the desktop backend (it lives for the whole process), or nullptr
// when there is no display to open.
platform_backend* gtk_backend_open();

// The backend vaskrun runs on: the desktop one when a display opens, unless the environment
// variable VASKRUN_HEADLESS is "1"; nullptr means staying headless.
platform_backend* desktop_backend_choose();
