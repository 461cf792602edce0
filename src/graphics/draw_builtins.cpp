#include "graphics/draw_builtins.h"

#include <algorithm>
#include <cstdlib>

#include "base/random.h"
#include "graphics/kernel.h"
#include "graphics/page.h"
#include "graphics/page_grid.h"
#include "vm/dispatcher.h"
#include "vm/script_error.h"
#include "vm/variables.h"

// ---- arguments ---------------------------------------------------------------------------------

static page* arg_page(int32_t k) { return page_from_id(static_cast<uint32_t>(builtin_arg_int(k))); }

static page_rect arg_rect(int32_t k) {
  return page_rect{builtin_arg_int(k), builtin_arg_int(k + 1), builtin_arg_int(k + 2), builtin_arg_int(k + 3)};
}

static int clamp_byte(int v) { return std::clamp(v, 0, 255); }

// The 256 elements of an int array argument; anything else (a short array, another type) is
// reported, since reading 256 elements of it would run past its block.
static bool arg_table(int32_t k, const char* name, int32_t out[256]) {
  const value_cell* c = builtin_arg(k);
  if (c->type != TYPE_INT_ARRAY || !c->a || array_count(c->a) < 256) {
    script_error("%s : 配列の要素が不足しています。", name);
    return false;
  }
  const array_number* v = array_numbers(c->a);
  for (int i = 0; i < 256; i++) out[i] = v[i].i;
  return true;
}

static bool arg_byte_table(int32_t k, const char* name, uint8_t out[256]) {
  int32_t raw[256];
  if (!arg_table(k, name, raw)) return false;
  for (int i = 0; i < 256; i++) out[i] = static_cast<uint8_t>(clamp_byte(raw[i]));
  return true;
}

static int done() {
  push_int(0);
  return 0;
}

// ---- points, fills and colours -----------------------------------------------------------------

int builtin_grp_point_get(int32_t, int32_t) {
  page* p = arg_page(1);
  int x = builtin_arg_int(2), y = builtin_arg_int(3);
  if (!p) {
    script_error("grp_point_get : ページが存在しません");
    return done();
  }
  if (x < 0 || y < 0 || x >= p->width || y >= p->height) {
    push_int(-1);
    return 0;
  }
  const uint8_t* px = page_row(p, y) + static_cast<size_t>(x) * page_bytes_per_pixel(p);
  uint32_t blue, green, red;
  if (p->is_8bit) {
    const rgb_quad& q = p->palette[*px];
    blue = q.blue, green = q.green, red = q.red;
  } else {
    blue = px[0], green = px[1], red = px[2];
  }
  push_int(static_cast<int32_t>(blue << 16 | green << 8 | red));
  return 0;
}

int builtin_grp_point_set(int32_t, int32_t) {
  page* p = arg_page(1);
  int x = builtin_arg_int(2), y = builtin_arg_int(3);
  uint32_t colour = static_cast<uint32_t>(builtin_arg_int(4));
  if (!p) {
    script_error("grp_point_set : ページが存在しません");
    return done();
  }
  if (x < 0 || y < 0 || x >= p->width || y >= p->height) return done();
  uint8_t* px = page_row(p, y) + static_cast<size_t>(x) * page_bytes_per_pixel(p);
  if (p->is_8bit) {
    px[0] = static_cast<uint8_t>(colour);
  } else {
    px[0] = static_cast<uint8_t>(colour >> 16), px[1] = static_cast<uint8_t>(colour >> 8), px[2] = static_cast<uint8_t>(colour);
  }
  mark_dirty_rect(p, page_rect{x, y, 1, 1});
  return done();
}

// The page and clipped rectangle of a rectangle built-in, or null after its report. full_colour:
// 8-bit pages are refused with the second report.
static page* rect_target(const char* name, page_rect* r, bool full_colour) {
  page* p = arg_page(1);
  *r = arg_rect(2);
  if (!p) {
    script_error("%s : ページが存在しません", name);
    return nullptr;
  }
  if (full_colour && p->is_8bit) {
    script_error("%s : 256色には対応していません。", name);
    return nullptr;
  }
  return page_clip_rect(p, r) ? nullptr : p;
}

// Runs op on the clipped rectangle and marks it dirty.
template <class F>
static int rect_op(const char* name, bool full_colour, F&& op) {
  page_rect r;
  if (page* p = rect_target(name, &r, full_colour)) {
    op(p, r);
    mark_dirty_rect(p, r);
  }
  return done();
}

static uint32_t arg_colour(int32_t k) { return static_cast<uint32_t>(builtin_arg_int(k)); }

int builtin_grp_boxfill(int32_t, int32_t) {
  return rect_op("grp_boxfill", false, [](page* p, page_rect r) { page_fill_rect(p, r, arg_colour(6)); });
}

int builtin_grp_extboxfill(int32_t, int32_t) {
  return rect_op("grp_extboxfill", false, [](page* p, page_rect r) {
    int level = static_cast<int>(std::clamp<int64_t>(builtin_arg_int(7) + int64_t{1}, 1, 256));
    page_blend_fill(p, r, arg_colour(6), level);
  });
}

int builtin_grp_mulboxfill(int32_t, int32_t) {
  return rect_op("grp_mulboxfill", true, [](page* p, page_rect r) { page_mul_fill_kernel(p, r, arg_colour(6)); });
}

int builtin_grp_overlayboxfill(int32_t, int32_t) {
  return rect_op("grp_overlayboxfill", true, [](page* p, page_rect r) { page_overlay_fill_kernel(p, r, arg_colour(6)); });
}

int builtin_grp_reverse(int32_t, int32_t) {
  return rect_op("grp_reverse", true, [](page* p, page_rect r) { page_reverse_kernel(p, r); });
}

int builtin_grp_sepia(int32_t n, int32_t) {
  page_rect r;
  if (page* p = rect_target("grp_sepia", &r, false)) {
    page_sepia_kernel(p, r, arg_colour(6), arg_colour(7), n >= 8 ? 1 : 0, builtin_arg_int(8));
    // An 8-bit page is toned through its palette: every pixel may have changed.
    mark_dirty_rect(p, p->is_8bit ? page_rect{0, 0, p->width, p->height} : r);
  }
  return done();
}

int builtin_rgb_pack(int32_t, int32_t) {
  push_int(clamp_byte(builtin_arg_int(1)) | clamp_byte(builtin_arg_int(2)) << 8 | clamp_byte(builtin_arg_int(3)) << 16);
  return 0;
}

int builtin_rgba_pack(int32_t, int32_t) {
  uint32_t v = static_cast<uint32_t>(clamp_byte(builtin_arg_int(1)) | clamp_byte(builtin_arg_int(2)) << 8 |
                                     clamp_byte(builtin_arg_int(3)) << 16) |
               static_cast<uint32_t>(clamp_byte(builtin_arg_int(4))) << 24;
  push_int(static_cast<int32_t>(v));
  return 0;
}

// ---- copies ------------------------------------------------------------------------------------

struct copy_args {
  page* src;
  page* dst;
  page_rect sr, dr;
};

// src, sx, sy, w, h, dst [, dx = sx [, dy = sy]]; null pages after their reports.
static bool copy_pages(const char* name, int32_t n, copy_args* a) {
  a->src = arg_page(1);
  a->sr = arg_rect(2);
  a->dst = arg_page(6);
  a->dr = page_rect{n >= 7 ? builtin_arg_int(7) : a->sr.x, n >= 8 ? builtin_arg_int(8) : a->sr.y, a->sr.width, a->sr.height};
  if (!a->src) {
    script_error("%s : 転送元ページが存在しません", name);
    return false;
  }
  if (!a->dst) {
    script_error("%s : 転送先ページが存在しません", name);
    return false;
  }
  return true;
}

static bool refuse(const char* name, bool bad, const char* what) {
  if (bad) script_error("%s : %s", name, what);
  return bad;
}

static bool both_alpha(const copy_args& a) { return page_alpha_usable(a.src) && page_alpha_usable(a.dst); }

int builtin_grp_copy(int32_t n, int32_t) {
  copy_args a;
  if (!copy_pages("grp_copy", n, &a) || refuse("grp_copy", !a.src->is_8bit && a.dst->is_8bit, "24Bit->8Bitのコピーです"))
    return done();
  if (clip_rect_pair(a.src, &a.sr, a.dst, &a.dr)) return done();
  page_copy_kernel(a.src, a.sr, a.dst, a.dr);
  if (both_alpha(a)) page_copy_kernel(a.src->alpha, a.sr, a.dst->alpha, a.dr);
  mark_dirty_rect(a.dst, a.dr);
  return done();
}

int builtin_grp_swap(int32_t n, int32_t) {
  copy_args a;
  if (!copy_pages("grp_swap", n, &a) || refuse("grp_swap", !a.src->is_8bit && a.dst->is_8bit, "24Bit->8Bitのコピーです") ||
      refuse("grp_swap", a.src->is_8bit && !a.dst->is_8bit, "8Bit->24Bitのコピーです"))
    return done();
  if (clip_rect_pair(a.src, &a.sr, a.dst, &a.dr)) return done();
  page_swap_kernel(a.src, a.sr, a.dst, a.dr);
  if (both_alpha(a)) page_swap_kernel(a.src->alpha, a.sr, a.dst->alpha, a.dr);
  mark_dirty_rect(a.src, a.sr);
  mark_dirty_rect(a.dst, a.dr);
  return done();
}

int builtin_grp_extcopy(int32_t n, int32_t) {
  copy_args a;
  if (!copy_pages("grp_extcopy", n, &a)) return done();
  bool src_alpha = page_alpha_usable(a.src);
  if (refuse("grp_extcopy", a.dst->is_8bit && (!a.src->is_8bit || src_alpha), "転送先に8ビットは指定できません")) return done();
  if (clip_rect_pair(a.src, &a.sr, a.dst, &a.dr)) return done();
  int level = n >= 9 ? builtin_arg_int(9) : 0;
  if (src_alpha)
    page_alpha_copy_kernel(a.src, a.sr, a.dst, a.dr, level);
  else
    page_blend_kernel(a.src, a.sr, a.dst, a.dr, level);
  mark_dirty_rect(a.dst, a.dr);
  return done();
}

static int mul_copy(const char* name, int32_t n, void (*kernel)(const page*, const page_rect&, page*, const page_rect&)) {
  copy_args a;
  if (!copy_pages(name, n, &a) || refuse(name, !a.src->is_8bit || !a.dst->is_8bit, "転送元、転送先共にに8ビットしか指定できません"))
    return done();
  if (clip_rect_pair(a.src, &a.sr, a.dst, &a.dr)) return done();
  kernel(a.src, a.sr, a.dst, a.dr);
  mark_dirty_rect(a.dst, a.dr);
  return done();
}

int builtin_grp_mulcopy(int32_t n, int32_t) { return mul_copy("grp_mulcopy", n, page_mul_kernel); }
int builtin_grp_revmulcopy(int32_t n, int32_t) { return mul_copy("grp_revmulcopy", n, page_revmul_kernel); }

int builtin_grp_alfa_tabled_copy(int32_t, int32_t) {
  const char* name = "grp_alfa_tabled_copy";
  copy_args a;
  if (!copy_pages(name, 8, &a)) return done();
  page* base = arg_page(9);
  uint8_t table[256];
  if (refuse(name, !base, "αのベースページが存在しません") || refuse(name, !base->is_8bit, "αのページが８ビットでは有りません") ||
      refuse(name, !a.src->is_8bit && a.dst->is_8bit, "24Bit->8Bitのコピーです") || !arg_byte_table(10, name, table))
    return done();
  if (clip_rect_pair(a.src, &a.sr, a.dst, &a.dr)) return done();
  page* temp = alpha_table_page(base, table);
  if (!temp) return done();  // page_new has reported
  page* own = a.src->alpha;
  page_alpha_set(a.src, temp);
  page_alpha_copy_kernel(a.src, a.sr, a.dst, a.dr, 0);
  page_alpha_set(a.src, own);
  page_free(temp, 1);
  mark_dirty_rect(a.dst, a.dr);
  return done();
}

int builtin_make_alfa_table(int32_t, int32_t) {
  const char* name = "make_alfa_table";
  page* src = arg_page(1);
  page* dst = arg_page(2);
  uint8_t table[256];
  if (refuse(name, !src, "転送元ページが存在しません") || refuse(name, !dst, "転送先ページが存在しません") ||
      refuse(name, !src->is_8bit, "転送元αのページが８ビットでは有りません") ||
      refuse(name, !dst->is_8bit, "転送先αのページが８ビットでは有りません") || !arg_byte_table(3, name, table))
    return done();
  alpha_table_apply(src, dst, table);
  mark_dirty_rect(dst, page_rect{0, 0, dst->width, dst->height});
  return done();
}

// Marks the part of the destination rectangle that lies on its page.
static void mark_clipped(page* p, page_rect r) {
  if (!page_clip_rect(p, &r)) mark_dirty_rect(p, r);
}

int builtin_grp_modcopy(int32_t, int32_t) {
  copy_args a;
  if (!copy_pages("grp_modcopy", 8, &a)) return done();
  a.dr.width = builtin_arg_int(9), a.dr.height = builtin_arg_int(10);
  page_stretch_kernel(a.src, a.sr, a.dst, a.dr);
  if (both_alpha(a)) page_stretch_kernel(a.src->alpha, a.sr, a.dst->alpha, a.dr);
  mark_clipped(a.dst, a.dr);
  return done();
}

int builtin_grp_modify_copy(int32_t, int32_t) {
  copy_args a;
  if (!copy_pages("grp_modify_copy", 8, &a)) return done();
  a.dr.width = builtin_arg_int(9), a.dr.height = builtin_arg_int(10);
  page_modify_copy_kernel(a.src, a.sr, a.dst, a.dr, builtin_arg_float(11), builtin_arg_float(12), builtin_arg_float(13));
  mark_clipped(a.dst, a.dr);
  return done();
}

// ---- mosaic and outline ------------------------------------------------------------------------

// The block starts along one axis: the leftover of length mod d is split evenly on both sides.
// Blocks may be as large as a script likes, so positions are 64-bit.
static int64_t mosaic_first(int start, int length, int d) { return int64_t{start} + (length % d) / 2 - d; }

int builtin_make_mosaic(int32_t, int32_t) {
  copy_args a;
  if (!copy_pages("make_mosaic", 8, &a) || refuse("make_mosaic", a.src->is_8bit || a.dst->is_8bit, "8Bitには対応していません"))
    return done();
  a.sr.width = std::max(a.sr.width, 1), a.sr.height = std::max(a.sr.height, 1);
  a.dr.width = a.sr.width, a.dr.height = a.sr.height;
  int d = std::max(builtin_arg_int(9), 1);  // a block of 0 or less would divide by zero
  if (clip_rect_pair(a.src, &a.sr, a.dst, &a.dr)) return done();
  const page_rect& dr = a.dr;
  for (int64_t by = mosaic_first(dr.y, dr.height, d); by < dr.y + dr.height; by += d) {
    int y0 = static_cast<int>(std::max<int64_t>(by, dr.y));
    int y1 = static_cast<int>(std::min<int64_t>(by + d, dr.y + dr.height));
    if (y1 <= y0) continue;
    for (int64_t bx = mosaic_first(dr.x, dr.width, d); bx < dr.x + dr.width; bx += d) {
      int x0 = static_cast<int>(std::max<int64_t>(bx, dr.x));
      int x1 = static_cast<int>(std::min<int64_t>(bx + d, dr.x + dr.width));
      if (x1 <= x0) continue;
      int bw = x1 - x0, bh = y1 - y0, sx = a.sr.x + (x0 - dr.x), sy = a.sr.y + (y0 - dr.y);
      int sum[3] = {0, 0, 0};
      for (int k = 0; k < 3; k++) {
        int row = engine_rand() % bh;
        int col = engine_rand() % bw;
        const uint8_t* px = page_row(a.src, sy + row) + static_cast<size_t>(sx + col) * 3;
        for (int c = 0; c < 3; c++) sum[c] += px[c];
      }
      uint32_t colour = static_cast<uint32_t>(sum[2] / 3 | (sum[1] / 3) << 8 | (sum[0] / 3) << 16);
      page_fill_rect(a.dst, page_rect{x0, y0, bw, bh}, colour);
    }
  }
  mark_dirty_rect(a.dst, dr);
  return done();
}

int builtin_fuchidori_copy(int32_t, int32_t) {
  const char* name = "fuchidori_copy";
  page* src = arg_page(1);
  page* dst = arg_page(2);
  page* control = arg_page(3);
  int32_t raw[256];
  if (refuse(name, !src, "転送元ページが存在しません") || refuse(name, !dst, "転送先ページが存在しません") ||
      refuse(name, !control, "αテーブルページが存在しません") || refuse(name, !control->is_8bit, "αテーブルページが８ビットでは有りません") ||
      refuse(name, src->is_8bit || dst->is_8bit, "8bitには対応していません") || !arg_table(6, name, raw))
    return done();
  uint32_t table[256];
  for (int i = 0; i < 256; i++) table[i] = static_cast<uint32_t>(raw[i]);
  page_rect sr{0, 0, std::min(src->width, control->width), std::min(src->height, control->height)};
  page_rect dr{builtin_arg_int(4), builtin_arg_int(5), sr.width, sr.height};
  if (clip_rect_pair(src, &sr, dst, &dr)) return done();
  page_outline_copy_kernel(src, dst, control, sr, dr, table);
  mark_dirty_rect(dst, dr);
  return done();
}
