// Sprites, dirty grids and frame pacing.
//
// STAND-IN: only the three calls of the interpreter pass and the steps of the VM reset, start-up
// and shut-down. The sprite module replaces this file. Until then there are no sprites or grids,
// and frames are paced at the highest rate the pacer allows (80 per second).
#pragma once

#include <cstdint>

struct page;

// A page's grid of dirty cells (one per page that sprites draw on, always one for the front page).
struct page_grid {
  page* target;
  int32_t users;  // sprites whose target is the page
  int32_t dirty;  // some cell is marked
};
// The page's grid, or null.
page_grid* page_grid_find(const page* p);

// 1 when a frame is due (force: at once), and the time of this frame is recorded; else 0.
int frame_limit(int force);
// One frame of sprite work: step every sprite, redraw the dirty cells.
void sprite_update_all();
// The sprite-update suspend counter (0: updates run).
int sprite_update_suspend_count();

// The VM reset's step: frees the sprites that are not kept and stops the others' timelines.
void sprite_reset();
// Start-up, after the start object's initialisation: every sprite and grid survives the resets.
void sprite_mark_all_kept();
// Shut-down: frees every sprite and every grid.
void sprite_release_all();
