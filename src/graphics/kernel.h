// Pixel kernels: the inner loops behind every pixel built-in, the sprite compositor and glyph
// drawing.
//
// Arguments run (source page, source rectangle, destination page, destination rectangle, extra
// values). Only the source rectangle's size counts; the destination gives the top-left corner,
// except for the stretch and the modify copy, which use both sizes. Colours are 0x00BBGGRR;
// 24-bit pixels lie in memory as blue, green, red. Transparency bytes and levels run from 0
// (opaque, full effect) to 255 (invisible, no effect).
//
// Rectangles handed to a kernel that does not clip (every kernel below unless it says it clips)
// must lie inside their pages; debug builds assert it, and every caller clips first (page_clip_rect,
// clip_rect_pair). Depth combinations a kernel does not list draw nothing.
//
// Copies between rows of one page follow one row order: the same row moves with an overlap-safe
// move; a destination above the source runs top to bottom, otherwise bottom to top.
#pragma once

#include <cstddef>
#include <cstdint>

#include "graphics/page.h"

// Row mixers: out = ((a + 1) * first + (256 - a) * second) >> 8 per byte, a in 0..255. out may be
// first or second.
void row_mix8(uint8_t* out, const uint8_t* first, const uint8_t* second, size_t count, int a);
// 24-bit rows; count is in pixels.
void row_mix_rgb24(uint8_t* out, const uint8_t* first, const uint8_t* second, size_t pixels, int a);
// An 8-bit row through its palette into a 24-bit row, by the two 256-entry tables
// T1[i] = i * (a + 1) >> 8 and T2[i] = i * (256 - a) >> 8: out = T1[dst] + T2[palette colour].
void row_mix_pal8(uint8_t* dst24, const uint8_t* src8, const rgb_quad* palette, size_t pixels, int a);

// Copies: 8 -> 8, 24 -> 24, 8 -> 24 through the source palette.
void page_copy_kernel(const page* src, const page_rect& sr, page* dst, const page_rect& dr);
// Exchanges the two rectangles: 8 <-> 8, 24 <-> 24.
void page_swap_kernel(page* src, const page_rect& sr, page* dst, const page_rect& dr);
// dst = row mix of (dst, src) at level a (0..255; outside values are held to it): 8 -> 8, 24 -> 24,
// and 8 -> 24 by the palette tables.
void page_blend_kernel(const page* src, const page_rect& sr, page* dst, const page_rect& dr, int a);
// Alpha-weighted copy through the source's alpha page at level L (above 254 draws nothing):
// 24 -> 24 and 8 -> 24. With s = transparency + L: s >= 254 keeps the destination, s <= 1 copies,
// otherwise dst = (src * (256 - s) + dst * (s + 1)) >> 8. Then the destination's alpha page, when
// it has one, becomes dstA * (srcA + 1) >> 8. Without a source alpha page nothing happens.
void page_alpha_copy_kernel(const page* src, const page_rect& sr, page* dst, const page_rect& dr, int level);
// Additive: level 255 nothing; 0 dst = min(255, dst + src); else min(255, dst + (b * src >> 8)) with
// b = 255 - level held to 0..255. 24 -> 24.
void page_add_kernel(const page* src, const page_rect& sr, page* dst, const page_rect& dr, int level);
// Multiply toward src at level a: b = a + 1 held to 1..256, m = dst * (src + 1) >> 8,
// dst = (b * dst + (256 - b) * m) >> 8. 24 -> 24.
void page_multiply_blend_kernel(const page* src, const page_rect& sr, page* dst, const page_rect& dr, int level);
// 8 -> 8: dst = dst * (src + 1) >> 8.
void page_mul_kernel(const page* src, const page_rect& sr, page* dst, const page_rect& dr);
// 8 -> 8: dst = 255 - ((255 - dst) * (256 - src) >> 8).
void page_revmul_kernel(const page* src, const page_rect& sr, page* dst, const page_rect& dr);
// One colour through an 8-bit mask (the alpha rule at level 0), then the destination's alpha page
// becomes dstA * (mask + 1) >> 8. 24-bit destinations take the colour's channels; 8-bit ones take
// its low byte as their value.
void page_mask_copy_kernel(const page* mask, const page_rect& mr, page* dst, const page_rect& dr, uint32_t colour);

// 8 -> 8 over the common size of the two pages (clips itself): dst = table[src].
void alpha_table_apply(const page* src, page* dst, const uint8_t table[256]);
// A new non-persistent grey 8-bit page of the source's size filled by alpha_table_apply; null when
// no page could be made (reported by page_new).
page* alpha_table_page(const page* src, const uint8_t table[256]);

// Nearest-neighbour stretch of the source rectangle onto the destination rectangle (clips both,
// keeping the ratio): 8 -> 8, 24 -> 24, 8 -> 24.
void page_stretch_kernel(const page* src, const page_rect& sr, page* dst, const page_rect& dr);
// Rotation by angle degrees and scaling by two factors about the rectangles' centres (clips
// itself): 8 -> 8, 24 -> 24, 8 -> 24. Unrotated positive scales go through the bilinear scaler.
// Alpha pages follow.
void page_modify_copy_kernel(const page* src, const page_rect& sr, page* dst, const page_rect& dr, double angle,
                             double scale_x, double scale_y);
// Per-pixel operations for outlined text: the 8-bit control page, read at the source position,
// picks an entry (op << 24) | 0x00BBGGRR of the table; 24 -> 24 only (alpha pages follow when both
// pages have one).
void page_outline_copy_kernel(const page* src, page* dst, const page* control, const page_rect& sr,
                              const page_rect& dr, const uint32_t table[256]);

// Fills (clip the rectangle themselves; 1 when nothing was left). The caller marks the change
// dirty. 8-bit pages take colour & 0xFF; 24-bit pages the colour's channels.
int page_fill_rect(page* p, page_rect r, uint32_t colour);
// b in 1..256 (held to it): 8-bit p = (b * p + (257 - b) * colour) >> 8; 24-bit per channel
// p = (colour * (257 - b) + b * p) >> 8.
int page_blend_fill(page* p, page_rect r, uint32_t colour, int b);

// Colour operations on a rectangle (clip themselves; 1 when nothing was done). 24-bit pages only,
// except the toning, which tones the whole palette of an 8-bit page.
// p = (colour channel + 1) * p >> 8.
int page_mul_fill_kernel(page* p, page_rect r, uint32_t colour);
// Overlay with c the colour's channel: p < 128: 2pc / 255; else 2(p + c - pc / 255) - 255.
int page_overlay_fill_kernel(page* p, page_rect r, uint32_t colour);
// p = 255 - p.
int page_reverse_kernel(page* p, page_rect r);
// Two-colour toning by luma w = B + 4G + 2R + 1: X = ((2049 - w) * dark + w * light) >> 11; with a
// level (with_level set, held to 0..255), h = level + 1 and X = (h * old + (257 - h) * X) / 256.
int page_sepia_kernel(page* p, page_rect r, uint32_t dark, uint32_t light, int with_level, int level);
