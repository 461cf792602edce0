// The copy of a picture into the window's 32-bit pixels: every frame of a zoomed window goes
// through here, so the common cases run at memory speed. Each source row is widened to 32 bits
// once (a byte shuffle), then placed: as it is at zoom 1000, each pixel twice at zoom 2000, through
// the column table otherwise; a destination row that samples the same source row as the one above
// is a copy of it. Every path yields the nearest-pixel formula of platform.h exactly.
#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/platform.h"

#if defined(__x86_64__) || defined(__i386__)
#include <emmintrin.h>
#include <tmmintrin.h>
#define VASK_PAINT_X86 1
#endif

namespace {

inline uint32_t opaque_pixel(const uint8_t* bgr) {
  return 0xFF000000u | uint32_t{bgr[2]} << 16 | uint32_t{bgr[1]} << 8 | bgr[0];
}

#ifdef VASK_PAINT_X86
// Four 24-bit pixels from one 16-byte load (12 bytes used).
__attribute__((target("ssse3"), always_inline)) inline void widen_four(uint32_t* out, const uint8_t* in) {
  const __m128i order = _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
  __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
  __m128i pixels = _mm_or_si128(_mm_shuffle_epi8(v, order), _mm_set1_epi32(static_cast<int>(0xFF000000u)));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), pixels);
}

// No load reaches past the n pixels' bytes; the count done is returned, the rest is the caller's.
__attribute__((target("ssse3"))) int widen_ssse3(uint32_t* out, const uint8_t* in, int n) {
  int i = 0;
  for (; i + 18 <= n; i += 16) {
    widen_four(out + i, in + 3 * i);
    widen_four(out + i + 4, in + 3 * i + 12);
    widen_four(out + i + 8, in + 3 * i + 24);
    widen_four(out + i + 12, in + 3 * i + 36);
  }
  for (; i + 6 <= n; i += 4) widen_four(out + i, in + 3 * i);
  return i;
}

bool has_ssse3() {
  static const bool has = __builtin_cpu_supports("ssse3");
  return has;
}
#endif

// n source pixels from column from of a row, as opaque 32-bit pixels.
void widen(uint32_t* out, const uint8_t* row, int from, int n, const uint32_t* palette) {
  if (palette) {
    for (int i = 0; i < n; ++i) out[i] = palette[row[from + i]];
    return;
  }
  const uint8_t* in = row + 3 * from;
  int i = 0;
#ifdef VASK_PAINT_X86
  if (has_ssse3()) i = widen_ssse3(out, in, n);
#endif
  for (; i < n; ++i) out[i] = opaque_pixel(in + 3 * i);
}

// Each pixel of line twice, n output pixels; with odd set the first pixel is the second half of a pair.
void double_pixels(uint32_t* out, const uint32_t* line, int n, bool odd) {
  if (n > 0 && odd) *out++ = *line++, --n;
  int i = 0;
#ifdef VASK_PAINT_X86
  for (; i + 8 <= n; i += 8) {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(line + i / 2));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_unpacklo_epi32(v, v));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i + 4), _mm_unpackhi_epi32(v, v));
  }
#endif
  for (; i < n; ++i) out[i] = line[i / 2];
}

}  // namespace

void paint_stretch_xrgb(const pixel_source& source, const plat_rect& source_rect, int x, int y, int zoom_x,
                        int zoom_y, const plat_rect& area, uint32_t* out, int out_stride) {
  plat_rect picture = paint_picture_rect(source_rect, x, y, zoom_x, zoom_y);
  plat_rect part = rect_intersect(picture, area);
  if (part.width <= 0 || part.height <= 0 || !source.bits) return;
  if (out_stride <= 0) out_stride = area.width;
  // The source column of every destination column, -1 outside the source. The columns grow with
  // the destination's, so those inside the source form one run, [first, end).
  std::vector<int> columns(static_cast<size_t>(part.width));
  int first = part.width, end = 0;
  for (int i = 0; i < part.width; ++i) {
    int64_t sx = source_rect.x + (int64_t{part.x} + i - x) * 1000 / zoom_x;
    bool inside = sx >= 0 && sx < source.width;
    columns[static_cast<size_t>(i)] = inside ? static_cast<int>(sx) : -1;
    if (inside) first = std::min(first, i), end = i + 1;
  }
  if (first >= end) return;
  const int n = end - first, lo = columns[static_cast<size_t>(first)];
  const int span = columns[static_cast<size_t>(end - 1)] - lo + 1;
  uint32_t palette[256];
  if (source.palette)
    for (int k = 0; k < 256; ++k) palette[k] = opaque_pixel(source.palette + 4 * k);
  // The widened source row, unless it goes straight into the window.
  std::vector<uint32_t> line(zoom_x == 1000 ? 0 : static_cast<size_t>(span));
  const bool odd = ((int64_t{part.x} + first - x) & 1) != 0;  // at zoom 2000: starts in a pair's second half
  const uint32_t* above = nullptr;
  int64_t above_sy = -1;
  for (int j = 0; j < part.height; ++j) {
    int64_t sy = source_rect.y + (int64_t{part.y} + j - y) * 1000 / zoom_y;
    if (sy < 0 || sy >= source.height) continue;
    uint32_t* dst = out + (int64_t{part.y} + j - area.y) * out_stride + (part.x - area.x) + first;
    if (above && sy == above_sy) {
      memcpy(dst, above, static_cast<size_t>(n) * 4);
    } else {
      const uint8_t* row = source.bits + sy * source.stride;
      const uint32_t* colours = source.palette ? palette : nullptr;
      if (zoom_x == 1000) {
        widen(dst, row, lo, n, colours);
      } else {
        widen(line.data(), row, lo, span, colours);
        if (zoom_x == 2000) {
          double_pixels(dst, line.data(), n, odd);
        } else {
          for (int i = 0; i < n; ++i) dst[i] = line[static_cast<size_t>(columns[static_cast<size_t>(first + i)] - lo)];
        }
      }
    }
    above = dst;
    above_sy = sy;
  }
}
