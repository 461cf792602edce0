#include "graphics/image_cache.h"

#include <cstring>

#include "base/cp932.h"
#include "base/datasource.h"
#include "base/list.h"
#include "graphics/image_file.h"
#include "graphics/image_rct.h"
#include "graphics/image_readers.h"
#include "graphics/page.h"
#include "shell/message_box.h"

namespace {
struct image_cache_entry {
  std::string name;       // base name
  std::string extension;  // as loaded, with the dot
  int64_t cost;
  page* picture;  // persistent, the entry's own
  image_cache_entry* prev;
  image_cache_entry* next;
};
}  // namespace

// Module state: the list (head most recently used), its total cost, the budget, the counts, the
// page lent last (spared by eviction), and the memo of the last name resolved.
static image_cache_entry* head = nullptr;
static image_cache_entry* tail = nullptr;
static int64_t total_cost = 0;
static uint32_t budget = 0;
static uint32_t lookups = 0, hits = 0;
static image_cache_entry* lent = nullptr;
static std::string memo_base, memo_full;
static bool memo_valid = false;
// Differential images whose bases are differential again nest merges; a name cycle would not end.
static int merge_depth = 0;
static constexpr int MERGE_DEPTH_MAX = 8;

void image_cache_set_budget(uint32_t bytes) { budget = bytes; }
uint32_t image_cache_budget() { return budget; }

uint32_t image_cache_budget_from_memory(uint64_t available) {
  uint64_t half = available / 2;
  if (half < 0x400000) return 0x400000;
  if (half > 0x10000000) return 0x10000000;
  return static_cast<uint32_t>(half);
}

static image_cache_entry* find(const std::string& base) {
  for (image_cache_entry* e = head; e; e = e->next)
    if (cp932_iequal(e->name, base)) return e;
  return nullptr;
}

static void unlink(image_cache_entry* e) {
  list_unlink(head, tail, e);
  total_cost -= e->cost;
}

static void link_head(image_cache_entry* e) {
  list_push_front(head, tail, e);
  total_cost += e->cost;
}

static void destroy(image_cache_entry* e) {
  if (e == lent) lent = nullptr;
  page_free(e->picture, 1);
  delete e;
}

// Oldest first, sparing the page lent last: its caller may still be drawing from it.
static void evict() {
  image_cache_entry* e = tail;
  while (total_cost > static_cast<int64_t>(budget) && e) {
    image_cache_entry* newer = e->prev;
    if (e != lent) {
      unlink(e);
      destroy(e);
    }
    e = newer;
  }
}

static void insert(const page* decoded, const image_name& file_name) {
  if (budget == 0) return;
  page* copy = image_page_copy(decoded, 1);
  if (!copy) return;
  auto* e = new image_cache_entry{file_name.base, file_name.extension,
                                  static_cast<int64_t>(copy->stride) * copy->height + IMAGE_CACHE_ENTRY_COST +
                                      (copy->is_8bit ? IMAGE_CACHE_PALETTE_COST : 0),
                                  copy, nullptr, nullptr};
  link_head(e);
  evict();
}

static page* fallback_page(const image_name& file_name) {
  return file_name.mask ? page_new_gray8(1, 1, 0) : page_new_rgb24(1, 1, 0);
}

static bool extension_is(const std::string& ext, const char* want) { return cp932_iequal(ext, want); }

// The matching reader; null when it gives no picture.
static page* decode(const image_name& file_name) {
  const std::string& ext = file_name.extension;
  if (extension_is(ext, ".png")) return png_file_load(file_name);
  if (extension_is(ext, ".bmp")) return bmp_file_load(file_name);
  if (extension_is(ext, ".jpg")) return jpeg_file_load(file_name);
  if (!image_is_24bit(file_name)) return rc8_load(file_name.c_str());
  page* p = rct_load(file_name.c_str());
  if (p) image_apply_diff(p);
  return p;
}

static int file_exists(const image_name& name) { return data_file_exists(name.c_str()); }

int image_resolve_name(const image_name& name, std::string& out) {
  const std::string& base = name.base;
  if (image_cache_entry* e = find(base)) {
    out = e->name + e->extension;
    return 0;
  }
  if (memo_valid && cp932_iequal(base, memo_base)) {
    out = memo_full;
    return 0;
  }
  memo_base = base;
  memo_valid = false;
  struct probe {
    const char* extension;
    int (*exists)(const image_name&);
  };
  static const probe probes[] = {{".png", png_file_exists}, {".bmp", bmp_file_exists}, {".jpg", file_exists},
                                 {".rct", file_exists}, {".rc8", file_exists}};
  for (const probe& p : probes) {
    image_name candidate(base + p.extension);
    if (p.exists(candidate)) {
      memo_full = candidate.full;
      memo_valid = true;
      out = candidate.full;
      return 0;
    }
  }
  out = base;
  return -1;
}

page* image_load(const image_name& file_name) {
  lookups++;
  if (image_cache_entry* e = find(file_name.base)) {
    hits++;
    unlink(e);
    page* copy = image_page_copy(e->picture, 0);
    if (budget != 0) {
      link_head(e);
      evict();
    } else {
      destroy(e);
    }
    return copy ? copy : fallback_page(file_name);
  }
  page* p = decode(file_name);
  if (!p) return fallback_page(file_name);
  insert(p, file_name);
  return p;
}

page* image_load_shared(const image_name& file_name) {
  lookups++;
  if (image_cache_entry* e = find(file_name.base)) {
    hits++;
    unlink(e);
    link_head(e);
    lent = e;
    return e->picture;
  }
  page* p = decode(file_name);
  if (!p) return fallback_page(file_name);
  insert(p, file_name);
  return p;
}

int image_is_24bit(const image_name& file_name) {
  const std::string& ext = file_name.extension;
  if (image_cache_entry* e = find(file_name.base)) return e->picture->is_8bit ? 0 : 1;
  if (extension_is(ext, ".rct")) return 1;
  if (!extension_is(ext, ".png") && !extension_is(ext, ".bmp") && !extension_is(ext, ".jpg")) return 0;
  page* p = decode(file_name);
  if (!p) return file_name.mask ? 0 : 1;  // the depth of the page a load would give
  insert(p, file_name);
  int result = p->is_8bit ? 0 : 1;
  page_free(p, 1);
  return result;
}

void image_apply_diff(page* p) {
  std::string base = image_base_name();
  if (base.empty() || merge_depth >= MERGE_DEPTH_MAX) return;
  if (!data_file_exists(base.c_str())) {
    error_box_retry("差分元画像[%s]が存在しません", base.c_str());
    return;
  }
  merge_depth++;
  page* b = image_load_shared(base);
  merge_depth--;
  if (!b) return;
  if (!b->is_8bit && !p->is_8bit) {
    int w = p->width < b->width ? p->width : b->width;
    int h = p->height < b->height ? p->height : b->height;
    for (int y = 0; y < h; y++) {
      uint8_t* row = page_row(p, y);
      const uint8_t* from = page_row(b, y);
      for (int x = 0; x < 3 * w; x += 3)
        if (row[x] == 0 && row[x + 1] == 0 && row[x + 2] == 0xFF) memcpy(row + x, from + x, 3);
    }
  }
  page_free(b, 0);
}

const page* image_cache_find(const char* base_name) {
  image_cache_entry* e = find(base_name);
  return e ? e->picture : nullptr;
}

int image_cache_hit_rate() { return lookups ? static_cast<int>(static_cast<uint64_t>(hits) * 100 / lookups) : 0; }

int image_cache_count() {
  int n = 0;
  for (image_cache_entry* e = head; e; e = e->next) n++;
  return n;
}

int64_t image_cache_total_cost() { return total_cost; }

void image_cache_reset() {
  while (head) {
    image_cache_entry* e = head;
    unlink(e);
    destroy(e);
  }
  total_cost = 0;
  budget = 0;
  lookups = hits = 0;
  lent = nullptr;
  memo_base.clear();
  memo_full.clear();
  memo_valid = false;
  merge_depth = 0;
}
