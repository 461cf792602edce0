// STAND-IN for the sprite module (see sprite.h).
#include "graphics/sprite.h"

#include "graphics/gfx_id.h"
#include "platform/platform.h"

// Module state: the sprites, newest first, and the time of the last frame.
static sprite* newest = nullptr;
static uint32_t last_frame = 0;

sprite* sprite_new(page* source, int, int, int, int, page* target) {
  auto* s = new sprite{source, target, 0, nullptr, newest};
  s->id = gfx_id_add(GFX_ID_SPRITE, s);
  if (newest) newest->newer = s;
  newest = s;
  return s;
}

void sprite_free(sprite* s) {
  if (!s) return;
  (s->newer ? s->newer->older : newest) = s->older;
  if (s->older) s->older->newer = s->newer;
  gfx_id_remove(s->id);
  delete s;
}

void sprite_free_all() {
  while (newest) sprite_free(newest);
}

int sprite_is_absent(uint32_t value) { return gfx_id_find(value, GFX_ID_SPRITE) ? 0 : 1; }

sprite* sprite_from_id(uint32_t value) { return static_cast<sprite*>(gfx_id_find(value, GFX_ID_SPRITE)); }

int page_is_sprite_source(const page* p) {
  for (sprite* s = newest; s; s = s->older)
    if (s->source_page == p) return 1;
  return 0;
}

void mark_dirty_rect(page*, const page_rect&) {}

page_grid* page_grid_find(const page*) { return nullptr; }
void sprite_reset() {}
void sprite_mark_all_kept() {}
void sprite_release_all() { sprite_free_all(); }

int frame_limit(int force) {
  uint32_t now = plat().clock_ms();
  if (!force && now - last_frame < 1000 / 80) return 0;
  last_frame = now;
  return 1;
}

void sprite_update_all() {}
int sprite_update_suspend_count() { return 0; }
