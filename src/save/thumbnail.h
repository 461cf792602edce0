// Thumbnails: the small picture a save file carries, sampled from a page.
//
// Sampling a W x H source into w x h: each target pixel takes the source cell whose top-left is
// (j W / w, i H / h), of cw = W / w by ch = H / h pixels, and per channel the sum of the samples
// at (cw/5, ch/5), (4cw/5, 2ch/5), (3cw/5, 4ch/5), (2cw/5, 3ch/5) in it, shifted right by 2.
#pragma once

#include <cstdint>
#include <vector>

struct page;

// The snapshot's thumbnail: rows top-down of width x 3 bytes, blue-green-red, no padding.
struct thumbnail {
  int32_t width = 0, height = 0;
  std::vector<uint8_t> pixels;
};
const thumbnail& thumbnail_get();
void thumbnail_set(thumbnail t);
void thumbnail_free();

// The largest thumbnail a script may ask for or a file may carry (bytes of pixels).
constexpr uint64_t THUMBNAIL_MAX_BYTES = 64u << 20;

// Samples the rectangle (sx, sy, sw, sh) of a 24-bit page down to w x h (samples outside the page
// are held at its edge).
thumbnail thumbnail_sample(const page* source, int32_t sx, int32_t sy, int32_t sw, int32_t sh, int32_t w, int32_t h);
// Copies pixels into a 24-bit page at (x, y), clipped, and marks the area dirty; false when
// nothing is left after clipping. With clear_alpha the target's alpha page gets 0 there.
bool thumbnail_put(const thumbnail& t, page* target, int32_t x, int32_t y, bool clear_alpha);
