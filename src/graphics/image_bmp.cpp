// BMP files: a 14-byte file header ("BM"), then a core (12-byte) or info header, the palette and
// the rows. 8-, 24- and 32-bit pictures without compression.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>
#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

#include "graphics/image_readers.h"
#include "graphics/page.h"

static uint32_t get_u16(const uint8_t* p) { return p[0] | p[1] << 8; }
static uint32_t get_u32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}

constexpr uint32_t BI_RGB = 0, BI_BITFIELDS = 3;

// Reads the rows straight into the page, whose rows are padded as the file's: top-down in one
// piece, bottom-up as one piece a row, last page row first, which a file's stream reads in one
// system call and a stream in memory copies once. The rows' padding is cleared as a new page's is.
static bool rows_read(image_stream* s, page* p, int64_t height, int h, uint64_t stride, uint64_t row_bytes) {
  if (stride != static_cast<uint64_t>(p->stride)) return false;
  std::vector<uint8_t*> places;
  if (height < 0) {
    places.push_back(page_row(p, 0));
  } else {
    places.resize(h);
    for (int k = 0; k < h; k++) places[k] = page_row(p, h - 1 - k);
  }
  size_t piece = height < 0 ? h * stride : stride;
  if (!image_stream_read_pieces(s, places.data(), places.size(), piece)) return false;
  if (row_bytes < stride)
    for (int y = 0; y < h; y++) memset(page_row(p, y) + row_bytes, 0, stride - row_bytes);
  return true;
}

// A row of 32-bit pixels (blue, green, red, alpha) split into 24-bit pixels and transparency bytes
// (255 - alpha); true when some alpha byte is not 0.
#if defined(__x86_64__) || defined(__i386__)
// Four pixels a step; each store of colour runs 4 bytes past its pixels, into the next step's, so
// the steps stop 6 pixels before the end and the plain loop ends the row within it.
__attribute__((target("ssse3"))) static int row_split32_ssse3(const uint8_t* src, uint8_t* out,
                                                              uint8_t* transparency, int w, int* seen) {
  const __m128i colour = _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
  const __m128i alpha = _mm_setr_epi8(3, 7, 11, 15, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
  __m128i any = _mm_setzero_si128();
  int x = 0;
  for (; x + 6 <= w; x += 4) {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 4 * x));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 3 * x), _mm_shuffle_epi8(v, colour));
    __m128i a = _mm_shuffle_epi8(v, alpha);
    any = _mm_or_si128(any, a);
    uint32_t t = ~static_cast<uint32_t>(_mm_cvtsi128_si32(a));
    memcpy(transparency + x, &t, 4);
  }
  *seen = _mm_cvtsi128_si32(any);
  return x;
}
#endif

static bool row_split32(const uint8_t* src, uint8_t* out, uint8_t* transparency, int w) {
  int x = 0, seen = 0;
#if defined(__x86_64__) || defined(__i386__)
  static const bool ssse3 = __builtin_cpu_supports("ssse3");
  if (ssse3) x = row_split32_ssse3(src, out, transparency, w, &seen);
#endif
  for (; x < w; x++) {
    const uint8_t* p = src + 4 * x;
    out[3 * x] = p[0], out[3 * x + 1] = p[1], out[3 * x + 2] = p[2];
    transparency[x] = static_cast<uint8_t>(255 - p[3]);
    seen |= p[3];
  }
  return seen != 0;
}

void bmp_decode(image_stream* s, page** colour, page** mask) {
  *colour = *mask = nullptr;
  uint8_t file_header[14];
  if (!image_stream_read_all(s, file_header, sizeof file_header) || file_header[0] != 'B' || file_header[1] != 'M')
    return;
  // The rest of the entry, whatever the header's file-size field claims.
  const uint64_t size = s->left;
  std::vector<uint8_t> dib(40);
  if (size < 12 || !image_stream_read_all(s, dib.data(), 4)) return;
  uint32_t header_size = get_u32(dib.data());
  if (header_size != 12 && (header_size < 16 || header_size > size)) return;
  dib.resize(header_size < 40 ? 40 : header_size);
  if (!image_stream_read_all(s, dib.data() + 4, header_size - 4)) return;
  const uint8_t* d = dib.data();

  int64_t width, height;
  uint32_t bits;
  uint64_t palette_count, entry_size, palette_at = header_size;
  if (header_size == 12) {
    width = get_u16(d + 4);
    height = get_u16(d + 6);
    bits = get_u16(d + 10);
    entry_size = 3;
    palette_count = bits == 24 || bits > 32 ? 0 : uint64_t(1) << bits;
  } else {
    width = static_cast<int32_t>(get_u32(d + 4));
    height = static_cast<int32_t>(get_u32(d + 8));
    bits = get_u16(d + 14);
    entry_size = 4;
    uint32_t compression = header_size >= 20 ? get_u32(d + 16) : BI_RGB;
    if (compression != BI_RGB && compression != BI_BITFIELDS) return;
    // The three channel masks of a plain info header lie between it and the palette.
    if (compression == BI_BITFIELDS && header_size == 40) palette_at += 12;
    uint32_t used = header_size >= 36 ? get_u32(d + 32) : 0;
    palette_count = used ? used : bits <= 15 ? uint64_t(1) << bits : 0;
  }
  if (bits != 8 && bits != 24 && bits != 32) return;
  int64_t rows = height < 0 ? -height : height;
  if (width < 1 || rows < 1) return;
  uint64_t stride = bits == 8 ? (width + 3) & ~3 : bits == 24 ? (3 * width + 3) & ~3 : 4 * width;
  uint64_t bits_at = palette_at + palette_count * entry_size;
  if (bits_at > size || stride * rows > size - bits_at) return;
  // The masks and the palette, up to the first row.
  dib.resize(bits_at);
  if (!image_stream_read_all(s, dib.data() + header_size, bits_at - header_size)) return;
  d = dib.data();
  int w = static_cast<int>(width), h = static_cast<int>(rows);

  if (bits == 8) {
    page* p = page_new(w, h, 1, 0);
    if (!p) return;
    // Entries the file does not store stay black.
    uint64_t stored = palette_count < 256 ? palette_count : 256;
    for (uint64_t i = 0; i < stored; i++) {
      const uint8_t* e = d + palette_at + i * entry_size;
      p->palette[i] = rgb_quad{e[0], e[1], e[2], 0};
    }
    if (!rows_read(s, p, height, h, stride, w)) {
      page_free(p, 1);
      return;
    }
    *mask = p;
    return;
  }
  page* c = page_new_rgb24_raw(w, h, 0);
  if (!c) return;
  if (bits == 24) {
    if (!rows_read(s, c, height, h, stride, 3 * static_cast<uint64_t>(w))) {
      page_free(c, 1);
      return;
    }
    *colour = c;
    return;
  }
  page* m = page_new_gray8_raw(w, h, 0);
  if (!m) {
    page_free(c, 1);
    return;
  }
  bool any_alpha = false;
  // Rows come in blocks that stay in the cache while they are split, one read each: a file's
  // stream takes such reads straight from the system instead of a few kilobytes at a time.
  constexpr uint64_t BLOCK = 128 * 1024;
  const int per_block = stride >= BLOCK ? 1 : static_cast<int>(BLOCK / stride);
  std::vector<uint8_t> block(std::min<uint64_t>(per_block, h) * stride);
  for (int k = 0; k < h; k++) {
    const int in_block = k % per_block;
    if (in_block == 0 && !image_stream_read_all(s, block.data(), std::min(per_block, h - k) * stride)) {
      page_free(c, 1);
      page_free(m, 1);
      return;
    }
    int y = height > 0 ? h - 1 - k : k;
    any_alpha |= row_split32(block.data() + in_block * stride, page_row(c, y), page_row(m, y), w);
  }
  // A 32-bit file whose alpha bytes are all 0 has no transparency at all.
  if (!any_alpha) {
    page_free(m, 1);
    m = nullptr;
  }
  *colour = c;
  *mask = m;
}
