#include "graphics/page_grid.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <unordered_map>
#include <vector>

#include "base/list.h"
#include "base/memory.h"
#include "graphics/presentation.h"
#include "graphics/sprite.h"
#include "shell/env_keys.h"

// Module state: the grid list, oldest first, and the pages on the current marking path.
static page_grid* grid_head = nullptr;
static page_grid* grid_tail = nullptr;

// Sprites can show each other's pages in a circle; the walk stops where it came from, and never
// goes deeper than this many pages (a chain that long is already a circle in all but name).
constexpr int MARK_DEPTH_MAX = 16;
static const page* marking_path[MARK_DEPTH_MAX];
static int marking_depth = 0;
// The sprites reading each page, by id: a sprite released without leaving a file is passed over.
static std::unordered_map<const page*, std::vector<uint32_t>> readers;

int page_grid_cell_width() { return std::max(1, client_width() / 4); }
int page_grid_cell_height() { return std::max(1, client_width() / 3); }

page_grid* page_grid_create(page* target, int32_t users) {
  auto* g = static_cast<page_grid*>(mem_alloc(sizeof(page_grid)));
  memset(g, 0, sizeof *g);
  int cw = page_grid_cell_width(), ch = page_grid_cell_height();
  g->target = target;
  g->users = users;
  g->columns = target ? (cw + target->width - 1) / cw : 0;
  g->rows = target ? (ch + target->height - 1) / ch : 0;
  size_t n = static_cast<size_t>(g->columns) * g->rows;
  g->cells = static_cast<uint8_t*>(mem_alloc(n ? n : 1));
  memset(g->cells, 0, n ? n : 1);
  list_push_back(grid_head, grid_tail, g);
  return g;
}

page_grid* page_grid_find(const page* p) {
  if (!p) return nullptr;
  for (page_grid* g = grid_head; g; g = g->next)
    if (g->target == p) return g;
  return nullptr;
}

void page_grid_free(page_grid* g) {
  if (!g) return;
  list_unlink(grid_head, grid_tail, g);
  free(g->cells);
  free(g);
}

void page_grid_free_unused(bool keep_kept) {
  for (page_grid* g = grid_head; g;) {
    page_grid* next = g->next;
    if (g->users <= 0 && !(keep_kept && g->kept)) page_grid_free(g);
    g = next;
  }
}

page_grid* page_grid_front_ensure() {
  page* front = front_page_get();
  if (!front) return nullptr;
  page_grid* g = page_grid_find(front);
  return g ? g : page_grid_create(front, 1);
}

page_grid* page_grid_list_head() { return grid_head; }

int page_grid_count() {
  int n = 0;
  for (page_grid* g = grid_head; g; g = g->next) n++;
  return n;
}

// ---------------------------------------------------------------------------------------------
// Marking

// Rows and columns by floor division, so that a rectangle wholly left of or above the page marks
// nothing (truncation would take column 0 for x in -cell+1..-1).
static int64_t floor_div(int64_t a, int64_t b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

static void grid_mark(page_grid* g, int64_t x, int64_t y, int64_t w, int64_t h) {
  g->dirty = 1;
  if (w <= 0 || h <= 0) return;
  int64_t cw = page_grid_cell_width(), ch = page_grid_cell_height();
  int64_t c0 = std::max<int64_t>(0, floor_div(x, cw)), c1 = std::min<int64_t>(g->columns - 1, floor_div(x + w - 1, cw));
  int64_t r0 = std::max<int64_t>(0, floor_div(y, ch)), r1 = std::min<int64_t>(g->rows - 1, floor_div(y + h - 1, ch));
  for (int64_t r = r0; r <= r1; r++)
    memset(g->cells + r * g->columns + c0, 1, c0 <= c1 ? static_cast<size_t>(c1 - c0 + 1) : 0);
}

static bool shows(const sprite* s, const page* p) {
  const page* src = s->source_page;
  return src && (src == p || src->alpha == p || (p->alpha && p->alpha == src));
}

static void mark_on(page* p, int64_t x, int64_t y, int64_t w, int64_t h);

// The change of page p seen through sprite s, on its target.
static void mark_through(sprite* s, page* p, int64_t x, int64_t y, int64_t w, int64_t h) {
  if (s->target_page == p) return;
  if (!s->transformable) {
    if (shows(s, p)) mark_on(s->target_page, s->x + x - s->cell_x, s->y + y - s->cell_y, w, h);
  } else if (s->work_page == p) {
    mark_on(s->target_page, s->work_x + x, s->work_y + y, w, h);
  } else if (shows(s, p)) {
    mark_on(s->target_page, 0, 0, 9999, 9999);
    s->render_stamp = 0;
  }
}

static void mark_through_readers(const page* key, page* p, int64_t x, int64_t y, int64_t w, int64_t h) {
  auto found = readers.find(key);
  if (found == readers.end()) return;
  for (uint32_t id : found->second)
    if (sprite* s = sprite_from_id(id)) mark_through(s, p, x, y, w, h);
}

// Coordinates stay 64-bit along the chain: scripts place sprites anywhere.
static void mark_on(page* p, int64_t x, int64_t y, int64_t w, int64_t h) {
  if (!p) return;
  if (page_grid* g = page_grid_find(p)) grid_mark(g, x, y, w, h);
  for (int i = 0; i < marking_depth; i++)
    if (marking_path[i] == p) return;
  if (marking_depth == MARK_DEPTH_MAX) return;
  marking_path[marking_depth++] = p;
  if (p->is_8bit) {
    for (sprite* s = sprite_newest(); s; s = s->older) mark_through(s, p, x, y, w, h);
  } else {
    mark_through_readers(p, p, x, y, w, h);
    if (p->alpha && p->alpha != p) mark_through_readers(p->alpha, p, x, y, w, h);
  }
  marking_depth--;
}

void page_readers_add(const page* p, uint32_t sprite_id) {
  if (p) readers[p].push_back(sprite_id);
}

void page_readers_remove(const page* p, uint32_t sprite_id) {
  auto found = p ? readers.find(p) : readers.end();
  if (found == readers.end()) return;
  std::erase(found->second, sprite_id);
  if (found->second.empty()) readers.erase(found);
}

const std::vector<uint32_t>& page_readers_of(const page* p) {
  static const std::vector<uint32_t> none;
  auto found = readers.find(p);
  return found == readers.end() ? none : found->second;
}

void page_readers_forget(const page* p) { readers.erase(p); }

void page_readers_reset() { readers.clear(); }

void mark_dirty_rect(page* p, const page_rect& r) {
  if (sprite_update_suspend_count() > 0) return;
  mark_on(p, r.x, r.y, r.width, r.height);
}

// ---------------------------------------------------------------------------------------------
// Redrawing

// One sprite into one cell of its target.
static void sprite_draw_into(const sprite* s, page* target, const page_rect& cell) {
  if (s->transformable && s->work_page) {
    sprite_blit_clipped(s->work_page, page_rect{0, 0, s->work_width, s->work_height}, target, s->work_x, s->work_y,
                        cell, s->transparency, nullptr);
  } else if (!s->source_page) {
    return;
  } else if (s->transformable) {
    sprite_blit_clipped(s->source_page, page_rect{0, 0, s->width, s->height}, target,
                        static_cast<int64_t>(s->x) - s->width / 2, static_cast<int64_t>(s->y) - s->height / 2, cell,
                        s->transparency, nullptr);
  } else if (s->cross_fade && s->cross_fade_page) {
    sprite_blit_clipped(s->cross_fade_page, page_rect{0, 0, s->width, s->height}, target, s->x, s->y, cell,
                        s->transparency, nullptr);
  } else {
    sprite_blit_clipped(s->source_page, page_rect{s->cell_x, s->cell_y, s->width, s->height}, target, s->x, s->y,
                        cell, s->transparency, nullptr);
  }
}

void page_grid_redraw(page_grid* g) {
  if (!g->dirty) return;
  g->dirty = 0;
  page* p = g->target;
  if (!p) return;
  bool shown = p == front_page_get();
  int cw = page_grid_cell_width(), ch = page_grid_cell_height();
  for (int row = 0; row < g->rows; row++)
    for (int col = 0; col < g->columns; col++) {
      uint8_t& flag = g->cells[row * g->columns + col];
      if (!flag) continue;
      flag = 0;
      int x = col * cw, y = row * ch;
      page_rect cell{x, y, std::min(cw, p->width - x), std::min(ch, p->height - y)};
      for (sprite* s = sprite_oldest(); s; s = s->newer)
        if (s->target_page == p && s->hide == 0 && s->transparency != 255) sprite_draw_into(s, p, cell);
      if (shown) window_dirty_mark(&cell);
    }
}
