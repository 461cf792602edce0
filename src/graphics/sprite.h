// Sprites, dirty grids and frame pacing.
//
// STAND-IN: only the three calls of the interpreter pass. The sprite module replaces this file.
// Until then there are no sprites to draw and frames are paced at the highest rate the pacer
// allows (80 per second).
#pragma once

// 1 when a frame is due (force: at once), and the time of this frame is recorded; else 0.
int frame_limit(int force);
// One frame of sprite work: step every sprite, redraw the dirty cells.
void sprite_update_all();
// The sprite-update suspend counter (0: updates run).
int sprite_update_suspend_count();
