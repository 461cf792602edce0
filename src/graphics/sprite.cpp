// STAND-IN: frame pacing alone, at 80 frames per second; nothing to draw, keep or free.
#include "graphics/sprite.h"

#include <cstdint>

#include "platform/platform.h"

static uint32_t last_frame = 0;

int frame_limit(int force) {
  uint32_t now = plat().clock_ms();
  if (!force && now - last_frame < 1000 / 80) return 0;
  last_frame = now;
  return 1;
}

void sprite_update_all() {}
int sprite_update_suspend_count() { return 0; }

page_grid* page_grid_find(const page*) { return nullptr; }
void sprite_reset() {}
void sprite_mark_all_kept() {}
void sprite_release_all() {}
