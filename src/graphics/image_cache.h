// Image lookup and the decoded-image cache.
//
// Scripts name images without extension; image_resolve_name finds the file that exists (".png",
// ".bmp", ".jpg", ".rct", ".rc8" in that order) and the loads decode it through the matching
// reader, merging a differential RCT image onto its base. Decoded images are kept as persistent
// copies in a least-recently-used list bounded by a byte budget, keyed by base name, so that a
// picture shown again is copied from memory. Budget 0 (the start) caches nothing. A name is parsed
// once (image_name) and that record goes down to the readers.
//
// Window thread only.
#pragma once

#include <cstdint>
#include <string>

#include "graphics/image_file.h"

struct page;

// Bytes an entry charges to the budget beyond its pixels, and beyond those for a palette.
constexpr int64_t IMAGE_CACHE_ENTRY_COST = 628;
constexpr int64_t IMAGE_CACHE_PALETTE_COST = 1024;

// Stores the budget; evicts nothing by itself.
void image_cache_set_budget(uint32_t bytes);
uint32_t image_cache_budget();
// The budget start-up sets: half the available memory, held to 4 MiB .. 256 MiB.
uint32_t image_cache_budget_from_memory(uint64_t available);

// 0 and out = base name + "." + extension when an image file exists; -1 and out = the base name
// when none does. The base name drops the name's folder and extension.
int image_resolve_name(const image_name& name, std::string& out);

// A new non-persistent page the caller owns. A file that gives no picture (damaged, not of its
// format) gives a cleared 1 x 1 page instead, 8-bit for a mask name, and is not cached.
page* image_load(const image_name& file_name);
// The cached page itself on a hit (the caller must not change it; an unforced page_free leaves it
// alone), else a freshly decoded page. A cached page stays valid until the next load that misses
// evicts it; the page lent last is never evicted, so a caller may hold one lent page across one
// further load.
page* image_load_shared(const image_name& file_name);
// 1 when the image decodes to a 24-bit page, 0 for 8-bit.
int image_is_24bit(const image_name& file_name);
// Merges the base of the RCT image just decoded: pure red pixels (blue 0, green 0, red 255) take
// the base's pixel at the same place, over the area both pages cover.
void image_apply_diff(page* p);

// The cached page of a base name, or null (no lookup is counted).
const page* image_cache_find(const char* base_name);
// hits * 100 / lookups, 0 before the first lookup.
int image_cache_hit_rate();
int image_cache_count();
int64_t image_cache_total_cost();

// Frees every entry, forgets the name memo and the counts, and sets the budget to 0.
void image_cache_reset();
