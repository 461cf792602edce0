// The setting built-ins and their native getters.
//
// STAND-IN: only the getter that start-up reads, which is complete. The setting built-ins module
// replaces this file.
#pragma once

// SaveScreenpos (default 1): the window's position is kept at exit and restored at start.
int save_screenpos_get();
// The glyph decorations of the font page (defaults 1, 1, 0): the shadow and the outline of
// decoration modes 4 to 6, and bold glyphs.
int font_shadow_get();
int fuchidori_get();
int font_bold_get();
