// The desktop backend's entry: free of GTK headers, so that the program can include it.
#pragma once

#include "platform/platform.h"

// Opens the display and returns the desktop backend (it lives for the whole process), or nullptr
// when there is no display to open.
platform_backend* gtk_backend_open();
