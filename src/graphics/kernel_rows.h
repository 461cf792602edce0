// Row routines shared by the kernels and the scaler (graphics internals). Each works on one run of
// bytes or pixels; SSE2 does the wide part and a plain loop the tail, with identical results.
#pragma once

#include <cstddef>
#include <cstdint>

#include "graphics/page.h"

// dst = dst * (src + 1) >> 8 per byte.
void row_mul8(uint8_t* dst, const uint8_t* src, size_t count);
// dst = 255 - ((255 - dst) * (256 - src) >> 8) per byte.
void row_revmul8(uint8_t* dst, const uint8_t* src, size_t count);
// The alpha rule over 24-bit pixels with s = transparency + level (level at most 254).
void row_alpha24(uint8_t* dst, const uint8_t* src, const uint8_t* alpha, size_t pixels, int level);
// The same over single bytes.
void row_alpha8(uint8_t* dst, const uint8_t* src, const uint8_t* alpha, size_t count, int level);
// dst = min(255, dst + (b * src >> 8)) per byte; b = 256 adds src itself.
void row_add8(uint8_t* dst, const uint8_t* src, size_t count, int b);
// m = dst * (src + 1) >> 8, dst = (b * dst + (256 - b) * m) >> 8 per byte, b in 1..256.
void row_multiply_blend8(uint8_t* dst, const uint8_t* src, size_t count, int b);
// An 8-bit row through the palette into 24-bit pixels.
void row_expand_pal8(uint8_t* dst24, const uint8_t* src8, const rgb_quad* palette, size_t pixels);
// p = (b * p + (257 - b) * value) >> 8 per byte, the value repeating with the given period (1 or 3).
void row_blend_fill(uint8_t* row, size_t count, const uint8_t* values, int period, int b);
// Fills pixels with a 3-byte pattern.
void row_fill24(uint8_t* row, size_t pixels, const uint8_t bgr[3]);

// Level helpers: ints from scripts held to a byte range.
inline int clamp_level(int v, int lo, int hi) { return v < lo ? lo : v > hi ? hi : v; }
