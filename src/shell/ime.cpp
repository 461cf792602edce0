#include "shell/ime.h"

#include <algorithm>
#include <cstdio>

#include "platform/messages.h"
#include "platform/platform.h"
#include "shell/window_core.h"

namespace {
struct ime_state {
  int disabled = 0;
};
ime_state ime;
}  // namespace

intptr_t ime_notify_filter(window_handle, uint32_t message, uintptr_t wparam, intptr_t) {
  return message == WM_IME_NOTIFY && (wparam == 1 || wparam == 2) ? 1 : 0;
}

void ime_disable() {
  ime.disabled = 1;
  wndproc_handler_add(ime_notify_filter);  // a second add is refused
}

void ime_enable() {
  wndproc_handler_remove(ime_notify_filter);
  ime.disabled = 0;
}

int ime_disabled() { return ime.disabled; }

int wallpaper_apply(const char* path, int style) {
  fprintf(stderr, "vaskrun: the desktop wallpaper is not changed on this system (%s, style %d)\n", path ? path : "",
          style);
  return WALLPAPER_SYSTEM_REFUSED;
}

void center_position(int ref_x, int ref_y, int ref_w, int ref_h, int w, int h, int screen_w, int screen_h, int* x,
                     int* y) {
  *x = ref_x + (ref_w - w) / 2;
  *y = ref_y + (ref_h - h) / 2;
  *x = std::max(0, std::min(*x, screen_w - w));
  *y = std::max(0, std::min(*y, screen_h - h));
}

static void window_size(window_handle w, int* width, int* height) {
  *width = *height = 0;
  plat().window_client_size(w, *width, *height);
}

void center_window(window_handle window, window_handle reference) {
  if (!window) return;
  int sw = 0, sh = 0, w, h, rx = 0, ry = 0, rw, rh, x, y;
  plat().primary_screen_size(sw, sh);
  window_size(window, &w, &h);
  if (reference) {
    plat().window_position(reference, rx, ry);
    window_size(reference, &rw, &rh);
  } else {
    rw = sw, rh = sh;
  }
  center_position(rx, ry, rw, rh, w, h, sw, sh, &x, &y);
  plat().window_move(window, x, y);
}

void center_window_on_screen(window_handle window) {
  if (!window) return;
  int sw = 0, sh = 0, w, h;
  plat().primary_screen_size(sw, sh);
  window_size(window, &w, &h);
  plat().window_move(window, (sw - w) / 2, (sh - h) / 2);
}
