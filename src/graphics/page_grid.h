// Dirty grids: which parts of a page must be drawn again.
//
// Every page that sprites draw on has a grid (and the front page always has one). Its cells are a
// quarter of CLIENT_WIDTH wide and a third of CLIENT_WIDTH high on every page. mark_dirty_rect is
// how every drawing makes its change visible: it flags the cells under the rectangle and follows
// the change through every sprite that shows the page, onto that sprite's target. The frame's
// redraw draws into each flagged cell every sprite of the page, oldest first, and hands the front
// page's cells to the presentation. Window thread only.
#pragma once

#include <cstdint>
#include <vector>

#include "graphics/page.h"

struct page_grid {
  page* target;    // the page the grid covers
  int32_t users;   // sprites whose target is the page (the front page's grid keeps one more)
  int32_t dirty;   // some cell is flagged
  int32_t columns, rows;
  uint8_t* cells;  // columns x rows flags, row by row; 1 = draw again
  int32_t kept;    // survives sprite_reset
  page_grid* prev;
  page_grid* next;
};

// Cell size of every grid: CLIENT_WIDTH / 4 by CLIENT_WIDTH / 3 (both from the width).
int page_grid_cell_width();
int page_grid_cell_height();

// A new grid for the page, appended to the list.
page_grid* page_grid_create(page* target, int32_t users);
// The page's grid, or null.
page_grid* page_grid_find(const page* p);
void page_grid_free(page_grid* g);
// Frees every grid without users; kept ones stay unless keep_kept is false.
void page_grid_free_unused(bool keep_kept);
// The front page's grid, made with one user when it has none.
page_grid* page_grid_front_ensure();
page_grid* page_grid_list_head();
int page_grid_count();

// Marks the rectangle of the page dirty, and the change seen through every sprite showing the page
// on that sprite's target. Nothing while sprite updates are suspended. A chain of sprites that
// leads back to a page already on the way marks that page's grid and stops there.
void mark_dirty_rect(page* p, const page_rect& r);

// The sprites that read a page, as their source, work page or cross-fade page, filed by page so
// that a mark, or the page's release, visits only the sprites it reaches, however many there are:
// sprite_new files a sprite under its source, the render under each new work page, the smooth
// animation under its cross-fade page; a sprite is taken out when it is freed, and a page's file
// goes with the page. A mark on an 8-bit page, which may be some source's alpha page, still looks
// at every sprite.
void page_readers_add(const page* p, uint32_t sprite_id);
void page_readers_remove(const page* p, uint32_t sprite_id);
// The ids on the page's file (a released sprite's id finds nothing).
const std::vector<uint32_t>& page_readers_of(const page* p);
void page_readers_forget(const page* p);
void page_readers_reset();
// Draws every flagged cell of the grid and clears the flags.
void page_grid_redraw(page_grid* g);
