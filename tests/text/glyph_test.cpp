// Drawing text: metrics against the face's own numbers, the decoration modes' areas and passes,
// the thickened Mincho faces, and a golden picture of every mode.
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_ADVANCES_H

#include <cmath>
#include <filesystem>

#include "graphics/image_file.h"
#include "graphics/image_readers.h"
#include "platform/glyph_render.h"
#include "text_fixture.h"

namespace {

using glyph_drawing = text_test;

// The advance in pixels of one character of the face at a cell height and character width, by
// FreeType from the face's design units: the em is twice the character width wide.
int face_advance(const char* face_name, char32_t c, int char_width) {
  FT_Library lib;
  FT_Init_FreeType(&lib);
  FT_Face face;
  EXPECT_EQ(FT_New_Face(lib, glyph_face_file(face_name).c_str(), 0, &face), 0);
  FT_Fixed units = 0;
  FT_Get_Advance(face, FT_Get_Char_Index(face, c), FT_LOAD_NO_SCALE, &units);
  int advance = static_cast<int>(std::lround(static_cast<double>(units) * 2 * char_width / face->units_per_EM));
  FT_Done_Face(face);
  FT_Done_FreeType(lib);
  return advance;
}

TEST_F(glyph_drawing, AdvancesFollowTheFaceAndTheExtentRuleAtEverySize) {
  for (const char* face : {"ＭＳ ゴシック", "ＭＳ 明朝"})
    for (auto [quality, scale] : {std::pair{0, 1}, std::pair{1, 4}})
      for (int size : {12, 16, 20, 21, 24, 25, 32}) {
        font_quality_set(quality);
        font_descriptor d = style_at(size);
        cp932_copy(d.face, sizeof d.face, face);
        int lw = scale * d.width + (size % 2 ? scale / 2 : 0);
        int full = face_advance(face, U'あ', lw), half = face_advance(face, U'A', lw);
        int want_full = scale == 4 ? (full + 3) / 4 : full, want_half = scale == 4 ? (half + 3) / 4 - 1 : half;
        text_extent e = text_measure(&d, "あA漢", 1);
        SCOPED_TRACE(std::string(face) + " size " + std::to_string(size) + " x" + std::to_string(scale));
        EXPECT_EQ(e.height, size);
        EXPECT_EQ(text_char_widths(), (std::vector<int>{want_full, want_half, want_full}));
        EXPECT_EQ(e.width, 2 * want_full + want_half);
        // The faces are fixed-pitch: a full-width character is as wide as the width asks.
        if (size % 2 == 0) { EXPECT_EQ(want_full, 2 * d.width); }
      }
}

TEST_F(glyph_drawing, TheOutRectangleOfEveryDecorationModeAndWhereItsPassesLand) {
  // {word, k}: the out rectangle grows by k * b + 1 across and k * t down; k = 0 for none.
  const std::pair<int32_t, int> cases[] = {{-1, 0},         {0x00000080, 1}, {0x01000080, 1}, {0x02000080, 2}, {0x03000080, 2},
                                           {0x04000080, 2}, {0x05000080, 2}, {0x06000080, 2}, {0x07000080, 0}};
  for (int size : {20, 36})
    for (auto [word, k] : cases) {
      clear_front();
      font_descriptor d = style_at(size, 100, 50);
      d.decoration = word;
      int b = std::max(1, size / 9), t = std::max(1, size / 18);
      page_rect out;
      SCOPED_TRACE("size " + std::to_string(size) + " word " + std::to_string(word));
      EXPECT_EQ(text_draw(&d, front, "永", &out, 0), size);
      int w = k ? k * b + 1 : 0;
      EXPECT_EQ((std::vector<int>{out.x, out.y, out.width, out.height}), (std::vector<int>{100, 50, size + w, size + k * t}));
      // Ink of the decoration colour lies inside the passes' reach: left and up by t for the
      // outlines, right and down by the shadow's offset.
      page_rect ink = ink_box(front, 0);
      EXPECT_GE(ink.x, 100 - t);
      EXPECT_GE(ink.y, 50 - t);
      EXPECT_LE(ink.x + ink.width, 100 + size + (k ? 2 * t + b + 2 : 0));
      EXPECT_LE(ink.y + ink.height, 50 + size + 2 * t + 1);
    }
}

// The decoration is the text's own coverage moved: the outline widens the text's ink by t on
// every side, the shadow moves its right and bottom edges by (b, t).
TEST_F(glyph_drawing, OutlineAndShadowAreTheTextsCoverageMoved) {
  font_quality_set(1);
  // {word, left, top, right, bottom} in pixels, for size 36: b = 4, t = 2.
  const int cases[][5] = {{0x01000000 | 0x00FF00, 2, 2, 2, 2}, {0x00000000 | 0x00FF00, 0, 0, 4, 2}};
  for (const auto& [word, left, top, right, bottom] : cases) {
    clear_front();
    font_descriptor d = style_at(36, 20, 20);
    d.decoration = word;
    text_draw(&d, front, "永ー", nullptr, 0);
    page_rect all = ink_box(front, 0), text = ink_box(front, 0, 0x0000FF);  // the decoration has no red
    EXPECT_EQ((std::vector<int>{text.x - all.x, text.y - all.y, all.x + all.width - (text.x + text.width),
                                all.y + all.height - (text.y + text.height)}),
              (std::vector<int>{left, top, right, bottom}))
        << word;
  }
}

TEST_F(glyph_drawing, MinchoFacesAreDrawnThickenedUnlessTheSmartCacheIsOn) {
  font_quality_set(1);
  auto ink = [&] {
    clear_front();
    font_descriptor d = style_at(40);
    cp932_copy(d.face, sizeof d.face, "ＭＳ 明朝");
    d.mincho = 1;
    text_draw(&d, front, "永", nullptr, 0);
    int sum = 0;
    for (int y = 0; y < 40; y++)
      for (int x = 0; x < 40; x++) sum += pixel(front, x, y) & 0xFF;
    return sum;
  };
  int thick = ink();
  load_env("FONTCACHESMART\t1\n");
  EXPECT_GT(thick, ink() * 11 / 10);
}

TEST_F(glyph_drawing, AnEmptyTextOrNoPageDrawsNothingAndTheDefaultIsWhiteGothicAtTwenty) {
  page_rect out{1, 2, 3, 4};
  EXPECT_EQ(text_draw(nullptr, front, "", &out, 0), 0);
  EXPECT_EQ(out.width, 0);
  EXPECT_EQ(text_draw(nullptr, nullptr, "A", nullptr, 0), 0);
  EXPECT_EQ(text_draw(nullptr, front, "漢字", &out, 0), 40);
  EXPECT_EQ(out.height, 20);
  page_rect ink = ink_box(front, 0);
  EXPECT_GT(ink.width, 30);
  EXPECT_LE(ink.y + ink.height, 20);
  uint32_t brightest = 0;
  for (int i = 0; i < 40 * 20; i++) brightest = std::max(brightest, pixel(front, i % 40, i / 40));
  EXPECT_EQ(brightest, 0xFFFFFFu);
}

// Writes the page as a PNG (through ImageMagick).
void save_png(const page* p, const std::string& path) {
  std::string ppm = path + ".ppm";
  FILE* f = fopen(ppm.c_str(), "wb");
  fprintf(f, "P6 %d %d 255\n", p->width, p->height);
  for (int y = 0; y < p->height; y++)
    for (int x = 0; x < p->width; x++) {
      const uint8_t* b = page_row(p, y) + 3 * x;
      uint8_t rgb[3] = {b[2], b[1], b[0]};
      fwrite(rgb, 1, 3, f);
    }
  fclose(f);
  EXPECT_EQ(run_command("convert '" + ppm + "' PNG24:'" + path + "'"), 0);
  std::filesystem::remove(ppm);
}

page* load_png(const std::string& path) {
  FILE* f = fopen(path.c_str(), "rb");
  if (!f) return nullptr;
  image_stream s = image_stream_wrap(f, static_cast<uint32_t>(std::filesystem::file_size(path)));
  page *colour = nullptr, *mask = nullptr;
  png_decode(&s, &colour, &mask);
  fclose(f);
  if (mask) page_free(mask, 1);
  return colour;
}

// Every mode in both faces at 4x, on grey. The faces' shapes come from the installed rasteriser,
// so a few pixels may differ by more than a shade between its releases.
TEST_F(glyph_drawing, TheDecorationModesMatchTheGoldenPicture) {
  font_quality_set(1);
  page* p = page_new_rgb24(420, 300, 0);
  page_fill_rect(p, page_rect{0, 0, 420, 300}, 0x606060);
  const int32_t words[] = {-1, 0x00202020, 0x01800000, 0x02000080, 0x03004000, 0x04202020, 0x05202020, 0x06000000};
  for (int i = 0; i < 8; i++)
    for (int col = 0; col < 2; col++) {
      font_descriptor d = font_descriptor_default();
      cp932_copy(d.face, sizeof d.face, col ? "ＭＳ 明朝" : "ＭＳ ゴシック");
      d.mincho = col;
      d.size = 24;
      d.width = 12;
      d.x = 10 + 210 * col;
      d.y = 8 + 36 * i;
      d.decoration = words[i];
      d.colour = 0x00F0F0FF;
      text_draw(&d, p, "影の字Ab12", nullptr, 0);
    }
  // Mode 3's two shadow passes are exactly 0x004000 OR 0x808080 where they cover fully: about a
  // hundred pixels, of which either pass in another colour leaves a third.
  int shadow = 0;
  for (int y = 8 + 36 * 4; y < 8 + 36 * 5; y++)
    for (int x = 0; x < p->width; x++) shadow += pixel(p, x, y) == 0x80C080;
  EXPECT_GE(shadow, 60);
  std::string golden = VASK_SOURCE_DIR "/tests/text/golden/decorations.png";
  std::string shot = VASK_BINARY_DIR "/text-decorations.png";
  save_png(p, shot);
  if (getenv("VASK_UPDATE_GOLDEN")) save_png(p, golden);
  page* want = load_png(golden);
  ASSERT_NE(want, nullptr) << golden;
  ASSERT_EQ(want->width, p->width);
  ASSERT_EQ(want->height, p->height);
  int differ = 0;
  for (int y = 0; y < p->height; y++)
    for (int x = 0; x < p->width; x++) {
      uint32_t a = pixel(p, x, y), b = pixel(want, x, y);
      for (int s = 0; s < 24; s += 8)
        if (std::abs(static_cast<int>(a >> s & 0xFF) - static_cast<int>(b >> s & 0xFF)) > 8) {
          differ++;
          break;
        }
    }
  EXPECT_LE(differ, p->width * p->height / 200) << "see " << shot;
  page_free(want, 1);
  page_free(p, 1);
}

}  // namespace
