// The input method, desktop wallpaper and window centring: three small services of the shell.
//
// This host gives the game area no input-method context, so the IME switch is bookkeeping: the
// filter that keeps the IME's open and close notifications from the default procedure is in the
// main window's handler table exactly while the IME is off. The desktop wallpaper is not ours to
// change here: wallpaper_apply answers as a system refusing the picture.
#pragma once

#include <cstdint>

#include "platform/window.h"

void ime_disable();
void ime_enable();
// 1 while the IME is off for the main window.
int ime_disabled();
// Claims WM_IME_NOTIFY with wparam 1 or 2; everything else passes.
intptr_t ime_notify_filter(window_handle window, uint32_t message, uintptr_t wparam, intptr_t lparam);

// Results of wallpaper_apply.
enum {
  WALLPAPER_DONE = 0,
  WALLPAPER_ACTIVE_DESKTOP_REFUSED = 1,
  WALLPAPER_ACTIVE_DESKTOP_FAILED = 2,
  WALLPAPER_NO_REGISTRY_KEY = 3,
  WALLPAPER_SYSTEM_REFUSED = 4,
};
// style: 0 centred, 1 tiled, 2 stretched.
int wallpaper_apply(const char* path, int style);

// The top-left corner that centres a w x h rectangle on the reference rectangle, clamped so that
// it stays on a screen of screen_w x screen_h (a larger one goes to 0).
void center_position(int ref_x, int ref_y, int ref_w, int ref_h, int w, int h, int screen_w, int screen_h, int* x,
                     int* y);
// Centres the window on the reference window (null: the screen), clamped to the screen.
void center_window(window_handle window, window_handle reference);
// Centres the window on the screen, not clamped.
void center_window_on_screen(window_handle window);
