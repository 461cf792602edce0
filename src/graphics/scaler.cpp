#include "graphics/scaler.h"

#include <climits>
#include <cstdio>
#include <cstring>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "base/system.h"
#include "graphics/kernel.h"

#ifdef __SSE2__
#include <emmintrin.h>
#endif

int hq_refuse_thread_starts = 0;

namespace {
constexpr int64_t ONE = 16384;  // 1.0 in the scaler's fixed point

// One job, written by the calling thread before any band starts and only read by the bands.
struct hq_job {
  const page* src;
  page* dst;
  page_rect cd;            // destination rectangle, clipped and trimmed
  int bpp;                 // bytes per pixel of both pages
  int64_t fx, fy, gx, gy;  // steps and start positions
  std::vector<int32_t> col_offset, col_frac;  // per destination column: left sample's byte offset, weight
  std::vector<int16_t> pair_weights;           // 2f four times for each column of a pair (24-bit rows)
};

// Horizontal interpolation of one source row into buf: out = (s[p] * (1 - f) + s[p + 1] * f) >> 14
// per channel, written as s[p] + ((s[p + 1] - s[p]) * f >> 14), the same value. With SSE2, two
// 24-bit pixels a step: (2 diff * 2f) >> 16 is that product's floor exactly in 16-bit lanes.
// Loads of 8 bytes reach at most two bytes past the right neighbour, inside the page's block; the
// fourth byte stored with each pixel is overwritten by the next one or lands in buf's spare tail.
void interpolate_row(const hq_job& job, const uint8_t* row, uint8_t* buf) {
  const int width = job.cd.width;
  const int32_t* offs = job.col_offset.data();
  const int32_t* fracs = job.col_frac.data();
  if (job.bpp == 1) {
    for (int c = 0; c < width; c++) {
      const uint8_t* s = row + offs[c];
      buf[c] = static_cast<uint8_t>(s[0] + ((s[1] - s[0]) * fracs[c] >> 14));
    }
    return;
  }
  int c = 0;
#ifdef __SSE2__
  const __m128i zero = _mm_setzero_si128();
  const int16_t* weights = job.pair_weights.data();
  for (; c + 2 <= width; c += 2, weights += 8) {
    __m128i a = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(row + offs[c])), zero);
    __m128i b = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(row + offs[c + 1])), zero);
    __m128i left = _mm_unpacklo_epi64(a, b), right = _mm_unpacklo_epi64(_mm_srli_si128(a, 6), _mm_srli_si128(b, 6));
    __m128i diff2 = _mm_slli_epi16(_mm_sub_epi16(right, left), 1);
    __m128i v = _mm_add_epi16(left, _mm_mulhi_epi16(diff2, _mm_loadu_si128(reinterpret_cast<const __m128i*>(weights))));
    __m128i packed = _mm_packus_epi16(v, v);
    uint32_t first = static_cast<uint32_t>(_mm_cvtsi128_si32(packed));
    uint32_t second = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(packed, 4)));
    memcpy(buf + 3 * c, &first, 4);
    memcpy(buf + 3 * c + 3, &second, 4);
  }
#endif
  for (; c < width; c++) {
    const uint8_t* s = row + offs[c];
    int f = fracs[c];
    uint8_t* o = buf + 3 * c;
    o[0] = static_cast<uint8_t>(s[0] + ((s[3] - s[0]) * f >> 14));
    o[1] = static_cast<uint8_t>(s[1] + ((s[4] - s[1]) * f >> 14));
    o[2] = static_cast<uint8_t>(s[2] + ((s[5] - s[2]) * f >> 14));
  }
}

// Destination rows [first, end) of the job. Vertical weights are biased: the lower row gets
// a + 1 and the upper 256 - a, out of 257, as the row mixer does.
void hq_band(const hq_job& job, int first, int end) {
  const size_t bytes = static_cast<size_t>(job.cd.width) * job.bpp;
  const size_t left = static_cast<size_t>(job.gx >> 14) * job.bpp;
  if (job.fx == ONE) {
    for (int r = first; r < end; r++) {
      int64_t y = job.gy + r * job.fy;
      int sy = static_cast<int>(y >> 14), a = static_cast<int>(y >> 6 & 255);
      uint8_t* out = page_row(job.dst, job.cd.y + r) + static_cast<size_t>(job.cd.x) * job.bpp;
      row_mix8(out, page_row(job.src, sy + 1) + left, page_row(job.src, sy) + left, bytes, a);
    }
    return;
  }
  std::vector<uint8_t> upper_buf(bytes + 256), lower_buf(bytes + 256);
  uint8_t* upper = upper_buf.data();
  uint8_t* lower = lower_buf.data();
  int upper_row = -1, lower_row = -1;
  for (int r = first; r < end; r++) {
    int64_t y = job.gy + r * job.fy;
    int sy = static_cast<int>(y >> 14), a = static_cast<int>(y >> 6 & 255);
    if (sy != upper_row) {
      if (sy == lower_row) {
        std::swap(upper, lower);
        upper_row = lower_row;
        lower_row = -1;
      } else {
        interpolate_row(job, page_row(job.src, sy), upper);
        upper_row = sy;
      }
    }
    if (sy + 1 != lower_row) {
      interpolate_row(job, page_row(job.src, sy + 1), lower);
      lower_row = sy + 1;
    }
    uint8_t* out = page_row(job.dst, job.cd.y + r) + static_cast<size_t>(job.cd.x) * job.bpp;
    row_mix8(out, lower, upper, bytes, a);
  }
}

int32_t step_of(double scale) {
  double v = ONE / scale;
  return v > 0 && v < 2147483648.0 ? static_cast<int32_t>(v) : 0;
}

// Sets up the job: steps, start positions, and a destination trimmed so that every sample and its
// right and lower neighbours lie in the clipped source. False when nothing is left to draw.
bool hq_prepare(hq_job& job, const page* src, const page_rect& sr, page* dst, const page_rect& dr, double scale_x,
                double scale_y, page_rect& cs) {
  int64_t scx = sr.x + sr.width / 2, scy = sr.y + sr.height / 2;
  int64_t dcx = dr.x + dr.width / 2, dcy = dr.y + dr.height / 2;
  cs = sr;
  page_rect cd = dr;
  if (page_clip_rect(src, &cs) || page_clip_rect(dst, &cd)) return false;
  job.fx = step_of(scale_x);
  job.fy = step_of(scale_y);
  if (job.fx <= 0 || job.fy <= 0) return false;
  job.gx = scx * ONE + job.fx / 2 - job.fx * (dcx - cd.x) - ONE / 2;
  job.gy = scy * ONE + job.fy / 2 - job.fy * (dcy - cd.y) - ONE / 2;
  while (cd.width > 0 && job.gx < cs.x * ONE) cd.x++, cd.width--, job.gx += job.fx;
  while (cd.width > 0 && job.gx + job.fx * (cd.width - 1) >= (cs.x + cs.width) * ONE - ONE) cd.width--;
  while (cd.height > 0 && job.gy < cs.y * ONE) cd.y++, cd.height--, job.gy += job.fy;
  while (cd.height > 0 && job.gy + job.fy * (cd.height - 1) >= (cs.y + cs.height) * ONE - ONE) cd.height--;
  if (cd.width <= 0 || cd.height <= 0) return false;
  job.src = src;
  job.dst = dst;
  job.cd = cd;
  job.bpp = page_bytes_per_pixel(src);
  if (job.fx != ONE) {
    job.col_offset.resize(static_cast<size_t>(cd.width));
    job.col_frac.resize(static_cast<size_t>(cd.width));
    for (int c = 0; c < cd.width; c++) {
      int64_t x = job.gx + c * job.fx;
      job.col_offset[c] = static_cast<int32_t>((x >> 14) * job.bpp);
      job.col_frac[c] = static_cast<int32_t>(x & (ONE - 1));
    }
    job.pair_weights.assign(static_cast<size_t>(cd.width + 1) / 2 * 8, 0);
    for (int c = 0; c < cd.width; c++)
      for (int k = 0; k < 4; k++) job.pair_weights[static_cast<size_t>(c) * 4 + k] = static_cast<int16_t>(2 * job.col_frac[c]);
  }
  return true;
}
}  // namespace

int hq_band_count(int source_rows, int processors) {
  if (source_rows < 100) return 1;
  return processors > 7 ? 8 : processors > 3 ? 4 : processors > 1 ? 2 : 1;
}

void hq_modify_copy_bands(const page* src, const page_rect& sr, page* dst, const page_rect& dr, double scale_x,
                          double scale_y, int bands) {
  if (src->is_8bit != dst->is_8bit) {
    fputs("HQGrpModifyCopy NotSupportFormat\n", stderr);
    return;
  }
  hq_job job;
  page_rect cs;
  if (!hq_prepare(job, src, sr, dst, dr, scale_x, scale_y, cs)) return;
  int n = job.cd.height, k = bands < 1 ? 1 : bands, q = n / k;
  // Band 0 runs here while the others run on their threads; a band whose thread does not start
  // runs here too.
  std::vector<std::thread> workers;
  for (int i = 1; i < k; i++) {
    int first = i * q, end = i == k - 1 ? n : (i + 1) * q;
    bool started = false;
    if (hq_refuse_thread_starts > 0) {
      hq_refuse_thread_starts--;
    } else {
      try {
        workers.emplace_back(hq_band, std::cref(job), first, end);
        started = true;
      } catch (const std::system_error&) {
      }
    }
    if (!started) hq_band(job, first, end);
  }
  hq_band(job, 0, k == 1 ? n : q);
  for (std::thread& t : workers) t.join();
}

void HQGrpModifyCopy(const page* src, const page_rect& sr, page* dst, const page_rect& dr, double scale_x,
                     double scale_y) {
  page_rect cs = sr;
  int rows = page_clip_rect(src, &cs) ? 0 : cs.height;
  hq_modify_copy_bands(src, sr, dst, dr, scale_x, scale_y, hq_band_count(rows, cpu_count()));
}
