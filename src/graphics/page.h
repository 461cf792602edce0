// Pages: the engine's only off-screen bitmaps.
//
// Every decoded image, work surface, mask and the front page is a page: top-down rows of 8-bit
// palette indices or 24-bit blue-green-red pixels, each row padded to a multiple of 4 bytes. The
// pixel memory is our own, zero-filled; the kernels write it and the presenter reads it directly.
// All pages are in one list, newest first. Scripts hold a page as its id (graphics/gfx_id.h) and
// every script-supplied value is checked with page_missing before use. Window thread only; the
// scaler's band workers touch pixel memory of pages the window thread holds, never the list.
#pragma once

#include <cstddef>
#include <cstdint>

struct rgb_quad {
  uint8_t blue, green, red, reserved;
};

struct page {
  int32_t width;       // pixels per row
  int32_t height;      // rows (the absolute value of the height asked for)
  int32_t stride;      // bytes per row, a multiple of 4
  int32_t persistent;  // survives page_free_nonpersistent and refuses an unforced page_free
  int32_t is_8bit;     // 1: indices into the palette; 0: blue, green, red
  int32_t owns_alpha;  // the alpha page was made with this page and is released with it
  int32_t drawmode;    // as a sprite's source: 0 normal, 1 additive, 3 multiply
  page* alpha;         // an 8-bit page of the same size holding transparency (0 opaque), or null;
                       // set only through page_alpha_set
  rgb_quad* palette;   // 256 entries for 8-bit pages, null for 24-bit pages
  uint8_t* bits;       // row y starts at bits + y * stride
  uint32_t id;         // the id scripts hold
  page* prev;
  page* next;
  // The pages whose alpha page this is, so that freeing it detaches them without a walk over
  // every page; a page is in the list of its alpha page.
  page* alpha_users;
  page* alpha_user_prev;
  page* alpha_user_next;
};

// A rectangle of a page; every kernel names its area with one.
struct page_rect {
  int32_t x, y, width, height;
};

// Drawmodes.
enum { PAGE_DRAW_NORMAL = 0, PAGE_DRAW_ADD = 1, PAGE_DRAW_MULTIPLY = 3 };

// The largest page: 16384 pixels on a side and 256 MiB of pixels, twice a side and more than the
// memory of any picture or work surface a game uses (its screen is at most WINDOW_SIDE_MAX on a
// side), so that an image header or a script asking for more is refused at once, before any
// memory is touched or any pixel decoded.
constexpr int32_t PAGE_MAX_SIDE = 16384;
constexpr size_t PAGE_MAX_BYTES = size_t(256) << 20;

// Creation. A page whose memory cannot be had (a width below 1, a height of 0, a side over
// PAGE_MAX_SIDE, more than PAGE_MAX_BYTES, or the system refusing) is reported and gives null;
// callers that need a page fall back to a 1 x 1 one. Pixels start at 0; the 8-bit palette of
// page_new is all black. The raw forms leave the pixels unwritten (row padding and the tail are
// still 0): only a caller that writes every pixel, or frees the page on failure, may use them.
page* page_new(int width, int height, int is_8bit, int persistent);
page* page_new_rgb24(int width, int height, int persistent);
page* page_new_rgb24_raw(int width, int height, int persistent);
// 8-bit with the grey ramp palette (entry i = i, i, i).
page* page_new_gray8(int width, int height, int persistent);
page* page_new_gray8_raw(int width, int height, int persistent);

// Gives p the alpha page (null: none). Ownership (owns_alpha) is the caller's to set.
void page_alpha_set(page* p, page* alpha);

// 0 freed (or p null), 1 refused (persistent and not forced). The page's own alpha page is not
// touched; pages that used this page as their alpha page lose it. The cost is the page's own users
// (pages using it as alpha page, sprites reading it or drawing on it), not the number of pages or
// sprites.
int page_free(page* p, int force);
void page_free_nonpersistent();
void page_mark_all_persistent();
// Tells the presenter that no page is shown, then frees every page. Also the module's reset.
void page_free_all_at_exit();
// Registers page_free_all_at_exit to run at process exit (once).
void page_cleanup_register();

// 1 when the value is not the id of a live page, 0 when it is.
int page_missing(uint32_t id);
// The page with that id, or null.
page* page_from_id(uint32_t id);
int page_count();
// Newest page first (for walks by other modules).
page* page_list_head();
// The pages and sprites that page_free has looked at so far (tests hold its cost to the page's
// own users).
uint64_t page_free_visits();

// Clips one rectangle to the page: 0 something left, 1 nothing left (the rectangle becomes 0s).
int page_clip_rect(const page* p, page_rect* r);
// Clips two rectangles of rect a's size against their pages together; b takes a's final size.
// 0 something left, 1 nothing left (both become 0s).
int clip_rect_pair(const page* pa, page_rect* a, const page* pb, page_rect* b);

inline uint8_t* page_row(const page* p, int y) { return p->bits + static_cast<ptrdiff_t>(y) * p->stride; }
inline int page_bytes_per_pixel(const page* p) { return p->is_8bit ? 1 : 3; }
// True when the rectangle lies inside the page (kernels that do not clip assert this).
bool page_rect_inside(const page* p, const page_rect& r);
// True when the page has an alpha page that the kernels can use (8-bit, at least its size).
bool page_alpha_usable(const page* p);
