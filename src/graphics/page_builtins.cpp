#include "graphics/page_builtins.h"

#include <string>

#include "base/cp932.h"
#include "graphics/image_cache.h"
#include "graphics/image_file.h"
#include "graphics/image_rct.h"
#include "graphics/image_readers.h"
#include "graphics/kernel.h"
#include "graphics/page.h"
#include "graphics/sprite.h"
#include "vm/dispatcher.h"
#include "vm/script_error.h"
#include "vm/variables.h"

// ---- arguments ---------------------------------------------------------------------------------

static page* arg_page(int32_t k) { return page_from_id(static_cast<uint32_t>(builtin_arg_int(k))); }

static void push_page(const page* p) { push_int(p ? static_cast<int32_t>(p->id) : 0); }

static void mark_whole(page* p) { mark_dirty_rect(p, page_rect{0, 0, p->width, p->height}); }

// ---- pages -------------------------------------------------------------------------------------

static page* new_page(int w, int h, int full_colour) {
  page* p = full_colour ? page_new_rgb24(w, h, 0) : page_new_gray8(w, h, 0);
  // page_new has reported a size that cannot be had; scripts still get a page.
  if (!p) p = full_colour ? page_new_rgb24(1, 1, 0) : page_new_gray8(1, 1, 0);
  return p;
}

static void create(const char* name, int32_t n, bool with_alpha) {
  int w = builtin_arg_int(1), h = builtin_arg_int(2), full_colour = n >= 3 ? builtin_arg_int(3) : 1;
  if (w <= 0 || h <= 0) {
    script_error("%s : 大きさが０以下のページは作成できません", name);
    if (w < 1) w = 1;
    if (h < 1) h = 1;
  }
  page* p = new_page(w, h, full_colour);
  if (with_alpha) {
    page_alpha_set(p, page_new_gray8(p->width, p->height, 0));
    p->owns_alpha = p->alpha ? 1 : 0;
  }
  push_page(p);
}

int builtin_page_create(int32_t n, int32_t) {
  create("page_create", n, false);
  return 0;
}
int builtin_page_create_withalfa(int32_t n, int32_t) {
  create("page_create_withalfa", n, true);
  return 0;
}

// The image's page, or after the report a cleared 1 x 1 page (8-bit grey for a mask name).
static page* page_from_file(const char* name, const image_name& image, std::string& resolved) {
  if (image_resolve_name(image, resolved) == 0) return image_load(resolved);
  script_error("%s : ファイル[%s]が存在しません", name, resolved.c_str());
  return image.mask ? page_new_gray8(1, 1, 0) : page_new_rgb24(1, 1, 0);
}

int builtin_page_create_file(int32_t, int32_t) {
  std::string resolved;
  push_page(page_from_file("page_create_file", builtin_arg_text(1), resolved));
  return 0;
}

int builtin_page_create_file_withalfa(int32_t, int32_t) {
  image_name image(builtin_arg_text(1));
  std::string resolved, mask;
  if (image_resolve_name(image, resolved) != 0) {
    push_page(page_from_file("page_create_file", image, resolved));
    return 0;
  }
  page* p = image_load(resolved);
  // No mask image means no alpha page, silently.
  if (image_resolve_name(image.base + "_", mask) == 0) {
    page_alpha_set(p, image_load(mask));
    p->owns_alpha = 1;
  }
  push_page(p);
  return 0;
}

int builtin_page_release(int32_t, int32_t) {
  page* p = arg_page(1);
  if (!p) {
    script_error("page_release : ページが存在しません");
  } else if (page_is_sprite_source(p)) {
    script_error("page_release : 指定されたページはスプライトに参照されています\n先にスプライトを解放してください");
  } else {
    if (p->owns_alpha && p->alpha) page_free(p->alpha, 0);
    page_free(p, 0);  // a persistent page stays, silently
  }
  push_int(0);
  return 0;
}

int builtin_page_drawmode(int32_t, int32_t) {
  page* p = arg_page(1);
  int mode = builtin_arg_int(2);
  if (!p) {
    script_error("page_drawmode : ページが存在しません");
  } else if (p->is_8bit) {
    script_error("page_drawmode : ８ビットページは変更できません");
  } else if (p->drawmode != mode) {
    p->drawmode = mode;
    mark_whole(p);
  }
  push_int(0);
  return 0;
}

int builtin_page_exists(int32_t, int32_t) {
  push_int(arg_page(1) ? 1 : 0);
  return 0;
}

static void page_len(const char* name, bool want_x) {
  page* p = arg_page(1);
  if (!p) {
    script_error("%s : ページが存在しません", name);
    push_int(0);
    return;
  }
  push_int(want_x ? p->width : p->height);
}

int builtin_page_len_x(int32_t, int32_t) {
  page_len("page_len_x", true);
  return 0;
}
int builtin_page_len_y(int32_t, int32_t) {
  page_len("page_len_y", false);
  return 0;
}

int builtin_set_antidata(int32_t, int32_t) {
  page* p = arg_page(1);
  int32_t alpha_id = builtin_arg_int(2);
  page* a = alpha_id ? page_from_id(static_cast<uint32_t>(alpha_id)) : nullptr;
  if (!p) {
    script_error("set_antidata : 設定の親ページが存在しません");
  } else if (alpha_id && !a) {
    script_error("set_antidata : αページが存在しません");
  } else if (a && !a->is_8bit) {
    script_error("page_set_antidata : αデータのページは８ビットで無いといけません");
  } else if (a && (a->width != p->width || a->height != p->height)) {
    script_error("page_set_antidata : ページの大きさをそろえる必要が有ります。");
  } else {
    // Setting the alpha page a page already has keeps it: freeing it first would attach a freed page.
    if (p->owns_alpha && p->alpha && p->alpha != a) page_free(p->alpha, 0);
    p->owns_alpha = 0;
    page_alpha_set(p, a);
  }
  push_int(0);
  return 0;
}

int builtin_get_alfapage(int32_t, int32_t) {
  uint32_t value = static_cast<uint32_t>(builtin_arg_int(1));
  page* p = page_from_id(value);
  if (!p && !sprite_is_absent(value)) p = sprite_from_id(value)->source_page;
  if (!p) {
    script_error("get_alfapage : 指定ページが存在しません");
    push_int(0);
    return 0;
  }
  push_page(p->alpha);
  return 0;
}

// ---- image files -------------------------------------------------------------------------------

int builtin_image_exists(int32_t, int32_t) {
  std::string resolved;
  push_int(image_resolve_name(builtin_arg_text(1), resolved) == 0 ? 1 : 0);
  return 0;
}

// The size of a resolved image: a cached picture answers, else its reader.
static void image_size(const image_name& file, int* w, int* h) {
  if (const page* p = image_cache_find(file.base.c_str())) {
    *w = p->width, *h = p->height;
  } else if (cp932_iequal(file.extension, ".png")) {
    *w = png_file_width(file), *h = png_file_height(file);
  } else if (cp932_iequal(file.extension, ".bmp")) {
    *w = bmp_file_width(file), *h = bmp_file_height(file);
  } else if (cp932_iequal(file.extension, ".jpg")) {
    *w = jpeg_file_width(file), *h = jpeg_file_height(file);
  } else {
    *w = rct_width(file.c_str()), *h = rct_height(file.c_str());
  }
}

static void pic_len(const char* name, bool want_x) {
  image_name image(builtin_arg_text(1));
  std::string resolved;
  while (image_resolve_name(image, resolved) != 0) {
    if (error_report_mode_get() == 1) {  // silent player mode: no box to retry from
      push_int(1);
      return;
    }
    script_error("%s : ファイル[%s]が存在しません", name, resolved.c_str());  // Retry looks again
  }
  int w, h;
  image_size(resolved, &w, &h);
  push_int(want_x ? w : h);
}

int builtin_pic_len_x(int32_t, int32_t) {
  pic_len("pic_len_x", true);
  return 0;
}
int builtin_pic_len_y(int32_t, int32_t) {
  pic_len("pic_len_y", false);
  return 0;
}

int builtin_set_pic_key(int32_t, int32_t) {
  image_set_key(std::string(builtin_arg_text(1)).c_str());
  push_int(0);
  return 0;
}

// An 8-bit image with a mask onto an 8-bit page: indices cannot be blended, so the pixels more
// opaque than not are copied.
static void mask_copy_8bit(const page* src, const page* mask, const page_rect& sr, page* dst, const page_rect& dr) {
  for (int y = 0; y < sr.height; y++) {
    const uint8_t* s = page_row(src, sr.y + y) + sr.x;
    const uint8_t* m = page_row(mask, sr.y + y) + sr.x;
    uint8_t* d = page_row(dst, dr.y + y) + dr.x;
    for (int x = 0; x < sr.width; x++)
      if (m[x] < 128) d[x] = s[x];
  }
}

int builtin_pic_unpack(int32_t, int32_t) {
  page* dst = arg_page(1);
  image_name image(builtin_arg_text(2));
  std::string resolved, mask_name;
  int x = builtin_arg_int(3), y = builtin_arg_int(4);
  if (!dst) {
    script_error("pic_unpack : ページが存在しません");
    push_int(0);
    return 0;
  }
  if (image_resolve_name(image, resolved) != 0) {
    script_error("pic_unpack : ファイル[%s]が存在しません", resolved.c_str());
    push_int(0);
    return 0;
  }
  image_name file(resolved);
  if (dst->is_8bit && image_is_24bit(file)) {
    script_error("pic_unpack : ファイル[%s]を8bitページに転送しています", resolved.c_str());
    push_int(0);
    return 0;
  }
  int w, h;
  image_size(file, &w, &h);
  page_rect sr{0, 0, w, h}, dr{x, y, w, h};
  page* src = image_load_shared(file);
  page* mask = nullptr;
  if (image_resolve_name(file.base + "_", mask_name) == 0) mask = image_load_shared(mask_name);
  if (clip_rect_pair(src, &sr, dst, &dr) == 0) {
    page* own_alpha = src->alpha;
    if (mask) page_alpha_set(src, mask);
    if (!mask || !page_alpha_usable(src)) {
      page_copy_kernel(src, sr, dst, dr);  // a mask that does not fit its image is no mask
    } else if (dst->is_8bit) {
      mask_copy_8bit(src, mask, sr, dst, dr);
    } else {
      page_alpha_copy_kernel(src, sr, dst, dr, 0);
    }
    page_alpha_set(src, own_alpha);
    mark_dirty_rect(dst, dr);
  }
  page_free(src, 0);  // cached pages stay cached
  page_free(mask, 0);
  push_int(0);
  return 0;
}
