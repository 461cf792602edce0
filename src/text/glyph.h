// Glyph rendering and glyph caches.
//
// STAND-IN: only the calls of start-up and shut-down. The glyph module replaces this file. Until
// then no cache is built or written and no font file is added.
#pragma once

// Start-up: open or build the glyph caches named by the environment (FC_NAME..., FC_NAME2...).
void font_cache_build();
void font_cache_build2();
// Writes the open cache (unless saving is disabled or nothing was added) and frees it.
void font_cache_close();
// Shut-down: removes the font files that scripts added.
void font_release_all();
