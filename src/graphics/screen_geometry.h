// Screen geometry built-ins: scripts scroll, zoom and resize the view through which the front
// page is shown. They only compute geometry and hand it to the presentation (graphics/
// presentation.h) and the display-mode code (shell/display_mode.h).
//
// Plain built-ins of the dispatcher's calling convention (see graphics/page_builtins.h); each
// pushes one integer. Window thread only.
#pragma once

#include <cstdint>

int builtin_screen_set_offset(int32_t n, int32_t drop);       // x, y -> 0
int builtin_screen_set_zoom(int32_t n, int32_t drop);         // factor (real) -> 0
int builtin_screen_set_view(int32_t n, int32_t drop);         // width, height [, x = 0 [, y = 0]] -> 0
int builtin_screen_set_window_zoom(int32_t n, int32_t drop);  // window w, h [, zoom x = 1000 [, zoom y = 1000]] -> 0
int builtin_get_fullscreen_width(int32_t n, int32_t drop);    // game w, h -> full-screen width
int builtin_get_fullscreen_height(int32_t n, int32_t drop);   // game w, h -> full-screen height

// The zoom per mille of a factor: truncated, then made even.
int screen_zoom_per_mille(float factor);
// The origin (page pixels) that centres a view of size x size at zoom z per mille in a window of
// that size.
int screen_zoom_origin(int size, int zoom);
// The window-zoom re-centring offset of a view of view_size at zoom per mille in a window of
// window_size.
int screen_window_zoom_offset(int window_size, int view_size, int zoom);
int screen_window_offset_x();
int screen_window_offset_y();

// Sets both window-zoom re-centring offsets to 0 (the VM reset).
void screen_reset_offset();
// Forgets the module state (tests): also the stored view rectangle.
void screen_geometry_reset();
