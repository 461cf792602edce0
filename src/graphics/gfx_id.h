// The id table: scripts hold pages and sprites as 32-bit ids handed out here.
//
// Pages and sprites share one id space, so a value names at most one record and its kind says
// which. Ids are never 0 and are not reused soon: they count up from GFX_ID_FIRST and wrap only
// after two thousand million records, skipping ids still alive. Every script-supplied value is
// looked up before use; a released id finds nothing. Window thread only.
#pragma once

#include <cstddef>
#include <cstdint>

enum gfx_id_kind { GFX_ID_NONE = 0, GFX_ID_PAGE = 1, GFX_ID_SPRITE = 2 };

// The first id handed out. Small integers (flags, counts, -1) never name a record, as pointers
// never did.
constexpr uint32_t GFX_ID_FIRST = 0x10000;

// A new id for the record.
uint32_t gfx_id_add(gfx_id_kind kind, void* record);
// Forgets the id; nothing when it is not alive.
void gfx_id_remove(uint32_t id);
// The record behind an id of that kind, or null (never issued, released, or of the other kind).
void* gfx_id_find(uint32_t id, gfx_id_kind kind);
// The kind of a live id, GFX_ID_NONE otherwise.
gfx_id_kind gfx_id_kind_of(uint32_t id);
size_t gfx_id_count();

// Forgets every id and restarts the count at first (tests; the records are their owners').
void gfx_id_reset(uint32_t first = GFX_ID_FIRST);
