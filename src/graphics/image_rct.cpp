#include "graphics/image_rct.h"

#include <cstring>
#include <string>
#include <vector>

#include "base/hash.h"
#include "graphics/page.h"

// Magic bytes are spelt as bytes: the first two characters are CP932 whatever the compiler's
// execution character set.
const char RCT_MAGICS[5][9] = {
    "\x8A\x47\x90\x7D" "TC00", "\x8A\x47\x90\x7D" "TS00", "\x8A\x47\x90\x7D" "TC01",
    "\x8A\x47\x90\x7D" "TS01", "\x8A\x47\x90\x7D" "8_00",
};

// Module state: the base name of the last differential decode and the header cache.
static std::string base_name;
static uint8_t header_cache[RC8_HEADER_SIZE];
static std::string header_cache_name;
static bool header_cache_valid = false;

void image_rct_reset() {
  base_name.clear();
  memset(header_cache, 0, sizeof header_cache);
  header_cache_name.clear();
  header_cache_valid = false;
}

rct_variant rct_variant_of(const uint8_t* magic) {
  for (int v = 0; v < 5; v++)
    if (memcmp(magic, RCT_MAGICS[v], 8) == 0) return static_cast<rct_variant>(v);
  return RCT_NONE;
}

static int32_t get_i32(const uint8_t* p) {
  uint32_t v = static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
               static_cast<uint32_t>(p[3]) << 24;
  return static_cast<int32_t>(v);
}

static void header_cache_store(const uint8_t* header, size_t size, const char* name) {
  memset(header_cache, 0, sizeof header_cache);
  memcpy(header_cache, header, size);
  header_cache_name = name;
  header_cache_valid = true;
}

const char* image_base_name() { return base_name.c_str(); }

void image_set_key(const char* text) {
  if (text && *text) xor_key_from_string(text);
}

// ---- payload decoders --------------------------------------------------------------------------

int64_t rct_neighbour(int index, int width) {
  int64_t w = width;
  if (index < 6) return -(index + 1);
  if (index < 13) return -w + 3 - (index - 6);
  if (index < 20) return -2 * w + 3 - (index - 13);
  if (index < 27) return -3 * w + 3 - (index - 20);
  return -4 * w + 2 - (index - 27);
}

int64_t rc8_neighbour(int index, int width) {
  int64_t w = width;
  if (index < 4) return -(index + 1);
  if (index < 11) return -w + 3 - (index - 4);
  return -2 * w + 2 - (index - 11);
}

// The shared grammar; pixel is 3 (RCT) or 1 (RC8) bytes. Literal runs: t < 0x80, t + 1 pixels,
// 0x7F takes a u16 + 128. Back-references: the run length in the low bits (all ones takes a u16
// + long_base), the neighbour in the bits above.
template <int pixel, int len_bits, int len_base, int long_base, int64_t (*neighbour)(int, int)>
static size_t lz_decode(const uint8_t* in, size_t size, uint8_t* out, int width, int height) {
  const size_t total = static_cast<size_t>(width) * static_cast<size_t>(height) * pixel;
  if (total == 0 || size < pixel) return 0;
  memcpy(out, in, pixel);
  size_t pos = pixel, at = pixel;
  const int len_mask = (1 << len_bits) - 1;
  while (pos < total && at < size) {
    unsigned t = in[at++];
    size_t n;
    if (t < 0x80) {
      n = t + 1;
      if (t == 0x7F) {
        if (size - at < 2) break;
        n = (in[at] | in[at + 1] << 8) + 128;
        at += 2;
      }
      size_t bytes = n * pixel;
      bool cut = bytes > total - pos || bytes > size - at;
      if (bytes > total - pos) bytes = total - pos;
      if (bytes > size - at) bytes = size - at;
      memcpy(out + pos, in + at, bytes);
      pos += bytes, at += bytes;
      if (cut) break;
      continue;
    }
    n = (t & len_mask) + len_base;
    if ((t & len_mask) == static_cast<unsigned>(len_mask)) {
      if (size - at < 2) break;
      n = (in[at] | in[at + 1] << 8) + long_base;
      at += 2;
    }
    int64_t from = static_cast<int64_t>(pos) + neighbour((t >> len_bits) & (0x7F >> len_bits), width) * pixel;
    size_t bytes = n * pixel;
    bool cut = bytes > total - pos;
    if (cut) bytes = total - pos;
    if (from < 0 || static_cast<uint64_t>(from) + bytes > total) break;
    const uint8_t* src = out + from;
    uint8_t* dst = out + pos;
    if (from >= static_cast<int64_t>(pos)) {
      for (size_t i = 0; i < bytes; i++) dst[i] = src[i];  // ahead of the position (narrow pictures)
    } else if (size_t distance = pos - static_cast<size_t>(from); distance >= bytes) {
      memcpy(dst, src, bytes);
    } else {
      // An overlap repeats the distance's bytes: copy them once, then double what is written.
      memcpy(dst, src, distance);
      for (size_t done = distance; done < bytes; done *= 2)
        memcpy(dst + done, dst, done < bytes - done ? done : bytes - done);
    }
    pos += bytes;
    if (cut) break;
  }
  return pos;
}

size_t rct_decode(const uint8_t* payload, size_t size, uint8_t* out, int width, int height) {
  if (width < 1 || height < 1) return 0;
  return lz_decode<3, 2, 1, 4, rct_neighbour>(payload, size, out, width, height);
}

size_t rc8_decode(const uint8_t* payload, size_t size, uint8_t* out, int width, int height) {
  if (width < 1 || height < 1) return 0;
  return lz_decode<1, 3, 3, 10, rc8_neighbour>(payload, size, out, width, height);
}

// The decoded picture lies unpadded at the start of the pixel memory; rows move to their strides
// last row first, so no row is overwritten before it moved, and the padding is cleared.
static void restride(page* p, int pixel) {
  size_t row = static_cast<size_t>(p->width) * pixel;
  if (static_cast<size_t>(p->stride) == row) return;
  for (int y = p->height - 1; y >= 0; y--) {
    uint8_t* dst = page_row(p, y);
    memmove(dst, p->bits + y * row, row);
    memset(dst + row, 0, p->stride - row);
  }
}

// ---- files ---------------------------------------------------------------------------------

// The payload of the stream's rest, or false when the file is shorter than it says.
static bool read_payload(image_stream* s, int32_t size, std::vector<uint8_t>& payload) {
  if (size < 0 || static_cast<uint32_t>(size) > s->left) return false;
  payload.resize(static_cast<size_t>(size));
  return image_stream_read_all(s, payload.data(), payload.size());
}

page* rct_read(image_stream* s, const char* name) {
  uint8_t header[RCT_HEADER_SIZE];
  if (!image_stream_read_all(s, header, sizeof header)) return nullptr;
  rct_variant v = rct_variant_of(header);
  if (v == RCT_NONE || v == RC8_PALETTED) return nullptr;
  header_cache_store(header, sizeof header, name);
  base_name.clear();
  int width = get_i32(header + 8), height = get_i32(header + 12);
  if (v == RCT_DIFF || v == RCT_KEYED_DIFF) {
    uint8_t len_bytes[2];
    if (!image_stream_read_all(s, len_bytes, 2)) return nullptr;
    size_t len = len_bytes[0] | len_bytes[1] << 8;
    if (len > IMAGE_BASE_NAME_MAX) return nullptr;
    std::string name_read(len, '\0');
    if (!image_stream_read_all(s, name_read.data(), len)) return nullptr;
    name_read.resize(strlen(name_read.c_str()));  // the name ends at an embedded NUL, as text does
    base_name = name_read;
  }
  std::vector<uint8_t> payload;
  if (width < 1 || height < 1 || !read_payload(s, get_i32(header + 16), payload)) {
    base_name.clear();
    return nullptr;
  }
  if (v == RCT_KEYED || v == RCT_KEYED_DIFF) {
    xor_with_key(payload.data(), payload.size());
    size_t n = payload.size();
    if (n < 2 || payload[n - 2] != 'T' || payload[n - 1] != 'S') return page_new_rgb24(width, height, 0);
  }
  // A short payload leaves the rest of the picture black.
  page* p = page_new_rgb24(width, height, 0);
  if (!p) {
    base_name.clear();
    return nullptr;
  }
  rct_decode(payload.data(), payload.size(), p->bits, width, height);
  restride(p, 3);
  return p;
}

page* rc8_read(image_stream* s, const char* name) {
  uint8_t header[RC8_HEADER_SIZE];
  base_name.clear();
  if (!image_stream_read_all(s, header, RCT_HEADER_SIZE) || rct_variant_of(header) != RC8_PALETTED) return nullptr;
  if (!image_stream_read_all(s, header + RCT_HEADER_SIZE, RC8_HEADER_SIZE - RCT_HEADER_SIZE)) return nullptr;
  header_cache_store(header, sizeof header, name);
  int width = get_i32(header + 8), height = get_i32(header + 12);
  std::vector<uint8_t> payload;
  if (width < 1 || height < 1 || !read_payload(s, get_i32(header + 16), payload)) return nullptr;
  page* p = page_new_gray8(width, height, 0);
  if (!p) return nullptr;
  for (int i = 0; i < 256; i++) {
    const uint8_t* e = header + RCT_HEADER_SIZE + 3 * i;
    p->palette[i] = rgb_quad{e[0], e[1], e[2], 0};
  }
  rc8_decode(payload.data(), payload.size(), p->bits, width, height);
  restride(p, 1);
  return p;
}

page* rct_load(const char* name) {
  image_stream s = image_stream_open(name);
  page* p = rct_read(&s, name);
  image_stream_close(&s);
  return p;
}

page* rc8_load(const char* name) {
  image_stream s = image_stream_open(name);
  page* p = rc8_read(&s, name);
  image_stream_close(&s);
  return p;
}

// ---- size queries --------------------------------------------------------------------------

static const uint8_t* cached_header(const char* name) {
  if (header_cache_valid && header_cache_name == name) return header_cache;
  header_cache_store(header_cache, 0, name);
  image_stream s = image_stream_open(name);
  size_t got = image_stream_read(&s, header_cache, sizeof header_cache);
  image_stream_close(&s);
  if (got < RCT_HEADER_SIZE || rct_variant_of(header_cache) == RCT_NONE) {
    memset(header_cache, 0, sizeof header_cache);
    header_cache_name.clear();
    header_cache_valid = false;
    return nullptr;
  }
  return header_cache;
}

int rct_width(const char* name) {
  const uint8_t* h = cached_header(name);
  return h ? get_i32(h + 8) : 0;
}

int rct_height(const char* name) {
  const uint8_t* h = cached_header(name);
  return h ? get_i32(h + 12) : 0;
}
