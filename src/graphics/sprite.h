// Sprites and frame pacing.
//
// A sprite shows a rectangle (its cell) of a source page on a target page at a position, with a
// stack of timelines: movement, cell animation (optionally cross-faded), transparency, rotation and
// two scales. Changing a sprite draws nothing: the change marks rectangles dirty in the grid of the
// page concerned (graphics/page_grid.h), and once per due frame sprite_update_all advances every
// timeline and redraws the dirty cells, oldest sprite first, so newer sprites lie on top. The frame
// limiter paces those frames by MAX_FPS. Scripts hold a sprite as its id (graphics/gfx_id.h).
// Window thread only.
#pragma once

#include <cstdint>

#include "graphics/page.h"
#include "graphics/page_grid.h"  // mark_dirty_rect: how every drawing makes its change visible

// Table sizes: 63 (cell, duration) pairs plus one held cell; 32 entries for the transparency and
// each scale, the closing entry that the definers add included.
constexpr int SPRITE_ANIMATION_PAIRS = 64;
constexpr int SPRITE_ANIMATION_FULL_PAIRS = 63;
constexpr int SPRITE_ALPHA_PAIRS = 32;
constexpr int SPRITE_SCALE_PAIRS = 32;

// Where a sprite lies until it is first moved: off every page.
constexpr int32_t SPRITE_OFF_PAGE = 100000;

// Easing bits of a duration word: slow start and slow end, for x and for y. The duration is the
// word with the easing bits taken out (the sign bit stays, so -1 is still negative).
constexpr uint32_t EASE_X_SLOW_START = 0x40000000, EASE_X_SLOW_END = 0x20000000;
constexpr uint32_t EASE_Y_SLOW_START = 0x10000000, EASE_Y_SLOW_END = 0x08000000;
constexpr uint32_t EASE_BITS = 0x78000000, DURATION_BITS = 0x84FFFFFF;
inline int32_t duration_of(uint32_t word) { return static_cast<int32_t>(word & DURATION_BITS); }

// Cell index that returns an animation to the sprite's first cell.
constexpr int32_t CELL_INITIAL = -2;

// The bookkeeping of one timeline of pairs (cell animation, transparency, each scale).
struct sprite_track {
  int32_t state;       // 0 off, 1 running, 2 running and wrapped at least once
  int32_t start_time;  // script clock when the current pair began
  int32_t duration;    // of the current pair; below 0 holds the pair for ever
  int32_t index;       // the current pair, -1 before the first
  int32_t count;       // pairs held
};

struct sprite_cell_pair {
  int32_t cell, duration;
};
struct sprite_level_pair {
  int32_t level, duration;
};
struct sprite_scale_pair {
  float value;
  uint32_t word;  // duration and easing bits
};

// One scale axis of a transformable sprite.
struct sprite_scale {
  sprite_track track;
  float value;  // 1.0 at creation
  float previous;
  uint32_t easing;  // of the current pair
  sprite_scale_pair pairs[SPRITE_SCALE_PAIRS];
};

struct sprite {
  page* source_page;  // null once the page is gone
  int32_t cell_x, cell_y, width, height;
  page* target_page;  // null once the page is gone
  int32_t x, y;       // cell's top-left on the target; a transformable sprite's centre
  int32_t auto_release;
  int32_t initial_cell_x, initial_cell_y;
  int32_t transparency;  // 0 opaque .. 255 invisible (never drawn)
  uint32_t group;        // id of the group's first sprite (itself at creation)
  int32_t hide;          // drawn only while 0
  int32_t marked;        // this frame's step already marked the sprite's area

  int32_t move_state;  // 0 idle, 1 moving, 2 arrived
  uint32_t move_easing;
  int32_t move_start_time, move_duration;
  int32_t move_start_x, move_start_y, move_dx, move_dy;

  sprite_track animation;
  int32_t catch_up;  // timelines may advance over several pairs in one step
  sprite_cell_pair animation_pairs[SPRITE_ANIMATION_PAIRS];

  sprite_track alpha;
  int32_t alpha_previous;
  sprite_level_pair alpha_pairs[SPRITE_ALPHA_PAIRS];

  // Smooth animation: the current and next cells blended on the cross-fade page.
  int32_t cross_fade, cross_fade_time, cross_fade_changed;
  int32_t next_cell_x, next_cell_y;
  page* cross_fade_page;

  // Transformable sprites are drawn through their work page.
  int32_t transformable;
  page* work_page;
  int32_t render_stamp;  // 0: render again; else script time of the last render
  int32_t work_width, work_height, work_x, work_y;
  int32_t rotation_state;  // 0 off, 1 once, 2 endless
  float angle, start_angle, end_angle;
  int32_t rotation_start_time, rotation_duration;
  sprite_scale xscale, yscale;

  int32_t kept;  // survives sprite_reset
  uint32_t id;   // the id scripts hold
  sprite* newer;
  sprite* older;
};

// ---- The list (newest at the head; drawing walks from the oldest)

// A new sprite at the head of the list, off the page, its target's grid one user more.
sprite* sprite_new(page* source, int cell_x, int cell_y, int width, int height, page* target);
// Frees a sprite that is not kept (kept sprites stay): out of the list, one user less on its target
// grid, its work and cross-fade pages freed with their alpha pages.
void sprite_unlink(sprite* s);
sprite* sprite_newest();
sprite* sprite_oldest();
// 0 for the id of a live sprite, else 1.
int sprite_is_absent(uint32_t value);
// The sprite behind an id, or null.
sprite* sprite_from_id(uint32_t value);
// 1 when some sprite takes its cell from the page (the page built-ins refuse to free it).
int page_is_sprite_source(const page* p);
int sprite_count();

// Moves s within the list: just older than (below) or newer than (above) the reference; without a
// reference, to the oldest or newest end.
void sprite_place_below(sprite* s, sprite* reference);
void sprite_place_above(sprite* s, sprite* reference);

// ---- Marking

// The sprite's area: the work page's rectangle on the target for a transformable sprite, else the
// cell on the source page (which reaches every sprite showing it). Sets the marked flag.
void sprite_area_mark(sprite* s);
// The cell rectangle on the source page (the target's rectangle when the source is gone).
void sprite_cell_mark(sprite* s);

// ---- Frames

// One step of every timeline of a sprite (sprite_step.cpp).
void sprite_step(sprite* s);
// The movement alone (sprite_paste runs it once).
void sprite_move_step(sprite* s);
// One frame of sprite work: step every sprite and redraw the dirty grid cells, pages that are not
// shown first, so that sprites showing them on the front page see their new content.
void sprite_update_all();
// 1 when a frame is due (force: at once, unless suspended), and its time is recorded; else 0.
int frame_limit(int force);
// Milliseconds of the platform clock until frame_limit lets the next frame through (0: now), or
// WAIT_NO_LIMIT while updates are suspended.
uint32_t frame_due_in();
// Whether the next frame has work: a grid with flagged cells, or a sprite whose step will change
// something (a timeline running, a cross-fade to blend, a picture to render again). Without it a
// frame draws nothing, and an idle pass need not wake for it.
bool sprite_frame_work_pending();
// The sprite-update suspend counter (0: updates run).
int sprite_update_suspend_count();
void sprite_update_suspend();
void sprite_update_resume();

// Draws a rectangle of the source onto the target by the source's drawmode and alpha page, at the
// sprite's transparency. Both rectangles must lie inside their pages (sr's size counts).
void sprite_blit(const page* src, const page_rect& sr, page* dst, const page_rect& dr, int transparency);
// Clips a rectangle of the source placed at (dx, dy) against the source page and the clip rectangle
// (a rectangle of the target), moving the other side with every cut, and blits what is left. True
// when something was drawn; *drawn (may be null) receives the target rectangle.
bool sprite_blit_clipped(const page* src, page_rect sr, page* dst, int64_t dx, int64_t dy, const page_rect& clip,
                         int transparency, page_rect* drawn);

// ---- Life cycle

// The VM reset's step: every timeline stopped, every sprite put off the page and freed unless kept;
// unused grids freed, the front page's grid made sure of, non-persistent pages freed, updates resumed.
void sprite_reset();
// After the start script's initialisation: every sprite and grid survives the resets.
void sprite_mark_all_kept();
// Shut-down: every sprite and then every grid freed, kept or not.
void sprite_release_all();
// A page is being freed: sprites, grids and the presentation forget it (called by page_free).
// Gives the number of sprites it looked at.
int sprite_page_freed(const page* p);
// Forgets the module state (tests): everything freed, the frame rate and time read again.
void sprite_module_reset();
