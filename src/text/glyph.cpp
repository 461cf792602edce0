// STAND-IN: see glyph.h.
#include "text/glyph.h"

void font_cache_build() {}
void font_cache_build2() {}
void font_cache_close() {}
void font_release_all() {}
