// The glyph renderer: the host's faces and rasteriser behind the engine's text drawing.
//
// The engine selects a font the way it always did, by face name, cell height and character width
// in pixels, and draws one character at a time, black on an 8-bit grey picture (0 ink, 255
// paper), centred horizontally on a point with the top of its cell on a row. Both backends use this
// one renderer: faces are files, so no display is needed. Face names are engine text (CP932);
// well-known names of the original system map onto the installed IPA faces.
#pragma once

#include <cstdint>
#include <string>

// A face at one size. Characters are engine keys: the first byte, plus the second byte x 256 for
// a double-byte character.
struct glyph_font;

// A face by name at a cell of cell_height pixels whose half-width characters advance char_width
// pixels (full-width ones twice that, in a fixed-pitch face). Never null: an unknown name falls
// back to the gothic face ("明朝" in the name: the mincho one).
glyph_font* glyph_font_open(const char* face, int cell_height, int char_width);
void glyph_font_close(glyph_font* font);

// The character's advance in pixels (the text extent of the one character).
int glyph_font_extent(glyph_font* font, uint32_t key);

// A picture to draw into: top-down rows of 8-bit grey.
struct glyph_canvas {
  uint8_t* bits;
  int width, height, stride;
};
// Draws the character black onto the canvas, its advance centred on x, the top of its cell on
// row y; bilevel (hinted, no grey) or anti-aliased. Ink only darkens: drawing twice is a union.
void glyph_font_draw(glyph_font* font, uint32_t key, const glyph_canvas& canvas, int x, int y, bool bilevel);

// The host file (UTF-8 path) of the face that a name selects; for tests and reports.
std::string glyph_face_file(const char* face);

// Private fonts: a font file (host path) made available to this process under every family name
// it carries; false when the file holds no face. Clearing forgets them all.
bool glyph_private_font_add(const std::string& host_path);
void glyph_private_fonts_clear();
