#include "text/glyph.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "base/atomic_file.h"
#include "base/cp932.h"
#include "base/env.h"
#include "base/gamepath.h"
#include "graphics/kernel.h"
#include "graphics/page.h"
#include "graphics/page_grid.h"
#include "graphics/presentation.h"
#include "platform/glyph_render.h"
#include "shell/devtools.h"
#include "shell/env_keys.h"
#include "shell/setting_builtins.h"
#include "vm/skip.h"

namespace {

// File layout of a glyph cache: the header, then "used" bytes of the glyph store.
constexpr size_t CACHE_FACE_BYTES = 260;
constexpr size_t CACHE_KEYS = 65536;
constexpr size_t CACHE_OFF_WIDTH4 = 260, CACHE_OFF_HEIGHT4 = 264, CACHE_OFF_WIDTHS = 268,
                 CACHE_OFF_OFFSETS = 65804, CACHE_OFF_CAPACITY = 327948, CACHE_OFF_USED = 327952,
                 CACHE_HEADER_BYTES = 327960;
constexpr int32_t CACHE_STORE_STEP = 0x80000;
constexpr int32_t CACHE_STORE_FIRST = 4;  // no glyph has offset 0

struct glyph_cache {
  std::string face;  // empty: no cache
  int32_t width4 = 0, height4 = 0;
  std::vector<uint8_t> widths;
  std::vector<int32_t> offsets;
  std::vector<uint8_t> store;  // its size is the capacity
  int32_t used = 0;
  bool modified = false;

  int rows() const { return height4 / 4; }
  void make_empty(const char* f, int32_t w4, int32_t h4) {
    face = f;
    width4 = w4;
    height4 = h4;
    widths.assign(CACHE_KEYS, 0);
    offsets.assign(CACHE_KEYS, 0);
    store.assign(CACHE_STORE_STEP, 0);
    used = CACHE_STORE_FIRST;
    modified = false;
  }
  void clear() { *this = glyph_cache(); }
  const uint8_t* glyph(uint32_t key) const { return widths[key] ? store.data() + offsets[key] : nullptr; }
  // Keeps a glyph of w columns; rows beyond the source's height are paper. Glyphs wider than a
  // width byte holds are drawn but not kept.
  void put(uint32_t key, int w, const uint8_t* src, int stride, int src_rows) {
    if (w <= 0 || w > 255 || widths[key]) return;
    int64_t bytes = static_cast<int64_t>(w) * rows();
    if (used + bytes > INT32_MAX - CACHE_STORE_STEP) return;
    while (used + bytes + 16 >= static_cast<int64_t>(store.size())) store.resize(store.size() + CACHE_STORE_STEP, 0);
    widths[key] = static_cast<uint8_t>(w);
    offsets[key] = used;
    uint8_t* dst = store.data() + used;
    for (int r = 0; r < rows(); r++, dst += w)
      if (r < src_rows)
        memcpy(dst, src + static_cast<ptrdiff_t>(r) * stride, w);
      else
        memset(dst, 255, w);
    used += static_cast<int32_t>(bytes);
    modified = true;
  }
};

// The font selected for drawing, and the work picture it renders into.
struct selected_font {
  std::string face;
  int height = 0, width = 0;
  glyph_font* font = nullptr;
};

struct glyph_state {
  glyph_cache cache;
  selected_font selected;
  std::vector<uint8_t> work;
  uint32_t line_page = 0;  // id of the line coverage page
  std::vector<int> char_widths;
  int pending_right_edge = 0;
  int quality = 0;
  std::vector<std::string> private_fonts;  // newest first
};
glyph_state state;

void put_u32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; i++) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}
uint32_t get_u32(const uint8_t* b) {
  return b[0] | static_cast<uint32_t>(b[1]) << 8 | static_cast<uint32_t>(b[2]) << 16 | static_cast<uint32_t>(b[3]) << 24;
}

std::string cache_path(const glyph_cache& c) { return save_path(font_cache_file_name(c.face.c_str(), c.width4, c.height4).c_str()); }

void cache_write(const glyph_cache& c) {
  std::vector<uint8_t> file(CACHE_HEADER_BYTES + c.used, 0);
  memcpy(file.data(), c.face.data(), std::min(c.face.size(), CACHE_FACE_BYTES - 1));
  put_u32(file, CACHE_OFF_WIDTH4, c.width4);
  put_u32(file, CACHE_OFF_HEIGHT4, c.height4);
  memcpy(file.data() + CACHE_OFF_WIDTHS, c.widths.data(), CACHE_KEYS);
  for (size_t k = 0; k < CACHE_KEYS; k++) put_u32(file, CACHE_OFF_OFFSETS + 4 * k, c.offsets[k]);
  put_u32(file, CACHE_OFF_CAPACITY, static_cast<uint32_t>(c.store.size()));
  put_u32(file, CACHE_OFF_USED, c.used);
  memcpy(file.data() + CACHE_HEADER_BYTES, c.store.data(), c.used);
  mkdir_path(save_path("savedata"));
  atomic_file_write(cache_path(c), file.data(), file.size(), FOLDER_GAME);
}

// Reads the file of the cache's face and size into it; false (the cache untouched) when the file
// is missing, short, made for another face or size, or any glyph lies outside its store.
bool cache_read(glyph_cache& c) {
  std::string file;
  if (!player_file_read(cache_path(c), &file) || file.size() < CACHE_HEADER_BYTES) return false;
  const auto* h = reinterpret_cast<const uint8_t*>(file.data());
  if (!memchr(h, 0, CACHE_FACE_BYTES) || c.face != reinterpret_cast<const char*>(h)) return false;
  int32_t w4 = static_cast<int32_t>(get_u32(h + CACHE_OFF_WIDTH4)), h4 = static_cast<int32_t>(get_u32(h + CACHE_OFF_HEIGHT4));
  int32_t capacity = static_cast<int32_t>(get_u32(h + CACHE_OFF_CAPACITY)), used = static_cast<int32_t>(get_u32(h + CACHE_OFF_USED));
  if (w4 != c.width4 || h4 != c.height4) return false;
  if (used < CACHE_STORE_FIRST || used > capacity || static_cast<size_t>(used) > file.size() - CACHE_HEADER_BYTES ||
      used > INT32_MAX - CACHE_STORE_STEP)
    return false;
  std::vector<int32_t> offsets(CACHE_KEYS);
  int64_t rows = h4 / 4;
  for (size_t k = 0; k < CACHE_KEYS; k++) {
    int32_t w = h[CACHE_OFF_WIDTHS + k], at = static_cast<int32_t>(get_u32(h + CACHE_OFF_OFFSETS + 4 * k));
    if (w == 0) continue;
    if (at < CACHE_STORE_FIRST || at + w * rows > used) return false;
    offsets[k] = at;
  }
  c.widths.assign(h + CACHE_OFF_WIDTHS, h + CACHE_OFF_WIDTHS + CACHE_KEYS);
  c.offsets = std::move(offsets);
  c.store.assign(h + CACHE_HEADER_BYTES, h + CACHE_HEADER_BYTES + used);
  c.store.resize(static_cast<size_t>(used) + CACHE_STORE_STEP, 0);
  c.used = used;
  c.modified = false;
  return true;
}

// LOGFONT-style sizes at a scale: the width gains half the scale for odd sizes.
int font_height_at(int size, int scale) { return scale * size; }
int font_width_at(int size, int width, int scale) { return scale * width + (size % 2 != 0 ? scale / 2 : 0); }

glyph_font* select_font(const char* face, int height, int width) {
  selected_font& s = state.selected;
  if (!s.font || s.face != face || s.height != height || s.width != width) {
    glyph_font_close(s.font);
    s.font = glyph_font_open(face, height, width);
    s.face = face;
    s.height = height;
    s.width = width;
  }
  return s.font;
}

// The character's width in the line at the scale (the extent rule of measuring).
int extent_at(glyph_font* font, uint32_t key, int scale) {
  int cx = glyph_font_extent(font, key);
  if (scale != 4) return cx;
  int w = (cx + 3) / 4 - (key > 0xFF ? 0 : 1);
  return w > 0 ? w : 0;
}

uint8_t* work_picture(int width, int height) {
  state.work.assign(static_cast<size_t>(width) * height, 255);
  return state.work.data();
}

// Renders a glyph of w columns at 4x centred on column 4w + 1 of the work picture (thickened for
// a Mincho face), and reduces each 4 x 4 block from column 2w into one coverage byte, the central
// 2 x 2 samples counted twice. rows rows go to dst.
void render_4x(glyph_font* font, uint32_t key, int w, int font_width, int font_height, bool thicken, uint8_t* dst,
               int dst_stride, int rows) {
  int ww = std::max(4 * font_width, 6 * w + 8), wh = std::max(font_height, 4 * rows) + 4;
  glyph_canvas canvas{work_picture(ww, wh), ww, wh, ww};
  int cx = 4 * w + 1;
  glyph_font_draw(font, key, canvas, cx, 1, true);
  if (thicken) {
    glyph_font_draw(font, key, canvas, cx - 2, 1, true);
    glyph_font_draw(font, key, canvas, cx, -1, true);
    glyph_font_draw(font, key, canvas, cx - 2, -1, true);
  }
  for (int r = 0; r < rows; r++) {
    const uint8_t* s = canvas.bits + static_cast<ptrdiff_t>(4 * r) * ww + 2 * w;
    uint8_t* d = dst + static_cast<ptrdiff_t>(r) * dst_stride;
    for (int c = 0; c < w; c++, s += 4) {
      const uint8_t *r0 = s, *r1 = s + ww, *r2 = s + 2 * ww, *r3 = s + 3 * ww;
      int sum = r0[0] + r0[1] + r0[2] + r0[3] + r1[0] + 2 * r1[1] + 2 * r1[2] + r1[3] + r2[0] + 2 * r2[1] + 2 * r2[2] +
                r2[3] + r3[0] + r3[1] + r3[2] + r3[3];
      d[c] = static_cast<uint8_t>(sum / 20);
    }
  }
}

// Renders a glyph of w columns at 1x centred on column w (twice for a Mincho face) and copies
// its columns from w - w/2, unreduced.
void render_1x(glyph_font* font, uint32_t key, int w, int font_width, int font_height, bool thicken, uint8_t* dst,
               int dst_stride, int rows) {
  int ww = std::max(4 * font_width, 2 * w + 4), wh = std::max(font_height, rows);
  glyph_canvas canvas{work_picture(ww, wh), ww, wh, ww};
  glyph_font_draw(font, key, canvas, w, 0, false);
  if (thicken) glyph_font_draw(font, key, canvas, w + 1, 0, false);
  for (int r = 0; r < rows; r++)
    memcpy(dst + static_cast<ptrdiff_t>(r) * dst_stride, canvas.bits + static_cast<ptrdiff_t>(r) * ww + (w - w / 2), w);
}

uint32_t char_key(const char* s, size_t len) {
  return len == 2 ? static_cast<uint8_t>(s[0]) | static_cast<uint32_t>(static_cast<uint8_t>(s[1])) << 8
                  : static_cast<uint8_t>(s[0]);
}

bool cache_in_use(const font_descriptor* d, int scale) {
  return d->cache_match && font_cache_matches(d->face, d->size, d->width, scale);
}

// The line coverage page, CLIENT_WIDTH by the size, all paper.
page* line_page(int size) {
  page* p = state.line_page ? page_from_id(state.line_page) : nullptr;
  if (p && (p->width != client_width() || p->height != size)) {
    page_free(p, 1);
    p = nullptr;
  }
  if (!p) {
    p = page_new_gray8(client_width(), size, 1);
    state.line_page = p ? p->id : 0;
    if (!p) return nullptr;
  }
  for (int y = 0; y < p->height; y++) memset(page_row(p, y), 255, p->width);
  return p;
}

struct pass_list {
  page* coverage;
  page_rect area;
  page* target;
  page_rect touched{0, 0, 0, 0};
  void blend(int x, int y, uint32_t colour) {
    page_rect mr = area, dr{x, y, area.width, area.height};
    if (clip_rect_pair(coverage, &mr, target, &dr)) return;
    page_mask_copy_kernel(coverage, mr, target, dr, colour);
    if (touched.width == 0) {
      touched = dr;
      return;
    }
    int x1 = std::max(touched.x + touched.width, dr.x + dr.width), y1 = std::max(touched.y + touched.height, dr.y + dr.height);
    touched.x = std::min(touched.x, dr.x);
    touched.y = std::min(touched.y, dr.y);
    touched.width = x1 - touched.x;
    touched.height = y1 - touched.y;
  }
  // The eight outline passes around (x, y) at distance t, in the table's order.
  void outline(int x, int y, int t, uint32_t colour) {
    static constexpr int dirs[8][2] = {{1, 1}, {-1, 1}, {1, -1}, {-1, -1}, {1, 0}, {-1, 0}, {0, -1}, {0, 1}};
    for (const auto& d : dirs) blend(x + d[0] * t, y + d[1] * t, colour);
  }
};

}  // namespace

font_descriptor font_descriptor_default() {
  font_descriptor d{};
  cp932_copy(d.face, sizeof d.face, "ＭＳ ゴシック");
  d.size = 20;
  d.width = 10;
  d.pitch = 25;
  d.colour = 0x00FFFFFF;
  d.decoration = -1;
  d.speed = -1;
  page* front = front_page_get();
  d.target = front ? front->id : 0;
  d.window_width = 640;
  d.window_height = 480;
  return d;
}

void font_quality_set(int mode) { state.quality = mode; }
int font_quality_get() { return state.quality; }
int font_quality_scale() {
  if (state.quality == 0) return 1;
  if (state.quality == 2) return is_skipping() ? 1 : 4;
  return 4;
}

int font_realize(const font_descriptor* d, int scale) {
  select_font(d->face, font_height_at(d->size, scale), font_width_at(d->size, d->width, scale));
  return d->cache_match;
}

int font_cache_matches(const char* face, int size, int width, int scale) {
  const glyph_cache& c = state.cache;
  return !c.face.empty() && c.height4 == scale * size && c.width4 == scale * width && c.face == face;
}

text_extent text_measure(const font_descriptor* d, const char* text, int store_widths) {
  int scale = font_quality_scale();
  glyph_font* font = select_font(d->face, font_height_at(d->size, scale), font_width_at(d->size, d->width, scale));
  bool cached = cache_in_use(d, scale);
  if (store_widths) state.char_widths.clear();
  int total = 0;
  for (const char* s = text; *s;) {
    size_t len = cp932_char_len(s);
    uint32_t key = char_key(s, len);
    int w = cached && state.cache.widths[key] ? state.cache.widths[key] : extent_at(font, key, scale);
    if (store_widths) state.char_widths.push_back(w);
    total += w;
    s += len;
  }
  return text_extent{total, d->size};
}

const std::vector<int>& text_char_widths() { return state.char_widths; }
void text_pending_right_edge_set(int width) { state.pending_right_edge = width; }

int text_draw(const font_descriptor* d, page* target, const char* text, page_rect* out, int with_widths) {
  font_descriptor fallback;
  if (!d) {
    fallback = font_descriptor_default();
    d = &fallback;
  }
  if (out) *out = page_rect{d->x, d->y, 0, 0};
  if (!text || !*text || !target || d->size < 1) return 0;
  int scale = font_quality_scale();
  int fh = font_height_at(d->size, scale), fw = font_width_at(d->size, d->width, scale);
  glyph_font* font = select_font(d->face, fh, fw);
  page* line = line_page(d->size);
  if (!line) return 0;
  text_extent e = text_measure(d, text, with_widths);
  page_rect o{d->x, d->y, e.width, e.height};
  if (state.pending_right_edge) {
    o.width = state.pending_right_edge + 1;
    state.pending_right_edge = 0;
  }
  int b = std::max(1, d->size / 9), t = std::max(1, d->size / 18);
  bool cached = cache_in_use(d, scale), thicken = d->mincho && !fontcache_smart();

  int p = 0;
  for (const char* s = text; *s; s += cp932_char_len(s)) {
    size_t len = cp932_char_len(s);
    uint32_t key = char_key(s, len);
    int w = cached && state.cache.widths[key] ? state.cache.widths[key] : extent_at(font, key, scale);
    bool fits = p + w <= line->width;
    uint8_t* at = line->bits + std::min(p, line->width);
    if (cached && fits && state.cache.widths[key]) {
      const uint8_t* g = state.cache.glyph(key);
      for (int r = 0; r < std::min(d->size, state.cache.rows()); r++) memcpy(at + r * line->stride, g + r * w, w);
    } else if (w > 0 && p < line->width) {
      // Drawn clipped to the line when it does not fit.
      int room = std::min(w, line->width - p);
      std::vector<uint8_t> glyph(static_cast<size_t>(w) * d->size);
      if (scale == 4)
        render_4x(font, key, w, fw, fh, thicken, glyph.data(), w, d->size);
      else
        render_1x(font, key, w, fw, fh, thicken, glyph.data(), w, d->size);
      for (int r = 0; r < d->size; r++) memcpy(at + r * line->stride, glyph.data() + r * w, room);
      if (cached && fits) state.cache.put(key, w, glyph.data(), w, d->size);
    }
    p += w;
  }

  pass_list passes{line, page_rect{0, 0, e.width, d->size}, target};
  if (page_clip_rect(line, &passes.area)) passes.area = page_rect{0, 0, 0, 0};
  uint32_t word = static_cast<uint32_t>(d->decoration), colour = static_cast<uint32_t>(d->colour);
  int x = d->x, y = d->y;
  if (passes.area.width > 0) {
    switch (decoration_mode(d->decoration)) {
      case 0:
        passes.blend(x + b, y + t, word);
        o.width += b + 1;
        o.height += t;
        break;
      case 1:
        passes.outline(x, y, t, word);
        o.width += b + 1;
        o.height += t;
        break;
      case 2:
        passes.outline(x, y, t, word);
        passes.blend(x + 2 * t, y + 2 * t, word);
        passes.blend(x + 2 * t, y + t, word);
        o.width += 2 * b + 1;
        o.height += 2 * t;
        break;
      case 3:
        passes.blend(x + 2 * t, y + 2 * t, word | 0x808080);
        passes.blend(x + 2 * t, y + t, word | 0x808080);
        passes.outline(x, y, t, word);
        o.width += 2 * b + 1;
        o.height += 2 * t;
        break;
      case 4:
      case 5:
      case 6: {
        int mode = decoration_mode(d->decoration);
        int k = font_bold_get() ? t + 1 : t;
        uint32_t shadow = mode == 6 ? word : word | 0x505050;
        if (font_shadow_get()) {
          int sx = x + k + t + (mode == 5 ? 1 : 0);
          passes.blend(sx, y + 2 * t, shadow);
          passes.blend(sx, y + 2 * t, shadow);
        }
        if (fuchidori_get()) {
          const int at[8][2] = {{x + k, y + t}, {x - t, y + t}, {x + k, y - t}, {x - t, y - t},
                                {x + k, y},     {x - t, y},     {x, y - t},     {x, y + k}};
          for (const auto& a : at) passes.blend(a[0], a[1], word);
        }
        if (font_bold_get()) passes.blend(x + 1, y, colour);
        o.width += 2 * b + 1;
        o.height += 2 * t;
        break;
      }
      default:
        break;
    }
    passes.blend(x, y, colour);
  }
  mark_dirty_rect(target, o);
  // Outline passes reach left of and above the pen, outside the reported area.
  if (passes.touched.width > 0) mark_dirty_rect(target, passes.touched);
  if (out) *out = o;
  return e.width;
}

// ---- the glyph cache -----------------------------------------------------------------------------

std::string font_cache_file_name(const char* face, int width4, int height4) {
  // A face name is script text: separators in it must not lead the file out of the folder.
  std::string safe;
  for (const char* s = face; *s;) {
    size_t len = cp932_char_len(s);
    if (len == 1 && (*s == '\\' || *s == '/' || *s == ':'))
      safe += '_';
    else
      safe.append(s, len);
    s += len;
  }
  char tail[32];
  snprintf(tail, sizeof tail, "_%03dx%03d.fcd", width4, height4);
  return std::string(fontcache_smart() ? "savedata\\fca_" : "savedata\\fc_") + safe + tail;
}

void font_cache_open(const char* face, int height, int width) {
  font_cache_close();
  // No text is drawn past the size bound, so such a cache could never be used.
  if (!face || !*face || height > FONT_SIZE_MAX || width > FONT_SIZE_MAX || height < -FONT_SIZE_MAX ||
      width < -FONT_SIZE_MAX)
    return;
  glyph_cache& c = state.cache;
  c.face = face;
  c.width4 = 4 * width;
  c.height4 = 4 * height;
  if (c.width4 <= 0 || c.height4 <= 0 || !cache_read(c)) c.make_empty(face, 4 * width, 4 * height);
}

void font_cache_close() {
  glyph_cache& c = state.cache;
  if (!c.face.empty() && c.modified && !loadsave_disabled()) cache_write(c);
  c.clear();
}

void font_cache_prebuild(const char* face, int height, int width) {
  if (!face || !*face || height <= 0 || width <= 0) return;
  glyph_cache c;
  c.make_empty(face, 4 * width, 4 * height);
  struct stat st;
  if (game_path_stat(cache_path(c), &st)) return;
  int fh = 4 * height, fw = 4 * width + (height % 2 != 0 ? 2 : 0);
  glyph_font* font = glyph_font_open(face, fh, fw);
  bool thicken = cp932_strstr(face, "明朝") && !fontcache_smart();
  std::vector<uint8_t> glyph;
  for (uint32_t key : glyph_prebuilt_keys()) {
    int w = (glyph_font_extent(font, key) + 3) / 4;
    if (w <= 0 || w > 255) continue;
    glyph.resize(static_cast<size_t>(w) * height);
    render_4x(font, key, w, fw, fh, thicken, glyph.data(), w, height);
    c.put(key, w, glyph.data(), w, height);
  }
  glyph_font_close(font);
  cache_write(c);
}

static void prebuild_from_env(const char* name_key, const char* height_key, const char* width_key, const char* prop_key) {
  char face[256] = "";
  env_get_string(name_key, face, sizeof face, "");
  int height = env_get_int(height_key, 0), width = env_get_int(width_key, 0);
  env_get_int(prop_key, 0);  // read, as it always was, and not used
  font_cache_prebuild(face, height, width);
}

void font_cache_build() { prebuild_from_env("FC_NAME", "FC_HEIGHT", "FC_WIDTH", "FC_PROPORTIONAL"); }
void font_cache_build2() { prebuild_from_env("FC_NAME2", "FC_HEIGHT2", "FC_WIDTH2", "FC_PROPORTIONAL2"); }

int mkdir_path(const char* path) {
  int levels = 1;
  for (const char* s = path; *s; s += cp932_char_len(s))
    if (*s == '\\' || *s == '/') levels++;
  if (levels > 999) return 1;
  return folder_create(path) ? 0 : 1;
}

// ---- private fonts, module state -------------------------------------------------------------

bool font_file_register(const char* path) {
  char kept[261];
  cp932_copy(kept, sizeof kept, path);
  if (!glyph_private_font_add(game_path_native(kept))) return false;
  state.private_fonts.insert(state.private_fonts.begin(), kept);
  // A face name may select the new face now.
  glyph_font_close(state.selected.font);
  state.selected = selected_font();
  return true;
}

void font_release_all() {
  if (state.private_fonts.empty()) return;
  glyph_private_fonts_clear();
  state.private_fonts.clear();
  glyph_font_close(state.selected.font);
  state.selected = selected_font();
}

void glyph_line_page_free() {
  if (page* p = state.line_page ? page_from_id(state.line_page) : nullptr) page_free(p, 1);
  state.line_page = 0;
}

void glyph_module_reset() {
  font_release_all();
  glyph_line_page_free();
  glyph_font_close(state.selected.font);
  state.cache.clear();
  state.selected = selected_font();
  state.work.clear();
  state.char_widths.clear();
  state.pending_right_edge = 0;
  state.quality = 0;
}
