// One sprite's step through its timelines: movement, cell animation, cross-fade, transparency,
// rotation and scales, then the transformed picture rendered again when something changed it.
// "now" is the script clock of the pass; elapsed times are absolute differences.
#include <algorithm>
#include <cmath>

#include "base/int32.h"
#include "graphics/kernel.h"
#include "graphics/page_grid.h"
#include "graphics/sprite.h"
#include "shell/env_keys.h"
#include "vm/script_error.h"

namespace {

constexpr double HALF_PI = 3.1415926535 / 2;
// A step advances a timeline over at most this many pairs (catch-up after a late frame).
constexpr int CATCH_UP_PAIRS = 100;
// The cross-fade blend is renewed this often while a pair runs.
constexpr int32_t CROSS_FADE_INTERVAL = 50;

int64_t elapsed_since(int32_t now, int32_t start) {
  int64_t d = i32_sub(now, start);
  return d < 0 ? -d : d;
}

// The eased share of the way at t of d (0 < d): slow start 1 - sin((d - t) / d * pi/2), slow end
// sin(t / d * pi/2); false when neither bit is set (the caller's linear form applies).
bool eased_share(int64_t t, int32_t d, uint32_t easing, uint32_t slow_start, uint32_t slow_end, double& share) {
  double f = static_cast<double>(std::clamp<int64_t>(t, 0, d)) / d;
  if (easing & slow_start) {
    share = 1 - std::sin((1 - f) * HALF_PI);
    return true;
  }
  if (easing & slow_end) {
    share = std::sin(f * HALF_PI);
    return true;
  }
  return false;
}

// Advances a timeline once its current pair has run out: the index goes up (wrapping to 0 and
// state 2 past the last pair), each pair's duration is taken off the elapsed time, and the walk
// stops where the rest falls inside a pair, on a pair held for ever (state 0), or after the
// step's limit. leave(i) runs before pair i is left. True when the index moved.
template <class Duration, class Leave>
bool track_advance(sprite_track& t, int catch_up, int32_t now, Duration duration_at, Leave leave) {
  if (t.count <= 0) {
    t.state = 0;
    return false;
  }
  int64_t rest = elapsed_since(now, t.start_time);
  if (rest < t.duration) return false;
  int limit = catch_up ? CATCH_UP_PAIRS : 1;
  for (int k = 0; k < limit; k++) {
    if (t.index >= 0) leave(t.index);
    rest -= t.duration;
    if (++t.index >= t.count) {
      t.index = 0;
      t.state = 2;
    }
    t.duration = duration_at(t.index);
    if (t.duration < 0) {
      t.state = 0;
      break;
    }
    if (rest < t.duration) break;
  }
  t.start_time = i32_sub(now, static_cast<int32_t>(std::clamp<int64_t>(rest, INT32_MIN, INT32_MAX)));
  return true;
}

// Where a cell index lies in the source page: the sprite's first cell for CELL_INITIAL, else
// counted row by row in cells of the sprite's size.
void cell_position(const sprite* s, int32_t index, int32_t& cx, int32_t& cy) {
  if (index == CELL_INITIAL) {
    cx = s->initial_cell_x;
    cy = s->initial_cell_y;
    return;
  }
  int32_t columns = s->source_page && s->width > 0 ? std::max(1, s->source_page->width / s->width) : 1;
  cx = i32_mul(s->width, i32_rem(index, columns));
  cy = i32_mul(i32_div(index, columns), s->height);
}

void animation_step(sprite* s, int32_t now) {
  sprite_track& t = s->animation;
  if (t.state == 0) return;
  int32_t before = t.index >= 0 ? s->animation_pairs[t.index].cell : INT32_MIN;
  if (!track_advance(t, s->catch_up, now, [s](int i) { return s->animation_pairs[i].duration; }, [](int) {}))
    return;
  s->cross_fade_time = t.start_time;
  s->cross_fade_changed = 1;
  int32_t cell = s->animation_pairs[t.index].cell;
  cell_position(s, cell, s->cell_x, s->cell_y);
  if (cell != before) {
    s->render_stamp = 0;
    if (!s->marked) sprite_cell_mark(s);
  }
}

// Copies (blend < 0) or blends a cell of the source, with its alpha, onto the cross-fade page.
void cross_fade_put(const sprite* s, int32_t cx, int32_t cy, int blend) {
  page* src = s->source_page;
  page* cf = s->cross_fade_page;
  page_rect sr{cx, cy, s->width, s->height}, dr{0, 0, 0, 0};
  if (clip_rect_pair(src, &sr, cf, &dr)) return;
  bool with_alpha = page_alpha_usable(src) && page_alpha_usable(cf);
  if (blend < 0) {
    page_copy_kernel(src, sr, cf, dr);
    if (with_alpha) page_copy_kernel(src->alpha, sr, cf->alpha, dr);
  } else {
    page_blend_kernel(src, sr, cf, dr, blend);
    if (with_alpha) page_blend_kernel(src->alpha, sr, cf->alpha, dr, blend);
  }
}

void cross_fade_step(sprite* s, int32_t now) {
  if (!s->cross_fade || !s->cross_fade_page || !s->source_page) return;
  if (!s->cross_fade_changed && elapsed_since(now, s->cross_fade_time) < CROSS_FADE_INTERVAL) return;
  s->cross_fade_time = now;
  const sprite_track& t = s->animation;
  if (s->cross_fade_changed) {
    if (t.count > 0) {
      int32_t next = t.index + 1 < t.count ? t.index + 1 : 0;  // the first pair before the first step
      cell_position(s, s->animation_pairs[next].cell, s->next_cell_x, s->next_cell_y);
    } else {
      s->next_cell_x = s->cell_x;
      s->next_cell_y = s->cell_y;
    }
    s->render_stamp = 0;
  }
  if (!s->cross_fade_changed && s->cell_x == s->next_cell_x && s->cell_y == s->next_cell_y) return;
  s->cross_fade_changed = 0;
  int64_t level = 255 - elapsed_since(now, t.start_time) * 255 / std::max(t.duration, 1);
  int d = static_cast<int>(std::clamp<int64_t>(level, 0, 255));
  cross_fade_put(s, s->cell_x, s->cell_y, -1);
  if (t.state != 0 && d != 255) cross_fade_put(s, s->next_cell_x, s->next_cell_y, d);
  if (!s->marked) sprite_cell_mark(s);
}

void alpha_step(sprite* s, int32_t now) {
  sprite_track& t = s->alpha;
  if (t.state == 0) return;
  track_advance(t, s->catch_up, now, [s](int i) { return s->alpha_pairs[i].duration; },
                [s](int i) { s->alpha_previous = s->alpha_pairs[i].level; });
  if (t.index < 0) return;
  const sprite_level_pair& p = s->alpha_pairs[t.index];
  int64_t e = elapsed_since(now, t.start_time);
  int64_t level = p.duration < 1 ? p.level : (e * p.level + (p.duration - e) * s->alpha_previous) / p.duration;
  int32_t a = static_cast<int32_t>(std::clamp<int64_t>(level, 0, 255));
  if (a == s->transparency) return;
  s->transparency = a;
  sprite_area_mark(s);
}

void rotation_step(sprite* s, int32_t now) {
  if (s->rotation_state == 0) return;
  int64_t e = elapsed_since(now, s->rotation_start_time);
  float a;
  if (s->rotation_duration == 0 || (s->rotation_state == 1 && e >= s->rotation_duration)) {
    a = s->end_angle;
    s->rotation_state = 0;
  } else {
    a = s->start_angle + (s->end_angle - s->start_angle) / static_cast<float>(s->rotation_duration) * static_cast<float>(e);
  }
  if (a != s->angle) {
    s->angle = a;
    s->render_stamp = 0;
  }
}

void scale_step(sprite* s, sprite_scale& sc, int32_t now, uint32_t slow_start, uint32_t slow_end) {
  sprite_track& t = sc.track;
  if (t.state == 0) return;
  track_advance(t, s->catch_up, now, [&sc](int i) { return duration_of(sc.pairs[i].word); },
                [&sc](int i) { sc.previous = sc.pairs[i].value; });
  if (t.index < 0) return;
  const sprite_scale_pair& p = sc.pairs[t.index];
  sc.easing = p.word & EASE_BITS;
  int32_t d = duration_of(p.word);
  int64_t e = elapsed_since(now, t.start_time);
  float v = p.value;
  double share;
  if (d >= 1) {
    if (eased_share(e, d, sc.easing, slow_start, slow_end, share))
      v = static_cast<float>(sc.previous + (p.value - sc.previous) * share);
    else
      v = (static_cast<float>(e) * p.value + static_cast<float>(d - e) * sc.previous) / static_cast<float>(d);
  }
  if (v != sc.value) {
    sc.value = v;
    s->render_stamp = 0;
  }
}

// The work page's fill: the source's first pixel, as the page's own kind of colour.
uint32_t first_pixel_colour(const page* p) {
  const uint8_t* b = p->bits;
  return p->is_8bit ? b[0] : static_cast<uint32_t>(b[2]) | b[1] << 8 | b[0] << 16;
}

// Renders the rotated and scaled picture into the work page: a square of 100n pixels around the
// sprite's centre, big enough for the cell's diagonal at both scales, cut to the client area.
void render(sprite* s, int32_t now) {
  page* src = s->source_page;
  if (!src) return;
  mark_dirty_rect(s->target_page, page_rect{s->work_x, s->work_y, s->work_width, s->work_height});
  s->render_stamp = now != 0 ? now : 1;
  double r = std::sqrt(static_cast<double>(s->width / 2) * (s->width / 2) + static_cast<double>(s->height / 2) * (s->height / 2));
  int64_t reach = std::max<int64_t>(static_cast<int64_t>(i32_from_float(r * std::fabs(s->xscale.value))) + 1,
                                    static_cast<int64_t>(i32_from_float(r * std::fabs(s->yscale.value))) + 1);
  int64_t n = (reach + 50) / 50, side = 100 * n;
  int64_t wx = static_cast<int64_t>(s->x) - 50 * n, wy = static_cast<int64_t>(s->y) - 50 * n, ox = 0, oy = 0;
  if (wx < 0) ox = wx, wx = 0;
  if (wy < 0) oy = wy, wy = 0;
  int64_t cw = client_width(), ch = client_height();
  int64_t ww = std::min(side, cw - wx), wh = std::min(side, ch - wy);
  if (ww <= 0 || wh <= 0 || wx >= cw || wy >= ch) {
    // Nothing of it can be shown; drawing the last picture at its old place would be wrong.
    s->work_width = s->work_height = 0;
    return;
  }
  page* work = s->work_page;
  if (work && work->width == ww && work->height == wh) {
    if (work->alpha) page_fill_rect(work->alpha, page_rect{0, 0, work->width, work->height}, 255);
  } else {
    if (work) {
      s->work_page = nullptr;
      if (work->alpha) page_free(work->alpha, 1);
      page_free(work, 1);
    }
    work = page_new(static_cast<int>(ww), static_cast<int>(wh), src->is_8bit, 0);
    if (!work) {
      s->work_width = s->work_height = 0;
      return;
    }
    if (src->is_8bit) std::copy_n(src->palette, 256, work->palette);
    if (page_alpha_usable(src)) {
      page_alpha_set(work, page_new_gray8(work->width, work->height, 0));
      work->owns_alpha = work->alpha ? 1 : 0;
      if (work->alpha) page_fill_rect(work->alpha, page_rect{0, 0, work->width, work->height}, 255);
    }
    s->work_page = work;
    page_readers_add(work, s->id);
  }
  page_fill_rect(work, page_rect{0, 0, work->width, work->height}, first_pixel_colour(src));
  work->drawmode = src->drawmode;
  s->work_x = static_cast<int32_t>(wx);
  s->work_y = static_cast<int32_t>(wy);
  s->work_width = work->width;
  s->work_height = work->height;
  page_rect dr{static_cast<int32_t>(ox), static_cast<int32_t>(oy), static_cast<int32_t>(std::min<int64_t>(side, INT32_MAX)),
               static_cast<int32_t>(std::min<int64_t>(side, INT32_MAX))};
  if (s->cross_fade && s->cross_fade_page)
    page_modify_copy_kernel(s->cross_fade_page, page_rect{0, 0, s->width, s->height}, work, dr, s->angle,
                            s->xscale.value, s->yscale.value);
  else
    page_modify_copy_kernel(src, page_rect{s->cell_x, s->cell_y, s->width, s->height}, work, dr, s->angle,
                            s->xscale.value, s->yscale.value);
  mark_dirty_rect(work, page_rect{0, 0, work->width, work->height});
}

}  // namespace

void sprite_move_step(sprite* s) {
  if (s->move_state != 1) return;
  int64_t t = elapsed_since(vm_time_get(), s->move_start_time);
  int32_t d = s->move_duration;
  if (t >= d) {
    s->move_state = 2;
    t = d;
  }
  int32_t ox = s->move_dx, oy = s->move_dy;
  if (d > 0) {
    double share;
    ox = eased_share(t, d, s->move_easing, EASE_X_SLOW_START, EASE_X_SLOW_END, share)
             ? i32_from_float(s->move_dx * share)
             : static_cast<int32_t>(t * s->move_dx / d);
    oy = eased_share(t, d, s->move_easing, EASE_Y_SLOW_START, EASE_Y_SLOW_END, share)
             ? i32_from_float(s->move_dy * share)
             : static_cast<int32_t>(t * s->move_dy / d);
  }
  int32_t nx = i32_add(s->move_start_x, ox), ny = i32_add(s->move_start_y, oy);
  if (nx == s->x && ny == s->y) return;
  if (s->transformable) {
    s->render_stamp = 0;
  } else {
    mark_dirty_rect(s->target_page, page_rect{s->x, s->y, s->width, s->height});
    mark_dirty_rect(s->target_page, page_rect{nx, ny, s->width, s->height});
  }
  s->x = nx;
  s->y = ny;
  s->marked = 1;
}

void sprite_step(sprite* s) {
  int32_t now = vm_time_get();
  s->marked = 0;
  sprite_move_step(s);
  animation_step(s, now);
  cross_fade_step(s, now);
  alpha_step(s, now);
  if (!s->transformable) return;
  rotation_step(s, now);
  scale_step(s, s->xscale, now, EASE_X_SLOW_START, EASE_X_SLOW_END);
  scale_step(s, s->yscale, now, EASE_Y_SLOW_START, EASE_Y_SLOW_END);
  if (s->render_stamp == 0 && s->transparency != 255 && s->hide == 0) render(s, now);
}
