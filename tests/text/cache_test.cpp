// Glyph-cache files: names, a byte-exact round trip through a file written here field by field,
// damaged files, the store's growth, glyphs too wide to keep, and the start-up builder.
#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <fstream>
#include <iterator>

#include "base/gamepath.h"
#include "text_fixture.h"

namespace {

constexpr size_t HEADER = 327960;

// A cache file as the format lays it out, built independently of the engine's writer.
struct fcd_file {
  std::string face = "ＭＳ ゴシック";
  int32_t width4 = 40, height4 = 80;
  std::vector<uint8_t> widths = std::vector<uint8_t>(65536, 0);
  std::vector<int32_t> offsets = std::vector<int32_t>(65536, 0);
  std::vector<uint8_t> store = std::vector<uint8_t>(4, 0);
  int32_t capacity_extra = 0x80000;
  int32_t used_override = -1;

  void add(uint32_t key, int w, uint8_t seed) {
    widths[key] = static_cast<uint8_t>(w);
    offsets[key] = static_cast<int32_t>(store.size());
    for (int i = 0; i < w * height4 / 4; i++) store.push_back(static_cast<uint8_t>((i * 37 + seed) % 256));
  }
  std::string bytes() const {
    std::string b(HEADER, '\0');
    auto put = [&](size_t at, uint32_t v) {
      for (int i = 0; i < 4; i++) b[at + i] = static_cast<char>(v >> (8 * i));
    };
    b.replace(0, face.size(), face);
    put(260, width4), put(264, height4);
    for (size_t k = 0; k < 65536; k++) {
      b[268 + k] = static_cast<char>(widths[k]);
      put(65804 + 4 * k, offsets[k]);
    }
    put(327948, static_cast<uint32_t>(store.size()) + capacity_extra);
    put(327952, used_override >= 0 ? used_override : static_cast<int32_t>(store.size()));
    return b + std::string(store.begin(), store.end());
  }
};

constexpr uint32_t KEY_A = 0x82 | 0xA0 << 8;   // あ
constexpr uint32_t KEY_I = 0x82 | 0xA2 << 8;   // い

class glyph_cache_files : public text_test {
 protected:
  std::string file(const char* face = "ＭＳ ゴシック", int w4 = 40, int h4 = 80) {
    return save_folder.path() + "/" + game_path_native(font_cache_file_name(face, w4, h4));
  }
  void write(const std::string& bytes) {
    std::filesystem::create_directories(save_folder.at("savedata"));
    std::ofstream(file(), std::ios::binary) << bytes;
  }
  std::string read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }
  // The default style at 4x, matched to the open cache.
  font_descriptor style() {
    font_quality_set(1);
    font_descriptor d = font_descriptor_default();
    d.cache_match = font_cache_matches(d.face, d.size, d.width, 4);
    return d;
  }
};

TEST_F(glyph_cache_files, NamesCarryTheFaceAndTheSizesTimesFourWidthFirst) {
  EXPECT_EQ(font_cache_file_name("ＭＳ ゴシック", 48, 96), "savedata\\fc_ＭＳ ゴシック_048x096.fcd");
  EXPECT_EQ(font_cache_file_name("x\\..\\y/z:w", 40, 80), "savedata\\fc_x_.._y_z_w_040x080.fcd");
  load_env("FONTCACHESMART\t1\n");
  EXPECT_EQ(font_cache_file_name("F", 1000, 8), "savedata\\fca_F_1000x008.fcd");
}

TEST_F(glyph_cache_files, ALoadedCacheDrawsItsRowsAndIsWrittenBackByteForByteWithTheNewGlyph) {
  fcd_file f;
  f.add(KEY_A, 20, 1);
  write(f.bytes());
  font_cache_open("ＭＳ ゴシック", 20, 10);
  font_descriptor d = style();
  ASSERT_EQ(d.cache_match, 1);
  d.colour = 0x0000FF, d.decoration = -1;
  EXPECT_EQ(text_draw(&d, front, "あ", nullptr, 0), 20);
  // Colour through the stored coverage: 0 paints red, 255 keeps black.
  for (int i = 0; i < 20 * 20; i++)
    if (int c = f.store[4 + i]; c <= 1 || c >= 254) {
      EXPECT_EQ(pixel(front, i % 20, i / 20) & 0xFF, c <= 1 ? 255u : 0u) << i;
    }
  // Nothing added: nothing written.
  font_cache_close();
  EXPECT_EQ(read(file()), f.bytes());

  font_cache_open("ＭＳ ゴシック", 20, 10);
  d = style();
  text_draw(&d, front, "あい", nullptr, 0);
  font_cache_close();
  std::string written = read(file());
  ASSERT_EQ(written.size(), f.bytes().size() + 20 * 20);
  // The new glyph's rows lie at the old end of the store; everything else is the file's own.
  std::string rows = written.substr(f.bytes().size());
  fcd_file g = f;
  g.widths[KEY_I] = 20;
  g.offsets[KEY_I] = static_cast<int32_t>(f.store.size());
  g.store.insert(g.store.end(), rows.begin(), rows.end());
  g.capacity_extra = 0x80000 - 400;  // the capacity the load gave: the old used + 0x80000
  EXPECT_EQ(written, g.bytes());
  EXPECT_NE(rows, std::string(400, '\xFF'));
}

TEST_F(glyph_cache_files, DamagedOrForeignFilesLeaveAnEmptyCache) {
  using damage = std::pair<const char*, std::function<std::string(fcd_file&)>>;
  const damage cases[] = {
      {"whole", [](fcd_file& f) { return f.bytes(); }},  // the control: the stored width is used
      {"truncated header", [](fcd_file& f) { return f.bytes().substr(0, HEADER - 1); }},
      {"truncated store", [](fcd_file& f) { std::string b = f.bytes(); return b.substr(0, b.size() - 1); }},
      {"offset past used", [](fcd_file& f) { f.offsets[KEY_A] = static_cast<int32_t>(f.store.size()) - 10; return f.bytes(); }},
      {"negative offset", [](fcd_file& f) { f.offsets[KEY_A] = -100000; return f.bytes(); }},
      {"offset 0 with a width", [](fcd_file& f) { f.offsets[KEY_A] = 0; return f.bytes(); }},
      {"used above capacity", [](fcd_file& f) { f.capacity_extra = -1; return f.bytes(); }},
      {"used below the start", [](fcd_file& f) { f.used_override = 2; return f.bytes(); }},
      {"another height", [](fcd_file& f) { f.height4 = 84; return f.bytes(); }},
      {"face without its end", [](fcd_file& f) { std::string b = f.bytes(); b.replace(0, 260, std::string(260, 'x')); return b; }},
  };
  for (const auto& [what, make] : cases) {
    fcd_file f;
    f.add(KEY_A, 7, 3);  // narrower than the face's own 20, so the measure tells where it came from
    write(make(f));
    font_cache_open("ＭＳ ゴシック", 20, 10);
    font_descriptor d = style();
    EXPECT_EQ(text_measure(&d, "あ", 0).width, std::string(what) == "whole" ? 7 : 20) << what;
    EXPECT_GT(text_draw(&d, front, "あいう", nullptr, 0), 0) << what;
    glyph_module_reset();
  }
}

TEST_F(glyph_cache_files, TheStoreGrowsForManyGlyphsAndGlyphsWiderThanAByteAreNotKept) {
  font_cache_open("ＭＳ ゴシック", 80, 40);
  font_descriptor d = style();
  d.size = 80, d.width = 40, d.cache_match = 1;
  // 100 kanji of 80 x 80 bytes: past the first 512 KB of store.
  std::string text;
  for (int i = 0; i < 100; i++) text += std::string{static_cast<char>(0x88 + i / 90), static_cast<char>(0xA0 + i % 90)};
  for (size_t i = 0; i < text.size(); i += 12) text_draw(&d, front, text.substr(i, 12).c_str(), nullptr, 0);
  font_cache_close();
  std::string written = read(file("ＭＳ ゴシック", 160, 320));
  ASSERT_EQ(written.size(), HEADER + 4 + 100 * 80 * 80);
  // What the file gives back draws exactly what rendering drew.
  page* fresh = page_new_rgb24(640, 480, 0);
  font_descriptor plain = d;
  plain.cache_match = 0;
  text_draw(&plain, fresh, text.substr(180, 16).c_str(), nullptr, 0);
  font_cache_open("ＭＳ ゴシック", 80, 40);
  clear_front();
  text_draw(&d, front, text.substr(180, 16).c_str(), nullptr, 0);
  for (int y = 0; y < 80; y += 3)
    for (int x = 0; x < 640; x += 3) ASSERT_EQ(pixel(front, x, y), pixel(fresh, x, y)) << x << "," << y;
  page_free(fresh, 1);

  font_cache_close();
  font_cache_open("ＭＳ ゴシック", 20, 300);
  font_descriptor wide = style();
  wide.width = 300, wide.cache_match = 1;
  EXPECT_EQ(text_draw(&wide, front, "W", nullptr, 0), 299);
  font_cache_close();
  EXPECT_FALSE(std::filesystem::exists(file("ＭＳ ゴシック", 1200, 80)));
}

TEST_F(glyph_cache_files, NothingIsWrittenWhenSavingIsDisabled) {
  load_env("LOADSAVEDISABLE\t1\n");
  font_cache_open("ＭＳ ゴシック", 20, 10);
  font_descriptor d = style();
  text_draw(&d, front, "あ", nullptr, 0);
  font_cache_close();
  EXPECT_FALSE(std::filesystem::exists(file()));
}

TEST_F(glyph_cache_files, TheStartUpBuilderWritesThePrebuiltListOnceForTheEnvironmentsFace) {
  load_env("FC_NAME\tＭＳ|明朝\nFC_HEIGHT\t21\nFC_WIDTH\t10\nFC_NAME2\t\nFC_HEIGHT2\t20\n");
  font_cache_build2();  // no face: nothing
  EXPECT_FALSE(std::filesystem::exists(save_folder.at("savedata")));
  font_cache_build();
  std::string path = file("ＭＳ 明朝", 40, 84), bytes = read(path);
  ASSERT_GE(bytes.size(), HEADER);
  size_t kept = 0;
  for (uint32_t key : glyph_prebuilt_keys()) kept += bytes[268 + key] == 21;  // (84 + 3) / 4 wide
  EXPECT_EQ(kept, glyph_prebuilt_keys().size());
  EXPECT_EQ(bytes.size(), HEADER + 4 + kept * 21 * 21);
  // A second start finds the file and leaves it alone.
  std::filesystem::resize_file(path, HEADER);
  font_cache_build();
  EXPECT_EQ(std::filesystem::file_size(path), HEADER);
}

}  // namespace
