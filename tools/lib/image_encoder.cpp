#include "image_encoder.h"

#include <cstring>

#include "base/hash.h"
#include "graphics/image_file.h"
#include "graphics/image_rct.h"
#include "graphics/page.h"

namespace {
// The grammar's parameters for one format.
struct lz_format {
  int pixel;                        // bytes per pixel
  int len_bits;                     // back-reference length bits in the command byte
  int len_base, long_base;          // shortest short and long back-reference
  int neighbours;                   // table size
  int64_t (*neighbour)(int, int);   // pixel offset of a table entry
};

const lz_format RCT_FORMAT{3, 2, 1, 4, 32, rct_neighbour};
const lz_format RC8_FORMAT{1, 3, 3, 10, 16, rc8_neighbour};

constexpr size_t LITERAL_MAX = 0xFFFF + 128;

void put_u16(std::vector<uint8_t>& out, size_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}

void flush_literals(std::vector<uint8_t>& out, const uint8_t* pixels, size_t from, size_t to, int pixel) {
  while (from < to) {
    size_t n = to - from < LITERAL_MAX ? to - from : LITERAL_MAX;
    if (n < 128) {
      out.push_back(static_cast<uint8_t>(n - 1));
    } else {
      out.push_back(0x7F);
      put_u16(out, n - 128);
    }
    out.insert(out.end(), pixels + from * pixel, pixels + (from + n) * pixel);
    from += n;
  }
}

std::vector<uint8_t> lz_encode(const lz_format& f, const uint8_t* pixels, int width, int height) {
  std::vector<uint8_t> out;
  const size_t count = static_cast<size_t>(width) * height;
  if (count == 0) return out;
  const size_t long_max = 0xFFFF + static_cast<size_t>(f.long_base);
  const unsigned len_mask = (1u << f.len_bits) - 1;
  auto same = [&](size_t a, size_t b) { return memcmp(pixels + a * f.pixel, pixels + b * f.pixel, f.pixel) == 0; };
  out.insert(out.end(), pixels, pixels + f.pixel);
  size_t literal_from = 1;
  for (size_t at = 1; at < count;) {
    size_t best = 0;
    int best_index = 0;
    for (int i = 0; i < f.neighbours; i++) {
      int64_t from = static_cast<int64_t>(at) + f.neighbour(i, width);
      if (from < 0 || from >= static_cast<int64_t>(at)) continue;
      size_t n = 0;
      while (at + n < count && n < long_max && same(static_cast<size_t>(from) + n, at + n)) n++;
      if (n > best) best = n, best_index = i;
    }
    if (best < static_cast<size_t>(f.len_base)) {
      at++;
      continue;
    }
    flush_literals(out, pixels, literal_from, at, f.pixel);
    size_t short_max = len_mask - 1 + static_cast<size_t>(f.len_base);
    uint8_t command = static_cast<uint8_t>(0x80 | best_index << f.len_bits);
    if (best <= short_max) {
      out.push_back(static_cast<uint8_t>(command | (best - f.len_base)));
    } else {  // the long form starts right after the short one
      out.push_back(static_cast<uint8_t>(command | len_mask));
      put_u16(out, best - f.long_base);
    }
    at += best;
    literal_from = at;
  }
  flush_literals(out, pixels, literal_from, count, f.pixel);
  return out;
}

void put_i32(std::vector<uint8_t>& out, int32_t v) {
  for (int i = 0; i < 4; i++) out.push_back(static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * i)));
}

void put_header(std::vector<uint8_t>& out, rct_variant v, int width, int height, size_t payload) {
  out.insert(out.end(), RCT_MAGICS[v], RCT_MAGICS[v] + 8);
  put_i32(out, width);
  put_i32(out, height);
  put_i32(out, static_cast<int32_t>(payload));
}
}  // namespace

std::vector<uint8_t> rct_encode_payload(const uint8_t* pixels, int width, int height) {
  return lz_encode(RCT_FORMAT, pixels, width, height);
}

std::vector<uint8_t> rc8_encode_payload(const uint8_t* indices, int width, int height) {
  return lz_encode(RC8_FORMAT, indices, width, height);
}

std::vector<uint8_t> rct_wrap(int width, int height, std::vector<uint8_t> payload, const rct_options& options) {
  bool diff = !options.base_name.empty();
  rct_variant v = options.keyed ? (diff ? RCT_KEYED_DIFF : RCT_KEYED) : (diff ? RCT_DIFF : RCT_PLAIN);
  if (options.keyed) {
    payload.push_back('T');
    payload.push_back('S');
    if (!options.key.empty()) xor_key_from_string(options.key.c_str());
    xor_with_key(payload.data(), payload.size());
  }
  std::vector<uint8_t> out;
  put_header(out, v, width, height, payload.size());
  if (diff) {
    put_u16(out, options.base_name.size());
    out.insert(out.end(), options.base_name.begin(), options.base_name.end());
  }
  out.insert(out.end(), payload.begin(), payload.end());
  return out;
}

std::vector<uint8_t> rc8_wrap(int width, int height, const rgb_quad* palette, const std::vector<uint8_t>& payload) {
  std::vector<uint8_t> out;
  put_header(out, RC8_PALETTED, width, height, payload.size());
  for (int i = 0; i < 256; i++) {
    out.push_back(palette[i].blue);
    out.push_back(palette[i].green);
    out.push_back(palette[i].red);
  }
  out.insert(out.end(), payload.begin(), payload.end());
  return out;
}

std::vector<uint8_t> page_unpadded(const page* p) {
  size_t row = static_cast<size_t>(p->width) * page_bytes_per_pixel(p);
  std::vector<uint8_t> out(row * p->height);
  for (int y = 0; y < p->height; y++) memcpy(out.data() + row * y, page_row(p, y), row);
  return out;
}

std::vector<uint8_t> rct_encode(const page* picture, const rct_options& options) {
  std::vector<uint8_t> pixels = page_unpadded(picture);
  return rct_wrap(picture->width, picture->height, rct_encode_payload(pixels.data(), picture->width, picture->height),
                  options);
}

std::vector<uint8_t> rc8_encode(const page* picture) {
  std::vector<uint8_t> pixels = page_unpadded(picture);
  return rc8_wrap(picture->width, picture->height, picture->palette,
                  rc8_encode_payload(pixels.data(), picture->width, picture->height));
}

page* rct_diff_picture(const page* picture, const page* base) {
  page* out = image_page_copy(picture, 0);
  if (!out) return nullptr;
  int w = picture->width < base->width ? picture->width : base->width;
  int h = picture->height < base->height ? picture->height : base->height;
  for (int y = 0; y < h; y++) {
    uint8_t* row = page_row(out, y);
    const uint8_t* b = page_row(base, y);
    for (int x = 0; x < 3 * w; x += 3)
      if (memcmp(row + x, b + x, 3) == 0) row[x] = 0, row[x + 1] = 0, row[x + 2] = 0xFF;
  }
  return out;
}
