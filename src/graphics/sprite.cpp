#include "graphics/sprite.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "base/memory.h"
#include "graphics/gfx_id.h"
#include "graphics/kernel.h"
#include "graphics/page_grid.h"
#include "graphics/presentation.h"
#include "platform/platform.h"
#include "shell/env_keys.h"
#include "vm/script_error.h"

// Module state: the sprite list (head newest, tail oldest), the suspend counter, the frame rate
// (-1 until read) and the clock of the last due frame.
static sprite* newest = nullptr;
static sprite* oldest = nullptr;
static int32_t suspend_count = 0;
static int32_t frame_rate = -1;
static uint32_t last_frame_ms = 0;

// ---------------------------------------------------------------------------------------------
// The list

static void list_insert_newest(sprite* s) {
  s->newer = nullptr;
  s->older = newest;
  (newest ? newest->newer : oldest) = s;
  newest = s;
}

static void list_remove(sprite* s) {
  (s->newer ? s->newer->older : newest) = s->older;
  (s->older ? s->older->newer : oldest) = s->newer;
  s->newer = s->older = nullptr;
}

sprite* sprite_new(page* source, int cell_x, int cell_y, int width, int height, page* target) {
  auto* s = static_cast<sprite*>(mem_alloc(sizeof(sprite)));
  memset(s, 0, sizeof *s);
  int32_t now = vm_time_get();
  s->source_page = source;
  s->cell_x = s->initial_cell_x = cell_x;
  s->cell_y = s->initial_cell_y = cell_y;
  s->width = width;
  s->height = height;
  s->target_page = target;
  s->x = s->y = SPRITE_OFF_PAGE;
  s->xscale.value = s->yscale.value = 1.0f;
  s->animation.start_time = s->alpha.start_time = now;
  s->id = gfx_id_add(GFX_ID_SPRITE, s);
  s->group = s->id;
  list_insert_newest(s);
  page_readers_add(source, s->id);
  if (page_grid* g = page_grid_find(target))
    g->users++;
  else if (target)
    page_grid_create(target, 1);
  return s;
}

// A page the sprite made for itself, with the alpha page made for it.
static void own_page_free(page*& p) {
  if (!p) return;
  page* q = p;
  p = nullptr;
  if (q->alpha) page_free(q->alpha, 1);
  page_free(q, 1);
}

static void sprite_free(sprite* s) {
  list_remove(s);
  page_readers_remove(s->source_page, s->id);
  page_readers_remove(s->work_page, s->id);
  if (page_grid* g = page_grid_find(s->target_page)) g->users--;
  own_page_free(s->work_page);
  own_page_free(s->cross_fade_page);
  gfx_id_remove(s->id);
  free(s);
}

void sprite_unlink(sprite* s) {
  if (s && !s->kept) sprite_free(s);
}

sprite* sprite_newest() { return newest; }
sprite* sprite_oldest() { return oldest; }

int sprite_is_absent(uint32_t value) { return sprite_from_id(value) ? 0 : 1; }

sprite* sprite_from_id(uint32_t value) { return static_cast<sprite*>(gfx_id_find(value, GFX_ID_SPRITE)); }

int page_is_sprite_source(const page* p) {
  for (uint32_t id : page_readers_of(p))
    if (sprite* s = sprite_from_id(id); s && s->source_page == p) return 1;
  return 0;
}

int sprite_count() {
  int n = 0;
  for (sprite* s = newest; s; s = s->older) n++;
  return n;
}

void sprite_place_below(sprite* s, sprite* reference) {
  list_remove(s);
  if (!reference || reference == s) {
    s->older = nullptr;
    s->newer = oldest;
    (oldest ? oldest->older : newest) = s;
    oldest = s;
    return;
  }
  s->newer = reference;
  s->older = reference->older;
  (reference->older ? reference->older->newer : oldest) = s;
  reference->older = s;
}

void sprite_place_above(sprite* s, sprite* reference) {
  list_remove(s);
  if (!reference || reference == s) {
    list_insert_newest(s);
    return;
  }
  s->older = reference;
  s->newer = reference->newer;
  (reference->newer ? reference->newer->older : newest) = s;
  reference->newer = s;
}

// ---------------------------------------------------------------------------------------------
// Marking

void sprite_cell_mark(sprite* s) {
  if (s->source_page)
    mark_dirty_rect(s->source_page, page_rect{s->cell_x, s->cell_y, s->width, s->height});
  else
    mark_dirty_rect(s->target_page, page_rect{s->x, s->y, s->width, s->height});
  s->marked = 1;
}

void sprite_area_mark(sprite* s) {
  if (s->transformable) {
    mark_dirty_rect(s->target_page, page_rect{s->work_x, s->work_y, s->work_width, s->work_height});
    s->marked = 1;
  } else {
    sprite_cell_mark(s);
  }
}

// ---------------------------------------------------------------------------------------------
// Drawing

void sprite_blit(const page* src, const page_rect& sr, page* dst, const page_rect& dr, int a) {
  if (src->drawmode == PAGE_DRAW_ADD) {
    page_add_kernel(src, sr, dst, dr, a);
  } else if (src->drawmode == PAGE_DRAW_MULTIPLY) {
    page_multiply_blend_kernel(src, sr, dst, dr, a);
  } else if (page_alpha_usable(src)) {
    page_alpha_copy_kernel(src, sr, dst, dr, a);
  } else if (a != 0) {
    page_blend_kernel(src, sr, dst, dr, a);
    if (page_alpha_usable(dst)) page_blend_fill(dst->alpha, page_rect{dr.x, dr.y, sr.width, sr.height}, 0, a + 1);
  } else {
    page_copy_kernel(src, sr, dst, dr);
    if (page_alpha_usable(dst)) page_fill_rect(dst->alpha, page_rect{dr.x, dr.y, sr.width, sr.height}, 0);
  }
}

bool sprite_blit_clipped(const page* src, page_rect sr, page* dst, int64_t dx, int64_t dy, const page_rect& clip,
                         int transparency, page_rect* drawn) {
  int64_t sx = sr.x, sy = sr.y, w = sr.width, h = sr.height;
  // The source page's edges, then the clip's; a cut on one side moves the other side's corner.
  if (sx < 0) dx -= sx, w += sx, sx = 0;
  if (sy < 0) dy -= sy, h += sy, sy = 0;
  w = std::min<int64_t>(w, src->width - sx);
  h = std::min<int64_t>(h, src->height - sy);
  page_rect c = clip;
  if (page_clip_rect(dst, &c)) return false;
  if (dx < c.x) sx += c.x - dx, w -= c.x - dx, dx = c.x;
  if (dy < c.y) sy += c.y - dy, h -= c.y - dy, dy = c.y;
  w = std::min<int64_t>(w, static_cast<int64_t>(c.x) + c.width - dx);
  h = std::min<int64_t>(h, static_cast<int64_t>(c.y) + c.height - dy);
  if (w <= 0 || h <= 0) return false;
  page_rect s{static_cast<int32_t>(sx), static_cast<int32_t>(sy), static_cast<int32_t>(w), static_cast<int32_t>(h)};
  page_rect d{static_cast<int32_t>(dx), static_cast<int32_t>(dy), s.width, s.height};
  sprite_blit(src, s, dst, d, transparency);
  if (drawn) *drawn = d;
  return true;
}

// ---------------------------------------------------------------------------------------------
// Frames

void sprite_update_all() {
  page* front = front_page_get();
  for (sprite* s = newest; s; s = s->older)
    if (s->target_page != front) sprite_step(s);
  if (suspend_count <= 0)
    for (page_grid* g = page_grid_list_head(); g; g = g->next)
      if (g->target != front) page_grid_redraw(g);
  for (sprite* s = newest; s; s = s->older)
    if (s->target_page == front) sprite_step(s);
  if (suspend_count <= 0)
    if (page_grid* g = page_grid_find(front)) page_grid_redraw(g);
  page_grid_free_unused(true);
}

int frame_limit(int force) {
  if (suspend_count > 0) return 0;
  if (frame_rate < 0) frame_rate = std::clamp(max_fps(), 1, 80);
  uint32_t now = plat().clock_ms();
  if (!force && now - last_frame_ms < static_cast<uint32_t>(1000 / frame_rate)) return 0;
  last_frame_ms = now;
  return 1;
}

uint32_t frame_due_in() {
  if (suspend_count > 0) return WAIT_NO_LIMIT;
  if (frame_rate < 0) frame_rate = std::clamp(max_fps(), 1, 80);
  uint32_t interval = static_cast<uint32_t>(1000 / frame_rate), since = plat().clock_ms() - last_frame_ms;
  return since >= interval ? 0 : interval - since;
}

static bool sprite_step_pending(const sprite* s) {
  if (s->move_state == 1 || s->animation.state != 0 || s->alpha.state != 0) return true;
  if (s->cross_fade && s->cross_fade_page && s->source_page &&
      (s->cross_fade_changed || s->cell_x != s->next_cell_x || s->cell_y != s->next_cell_y))
    return true;
  if (!s->transformable) return false;
  if (s->rotation_state != 0 || s->xscale.track.state != 0 || s->yscale.track.state != 0) return true;
  return s->render_stamp == 0 && s->transparency != 255 && s->hide == 0;
}

bool sprite_frame_work_pending() {
  for (page_grid* g = page_grid_list_head(); g; g = g->next)
    if (g->dirty) return true;
  for (sprite* s = newest; s; s = s->older)
    if (sprite_step_pending(s)) return true;
  return false;
}

int sprite_update_suspend_count() { return suspend_count; }
void sprite_update_suspend() { suspend_count++; }
void sprite_update_resume() { suspend_count--; }

// ---------------------------------------------------------------------------------------------
// Life cycle

void sprite_reset() {
  for (sprite* s = newest; s;) {
    sprite* next = s->older;
    s->move_state = s->animation.state = s->alpha.state = s->rotation_state = 0;
    s->xscale.track.state = s->yscale.track.state = 0;
    s->hide = 0;
    // Non-persistent, so freed with the other pages below; a kept sprite renders again.
    s->work_page = nullptr;
    s->render_stamp = 0;
    s->x = s->y = SPRITE_OFF_PAGE;
    s->work_x = SPRITE_OFF_PAGE - s->work_width / 2;
    s->work_y = SPRITE_OFF_PAGE - s->work_height / 2;
    sprite_unlink(s);
    s = next;
  }
  page_grid_free_unused(true);
  page_grid_front_ensure();
  page_free_nonpersistent();
  suspend_count = 0;
}

void sprite_mark_all_kept() {
  for (sprite* s = newest; s; s = s->older) s->kept = 1;
  for (page_grid* g = page_grid_list_head(); g; g = g->next) g->kept = 1;
}

void sprite_release_all() {
  while (newest) sprite_free(newest);
  while (page_grid* g = page_grid_list_head()) page_grid_free(g);
  page_readers_reset();
}

// Only the sprites on the page's file read it, and only a page with a grid has sprites drawing on
// it, so that releasing pages costs the same however many sprites there are.
int sprite_page_freed(const page* p) {
  int visits = 0;
  for (uint32_t id : page_readers_of(p))
    if (visits++; sprite* s = sprite_from_id(id)) {
      if (s->source_page == p) s->source_page = nullptr;
      if (s->work_page == p) s->work_page = nullptr, s->render_stamp = 0;
      if (s->cross_fade_page == p) s->cross_fade_page = nullptr;
    }
  page_readers_forget(p);
  if (page_grid* g = page_grid_find(p)) {
    for (sprite* s = newest; s; s = s->older, visits++)
      if (s->target_page == p) s->target_page = nullptr;
    page_grid_free(g);
  }
  presentation_page_freed(p);
  return visits;
}

void sprite_module_reset() {
  sprite_release_all();
  suspend_count = 0;
  frame_rate = -1;
  last_frame_ms = 0;
}
