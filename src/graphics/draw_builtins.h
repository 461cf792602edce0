// The drawing and copy built-ins: points, rectangle fills and colour operations, copies between
// pages (plain, swapped, blended, multiplied, through a transparency table, stretched, rotated,
// mosaic, outlined), and the two colour packers.
//
// Plain built-ins of the dispatcher's calling convention (see graphics/page_builtins.h). Each
// checks its pages in the order of its reports (the first failure reports and ends it), clips,
// runs a kernel of graphics/kernel.h and marks the changed rectangle dirty. Window thread only.
#pragma once

#include <cstdint>

int builtin_grp_point_get(int32_t n, int32_t drop);         // page, x, y -> colour or -1
int builtin_grp_point_set(int32_t n, int32_t drop);         // page, x, y, colour
int builtin_grp_boxfill(int32_t n, int32_t drop);           // page, x, y, w, h, colour
int builtin_grp_extboxfill(int32_t n, int32_t drop);        // page, x, y, w, h, colour, level
int builtin_grp_mulboxfill(int32_t n, int32_t drop);        // page, x, y, w, h, colour
int builtin_grp_overlayboxfill(int32_t n, int32_t drop);    // page, x, y, w, h, colour
int builtin_grp_reverse(int32_t n, int32_t drop);           // page, x, y, w, h
int builtin_grp_sepia(int32_t n, int32_t drop);             // page, x, y, w, h, dark, light [, level]
int builtin_rgb_pack(int32_t n, int32_t drop);              // r, g, b -> colour
int builtin_rgba_pack(int32_t n, int32_t drop);             // r, g, b, a -> colour
int builtin_grp_copy(int32_t n, int32_t drop);              // src, sx, sy, w, h, dst [, dx [, dy]]
int builtin_grp_swap(int32_t n, int32_t drop);              // src, sx, sy, w, h, dst [, dx [, dy]]
int builtin_grp_extcopy(int32_t n, int32_t drop);           // src, sx, sy, w, h, dst [, dx [, dy [, level]]]
int builtin_grp_mulcopy(int32_t n, int32_t drop);           // src, sx, sy, w, h, dst [, dx [, dy]]
int builtin_grp_revmulcopy(int32_t n, int32_t drop);        // src, sx, sy, w, h, dst [, dx [, dy]]
int builtin_grp_alfa_tabled_copy(int32_t n, int32_t drop);  // src, sx, sy, w, h, dst, dx, dy, base, array
int builtin_make_alfa_table(int32_t n, int32_t drop);       // src, dst, array
int builtin_grp_modcopy(int32_t n, int32_t drop);           // src, sx, sy, sw, sh, dst, dx, dy, dw, dh
int builtin_grp_modify_copy(int32_t n, int32_t drop);       // ... as grp_modcopy, angle, scale x, scale y
int builtin_make_mosaic(int32_t n, int32_t drop);           // src, sx, sy, w, h, dst, dx, dy, block size
int builtin_fuchidori_copy(int32_t n, int32_t drop);        // src, dst, control, dx, dy, array
