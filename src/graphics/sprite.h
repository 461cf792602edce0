// Sprites, dirty grids and frame pacing.
//
// STAND-IN: the sprite module replaces this file and keeps these names. Until then a sprite is
// only the link between a source page and a target page, kept so that the page built-ins can ask
// whether a page is shown by a sprite; nothing is drawn, marking a rectangle dirty does nothing
// (there is no grid), the VM reset keeps every sprite, and frames are paced at the highest rate
// the pacer allows (80 per second).
#pragma once

#include <cstdint>

#include "graphics/page.h"

struct sprite {
  page* source_page;  // the page the cell is taken from
  page* target_page;  // the page drawn on
  uint32_t id;        // the id scripts hold (graphics/gfx_id.h, GFX_ID_SPRITE)
  sprite* newer;
  sprite* older;
};

// A new sprite showing a cell of the source page on the target page.
sprite* sprite_new(page* source, int cell_x, int cell_y, int width, int height, page* target);
void sprite_free(sprite* s);
void sprite_free_all();

// 0 for the id of a live sprite, else 1.
int sprite_is_absent(uint32_t value);
// The sprite behind an id, or null.
sprite* sprite_from_id(uint32_t value);
// 1 when some sprite takes its cell from the page.
int page_is_sprite_source(const page* p);

// Marks a rectangle of a page dirty, so that sprites and the window show the change.
void mark_dirty_rect(page* p, const page_rect& r);

// A page's grid of dirty cells (one per page that sprites draw on, always one for the front page).
struct page_grid {
  page* target;
  int32_t users;  // sprites whose target is the page
  int32_t dirty;  // some cell is marked
};
// The page's grid, or null.
page_grid* page_grid_find(const page* p);

// The VM reset's step: frees the sprites that are not kept and stops the others' timelines.
void sprite_reset();
// Start-up, after the start object's initialisation: every sprite and grid survives the resets.
void sprite_mark_all_kept();
// Shut-down: frees every sprite and every grid.
void sprite_release_all();

// 1 when a frame is due (force: at once), and the time of this frame is recorded; else 0.
int frame_limit(int force);
// One frame of sprite work: step every sprite, redraw the dirty cells.
void sprite_update_all();
// The sprite-update suspend counter (0: updates run).
int sprite_update_suspend_count();
