#include "graphics/sprite_builtins.h"

#include <algorithm>
#include <string>

#include "base/int32.h"
#include "graphics/gfx_id.h"
#include "graphics/image_cache.h"
#include "graphics/image_file.h"
#include "graphics/kernel.h"
#include "graphics/page_grid.h"
#include "graphics/presentation.h"
#include "graphics/sprite.h"
#include "vm/dispatcher.h"
#include "vm/script_error.h"
#include "vm/thread.h"
#include "vm/variables.h"

namespace {

constexpr const char* NO_SPRITE = "スプライトが存在しません";
constexpr const char* NO_PAGE = "ページが存在しません";
constexpr const char* NO_TARGET = "転送先ページが存在しません";
constexpr const char* NOT_ABOVE_ZERO = "大きさが０以下のスプライトは作成できません";

uint32_t arg_id(int32_t k) { return static_cast<uint32_t>(builtin_arg_int(k)); }

// The live sprite of argument k; else the report (name, separator, text) and null. Most
// built-ins write " : " between name and text; a few always wrote ": ".
sprite* sprite_arg(const char* name, int32_t k = 1, const char* separator = " : ") {
  sprite* s = sprite_from_id(arg_id(k));
  if (!s) script_error("%s%s%s", name, separator, NO_SPRITE);
  return s;
}

int done(int32_t value = 0) {
  push_int(value);
  return 0;
}

int32_t id_of(const page* p) { return p ? static_cast<int32_t>(p->id) : 0; }

// ---- Creation

// The cell and target of a creation built-in from its arguments (page or image in argument 1):
// the whole page with fewer than 5 arguments, arguments 2-5 otherwise, argument 6 as target.
// False after a report that ends the built-in.
bool creation_args(const char* name, const char* count_text, const page* source, int32_t n, page_rect& cell,
                   page*& target) {
  if (n != 1 && n != 5 && n != 6) script_error("%s : %s", name, count_text);
  cell = page_rect{0, 0, source->width, source->height};
  if (n >= 5) cell = page_rect{builtin_arg_int(2), builtin_arg_int(3), builtin_arg_int(4), builtin_arg_int(5)};
  target = front_page_get();
  if (n >= 6) {
    target = page_from_id(arg_id(6));
    if (!target) {
      script_error("%s : %s", name, NO_TARGET);
      return false;
    }
  }
  if (cell.width < 1 || cell.height < 1) {
    script_error("%s : %s", name, NOT_ABOVE_ZERO);
    cell.width = std::max(cell.width, 1);
    cell.height = std::max(cell.height, 1);
  }
  return true;
}

sprite* sprite_create_page(int32_t n) {
  page* source = page_from_id(arg_id(1));
  if (!source) {
    script_error("sprite_create : %s", NO_PAGE);
    return nullptr;
  }
  page_rect cell;
  page* target;
  if (!creation_args("sprite_create",
                     "パラメータは１個か５個か６個(_no, _x, _y, _xl, _y, _topage)のどれかにして下さい", source, n,
                     cell, target))
    return nullptr;
  return sprite_new(source, cell.x, cell.y, cell.width, cell.height, target);
}

void page_with_alpha_free(page* p) {
  if (p->alpha) page_free(p->alpha, 1);
  page_free(p, 1);
}

// The image named by argument 1, looked for again after each report (the error box's Retry); in
// the silent report mode a missing one is a 1 x 1 page (8-bit for a mask name).
page* image_arg(std::string& resolved) {
  image_name image(builtin_arg_text(1));
  while (image_resolve_name(image, resolved) != 0) {
    if (error_report_mode_get() == 1) return image.mask ? page_new_gray8(1, 1, 0) : page_new_rgb24(1, 1, 0);
    script_error("sprite_create_file : ファイル[%s]が存在しません", resolved.c_str());
  }
  return image_load(resolved);
}

// The image with its companion mask ("name_") as alpha page, and the sprite on it; it owns the
// page (auto-release). Null after a report, with nothing made.
sprite* sprite_create_file(int32_t n) {
  std::string resolved, mask_name;
  page* image = image_arg(resolved);
  if (!image) return nullptr;
  page_rect cell;
  page* target;
  if (!creation_args("sprite_create_file",
                     "パラメータは１個か５個か６個(_file, _x, _y, _xl, _yl, _topage)のどれかにして下さい", image, n,
                     cell, target)) {
    page_with_alpha_free(image);
    return nullptr;
  }
  if (image_resolve_name(image_name(resolved).base + "_", mask_name) == 0) {
    page* mask = image_load(mask_name);
    bool fits = mask->is_8bit && mask->width == image->width && mask->height == image->height;
    if (!mask->is_8bit)
      script_error("sprite_create_file : ファイル[%s]は8ビットでは有りません", mask_name.c_str());
    else if (!fits)
      script_error("sprite_create_file : ページの大きさをそろえる必要が有ります。");
    if (!fits) {
      page_free(mask, 1);
      page_with_alpha_free(image);
      return nullptr;
    }
    if (image->alpha) page_free(image->alpha, 1);
    page_alpha_set(image, mask);
    image->owns_alpha = 1;
  }
  sprite* s = sprite_new(image, cell.x, cell.y, cell.width, cell.height, target);
  s->auto_release = 1;
  return s;
}

// ---- Timelines

// Argument values after the sprite: full (value, duration) pairs and a trailing value.
struct pair_args {
  int32_t pairs, odd;
  explicit pair_args(int32_t n) : pairs(std::max(n - 1, 0) / 2), odd(std::max(n - 1, 0) % 2) {}
  int32_t entries() const { return pairs + odd; }
};

// Aligned timelines start at a multiple of their total length, so that timelines of one length
// run in phase.
int32_t aligned_start(int32_t now, int64_t total) {
  int32_t t = total > 0 && total <= INT32_MAX ? static_cast<int32_t>(total) : 1;
  return i32_mul(now / t, t);
}

void track_start(sprite_track& t, int32_t count, int32_t start) {
  t.count = count;
  t.state = 1;
  t.duration = 0;
  t.index = -1;
  t.start_time = start;
}

enum definer_mode { DEFINE, ADD, ALIGNED };

int animate_define(const char* name, int32_t n, definer_mode mode) {
  sprite* s = sprite_arg(name);
  if (!s) return done();
  sprite_track& t = s->animation;
  if (n <= 1 && mode != ADD) {
    t.state = t.count = t.index = 0;
    return done();
  }
  pair_args a(n);
  int32_t base = mode == ADD ? t.count : 0;
  if (base + a.pairs > SPRITE_ANIMATION_FULL_PAIRS || base + a.entries() > SPRITE_ANIMATION_PAIRS) {
    script_error("%s : アニメデータが多すぎです！", name);
    return done();
  }
  int64_t total = 0;
  for (int32_t i = 0; i < a.pairs; i++) {
    int32_t duration = builtin_arg_int(3 + 2 * i);
    s->animation_pairs[base + i] = sprite_cell_pair{builtin_arg_int(2 + 2 * i), duration};
    total += duration;
  }
  if (a.odd) s->animation_pairs[base + a.pairs] = sprite_cell_pair{builtin_arg_int(n), -1};
  s->catch_up = 1;
  if (mode == ADD && base > 0) {
    t.count = base + a.entries();
    return done();
  }
  int32_t now = vm_time_get();
  track_start(t, base + a.entries(), mode == ALIGNED ? aligned_start(now, total) : now);
  if (a.entries() == 1) sprite_cell_mark(s);
  return done();
}

// The transparency and scale definers keep their closing entry inside the table; more values
// than that are refused, so nothing is written past it.
bool table_fits(const char* name, int32_t entries, int32_t capacity) {
  if (entries <= capacity) return true;
  script_error("%s : データが多すぎです！", name);
  return false;
}

int alpha_define(const char* name, int32_t n, bool aligned) {
  sprite* s = sprite_arg(name);
  if (!s) return done();
  pair_args a(n);
  if (!table_fits(name, a.entries() + 1, SPRITE_ALPHA_PAIRS)) return done();
  int64_t total = 0;
  int32_t last = s->transparency;
  for (int32_t i = 0; i < a.pairs; i++) {
    last = builtin_arg_int(2 + 2 * i);
    int32_t duration = builtin_arg_int(3 + 2 * i);
    s->alpha_pairs[i] = sprite_level_pair{last, duration};
    total += duration;
  }
  if (a.odd) s->alpha_pairs[a.pairs] = sprite_level_pair{last = builtin_arg_int(n), -1};
  s->alpha_pairs[a.entries()] = sprite_level_pair{last, -1};
  s->alpha_previous = s->transparency;
  s->catch_up = 1;
  int32_t now = vm_time_get();
  track_start(s->alpha, a.entries() + 1, aligned ? aligned_start(now, total) : now);
  return done();
}

int scale_define(const char* name, int32_t n, sprite_scale sprite::*axis) {
  sprite* s = sprite_arg(name);
  if (!s) return done();
  sprite_scale& sc = s->*axis;
  pair_args a(n);
  if (!table_fits(name, a.entries() + 1, SPRITE_SCALE_PAIRS)) return done();
  float last = sc.value;
  for (int32_t i = 0; i < a.pairs; i++) {
    last = builtin_arg_float(2 + 2 * i);
    sc.pairs[i] = sprite_scale_pair{last, static_cast<uint32_t>(builtin_arg_int(3 + 2 * i))};
  }
  if (a.odd) sc.pairs[a.pairs] = sprite_scale_pair{last = builtin_arg_float(n), 0xFFFFFFFFu};
  sc.pairs[a.entries()] = sprite_scale_pair{last, 0xFFFFFFFFu};
  sc.previous = sc.value;
  sc.easing = 0;
  s->catch_up = 1;
  track_start(sc.track, a.entries() + 1, vm_time_get());
  return done();
}

int scale_set(const char* name, int32_t n, sprite_scale sprite::*axis) {
  sprite* s = sprite_arg(name);
  if (!s) return done();
  sprite_scale& sc = s->*axis;
  float value = builtin_arg_float(2);
  uint32_t word = n >= 3 ? static_cast<uint32_t>(builtin_arg_int(3)) : 0;
  sc.pairs[0] = sprite_scale_pair{value, word};
  sc.pairs[1] = sprite_scale_pair{value, 0xFFFFFFFFu};
  if (n >= 3) {
    sc.previous = sc.value;
    s->catch_up = 1;
    track_start(sc.track, 2, vm_time_get());
  } else {
    sc.track.count = 2;
    sc.track.state = 0;
    if (sc.value != value) {
      sc.value = value;
      s->render_stamp = 0;
    }
  }
  return done();
}

// The wait built-ins: not finished while the state is 1, except that thread 0 never waits while
// sprite updates are suspended (nothing would ever move).
int sprite_wait(const char* name, int32_t (*state)(const sprite*)) {
  sprite* s = sprite_arg(name);
  if (!s) return done();
  call_frame* f = vm_frame;
  if (state(s) != 1 || (vm_thread->id == 0 && sprite_update_suspend_count() > 0)) {
    f->wait_deadline = WAIT_NONE;
    return done();
  }
  f->wait_deadline = wait_deadline_after(vm_time_get(), 1);
  return 1;
}

// ---- Draw order

// With a reference, s goes just past the run of the reference's group that starts at the
// reference and goes the way s moves (single: just past the reference), and joins the group.
int priority(const char* name, int32_t n, bool above, bool single) {
  sprite* s = sprite_from_id(arg_id(1));
  if (!s) {
    script_error("%s : 第１パラメータのスプライトが存在しません", name);
    return done();
  }
  sprite* r = nullptr;
  if (n >= 2 && !(r = sprite_from_id(arg_id(2)))) {
    script_error("%s : 第２パラメータのスプライトが存在しません", name);
    return done();
  }
  if (!r) {
    above ? sprite_place_above(s, nullptr) : sprite_place_below(s, nullptr);
  } else if (r != s) {
    sprite* anchor = r;
    // s itself does not break the run: it leaves its place first.
    for (sprite* q = above ? r->newer : r->older; q && !single; q = above ? q->newer : q->older) {
      if (q == s) continue;
      if (q->group != r->group) break;
      anchor = q;
    }
    above ? sprite_place_above(s, anchor) : sprite_place_below(s, anchor);
    s->group = r->group;
  }
  sprite_area_mark(s);
  return done();
}

void hide_change(sprite* s, bool show) {
  if (!show) {
    // The sprite leaves the picture: its area is drawn again without it.
    if (s->hide-- == 0) sprite_area_mark(s);
    return;
  }
  s->hide = s->hide < 0 ? s->hide + 1 : 0;
  if (s->hide == 0) sprite_cell_mark(s);
}

int hide_all_or_one(const char* name, int32_t n, bool show) {
  if (n >= 1) {
    sprite* s = sprite_arg(name, 1, ": ");
    if (s) hide_change(s, show);
    return done();
  }
  for (sprite* s = sprite_newest(); s; s = s->older) hide_change(s, show);
  return done();
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Creation and release

int builtin_sprite_create(int32_t n, int32_t) {
  sprite* s = sprite_create_page(n);
  return done(s ? static_cast<int32_t>(s->id) : 0);
}

int builtin_sprite_create_transformable(int32_t n, int32_t) {
  sprite* s = sprite_create_page(n);
  if (s) s->transformable = 1;
  return done(s ? static_cast<int32_t>(s->id) : 0);
}

int builtin_sprite_create_file(int32_t n, int32_t) {
  sprite* s = sprite_create_file(n);
  return done(s ? static_cast<int32_t>(s->id) : 0);
}

int builtin_sprite_create_file_transformable(int32_t n, int32_t) {
  sprite* s = sprite_create_file(n);
  if (!s) return done();
  s->transformable = 1;
  page* p = s->source_page;
  if (!p->alpha) {
    page_alpha_set(p, page_new_gray8(p->width, p->height, 0));  // cleared: opaque everywhere
    p->owns_alpha = p->alpha ? 1 : 0;
  }
  return done(static_cast<int32_t>(s->id));
}

int builtin_sprite_clip(int32_t, int32_t) {
  sprite* s = sprite_arg("sprite_clip", 1, ": ");
  if (!s) return done();
  int32_t w = builtin_arg_int(4), h = builtin_arg_int(5);
  if (w < 1 || h < 1) {
    script_error("sprite_clip : %s", NOT_ABOVE_ZERO);
    w = std::max(w, 1);
    h = std::max(h, 1);
  }
  // The old area too: a smaller cell leaves part of it uncovered.
  sprite_area_mark(s);
  s->cell_x = builtin_arg_int(2);
  s->cell_y = builtin_arg_int(3);
  s->width = w;
  s->height = h;
  s->render_stamp = 0;
  sprite_area_mark(s);
  return done();
}

int builtin_sprite_paste(int32_t n, int32_t) {
  sprite* s = sprite_arg("sprite_paste");
  if (!s) return done();
  page* dst = page_from_id(arg_id(2));
  if (!dst) {
    script_error("sprite_paste : 出力先ページが存在しません");
    return done();
  }
  sprite_move_step(s);
  if (s->transformable && s->render_stamp == 0) sprite_step(s);
  int64_t x, y;
  if (n >= 4) {
    x = builtin_arg_int(3), y = builtin_arg_int(4);
    if (s->transformable) x -= s->work_width / 2, y -= s->work_height / 2;
  } else if (s->transformable) {
    x = s->work_x, y = s->work_y;
  } else {
    x = s->x, y = s->y;
  }
  if (s->hide != 0 || s->transparency == 255) return done();
  page_rect whole{0, 0, dst->width, dst->height}, drawn;
  bool did;
  if (s->transformable) {
    if (!s->work_page) return done();
    did = sprite_blit_clipped(s->work_page, page_rect{0, 0, s->work_width, s->work_height}, dst, x, y, whole,
                              s->transparency, &drawn);
  } else {
    if (!s->source_page) return done();
    did = sprite_blit_clipped(s->source_page, page_rect{s->cell_x, s->cell_y, s->width, s->height}, dst, x, y, whole,
                              s->transparency, &drawn);
  }
  if (did) mark_dirty_rect(dst, drawn);
  return done();
}

int builtin_sprite_release(int32_t, int32_t) {
  sprite* s = sprite_arg("sprite_release");
  if (!s) return done();
  if (s->auto_release && s->source_page) {
    page* src = s->source_page;
    if (src->alpha) page_free(src->alpha, 0);
    page_free(src, 0);
  }
  sprite_area_mark(s);
  sprite_unlink(s);
  return done();
}

int builtin_sprite_page_auto_release(int32_t, int32_t) {
  if (sprite* s = sprite_arg("sprite_page_auto_release")) s->auto_release = 1;
  return done();
}

// ---------------------------------------------------------------------------------------------
// Visibility, movement and queries

int builtin_sprite_push(int32_t n, int32_t) { return hide_all_or_one("sprite_push", n, false); }
int builtin_sprite_pop(int32_t n, int32_t) { return hide_all_or_one("sprite_pop", n, true); }

int builtin_sprite_move(int32_t n, int32_t) {
  sprite* s = sprite_arg("sprite_move");
  if (!s) return done();
  int32_t sx = s->x, sy = s->y;
  // A jump not yet taken is where the sprite already counts as being.
  if (s->move_state != 0 && s->move_duration == 0) {
    sx = i32_add(s->move_start_x, s->move_dx);
    sy = i32_add(s->move_start_y, s->move_dy);
  }
  sprite_area_mark(s);
  uint32_t word = n >= 4 ? static_cast<uint32_t>(builtin_arg_int(4)) : 0;
  s->move_start_x = sx;
  s->move_start_y = sy;
  s->move_dx = i32_sub(builtin_arg_int(2), sx);
  s->move_dy = i32_sub(builtin_arg_int(3), sy);
  s->move_duration = duration_of(word);
  s->move_easing = word & EASE_BITS;
  s->move_state = 1;
  s->move_start_time = vm_time_get();
  return done();
}

int builtin_sprite_move_wait(int32_t, int32_t) { return sprite_wait("sprite_move_wait", [](const sprite* s) { return s->move_state; }); }

int builtin_is_sprite_move(int32_t, int32_t) {
  sprite* s = sprite_arg("is_sprite_move");
  return done(s && s->move_state == 1 ? 1 : 0);
}

int builtin_sprite_get_pos_x(int32_t, int32_t) {
  sprite* s = sprite_arg("sprite_get_pos_x");
  if (!s) return done();
  return done(s->move_duration != 0 ? s->x : i32_add(s->move_start_x, s->move_dx));
}

int builtin_sprite_get_pos_y(int32_t, int32_t) {
  sprite* s = sprite_arg("sprite_get_pos_y");
  if (!s) return done();
  return done(s->move_duration != 0 ? s->y : i32_add(s->move_start_y, s->move_dy));
}

int builtin_sprite_len_x(int32_t, int32_t) {
  sprite* s = sprite_arg("sprite_len_x");
  return done(s ? s->width : 0);
}

int builtin_sprite_len_y(int32_t, int32_t) {
  sprite* s = sprite_arg("sprite_len_y");
  return done(s ? s->height : 0);
}

int builtin_ps_sprite_get_page(int32_t, int32_t) {
  sprite* s = sprite_arg("ps_sprite_get_page", 1, ": ");
  return done(s ? id_of(s->source_page) : 0);
}

int builtin_sprite_exists(int32_t, int32_t) { return done(sprite_is_absent(arg_id(1)) ? 0 : 1); }

int builtin_sprite_update_suspend(int32_t, int32_t) {
  sprite_update_suspend();
  return done();
}

int builtin_sprite_update_resume(int32_t, int32_t) {
  sprite_update_resume();
  return done();
}

int builtin_invalidate_rect(int32_t n, int32_t) {
  page* p = page_from_id(arg_id(1));
  if (!p) {
    script_error("invalidate_rect : %s", NO_PAGE);
    return done();
  }
  page_rect r{0, 0, p->width, p->height};
  if (n >= 5) r = page_rect{builtin_arg_int(2), builtin_arg_int(3), builtin_arg_int(4), builtin_arg_int(5)};
  mark_dirty_rect(p, r);
  return done();
}

// ---------------------------------------------------------------------------------------------
// Timelines

int builtin_sprite_animate_define(int32_t n, int32_t) { return animate_define("sprite_animate_define", n, DEFINE); }
int builtin_sprite_animate_add(int32_t n, int32_t) { return animate_define("sprite_animate_add", n, ADD); }
int builtin_sprite_animate_define_aligned(int32_t n, int32_t) {
  return animate_define("sprite_animate_define_aligned", n, ALIGNED);
}

int builtin_sprite_animate_wait(int32_t, int32_t) {
  return sprite_wait("sprite_animate_wait", [](const sprite* s) { return s->animation.state; });
}

int builtin_ps_sprite_set_smooth_animation(int32_t, int32_t) {
  sprite* s = sprite_arg("ps_sprite_set_smooth_animation", 1, ": ");
  if (!s || s->cross_fade) return done();
  // Persistent, so that a kept sprite keeps its cross-fade across resets; the sprite frees it.
  page* cf = page_new_rgb24(s->width, s->height, 1);
  if (!cf) return done();
  if (s->source_page && page_alpha_usable(s->source_page)) {
    page_alpha_set(cf, page_new_gray8(s->width, s->height, 1));
    if (cf->alpha) {
      cf->owns_alpha = 1;
      page_fill_rect(cf->alpha, page_rect{0, 0, s->width, s->height}, 255);
    }
  }
  s->cross_fade_page = cf;
  page_readers_add(cf, s->id);
  s->cross_fade = 1;
  s->cross_fade_changed = 1;
  return done();
}

int builtin_sprite_alfa_define(int32_t n, int32_t) { return alpha_define("sprite_alfa_define", n, false); }
int builtin_sprite_alfa_define_aligned(int32_t n, int32_t) {
  return alpha_define("sprite_alfa_define_aligned", n, true);
}

int builtin_sprite_alfa_set(int32_t n, int32_t) {
  sprite* s = sprite_arg("sprite_alfa_set");
  if (!s) return done();
  int32_t level = builtin_arg_int(2);
  s->alpha_pairs[0] = sprite_level_pair{level, n >= 3 ? builtin_arg_int(3) : 0};
  s->alpha_pairs[1] = sprite_level_pair{level, -1};
  if (n >= 3) {
    s->alpha_previous = s->transparency;
    s->catch_up = 1;
    track_start(s->alpha, 2, vm_time_get());
  } else {
    s->alpha.count = 2;
    s->alpha.state = 0;
    s->transparency = std::clamp(level, 0, 255);
    sprite_area_mark(s);
  }
  return done();
}

int builtin_sprite_tl_set(int32_t, int32_t) {
  sprite* s = sprite_arg("sprite_tl_set");
  if (!s) return done();
  int32_t level = builtin_arg_int(2);
  s->alpha_pairs[0] = s->alpha_pairs[1] = sprite_level_pair{level, -1};
  s->alpha.count = 1;
  s->alpha.index = -1;
  s->alpha.duration = 0;
  s->catch_up = 1;
  return done();
}

int builtin_sprite_alfa_wait(int32_t, int32_t) { return sprite_wait("sprite_alfa_wait", [](const sprite* s) { return s->alpha.state; }); }

int builtin_sprite_rotate(int32_t n, int32_t) {
  sprite* s = sprite_arg("sprite_rotate");
  if (!s) return done();
  float angle = builtin_arg_float(2);
  int32_t duration = n >= 3 ? builtin_arg_int(3) : 0;
  s->start_angle = s->angle;
  s->end_angle = angle;
  s->rotation_duration = duration;
  s->rotation_start_time = vm_time_get();
  if (duration != 0) {
    s->rotation_state = n >= 4 && builtin_arg_int(4) != 0 ? 2 : 1;
  } else {
    s->rotation_state = 0;
    if (s->angle != angle) {
      s->angle = angle;
      s->render_stamp = 0;
    }
  }
  return done();
}

int builtin_sprite_xmodify_define(int32_t n, int32_t) { return scale_define("sprite_xmodify_define", n, &sprite::xscale); }
int builtin_sprite_ymodify_define(int32_t n, int32_t) { return scale_define("sprite_ymodify_define", n, &sprite::yscale); }
int builtin_sprite_xmodify_set(int32_t n, int32_t) { return scale_set("sprite_xmodify_set", n, &sprite::xscale); }
int builtin_sprite_ymodify_set(int32_t n, int32_t) { return scale_set("sprite_ymodify_set", n, &sprite::yscale); }

// ---------------------------------------------------------------------------------------------
// Draw order

int builtin_sprite_priority_low(int32_t n, int32_t) { return priority("sprite_priority_low", n, false, false); }
int builtin_sprite_priority_high(int32_t n, int32_t) { return priority("sprite_priority_high", n, true, false); }
int builtin_sprite_priority_low_single(int32_t n, int32_t) {
  return priority("sprite_priority_low_single", n, false, true);
}
int builtin_sprite_priority_high_single(int32_t n, int32_t) {
  return priority("sprite_priority_high_single", n, true, true);
}
