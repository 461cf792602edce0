#include "graphics/presentation.h"

#include <algorithm>
#include <cstring>

#include "base/int32.h"
#include "graphics/page_grid.h"
#include "graphics/scaler.h"
#include "platform/platform.h"
#include "shell/window_core.h"

namespace {

// Brushes of the paint: no page, the bands beside an offset picture, under an unoffset one.
constexpr uint32_t PAINT_WHITE = 0xFFFFFF, PAINT_BLACK = 0x000000, PAINT_LIGHT_GREY = 0xC0C0C0;
// The far edge of the bands: "to the window's end".
constexpr int PAINT_FAR = 9999;

// Module state.
struct presentation_state {
  page* front = nullptr;
  bool handler_registered = false;
  int32_t shown_width = 800, shown_height = 600;      // W, H: the page area shown
  int32_t content_width = 800, content_height = 600;  // CW, CH: W and H after zoom
  int32_t blit_width = 800, blit_height = 600;
  int32_t zoomed_blit_width = 800, zoomed_blit_height = 600;
  int32_t zoom_x = 1000, zoom_y = 1000;              // the script's
  int32_t zoom_width = 800, zoom_height = 600;        // the view size that zoom was set for
  // Full screen: the game screen (0 wide in the window) scaled by the screen zoom under the
  // script's view; the picture goes through the two zooms at once.
  int32_t screen_width = 0, screen_height = 0;
  int32_t screen_zoom_x = 1000, screen_zoom_y = 1000;
  int32_t shown_zoom_x = 1000, shown_zoom_y = 1000;  // the script's zoom times the screen's
  int32_t origin_x = 0, origin_y = 0;  // window position of page pixel (0, 0) before zoom
  int32_t zoomed_origin_x = 0, zoomed_origin_y = 0;
  int32_t scroll_x = 0, scroll_y = 0;
  int32_t centre_x = 0, centre_y = 0;
  bool offsets_active = false;
  int32_t top_inset = 0;
  page* intermediate = nullptr;
  uint8_t window_grid[3][4] = {};  // cells of the shown area the scaler must update
};
presentation_state view;

// v * zoom / 1000, truncated toward zero, kept in 32 bits.
int32_t zoomed(int64_t v, int32_t zoom) { return static_cast<int32_t>(v * zoom / 1000); }
// A zoom of a zoom, held to 32 bits.
int32_t zoom_of_zoom(int32_t zoom, int32_t screen_zoom) {
  return static_cast<int32_t>(std::clamp<int64_t>(int64_t{zoom} * screen_zoom / 1000, INT32_MIN, INT32_MAX));
}
// The script's offsets are game-screen pixels: full screen scales them with the screen.
int32_t shown_scroll_x() { return zoomed(view.scroll_x, view.screen_zoom_x); }
int32_t shown_scroll_y() { return zoomed(view.scroll_y, view.screen_zoom_y); }

plat_rect corners(int64_t left, int64_t top, int64_t right, int64_t bottom) {
  return plat_rect{static_cast<int>(left), static_cast<int>(top), static_cast<int>(right - left),
                   static_cast<int>(bottom - top)};
}

void invalidate_all() {
  if (window_handle w = main_window_get()) plat().window_invalidate(w, nullptr);
}

void offsets_renew() {
  view.offsets_active =
      int64_t{shown_scroll_x()} + view.centre_x != 0 || int64_t{shown_scroll_y()} + view.centre_y != 0;
}

// The picture moved in the window: all of it is shown again.
void offsets_changed() {
  offsets_renew();
  window_dirty_mark(nullptr);
  invalidate_all();
}

// One axis of the conversions: window = page x zoom / 1000 + zoomed origin - centring - scroll.
int to_window(int v, int32_t zoom, int32_t zoomed_origin, int32_t centre, int32_t scroll) {
  return static_cast<int>(static_cast<int64_t>(zoomed(v, zoom)) + zoomed_origin - centre - scroll);
}
// The way back; a zoom of 0 shows nothing, and every window point then lies at page 0.
int to_page(int v, int32_t zoom, int32_t zoomed_origin, int32_t centre, int32_t scroll) {
  if (zoom == 0) return 0;
  return static_cast<int>((static_cast<int64_t>(centre) + scroll + v - zoomed_origin) * 1000 / zoom);
}

void intermediate_free() {
  page* p = view.intermediate;
  view.intermediate = nullptr;
  if (p) page_free(p, 1);
}

void fill(window_handle w, int64_t left, int64_t top, int64_t right, int64_t bottom, uint32_t colour) {
  if (right > left && bottom > top) plat().window_paint_fill(w, corners(left, top, right, bottom), colour);
}

// The scaler brings the flagged cells of the window grid into the intermediate page, cell by cell
// in row order; the 2-pixel margin round each cell hides the seams. Cells are never merged into
// one rectangle: at a zoom that is not a whole number a call's samples depend on its rectangle, so
// a merged call would shift the picture of cells that did not change. The cells go as one series,
// which waits for the band workers once instead of once a cell.
void scale_flagged_cells(page* mid) {
  int64_t cw = view.shown_width / 4, ch = view.shown_height / 3;
  hq_copy cells[12];
  int count = 0;
  for (int i = 0; i < 3; i++)
    for (int j = 0; j < 4; j++) {
      if (!view.window_grid[i][j]) continue;
      view.window_grid[i][j] = 0;
      int64_t x = j * cw - 2, y = i * ch - 2, w = cw + 4, h = ch + 4;
      cells[count++] = hq_copy{
          page_rect{static_cast<int32_t>(x), static_cast<int32_t>(y), static_cast<int32_t>(w), static_cast<int32_t>(h)},
          page_rect{zoomed(x, view.shown_zoom_x), zoomed(y, view.shown_zoom_y), zoomed(w, view.shown_zoom_x),
                    zoomed(h, view.shown_zoom_y)}};
    }
  hq_modify_copy_series(view.front, mid, cells, count, view.shown_zoom_x * 0.001, view.shown_zoom_y * 0.001, 0);
}

// Full screen: the picture (its blit at px, py of bw x bh) is cut to the game screen's place, and
// the rest of the screen is black, so no part of an earlier frame or of the page beyond the game
// screen stays beside it.
void paint_screen(window_handle w, const page* shown, int64_t px, int64_t py, int32_t bw, int32_t bh) {
  int64_t screen_left = -int64_t{view.centre_x}, screen_top = -int64_t{view.centre_y} - view.top_inset;
  int64_t left = std::max(px, screen_left), top = std::max(py, screen_top);
  int64_t right =
      std::min(px + std::min(bw, shown->width), screen_left + zoomed(view.screen_width, view.screen_zoom_x));
  int64_t bottom =
      std::min(py + std::min(bh, shown->height), screen_top + zoomed(view.screen_height, view.screen_zoom_y));
  if (right <= left || bottom <= top) {
    fill(w, 0, 0, PAINT_FAR, PAINT_FAR, PAINT_BLACK);
    return;
  }
  fill(w, 0, 0, PAINT_FAR, top, PAINT_BLACK);
  fill(w, 0, bottom, PAINT_FAR, PAINT_FAR, PAINT_BLACK);
  fill(w, 0, top, left, bottom, PAINT_BLACK);
  fill(w, right, top, PAINT_FAR, bottom, PAINT_BLACK);
  pixel_source source{shown->bits, shown->width, shown->height, shown->stride,
                      shown->palette ? reinterpret_cast<const uint8_t*>(shown->palette) : nullptr};
  plat_rect part{static_cast<int>(left - px), static_cast<int>(top - py), static_cast<int>(right - left),
                 static_cast<int>(bottom - top)};
  plat().window_paint_pixels(w, static_cast<int>(left), static_cast<int>(top), source, part, 1000, 1000);
}

void paint(window_handle w) {
  if (!view.front) {
    fill(w, 0, 0, PAINT_FAR, PAINT_FAR, PAINT_WHITE);
    return;
  }
  page* shown = view.front;
  int64_t ox = view.origin_x, oy = view.origin_y;
  int32_t bw = view.blit_width, bh = view.blit_height;
  if (page* mid = view.intermediate) {
    scale_flagged_cells(mid);
    shown = mid;
    ox = view.zoomed_origin_x, oy = view.zoomed_origin_y;
    bw = view.zoomed_blit_width, bh = view.zoomed_blit_height;
  }
  int64_t cw = view.content_width, ch = view.content_height, inset = view.top_inset;
  int64_t px, py;
  if (view.screen_width > 0) {
    paint_screen(w, shown, ox - shown_scroll_x() - view.centre_x, oy - inset - shown_scroll_y() - view.centre_y, bw,
                 bh);
    return;
  }
  if (view.offsets_active) {
    int64_t bx = -(static_cast<int64_t>(shown_scroll_x()) + view.centre_x);
    int64_t by = static_cast<int64_t>(shown_scroll_y()) + view.centre_y;
    fill(w, 0, 0, bx, PAINT_FAR, PAINT_BLACK);
    fill(w, bx + cw, 0, PAINT_FAR, PAINT_FAR, PAINT_BLACK);
    fill(w, bx, 0, bx + cw, -inset - by, PAINT_BLACK);
    fill(w, bx, ch - inset - by, bx + cw, PAINT_FAR, PAINT_BLACK);
    px = bx + ox, py = oy - inset - by;
  } else {
    fill(w, 0, ch - inset, cw, PAINT_FAR, PAINT_LIGHT_GREY);
    px = ox, py = oy - inset;
  }
  pixel_source source{shown->bits, shown->width, shown->height, shown->stride,
                      shown->palette ? reinterpret_cast<const uint8_t*>(shown->palette) : nullptr};
  plat().window_paint_pixels(w, static_cast<int>(px), static_cast<int>(py), source, plat_rect{0, 0, bw, bh}, 1000,
                             1000);
}

}  // namespace

void front_page_set(page* p) {
  if (!view.handler_registered) {
    wndproc_handler_add(presentation_paint_handler);
    view.handler_registered = true;
    view.shown_width = 99999999;
  }
  page* had = view.front;
  view.front = p;
  if (!p) {
    intermediate_free();
    return;
  }
  // Drawing on the shown page must reach the window whatever made the page.
  page_grid_front_ensure();
  if (had && p->width == view.shown_width && p->height == view.shown_height) return;
  view.shown_width = view.content_width = view.blit_width = p->width;
  view.shown_height = view.content_height = view.blit_height = p->height;
  view.origin_x = view.origin_y = 0;
  view.scroll_x = view.scroll_y = 0;
  offsets_renew();
  window_dirty_mark(nullptr);
  invalidate_all();
  view_zoom_set(view.shown_width, view.shown_height, 1000, 1000);
}

page* front_page_get() { return view.front; }

void front_page_clear() {
  if (page* p = view.front) memset(p->bits, 0, static_cast<size_t>(p->stride) * p->height);
}

void view_zoom_set(int width, int height, int zoom_x, int zoom_y) {
  intermediate_free();
  view.zoom_width = width;
  view.zoom_height = height;
  view.zoom_x = zoom_x;
  view.zoom_y = zoom_y;
  // The picture goes through the script's zoom times the full screen's, as one zoom.
  zoom_x = view.shown_zoom_x = zoom_of_zoom(zoom_x, view.screen_zoom_x);
  zoom_y = view.shown_zoom_y = zoom_of_zoom(zoom_y, view.screen_zoom_y);
  view.zoomed_origin_x = zoomed(view.origin_x, zoom_x);
  view.zoomed_origin_y = zoomed(view.origin_y, zoom_y);
  view.content_width = zoomed(width, zoom_x);
  view.content_height = zoomed(height, zoom_y);
  view.zoomed_blit_width = i32_sub(view.content_width, std::min(view.zoomed_origin_x, 0));
  view.zoomed_blit_height = i32_sub(view.content_height, std::min(view.zoomed_origin_y, 0));
  // A zoom that leaves nothing to show (0, or below) has nothing to scale into.
  if ((zoom_x != 1000 || zoom_x != zoom_y) && view.zoomed_blit_width > 0 && view.zoomed_blit_height > 0)
    view.intermediate = page_new_rgb24(view.zoomed_blit_width, view.zoomed_blit_height, 1);
  window_dirty_mark(nullptr);
}

void view_screen_scale_set(int width, int height, int zoom_x, int zoom_y) {
  if (width == view.screen_width && height == view.screen_height && zoom_x == view.screen_zoom_x &&
      zoom_y == view.screen_zoom_y)
    return;
  view.screen_width = width;
  view.screen_height = height;
  view.screen_zoom_x = zoom_x;
  view.screen_zoom_y = zoom_y;
  if (view.front) view_zoom_set(view.zoom_width, view.zoom_height, view.zoom_x, view.zoom_y);
  offsets_changed();
}

void view_geometry_set(int x, int y, int width, int height, int zoom_x, int zoom_y) {
  if (!view.front) return;
  // A script's view may lie anywhere in the int range: sums wrap as they always did.
  view.origin_x = i32_neg(x);
  view.origin_y = i32_neg(y);
  view.shown_width = view.content_width = view.blit_width = x >= 0 ? i32_add(width, x) : width;
  view.shown_height = view.content_height = view.blit_height = y >= 0 ? i32_add(height, y) : height;
  if (zoom_x == -1)
    view_zoom_set(width, height, view.zoom_x, view.zoom_y);
  else
    view_zoom_set(width, height, zoom_x, zoom_y);
}

void view_offset_set(int x, int y) {
  view.scroll_x = x;
  view.scroll_y = y;
  offsets_changed();
}

void view_center_offset_set(int x, int y) {
  view.centre_x = x;
  view.centre_y = y;
  offsets_changed();
}

int view_offset_x_get() { return view.scroll_x; }
int view_offset_y_get() { return view.scroll_y; }
void view_top_inset_set(int inset) { view.top_inset = inset; }

int page_to_window_x(int x) {
  return to_window(x, view.shown_zoom_x, view.zoomed_origin_x, view.centre_x, shown_scroll_x());
}
int page_to_window_y(int y) {
  return to_window(y, view.shown_zoom_y, view.zoomed_origin_y, view.centre_y, shown_scroll_y());
}
int window_to_page_x(int x) {
  return to_page(x, view.shown_zoom_x, view.zoomed_origin_x, view.centre_x, shown_scroll_x());
}
int window_to_page_y(int y) {
  return to_page(y, view.shown_zoom_y, view.zoomed_origin_y, view.centre_y, shown_scroll_y());
}

int window_point_in_page(int x, int y) {
  int64_t px = static_cast<int64_t>(x) + shown_scroll_x() + view.centre_x;
  int64_t py = static_cast<int64_t>(y) + shown_scroll_y() + view.centre_y;
  return px >= 0 && px <= view.content_width && py >= 0 && py <= view.content_height ? 1 : 0;
}

void view_visible_rect(page_rect* r) {
  r->x = view.origin_x < 0 ? -view.origin_x : 0;
  r->width = view.shown_width - r->x;
  r->y = view.origin_y < 0 ? -view.origin_y : 0;
  r->height = view.shown_height - r->y;
}

void window_dirty_mark(const page_rect* r) {
  if (!view.front) return;
  int64_t x = r ? r->x : 0, y = r ? r->y : 0;
  int64_t w = r ? r->width : view.shown_width, h = r ? r->height : view.shown_height;
  int64_t left, top, right, bottom;
  if (view.intermediate) {
    int64_t cw = view.shown_width / 4, ch = view.shown_height / 3;
    for (int i = 0; i < 3; i++)
      for (int j = 0; j < 4; j++)
        if (x < (j + 1) * cw && x + w >= j * cw && y < (i + 1) * ch && i * ch <= y + h) view.window_grid[i][j] = 1;
    left = x * view.shown_zoom_x / 1000 - 1 + view.zoomed_origin_x;
    top = y * view.shown_zoom_y / 1000 - 1 + view.zoomed_origin_y;
    right = left + w * view.shown_zoom_x / 1000 + 2;
    bottom = top + h * view.shown_zoom_y / 1000 + 2;
  } else {
    left = x + view.origin_x;
    top = y + view.origin_y;
    right = left + w;
    bottom = top + h;
  }
  top -= view.top_inset;
  if (view.offsets_active) {
    int64_t dx = static_cast<int64_t>(shown_scroll_x()) + view.centre_x;
    int64_t dy = static_cast<int64_t>(shown_scroll_y()) + view.centre_y;
    left -= dx, right -= dx, top -= dy, bottom -= dy;
  }
  if (window_handle win = main_window_get()) {
    plat_rect rect = corners(left, top, right, bottom);
    plat().window_invalidate(win, &rect);
  }
}

intptr_t presentation_paint_handler(window_handle window, uint32_t message, uintptr_t, intptr_t) {
  // The host answers as the newer system: focus repaints, and nothing else but WM_PAINT is handled.
  if (message == WM_SETFOCUS) plat().window_invalidate(window, nullptr);
  else if (message == WM_PAINT) paint(window);
  return 0;
}

page* presentation_intermediate_page() { return view.intermediate; }

void presentation_page_freed(const page* p) {
  if (view.front == p) view.front = nullptr;
  if (view.intermediate == p) view.intermediate = nullptr;
}

void presentation_reset() {
  if (view.handler_registered) wndproc_handler_remove(presentation_paint_handler);
  intermediate_free();
  view = presentation_state{};
}
