// Glyph rendering and glyph caches.
//
// Text is drawn a line at a time: each character is rendered into an 8-bit work picture (at four
// times the size, then reduced by a 4 x 4 box filter with the centre counted twice, or at 1x),
// laid side by side into a line coverage page (0 ink, 255 paper), and the line is blended onto the
// target page through the coverage in one pass per decoration and a last one in the text colour.
// Reduced glyphs of one face and size are kept in the global glyph cache, which lives in a ".fcd"
// file under the save folder. Everything runs on the window thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct page;
struct page_rect;

constexpr int FONT_FACE_SIZE = 32;
// The largest cell height or width a script, a message code or a glyph cache may ask for: far past
// any game's text, while rendering beyond it would take the program's memory and time.
constexpr int32_t FONT_SIZE_MAX = 512;

// A text style: a script thread's current one (Part of the thread's stack, see font.h) or the
// message window's.
struct font_descriptor {
  char face[FONT_FACE_SIZE];  // face name, engine text
  int32_t fill;               // message lines that do not end the text fill to the window's right edge
  int32_t mincho;             // the face name contains "明朝": glyphs are drawn thickened
  int32_t size;               // cell height in pixels
  int32_t width;              // half-width character width
  int32_t pitch;              // line pitch
  int32_t colour;             // text colour 0x00BBGGRR
  int32_t decoration;         // mode in bits 24-30, colour in bits 0-23; -1 none
  int32_t no_wait;            // message window only
  int32_t speed;              // message window text speed, -1 the user's setting
  uint32_t target;            // id of the target page (looked up before use)
  int32_t x, y;               // pen position
  int32_t origin_x, origin_y, window_width, window_height, indent;  // message window geometry
  int32_t cache_match;        // the glyph cache was opened for this face and size at the quality
  font_descriptor* previous;  // the one below on the thread's stack
};

// The built-in default ("ＭＳ ゴシック", 20 high, 10 wide, pitch 25, white, no decoration), aimed at
// the front page as it is now.
font_descriptor font_descriptor_default();
// The decoration mode of a decoration word (0..127; -1 gives 127, none).
inline int decoration_mode(int32_t word) { return static_cast<int>((static_cast<uint32_t>(word) & 0x7F000000u) >> 24); }

// Draws the text at the descriptor's pen position onto the target page (the default descriptor
// when d is null) and marks it dirty. out, when given, receives the drawn area with its
// decorations. With with_widths the per-character widths are kept (text_char_widths). Returns
// the pen advance (the measured width).
int text_draw(const font_descriptor* d, page* target, const char* text, page_rect* out, int with_widths);

// Width and height of the text in the descriptor's style; with store_widths the widths of each
// character are kept until the next measure that stores them.
struct text_extent {
  int width, height;
};
text_extent text_measure(const font_descriptor* d, const char* text, int store_widths);
const std::vector<int>& text_char_widths();

// The typewriter's pending right-edge width: the next text_draw reports that width + 1 as its
// out width, and clears it.
void text_pending_right_edge_set(int width);

// Render quality: mode 0 renders at 1x, mode 2 at 1x while skipping and 4x otherwise, any other
// mode at 4x. The scale is that of the current pass.
void font_quality_set(int mode);
int font_quality_get();
int font_quality_scale();
// Selects the descriptor's font at the scale (a new one only when the face or the sizes at that
// scale changed); returns the descriptor's cache-match flag.
int font_realize(const font_descriptor* d, int scale);
// 1 when the open glyph cache is the face's at size x scale by width x scale.
int font_cache_matches(const char* face, int size, int width, int scale);

// The glyph cache. Opening closes the open one first; a file that is missing, damaged or made
// for another face or size leaves an empty cache of the requested face and size. Closing writes
// the file (unless LOADSAVEDISABLE is set or nothing was added) and frees the cache.
void font_cache_open(const char* face, int height, int width);
void font_cache_close();
// "savedata\fc_<face>_<width x 4>x<height x 4>.fcd" ("fca_" with FONTCACHESMART), before the save
// folder is put in front.
std::string font_cache_file_name(const char* face, int width4, int height4);
// Start-up: builds the cache file of FC_NAME / FC_HEIGHT / FC_WIDTH (and of the keys ending in
// "2") from the prebuilt character list, unless the file exists already.
void font_cache_build();
void font_cache_build2();
// The builder itself: face, height, width in pixels.
void font_cache_prebuild(const char* face, int height, int width);
// The prebuilt list: engine keys of the characters every cache starts with.
const std::vector<uint32_t>& glyph_prebuilt_keys();

// Creates each missing level of a folder path (engine path, at most 999 levels): 0 done, 1 failed.
int mkdir_path(const char* path);

// Private fonts (load_font): the file (engine path) is registered and its faces become available;
// false when it holds no face. font_release_all forgets them all (shut-down).
bool font_file_register(const char* path);
void font_release_all();

// The console reset's step: the line coverage page is freed.
void glyph_line_page_free();
// Forgets everything, the open cache unwritten (tests).
void glyph_module_reset();
