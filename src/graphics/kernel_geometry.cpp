// Nearest-neighbour stretch and the rotating, scaling modify copy.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <vector>

#include "graphics/kernel.h"
#include "graphics/kernel_rows.h"
#include "graphics/scaler.h"

namespace {
// A real number to a 32-bit integer toward zero; out of range (or not a number) gives INT_MIN,
// as the processor's conversion did.
int32_t trunc_i32(double v) {
  if (!(v > -2147483649.0 && v < 2147483648.0)) return INT_MIN;
  return static_cast<int32_t>(v);
}

// Which source index feeds each of the d destination indices when s become d: the engine's error
// stepping. Shrinking, a source index is taken when the error (starting at s / 2) drops below 0;
// enlarging, index 0 comes first and the source advances when the error (starting at d - 1) would
// drop below 0.
std::vector<int> stretch_map(int s, int d) {
  std::vector<int> map(static_cast<size_t>(d));
  if (s == d) {
    for (int i = 0; i < d; i++) map[i] = i;
  } else if (s > d) {
    int e = s / 2, k = 0;
    for (int i = 0; i < s && k < d; i++) {
      e -= d;
      if (e < 0) map[k++] = i, e += s;
    }
  } else {
    int e = d - 1, i = 0;
    map[0] = 0;
    for (int k = 1; k < d; k++) {
      if (e - s < 0) i++, e += d;
      e -= s;
      map[k] = i;
    }
  }
  return map;
}

// Scales a rectangle's far side along with a clip of the other rectangle on the same axis: the
// clipped one was given at (given_pos, given_len) and kept len; the other moves by the part cut
// off before the start and shrinks in proportion.
void follow_clip(int64_t given_pos, int64_t given_len, int64_t len, int32_t& other_pos, int32_t& other_len) {
  if (len == given_len) return;
  if (given_pos < 0) other_pos = static_cast<int32_t>(other_pos + -given_pos * other_len / given_len);
  other_len = static_cast<int32_t>(other_len * len / given_len);
}
}  // namespace

void page_stretch_kernel(const page* src, const page_rect& src_rect, page* dst, const page_rect& dst_rect) {
  if (!src->is_8bit && dst->is_8bit) return;
  page_rect sr = src_rect, dr = dst_rect;
  page_rect given = sr;
  if (page_clip_rect(src, &sr)) return;
  follow_clip(given.x, given.width, sr.width, dr.x, dr.width);
  follow_clip(given.y, given.height, sr.height, dr.y, dr.height);
  given = dr;
  if (page_clip_rect(dst, &dr)) return;
  follow_clip(given.x, given.width, dr.width, sr.x, sr.width);
  follow_clip(given.y, given.height, dr.height, sr.y, sr.height);
  if (sr.width <= 0 || sr.height <= 0) return;

  std::vector<int> cols = stretch_map(sr.width, dr.width), rows = stretch_map(sr.height, dr.height);
  int sbpp = page_bytes_per_pixel(src), dbpp = page_bytes_per_pixel(dst);
  size_t dbytes = static_cast<size_t>(dr.width) * dbpp;
  for (int& c : cols) c *= sbpp;  // byte offsets within a source row
  // 8 -> 24 pixels as 4-byte words (blue, green, red, spare).
  uint32_t words[256];
  if (sbpp != dbpp)
    for (int i = 0; i < 256; i++) {
      const rgb_quad& q = src->palette[i];
      words[i] = q.blue | q.green << 8 | static_cast<uint32_t>(q.red) << 16;
    }
  const int* off = cols.data();
  const int last = dr.width - 1;
  for (int k = 0; k < dr.height; k++) {
    uint8_t* d = page_row(dst, dr.y + k) + static_cast<size_t>(dr.x) * dbpp;
    if (k > 0 && rows[k] == rows[k - 1]) {
      memcpy(d, d - dst->stride, dbytes);
      continue;
    }
    const uint8_t* s = page_row(src, sr.y + rows[k]) + static_cast<size_t>(sr.x) * sbpp;
    // 24-bit pixels move as 4-byte words whose spare byte the next pixel overwrites; the last one
    // moves as 3 bytes. Reading one byte past a pixel stays inside the page's block.
    if (sr.width == dr.width && sbpp == dbpp) {
      memmove(d, s, dbytes);
    } else if (dbpp == 1) {
      for (int i = 0; i < dr.width; i++) d[i] = s[off[i]];
    } else if (sbpp == 3) {
      for (int i = 0; i < last; i++) {
        uint32_t v;
        memcpy(&v, s + off[i], 4);
        memcpy(d + 3 * i, &v, 4);
      }
      memcpy(d + 3 * last, s + off[last], 3);
    } else {
      for (int i = 0; i < last; i++) memcpy(d + 3 * i, &words[s[off[i]]], 4);
      memcpy(d + 3 * last, &words[s[off[last]]], 3);
    }
  }
}

namespace {
// The unrotated modify copy of one page pair (pixels, or alpha pages).
void modify_unrotated(const page* src, const page_rect& sr, page* dst, const page_rect& dr, double scale_x,
                      double scale_y) {
  if (scale_x == 1 && scale_y == 1) {
    page_rect s = sr, d{dr.x + (dr.width - sr.width + 1) / 2, dr.y + (dr.height - sr.height + 1) / 2, 0, 0};
    if (!clip_rect_pair(src, &s, dst, &d)) page_copy_kernel(src, s, dst, d);
    return;
  }
  if (src->is_8bit && !dst->is_8bit) {
    // The scaler works within one depth: the palette is applied first, on a copy of the part of
    // the source that can be sampled.
    page_rect c = sr;
    if (page_clip_rect(src, &c)) return;
    page* wide = page_new_rgb24_raw(c.width, c.height, 0);
    if (!wide) return;
    page_copy_kernel(src, c, wide, page_rect{0, 0, c.width, c.height});
    HQGrpModifyCopy(wide, page_rect{sr.x - c.x, sr.y - c.y, sr.width, sr.height}, dst, dr, scale_x, scale_y);
    page_free(wide, 1);
    return;
  }
  HQGrpModifyCopy(src, sr, dst, dr, scale_x, scale_y);
}

int64_t floor_div(int64_t a, int64_t b) {  // b > 0
  return a >= 0 ? a / b : -((-a + b - 1) / b);
}

// Narrows [lo, hi) to the steps k at which lower <= start + step * k < upper.
void span_within(int64_t start, int64_t step, int64_t lower, int64_t upper, int64_t& lo, int64_t& hi) {
  if (step == 0) {
    if (start < lower || start >= upper) hi = lo;
  } else if (step > 0) {
    lo = std::max(lo, -floor_div(start - lower, step));  // ceil((lower - start) / step)
    hi = std::min(hi, -floor_div(start - upper, step));
  } else {
    hi = std::min(hi, floor_div(start - lower, -step) + 1);
    lo = std::max(lo, floor_div(start - upper, -step) + 1);
  }
}

// Inverse mapping in 16.16 fixed point: every destination pixel of the clipped rectangle looks up
// its source point; a row is written from its first point inside the source to the next outside.
// Along a row the inside points form one run, so the run's ends are solved for directly and the
// loop over it needs no tests.
void modify_rotated(const page* src, const page_rect& sr, page* dst, const page_rect& dr, double angle, double scale_x,
                    double scale_y) {
  page_rect cs = sr, cd = dr;
  if (page_clip_rect(src, &cs) || page_clip_rect(dst, &cd)) return;
  double theta = -angle * 0.017453292519444445;
  int64_t h = trunc_i32(std::cos(theta) * 65536 / scale_x), d = trunc_i32(std::sin(theta) * 65536 / scale_y);
  int64_t g = trunc_i32(-std::sin(theta) * 65536 / scale_x), c = trunc_i32(std::cos(theta) * 65536 / scale_y);
  int64_t scx = sr.x + sr.width / 2, scy = sr.y + sr.height / 2, dcx = dr.x + dr.width / 2, dcy = dr.y + dr.height / 2;
  int64_t x0 = static_cast<int64_t>(cs.x) << 16, x1 = static_cast<int64_t>(cs.x + cs.width) << 16;
  int64_t y0 = static_cast<int64_t>(cs.y) << 16, y1 = static_cast<int64_t>(cs.y + cs.height) << 16;
  bool to_alpha = page_alpha_usable(dst), from_alpha = to_alpha && page_alpha_usable(src);
  int sbpp = page_bytes_per_pixel(src), dbpp = page_bytes_per_pixel(dst);
  const ptrdiff_t sstride = src->stride;

  for (int y = cd.y; y < cd.y + cd.height; y++) {
    int64_t px = (scx << 16) + h * (cd.x - dcx) + g * (y - dcy);
    int64_t py = (scy << 16) + d * (cd.x - dcx) + c * (y - dcy);
    int64_t lo = 0, hi = cd.width;
    span_within(px, h, x0, x1, lo, hi);
    span_within(py, d, y0, y1, lo, hi);
    if (lo >= hi) continue;
    px += h * lo, py += d * lo;
    uint8_t* o = page_row(dst, y) + (cd.x + lo) * dbpp;
    int n = static_cast<int>(hi - lo);
    if (sbpp == 3) {
      for (int k = 0; k < n; k++, px += h, py += d, o += 3)
        memcpy(o, src->bits + (py >> 16) * sstride + (px >> 16) * 3, 3);
    } else if (dbpp == 1) {
      for (int k = 0; k < n; k++, px += h, py += d) o[k] = src->bits[(py >> 16) * sstride + (px >> 16)];
    } else {
      for (int k = 0; k < n; k++, px += h, py += d, o += 3) {
        const rgb_quad& q = src->palette[src->bits[(py >> 16) * sstride + (px >> 16)]];
        o[0] = q.blue, o[1] = q.green, o[2] = q.red;
      }
    }
    if (!to_alpha) continue;
    uint8_t* oa = page_row(dst->alpha, y) + cd.x + lo;
    if (!from_alpha) {
      memset(oa, 0, static_cast<size_t>(n));
      continue;
    }
    px -= h * n, py -= d * n;
    const ptrdiff_t astride = src->alpha->stride;
    for (int k = 0; k < n; k++, px += h, py += d) oa[k] = src->alpha->bits[(py >> 16) * astride + (px >> 16)];
  }
}
}  // namespace

void page_modify_copy_kernel(const page* src, const page_rect& sr, page* dst, const page_rect& dr, double angle,
                             double scale_x, double scale_y) {
  if (!std::isfinite(angle) || !std::isfinite(scale_x) || !std::isfinite(scale_y)) return;
  if (std::fabs(scale_x) <= 0.002 || std::fabs(scale_y) <= 0.002 || (!src->is_8bit && dst->is_8bit)) return;
  bool unrotated = trunc_i32(angle * 1000) % 360000 == 0;
  if (!unrotated || scale_x <= 0 || scale_y <= 0) {
    modify_rotated(src, sr, dst, dr, angle, scale_x, scale_y);
    return;
  }
  modify_unrotated(src, sr, dst, dr, scale_x, scale_y);
  if (!page_alpha_usable(dst)) return;
  if (page_alpha_usable(src)) {
    modify_unrotated(src->alpha, sr, dst->alpha, dr, scale_x, scale_y);
  } else {
    page_fill_rect(dst->alpha, dr, 0);
  }
}
