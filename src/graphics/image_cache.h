// Image lookup and the image cache.
//
// STAND-IN: only the budget that start-up sets. The image-cache module replaces this file.
#pragma once

#include <cstdint>

// The bytes of decoded images the cache may keep.
void image_cache_budget_set(uint32_t bytes);
