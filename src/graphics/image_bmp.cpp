// BMP files: a 14-byte file header ("BM"), then a core (12-byte) or info header, the palette and
// the rows. 8-, 24- and 32-bit pictures without compression.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "graphics/image_readers.h"
#include "graphics/page.h"

static uint32_t get_u16(const uint8_t* p) { return p[0] | p[1] << 8; }
static uint32_t get_u32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}

constexpr uint32_t BI_RGB = 0, BI_BITFIELDS = 3;

// Reads the rows straight into the page, whose rows are padded as the file's. A top-down file is
// one read. A bottom-up one fills the page from its last row up: on a stream over a file, whose
// large reads the system copies straight into the page, in blocks of rows read in their stored
// order and turned end for end while they are in the cache; on a stream without a file under it
// (in memory), which copies through its own buffer whatever the request, a row at a time, so that
// each byte is copied once more at most. The rows' padding is cleared as a new page's is.
static bool rows_read(image_stream* s, page* p, int64_t height, int h, uint64_t stride, uint64_t row_bytes) {
  if (stride != static_cast<uint64_t>(p->stride)) return false;
  if (height < 0) {
    if (!image_stream_read_all(s, page_row(p, 0), h * stride)) return false;
  } else if (fileno(s->file) < 0) {
    for (int y = h - 1; y >= 0; y--)
      if (!image_stream_read_all(s, page_row(p, y), stride)) return false;
  } else {
    constexpr uint64_t BLOCK = 256 * 1024;
    uint64_t per_block = stride >= BLOCK ? 1 : BLOCK / stride;
    std::vector<uint8_t> spare(stride);
    for (int k = 0; k < h;) {
      int n = static_cast<int>(std::min<uint64_t>(per_block, h - k));
      uint8_t* rows = page_row(p, h - k - n);  // the block's first row in the page
      if (!image_stream_read_all(s, rows, n * stride)) return false;
      for (int i = 0, j = n - 1; i < j; i++, j--) {
        memcpy(spare.data(), rows + i * stride, stride);
        memcpy(rows + i * stride, rows + j * stride, stride);
        memcpy(rows + j * stride, spare.data(), stride);
      }
      k += n;
    }
  }
  if (row_bytes < stride)
    for (int y = 0; y < h; y++) memset(page_row(p, y) + row_bytes, 0, stride - row_bytes);
  return true;
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
  std::vector<uint8_t> row(stride);
  for (int k = 0; k < h; k++) {
    if (!image_stream_read_all(s, row.data(), stride)) {
      page_free(c, 1);
      page_free(m, 1);
      return;
    }
    int y = height > 0 ? h - 1 - k : k;
    const uint8_t* src = row.data();
    uint8_t* out = page_row(c, y);
    uint8_t* out_mask = page_row(m, y);
    for (int x = 0; x < w; x++, src += 4, out += 3) {
      out[0] = src[0], out[1] = src[1], out[2] = src[2];
      out_mask[x] = static_cast<uint8_t>(255 - src[3]);
      any_alpha |= src[3] != 0;
    }
  }
  // A 32-bit file whose alpha bytes are all 0 has no transparency at all.
  if (!any_alpha) {
    page_free(m, 1);
    m = nullptr;
  }
  *colour = c;
  *mask = m;
}
