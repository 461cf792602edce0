#include "graphics/page.h"

#include <cstdlib>
#include <cstring>

#include "base/memory.h"
#include "graphics/gfx_id.h"
#include "graphics/presentation.h"
#include "graphics/sprite.h"
#include "vm/script_error.h"

// Module state: the list of every page, newest first, and the records page_free has looked at.
static page* page_list = nullptr;
static uint64_t free_visits = 0;
static bool cleanup_registered = false;

// Pixel memory ends with this many spare bytes, so that a SIMD row loop may load a few bytes past
// the last pixel of the last row without leaving the block.
static constexpr size_t PAGE_TAIL_PAD = 32;

// Cleared pixels are zero; uncleared ones are left for the caller to write, all but the row
// padding and the tail, which are zero either way.
static page* page_create(int width, int height, int is_8bit, int persistent, bool clear) {
  // The height's sign only chose the row order of the old bitmap header; our rows are top-down.
  int64_t rows = height < 0 ? -static_cast<int64_t>(height) : height;
  int64_t stride = is_8bit ? (static_cast<int64_t>(width) + 3) / 4 * 4 : (3 * static_cast<int64_t>(width) + 3) / 4 * 4;
  uint8_t* bits = nullptr;
  if (width >= 1 && rows >= 1 && width <= PAGE_MAX_SIDE && rows <= PAGE_MAX_SIDE &&
      stride * rows <= static_cast<int64_t>(PAGE_MAX_BYTES))
    bits = static_cast<uint8_t*>(clear ? calloc(1, static_cast<size_t>(stride * rows) + PAGE_TAIL_PAD)
                                       : malloc(static_cast<size_t>(stride * rows) + PAGE_TAIL_PAD));
  if (!bits) {
    script_error("page_new : %d x %d のページを作成できません", width, height);
    return nullptr;
  }

  if (!clear) {
    int64_t used = is_8bit ? width : 3 * static_cast<int64_t>(width);
    if (used < stride)
      for (int64_t y = 0; y < rows; y++) memset(bits + y * stride + used, 0, static_cast<size_t>(stride - used));
    memset(bits + stride * rows, 0, PAGE_TAIL_PAD);
  }
  page* p = static_cast<page*>(mem_alloc(sizeof(page)));
  memset(p, 0, sizeof *p);
  p->width = width;
  p->height = static_cast<int32_t>(rows);
  p->stride = static_cast<int32_t>(stride);
  p->persistent = persistent;
  p->is_8bit = is_8bit ? 1 : 0;
  p->bits = bits;
  if (is_8bit) {
    p->palette = static_cast<rgb_quad*>(mem_alloc(256 * sizeof(rgb_quad)));
    memset(p->palette, 0, 256 * sizeof(rgb_quad));
  }
  p->id = gfx_id_add(GFX_ID_PAGE, p);

  p->next = page_list;
  if (page_list) page_list->prev = p;
  page_list = p;
  return p;
}

page* page_new(int width, int height, int is_8bit, int persistent) {
  return page_create(width, height, is_8bit, persistent, true);
}

// The raw forms skip clearing: only callers that write every pixel (or free the page) use them.
page* page_new_rgb24(int width, int height, int persistent) { return page_new(width, height, 0, persistent); }

page* page_new_rgb24_raw(int width, int height, int persistent) {
  return page_create(width, height, 0, persistent, false);
}

static page* gray8_create(int width, int height, int persistent, bool clear) {
  page* p = page_create(width, height, 1, persistent, clear);
  if (p)
    for (int i = 0; i < 256; i++) {
      uint8_t v = static_cast<uint8_t>(i);
      p->palette[i] = rgb_quad{v, v, v, 0};
    }
  return p;
}

page* page_new_gray8_raw(int width, int height, int persistent) { return gray8_create(width, height, persistent, false); }

page* page_new_gray8(int width, int height, int persistent) { return gray8_create(width, height, persistent, true); }

void page_alpha_set(page* p, page* alpha) {
  if (p->alpha == alpha) return;
  if (page* old = p->alpha) {
    if (p->alpha_user_prev)
      p->alpha_user_prev->alpha_user_next = p->alpha_user_next;
    else if (old->alpha_users == p)
      old->alpha_users = p->alpha_user_next;
    if (p->alpha_user_next) p->alpha_user_next->alpha_user_prev = p->alpha_user_prev;
    p->alpha_user_prev = p->alpha_user_next = nullptr;
  }
  p->alpha = alpha;
  if (alpha) {
    p->alpha_user_next = alpha->alpha_users;
    if (alpha->alpha_users) alpha->alpha_users->alpha_user_prev = p;
    alpha->alpha_users = p;
  }
}

int page_free(page* p, int force) {
  if (!p) return 0;
  if (p->persistent && !force) return 1;
  if (p->prev)
    p->prev->next = p->next;
  else
    page_list = p->next;
  if (p->next) p->next->prev = p->prev;
  // A page that used this one as its transparency would otherwise keep a dangling pointer.
  for (page* user = p->alpha_users; user; free_visits++) {
    page* next = user->alpha_user_next;
    user->alpha_user_prev = user->alpha_user_next = nullptr;
    if (user->alpha == p) user->alpha = nullptr, user->owns_alpha = 0;
    user = next;
  }
  p->alpha_users = nullptr;
  page_alpha_set(p, nullptr);
  // Sprites, grids and the presenter hold pages too; none of them may keep a freed one.
  free_visits += sprite_page_freed(p);
  gfx_id_remove(p->id);
  free(p->bits);
  free(p->palette);
  free(p);
  return 0;
}

void page_free_nonpersistent() {
  page* p = page_list;
  while (p) {
    page* next = p->next;
    if (!p->persistent) {
      // Freeing p may clear alpha fields of later pages, never unlink them, so next stays valid.
      page_free(p, 1);
    }
    p = next;
  }
}

void page_mark_all_persistent() {
  for (page* p = page_list; p; p = p->next) p->persistent = 1;
}

void page_free_all_at_exit() {
  front_page_set(nullptr);
  while (page_list) page_free(page_list, 1);
}

void page_cleanup_register() {
  if (cleanup_registered) return;
  cleanup_registered = true;
  atexit(page_free_all_at_exit);
}

page* page_from_id(uint32_t id) { return static_cast<page*>(gfx_id_find(id, GFX_ID_PAGE)); }

int page_missing(uint32_t id) { return page_from_id(id) ? 0 : 1; }

int page_count() {
  int n = 0;
  for (page* p = page_list; p; p = p->next) n++;
  return n;
}

page* page_list_head() { return page_list; }

uint64_t page_free_visits() { return free_visits; }

// Sums of coordinates and sizes are taken in 64 bits: scripts pass any integers.
int page_clip_rect(const page* p, page_rect* r) {
  int64_t x = r->x, y = r->y, w = r->width, h = r->height;
  if (x < 0) w += x, x = 0;
  if (y < 0) h += y, y = 0;
  if (x + w > p->width) w = p->width - x;
  if (y + h > p->height) h = p->height - y;
  if (w > 0 && h > 0) {
    *r = page_rect{static_cast<int32_t>(x), static_cast<int32_t>(y), static_cast<int32_t>(w), static_cast<int32_t>(h)};
    return 0;
  }
  *r = page_rect{0, 0, 0, 0};
  return 1;
}

int clip_rect_pair(const page* pa, page_rect* a, const page* pb, page_rect* b) {
  int64_t ax = a->x, ay = a->y, w = a->width, h = a->height, bx = b->x, by = b->y;
  if (ax < 0) bx -= ax, w += ax, ax = 0;
  if (ay < 0) by -= ay, h += ay, ay = 0;
  if (ax + w > pa->width) w = pa->width - ax;
  if (ay + h > pa->height) h = pa->height - ay;
  if (bx < 0) ax -= bx, w += bx, bx = 0;
  if (by < 0) ay -= by, h += by, by = 0;
  if (bx + w > pb->width) w = pb->width - bx;
  if (by + h > pb->height) h = pb->height - by;
  if (w > 0 && h > 0) {
    int32_t w32 = static_cast<int32_t>(w), h32 = static_cast<int32_t>(h);
    *a = page_rect{static_cast<int32_t>(ax), static_cast<int32_t>(ay), w32, h32};
    *b = page_rect{static_cast<int32_t>(bx), static_cast<int32_t>(by), w32, h32};
    return 0;
  }
  *a = *b = page_rect{0, 0, 0, 0};
  return 1;
}

bool page_rect_inside(const page* p, const page_rect& r) {
  return r.x >= 0 && r.y >= 0 && r.width >= 0 && r.height >= 0 && static_cast<int64_t>(r.x) + r.width <= p->width &&
         static_cast<int64_t>(r.y) + r.height <= p->height;
}

bool page_alpha_usable(const page* p) {
  const page* a = p->alpha;
  return a && a->is_8bit && a->width >= p->width && a->height >= p->height;
}
