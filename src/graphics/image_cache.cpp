// STAND-IN: nothing is cached before the image-cache module exists.
#include "graphics/image_cache.h"

void image_cache_budget_set(uint32_t) {}
