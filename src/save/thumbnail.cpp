#include "save/thumbnail.h"

#include <algorithm>
#include <cstring>

#include "graphics/page.h"
#include "graphics/page_grid.h"

static thumbnail snapshot_thumbnail;

const thumbnail& thumbnail_get() { return snapshot_thumbnail; }
void thumbnail_set(thumbnail t) { snapshot_thumbnail = std::move(t); }
void thumbnail_free() { snapshot_thumbnail = thumbnail{}; }

thumbnail thumbnail_sample(const page* source, int32_t sx, int32_t sy, int32_t sw, int32_t sh, int32_t w, int32_t h) {
  thumbnail t;
  if (w < 1 || h < 1 || uint64_t(w) * uint64_t(h) * 3 > THUMBNAIL_MAX_BYTES) return t;
  t.width = w, t.height = h;
  t.pixels.resize(size_t(w) * size_t(h) * 3);
  int64_t cw = sw / w, ch = sh / h;
  const int64_t offsets[4][2] = {{cw / 5, ch / 5}, {4 * cw / 5, 2 * ch / 5}, {3 * cw / 5, 4 * ch / 5}, {2 * cw / 5, 3 * ch / 5}};
  uint8_t* out = t.pixels.data();
  for (int32_t i = 0; i < h; ++i) {
    int64_t top = sy + int64_t(i) * sh / h;
    for (int32_t j = 0; j < w; ++j, out += 3) {
      int64_t left = sx + int64_t(j) * sw / w;
      unsigned sum[3] = {0, 0, 0};
      for (const auto& o : offsets) {
        int64_t x = std::clamp<int64_t>(left + o[0], 0, source->width - 1);
        int64_t y = std::clamp<int64_t>(top + o[1], 0, source->height - 1);
        const uint8_t* p = page_row(source, static_cast<int>(y)) + x * 3;
        for (int c = 0; c < 3; ++c) sum[c] += p[c];
      }
      for (int c = 0; c < 3; ++c) out[c] = static_cast<uint8_t>(sum[c] >> 2);
    }
  }
  return t;
}

bool thumbnail_put(const thumbnail& t, page* target, int32_t x, int32_t y, bool clear_alpha) {
  if (t.width < 1 || t.height < 1 || target->is_8bit) return false;
  page_rect r{x, y, t.width, t.height};
  if (page_clip_rect(target, &r)) return false;
  int32_t dx = r.x - x, dy = r.y - y;
  for (int32_t row = 0; row < r.height; ++row) {
    const uint8_t* from = t.pixels.data() + (size_t(dy + row) * size_t(t.width) + size_t(dx)) * 3;
    memcpy(page_row(target, r.y + row) + size_t(r.x) * 3, from, size_t(r.width) * 3);
    if (clear_alpha && target->alpha) memset(page_row(target->alpha, r.y + row) + r.x, 0, size_t(r.width));
  }
  mark_dirty_rect(target, r);
  return true;
}
