// Nearest-neighbour stretch and the rotating, scaling modify copy.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <vector>

#include "graphics/kernel.h"
#include "graphics/kernel_rows.h"
#include "graphics/scaler.h"

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif

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

// A stretched row gathered 16 destination bytes at a time: each block is one unaligned load of the
// source bytes it needs, put in place by a byte shuffle. Enlarging keeps every block's source
// bytes within 16 (consecutive destination pixels advance the source by at most one pixel); a
// plan where some block needs more is not made and the row takes the plain loop.
struct gather_plan {
  std::vector<int32_t> from;     // per block: its first source byte
  std::vector<uint8_t> shuffle;  // per block: 16 source bytes relative to that
  size_t bytes = 0;              // destination row bytes, at least 16
};

// off: each destination pixel's source byte offset, pixels of bpp bytes on both sides.
bool plan_gather(const std::vector<int>& off, int bpp, gather_plan& plan) {
  size_t bytes = off.size() * static_cast<size_t>(bpp), blocks = (bytes + 15) / 16;
  if (bytes < 16) return false;
  plan.from.resize(blocks);
  plan.shuffle.resize(blocks * 16);
  plan.bytes = bytes;
  for (size_t b = 0; b < blocks; b++) {
    size_t o = b + 1 < blocks ? 16 * b : bytes - 16;  // the last block ends at the row's end
    int at[16], lo = INT_MAX, hi = INT_MIN;
    for (int j = 0; j < 16; j++) {
      at[j] = off[(o + j) / bpp] + static_cast<int>((o + j) % bpp);
      lo = std::min(lo, at[j]);
      hi = std::max(hi, at[j]);
    }
    if (hi - lo >= 16) return false;
    plan.from[b] = lo;
    for (int j = 0; j < 16; j++) plan.shuffle[16 * b + j] = static_cast<uint8_t>(at[j] - lo);
  }
  return true;
}

#if defined(__x86_64__) && defined(__GNUC__)
bool cpu_ssse3() {
  static const bool has = __builtin_cpu_supports("ssse3");
  return has;
}
bool cpu_avx2() {
  static const bool has = __builtin_cpu_supports("avx2");
  return has;
}

// Loads reach at most 15 bytes past the last source byte used: inside the page's block (or the
// caller's padded row). Rows go to d and, when twice is given, to that row too.
__attribute__((target("avx2"))) size_t gather_pairs(const gather_plan& plan, const uint8_t* s, uint8_t* d,
                                                    uint8_t* twice) {
  const size_t blocks = plan.from.size();
  size_t b = 0;
  for (; b + 2 < blocks; b += 2) {  // the last block, which may overlap, is left to gather_row
    __m128i lo = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + plan.from[b]));
    __m128i hi = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + plan.from[b + 1]));
    __m256i v = _mm256_inserti128_si256(_mm256_castsi128_si256(lo), hi, 1);
    v = _mm256_shuffle_epi8(v, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(plan.shuffle.data() + 16 * b)));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + 16 * b), v);
    if (twice) _mm256_storeu_si256(reinterpret_cast<__m256i*>(twice + 16 * b), v);
  }
  return b;
}

__attribute__((target("ssse3"))) void gather_row(const gather_plan& plan, const uint8_t* s, uint8_t* d, uint8_t* twice) {
  const size_t blocks = plan.from.size();
  size_t b = cpu_avx2() ? gather_pairs(plan, s, d, twice) : 0;
  for (; b < blocks; b++) {
    size_t o = b + 1 < blocks ? 16 * b : plan.bytes - 16;
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + plan.from[b]));
    v = _mm_shuffle_epi8(v, _mm_loadu_si128(reinterpret_cast<const __m128i*>(plan.shuffle.data() + 16 * b)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + o), v);
    if (twice) _mm_storeu_si128(reinterpret_cast<__m128i*>(twice + o), v);
  }
}
#else
bool cpu_ssse3() { return false; }
void gather_row(const gather_plan&, const uint8_t*, uint8_t*, uint8_t*) {}
#endif
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
  // The gathered rows read their source as a whole block, so a page stretched onto itself keeps
  // the plain pixel order. 8 -> 24 rows are gathered from the source row through the palette.
  gather_plan plan;
  std::vector<int> gather_off(cols.size());
  for (size_t i = 0; i < cols.size(); i++) gather_off[i] = cols[i] * dbpp;
  bool gathered = src != dst && sr.width != dr.width && cpu_ssse3() && plan_gather(gather_off, dbpp, plan);
  std::vector<uint8_t> expanded(gathered && sbpp != dbpp ? static_cast<size_t>(sr.width) * 3 + 16 : 0);
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
    if (gathered) {
      if (sbpp != dbpp) {
        row_expand_pal8(expanded.data(), s, src->palette, static_cast<size_t>(sr.width));
        s = expanded.data();
      }
      // A repeated row is written along with this one.
      bool repeat = k + 1 < dr.height && rows[k + 1] == rows[k];
      gather_row(plan, s, d, repeat ? d + dst->stride : nullptr);
      if (repeat) k++;
      continue;
    }
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

// One destination row's run of source points inside the source: columns [x, x + n), the first
// sampling the source at (px, py) in 16.16 fixed point.
struct rotate_run {
  int x, n;
  int64_t px, py;
};

// What a rotation moves: 24 -> 24 pixels, 8-bit values (8 -> 8 pixels and alpha pages), or 8-bit
// pixels through the palette into 24-bit ones.
enum rotate_kind { ROTATE_24, ROTATE_8, ROTATE_PAL };

struct rotate_job {
  const page* src;
  page* dst;
  int64_t h, d;  // source step along a destination row
  rotate_kind kind;
  bool to_alpha, from_alpha;
  bool apart;   // source and destination memory apart: pixels may move in wider pieces
  bool gather;  // and eight at a time by AVX2 gathers (positions fit 32-bit lanes)
};

#if defined(__x86_64__) && defined(__GNUC__)
// Eight pixels a step of the run [0, n) by gathers of 4-byte words from the source bits (through
// the palette for ROTATE_PAL); returns how many were done, a multiple of 8. Every position of the
// run lies inside the source, below 2^31, so 32-bit lanes hold it exactly, and a word read at a
// pixel stays inside the page's block.
__attribute__((target("avx2"))) int rotate_gather(rotate_kind kind, const uint8_t* bits, ptrdiff_t stride,
                                                  const rgb_quad* palette, uint8_t* o, int n, int64_t px, int64_t py,
                                                  int64_t h, int64_t d) {
  const __m256i lanes = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
  __m256i qx = _mm256_add_epi32(_mm256_set1_epi32(static_cast<int>(px)),
                                _mm256_mullo_epi32(lanes, _mm256_set1_epi32(static_cast<int>(h))));
  __m256i qy = _mm256_add_epi32(_mm256_set1_epi32(static_cast<int>(py)),
                                _mm256_mullo_epi32(lanes, _mm256_set1_epi32(static_cast<int>(d))));
  const __m256i step_x = _mm256_set1_epi32(static_cast<int>(8 * h)), step_y = _mm256_set1_epi32(static_cast<int>(8 * d));
  const __m256i row = _mm256_set1_epi32(static_cast<int>(stride)), low = _mm256_set1_epi32(0xFF);
  // The first three (or one) bytes of each word, packed within each half, then the halves joined.
  const __m256i pack3 = _mm256_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1, 0, 1, 2, 4, 5, 6, 8,
                                         9, 10, 12, 13, 14, -1, -1, -1, -1);
  const __m256i pack1 = _mm256_setr_epi8(0, 4, 8, 12, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 0, 4, 8, 12, -1,
                                         -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
  const __m256i join3 = _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 3, 7), join1 = _mm256_setr_epi32(0, 4, 1, 2, 3, 5, 6, 7);
  int k = 0;
  for (; k + 8 <= n; k += 8) {
    __m256i sx = _mm256_srli_epi32(qx, 16);
    if (kind == ROTATE_24) sx = _mm256_add_epi32(sx, _mm256_add_epi32(sx, sx));
    __m256i off = _mm256_add_epi32(_mm256_mullo_epi32(_mm256_srli_epi32(qy, 16), row), sx);
    __m256i v = _mm256_i32gather_epi32(reinterpret_cast<const int*>(bits), off, 1);
    qx = _mm256_add_epi32(qx, step_x);
    qy = _mm256_add_epi32(qy, step_y);
    if (kind == ROTATE_8) {
      v = _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(v, pack1), join1);
      _mm_storel_epi64(reinterpret_cast<__m128i*>(o + k), _mm256_castsi256_si128(v));
      continue;
    }
    if (kind == ROTATE_PAL)
      v = _mm256_i32gather_epi32(reinterpret_cast<const int*>(palette), _mm256_and_si256(v, low), 4);
    v = _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(v, pack3), join3);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(o + 3 * k), _mm256_castsi256_si128(v));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(o + 3 * k + 16), _mm256_extracti128_si256(v, 1));
  }
  return k;
}
#endif

// The run's pixels [0, n) from (px, py) into o: gathered eight at a time where the job allows,
// the rest one by one. Between separate pages a 24-bit pixel moves as a 4-byte word whose spare
// byte lands on the next pixel of the run, written after it (the segment's last pixel moves as 3
// bytes unless more of the run follows: more_follows).
void rotate_pixels(const rotate_job& j, rotate_kind kind, const page* src, uint8_t* o, int n, int64_t px, int64_t py,
                   bool more_follows) {
  const uint8_t* bits = src->bits;
  const ptrdiff_t stride = src->stride;
  const int64_t h = j.h, d = j.d;
  const int bpp_out = kind == ROTATE_8 ? 1 : 3;
  int k = 0;
#if defined(__x86_64__) && defined(__GNUC__)
  if (j.gather && n >= 8) {
    k = rotate_gather(kind, bits, stride, src->palette, o, n, px, py, h, d);
    px += h * k, py += d * k, o += bpp_out * k;
  }
#endif
  if (kind == ROTATE_8) {
    for (; k < n; k++, px += h, py += d) *o++ = bits[(py >> 16) * stride + (px >> 16)];
  } else if (kind == ROTATE_PAL) {
    for (; k < n; k++, px += h, py += d, o += 3) {
      const rgb_quad& q = src->palette[bits[(py >> 16) * stride + (px >> 16)]];
      o[0] = q.blue, o[1] = q.green, o[2] = q.red;
    }
  } else {
    if (j.apart)
      for (int words = more_follows ? n : n - 1; k < words; k++, px += h, py += d, o += 3) {
        uint32_t v;
        memcpy(&v, bits + (py >> 16) * stride + (px >> 16) * 3, 4);
        memcpy(o, &v, 4);
      }
    for (; k < n; k++, px += h, py += d, o += 3) memcpy(o, bits + (py >> 16) * stride + (px >> 16) * 3, 3);
  }
}

// Destination pixels [x, x + n) of row y and, when the job has them, their transparency.
void rotate_span(const rotate_job& j, int y, int x, int n, int64_t px, int64_t py, bool more_follows) {
  rotate_pixels(j, j.kind, j.src, page_row(j.dst, y) + static_cast<ptrdiff_t>(x) * page_bytes_per_pixel(j.dst), n, px,
                py, more_follows);
  if (!j.to_alpha) return;
  uint8_t* oa = page_row(j.dst->alpha, y) + x;
  if (j.from_alpha)
    rotate_pixels(j, ROTATE_8, j.src->alpha, oa, n, px, py, more_follows);
  else
    memset(oa, 0, static_cast<size_t>(n));
}

// Inverse mapping in 16.16 fixed point: every destination pixel of the clipped rectangle looks up
// its source point; a row is written from its first point inside the source to the next outside.
// Along a row the inside points form one run, so the run's ends are solved for directly and the
// loop over it needs no tests.
//
// A row's points cross the source along a slanted line, touching a new source row every few
// pixels; a long row's points fill more than the first-level cache before the next row comes
// back to them. Between separate pages the destination therefore goes in tiles; a page rotated
// onto itself keeps the plain row order and pixel moves, where each pixel reads what the plain
// walk read.
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
  rotate_job job{};
  job.src = src, job.dst = dst, job.h = h, job.d = d;
  job.kind = !src->is_8bit ? ROTATE_24 : dst->is_8bit ? ROTATE_8 : ROTATE_PAL;
  job.to_alpha = page_alpha_usable(dst);
  job.from_alpha = job.to_alpha && page_alpha_usable(src);
  const page* read[2] = {src, job.from_alpha ? src->alpha : nullptr};
  const page* written[2] = {dst, job.to_alpha ? dst->alpha : nullptr};
  job.apart = true;
  for (const page* r : read)
    for (const page* w : written)
      if (r && r == w) job.apart = false;
#if defined(__x86_64__) && defined(__GNUC__)
  job.gather = job.apart && x1 <= INT32_MAX && y1 <= INT32_MAX && cpu_avx2();
#endif

  std::vector<rotate_run> runs(static_cast<size_t>(cd.height));
  for (int r = 0; r < cd.height; r++) {
    int64_t px = (scx << 16) + h * (cd.x - dcx) + g * (cd.y + r - dcy);
    int64_t py = (scy << 16) + d * (cd.x - dcx) + c * (cd.y + r - dcy);
    int64_t lo = 0, hi = cd.width;
    span_within(px, h, x0, x1, lo, hi);
    span_within(py, d, y0, y1, lo, hi);
    runs[r] = lo < hi ? rotate_run{static_cast<int>(cd.x + lo), static_cast<int>(hi - lo), px + h * lo, py + d * lo}
                      : rotate_run{0, 0, 0, 0};
  }
  const int tile_w = job.apart ? 512 : cd.width, tile_h = job.apart ? 16 : cd.height;
  for (int band = 0; band < cd.height; band += tile_h)
    for (int tx = cd.x; tx < cd.x + cd.width; tx += tile_w)
      for (int r = band; r < std::min(band + tile_h, cd.height); r++) {
        const rotate_run& run = runs[r];
        int from = std::max(run.x, tx), to = std::min(run.x + run.n, tx + tile_w);
        if (from >= to) continue;
        int64_t k = from - run.x;
        rotate_span(job, cd.y + r, from, to - from, run.px + h * k, run.py + d * k, to < run.x + run.n);
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
