// The page and image built-ins: creating pages (empty or from image files, with or without an
// alpha page), releasing them, their size, draw mode and alpha page, testing and measuring image
// files, the key for keyed images, and unpacking an image into a page.
//
// Plain built-ins of the dispatcher's calling convention: each reads its n arguments from the
// current thread's stack (the first on top, optional trailing ones deepest) without popping them,
// pushes exactly one integer and returns 0; the dispatcher tidies the stack. Their rows are in
// vm/builtin_table.cpp. Failures are reported through script_error and answered with the
// built-in's fallback. Window thread only.
#pragma once

#include <cstdint>

int builtin_page_create(int32_t n, int32_t drop);                // width, height [, full colour = 1] -> page
int builtin_page_create_withalfa(int32_t n, int32_t drop);       // width, height [, full colour = 1] -> page
int builtin_page_create_file(int32_t n, int32_t drop);           // image name -> page
int builtin_page_create_file_withalfa(int32_t n, int32_t drop);  // image name -> page
int builtin_page_release(int32_t n, int32_t drop);               // page -> 0
int builtin_page_drawmode(int32_t n, int32_t drop);              // page, mode -> 0
int builtin_page_exists(int32_t n, int32_t drop);                // page -> 1 or 0
int builtin_page_len_x(int32_t n, int32_t drop);                 // page -> width
int builtin_page_len_y(int32_t n, int32_t drop);                 // page -> height
int builtin_set_antidata(int32_t n, int32_t drop);               // page, alpha page (0 detaches) -> 0
int builtin_get_alfapage(int32_t n, int32_t drop);               // page or sprite -> alpha page or 0
int builtin_image_exists(int32_t n, int32_t drop);               // image name -> 1 or 0
int builtin_pic_len_x(int32_t n, int32_t drop);                  // image name -> width
int builtin_pic_len_y(int32_t n, int32_t drop);                  // image name -> height
int builtin_set_pic_key(int32_t n, int32_t drop);                // key text -> 0
int builtin_pic_unpack(int32_t n, int32_t drop);                 // page, image name [, x = 0 [, y = 0]] -> 0
