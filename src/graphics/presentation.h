// Presentation of the front page in the main window.
//
// The front page is an ordinary page; this module keeps which page it is and how it lies in the
// client area: the view's origin, the zoom in per mille, the scroll offsets (scripts), the
// centring offsets (full screen), the full-screen scale under the script's zoom and the top inset
// of the full-screen menu bar. Dirty page rectangles become window invalidations, and WM_PAINT
// copies the page to the window 1:1. A zoomed view goes through a 24-bit intermediate page that
// the high-quality scaler updates, cell by cell of a 4 x 3 grid, for the cells that changed; the
// script's zoom and the full-screen scale go through it as one zoom. Window thread only.
#pragma once

#include <cstdint>

#include "graphics/page.h"
#include "platform/window.h"

// Shows the page (null: none). The first call adds the paint handler to the main window's table.
// A page of the size already shown keeps zoom, origin and offsets; another size resets them.
void front_page_set(page* p);
page* front_page_get();
// Fills the front page's pixel bytes with 0.
void front_page_clear();

// The zoom of a view of width x height page pixels (per mille each way); a zoom other than
// 1000/1000 gets the intermediate page.
void view_zoom_set(int width, int height, int zoom_x, int zoom_y);
// The part of the page from (x, y) of width x height is shown from the window's corner, zoomed
// (zoom_x -1 keeps the zoom). Nothing without a front page.
void view_geometry_set(int x, int y, int width, int height, int zoom_x, int zoom_y);
// Full screen: the game screen of width x height (0: the window has no other) is shown scaled by
// zoom_x and zoom_y per mille under the script's view and zoom, which it composes with rather than
// replaces, and lies at the centring offsets; nothing of the picture is shown outside it.
void view_screen_scale_set(int width, int height, int zoom_x, int zoom_y);
// The scroll pair (scripts; game-screen pixels, scaled with the screen) and the centring pair
// (full screen; window pixels); both repaint the window.
void view_offset_set(int x, int y);
void view_center_offset_set(int x, int y);
int view_offset_x_get();
int view_offset_y_get();
// Height of the full-screen menu bar while it is shown over the picture (0: none).
void view_top_inset_set(int inset);

// Page and window coordinates (divisions truncate toward zero).
int page_to_window_x(int x);
int page_to_window_y(int y);
int window_to_page_x(int x);
int window_to_page_y(int y);
// 1 when the window point falls on the shown picture, its right and bottom edges included.
int window_point_in_page(int x, int y);
// The part of the front page that the window shows (screen captures).
void view_visible_rect(page_rect* r);

// A rectangle of the front page changed (null: all of it): the window part over it is invalidated,
// and for a zoomed view the scaler's cells under it are flagged.
void window_dirty_mark(const page_rect* r);

// The main window's handler: WM_SETFOCUS repaints everything, WM_PAINT paints. Claims nothing.
intptr_t presentation_paint_handler(window_handle window, uint32_t message, uintptr_t wparam, intptr_t lparam);

// The intermediate page of a zoomed view, or null.
page* presentation_intermediate_page();
// A page is being freed: forget it if it is shown or is the intermediate page (no page is freed).
void presentation_page_freed(const page* p);
// Forgets the module state (tests): no front page, no handler, the first geometry.
void presentation_reset();
