#include "graphics/gfx_id.h"

#include <unordered_map>

namespace {
struct gfx_id_entry {
  gfx_id_kind kind;
  void* record;
};
}  // namespace

static std::unordered_map<uint32_t, gfx_id_entry> id_table;
static uint32_t next_id = GFX_ID_FIRST;

// Ids stay positive as scripts' 32-bit integers.
static constexpr uint32_t GFX_ID_LAST = 0x7FFFFFFF;

uint32_t gfx_id_add(gfx_id_kind kind, void* record) {
  uint32_t id;
  do {
    id = next_id;
    next_id = next_id == GFX_ID_LAST ? GFX_ID_FIRST : next_id + 1;
  } while (id_table.count(id));
  id_table.emplace(id, gfx_id_entry{kind, record});
  return id;
}

void gfx_id_remove(uint32_t id) { id_table.erase(id); }

void* gfx_id_find(uint32_t id, gfx_id_kind kind) {
  auto it = id_table.find(id);
  return it != id_table.end() && it->second.kind == kind ? it->second.record : nullptr;
}

gfx_id_kind gfx_id_kind_of(uint32_t id) {
  auto it = id_table.find(id);
  return it == id_table.end() ? GFX_ID_NONE : it->second.kind;
}

size_t gfx_id_count() { return id_table.size(); }

void gfx_id_reset(uint32_t first) {
  id_table.clear();
  next_id = first >= GFX_ID_FIRST && first <= GFX_ID_LAST ? first : GFX_ID_FIRST;
}
