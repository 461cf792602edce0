#include "graphics/screen_geometry.h"

#include <cmath>

#include "base/int32.h"
#include "graphics/presentation.h"
#include "platform/platform.h"
#include "shell/display_mode.h"
#include "shell/env_keys.h"
#include "shell/window_core.h"
#include "vm/dispatcher.h"
#include "vm/script_error.h"
#include "vm/variables.h"

namespace {
struct screen_geometry_state {
  int view_x = 0, view_y = 0, view_width = 0, view_height = 0;
  int offset_x = 0, offset_y = 0;  // window-zoom re-centring
};
screen_geometry_state geometry;
}  // namespace

void screen_reset_offset() { geometry.offset_x = geometry.offset_y = 0; }
void screen_geometry_reset() { geometry = screen_geometry_state{}; }
int screen_window_offset_x() { return geometry.offset_x; }
int screen_window_offset_y() { return geometry.offset_y; }

static int arg_or(int32_t n, int32_t k, int fallback) { return n >= k ? builtin_arg_int(k) : fallback; }

// The full screen's scale and centring lie under the script's offsets in the presentation, so only
// the window zoom's re-centring is added here.
int builtin_screen_set_offset(int32_t, int32_t) {
  bool window_zoom = ignore_screen_mode() != 0;
  int ox = window_zoom ? geometry.offset_x : 0;
  int oy = window_zoom ? geometry.offset_y : 0;
  view_offset_set(i32_add(builtin_arg_int(1), ox), i32_add(builtin_arg_int(2), oy));
  push_int(0);
  return 0;
}

int screen_zoom_per_mille(float factor) {
  double z = std::trunc(static_cast<double>(factor) * 1000.0);
  int zoom = std::isfinite(z) && std::fabs(z) < 1e9 ? static_cast<int>(z) : 1000;
  return zoom % 2 ? zoom - 1 : zoom;
}

// The old origin mixed per-mille and pixel units; here it is the page point that puts the page's
// centre in the window's centre: half of what the zoomed window cannot show.
int screen_zoom_origin(int size, int zoom) {
  if (zoom <= 0) return 0;
  return (size - static_cast<int>(static_cast<int64_t>(size) * 1000 / zoom)) / 2;
}

int builtin_screen_set_zoom(int32_t, int32_t) {
  int z = screen_zoom_per_mille(builtin_arg_float(1));
  int w = client_width(), h = client_height();
  view_geometry_set(screen_zoom_origin(w, z), screen_zoom_origin(h, z), w, h, z, z);
  push_int(0);
  return 0;
}

int builtin_screen_set_view(int32_t n, int32_t) {
  geometry.view_width = builtin_arg_int(1), geometry.view_height = builtin_arg_int(2);
  geometry.view_x = arg_or(n, 3, 0), geometry.view_y = arg_or(n, 4, 0);
  view_geometry_set(geometry.view_x, geometry.view_y, geometry.view_width, geometry.view_height, -1, -1);
  front_page_clear();
  push_int(0);
  return 0;
}

int screen_window_zoom_offset(int window_size, int view_size, int zoom) {
  int64_t shown = static_cast<int64_t>(zoom) * view_size / 1000;
  return static_cast<int>(-((window_size - shown) / 2));
}

int builtin_screen_set_window_zoom(int32_t n, int32_t) {
  int W = builtin_arg_int(1), H = builtin_arg_int(2), zx = arg_or(n, 3, 1000), zy = arg_or(n, 4, 1000);
  view_geometry_set(geometry.view_x, geometry.view_y, geometry.view_width, geometry.view_height, zx, zy);
  front_page_clear();
  geometry.offset_x = screen_window_zoom_offset(W, geometry.view_width, zx);
  geometry.offset_y = screen_window_zoom_offset(H, geometry.view_height, zy);
  view_offset_set(geometry.offset_x, geometry.offset_y);
  set_screen_size(W, H, error_report_mode_get() != 1 ? 1 : 0);
  // The window takes the new size at its old top-left corner, once before and once after the
  // work area has told the menu bar's height.
  if (window_handle main = main_window_get()) {
    int x = 0, y = 0;
    plat().window_position(main, x, y);
    plat().window_set_client_size(main, W, H);
    plat().window_move(main, x, y);
    work_area_fit();
    plat().window_move(main, x, y);
  }
  push_int(0);
  return 0;
}

int builtin_get_fullscreen_width(int32_t, int32_t) {
  push_int(fullscreen_width_pick(builtin_arg_int(1), builtin_arg_int(2)));
  return 0;
}
int builtin_get_fullscreen_height(int32_t, int32_t) {
  push_int(fullscreen_height_pick(builtin_arg_int(1), builtin_arg_int(2)));
  return 0;
}
