// The page and image built-ins: creating pages (empty or from image files, with or without an
// alpha page), releasing them, their size, draw mode and alpha page, testing and measuring image
// files, the key for keyed images, and unpacking an image into a page.
//
// Plain built-ins of the dispatcher's calling convention: each reads its argc arguments from the
// current thread's stack (the first on top, optional trailing ones deepest) without popping them,
// and pushes exactly one integer. Failures are reported through script_error and answered with the
// built-in's fallback. Window thread only.
#pragma once

#include <cstddef>
#include <cstdint>

void page_create(int argc);                // width, height [, full colour = 1] -> page
void page_create_withalfa(int argc);       // width, height [, full colour = 1] -> page
void page_create_file(int argc);           // image name -> page
void page_create_file_withalfa(int argc);  // image name -> page
void page_release(int argc);               // page -> 0
void page_drawmode(int argc);              // page, mode -> 0
void page_exists(int argc);                // page -> 1 or 0
void page_len_x(int argc);                 // page -> width
void page_len_y(int argc);                 // page -> height
void set_antidata(int argc);               // page, alpha page (0 detaches) -> 0
void get_alfapage(int argc);               // page or sprite -> alpha page or 0
void image_exists(int argc);               // image name -> 1 or 0
void pic_len_x(int argc);                  // image name -> width
void pic_len_y(int argc);                  // image name -> height
void set_pic_key(int argc);                // key text -> 0
void pic_unpack(int argc);                 // page, image name [, x = 0 [, y = 0]] -> 0

// The built-ins by the hashes the script compiler gives them.
struct page_builtin {
  uint32_t hash;
  const char* name;
  void (*run)(int argc);
};
extern const page_builtin PAGE_BUILTINS[];
extern const size_t PAGE_BUILTIN_COUNT;
