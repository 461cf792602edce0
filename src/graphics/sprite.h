// Sprites and dirty grids.
//
// STAND-IN: the sprite module replaces this file. Until then a sprite is only the link between a
// source page and a target page, kept so that the page built-ins can ask whether a page is shown
// by a sprite; nothing is drawn and marking a rectangle dirty does nothing (there is no grid).
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
