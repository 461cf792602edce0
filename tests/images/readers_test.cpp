#include <malloc.h>

#include <cstring>

#include "archive_writer.h"
#include "base/hash.h"
#include "images_fixture.h"
#include "platform/platform.h"

using Readers = images_test;

// Escapes the shell's parentheses in the commands above.
static std::string shell(const char* command) {
  std::string out;
  for (const char* p = command; *p; p++) {
    if (*p == '(' || *p == ')') out += '\\';
    out += *p;
  }
  return out;
}

// Pictures in every colour type and depth the readers take, written by ImageMagick once per run.
static bool make_pictures() {
  static int made = -1;
  if (made >= 0) return made == 1;
  magick_folder& m = magick_folder::get();
  const char* commands[] = {
      "-seed 7 -size 37x23 plasma:fractal -depth 8 src.png",
      "-size 37x23 xc:none -fill '#ff0000' -draw 'rectangle 0,0 10,22' -fill '#00ff00' -draw 'rectangle 11,0 20,22' "
      "-fill '#204080' -draw 'rectangle 21,0 36,10' few.png",
      "-size 37x23 xc:none -fill '#808080' -draw 'rectangle 0,0 10,22' -fill '#202020' -draw 'rectangle 11,0 20,22' "
      "-fill white -draw 'rectangle 21,0 36,10' -define png:color-type=0 -define png:bit-depth=8 graytrns.png",
      "src.png -colorspace Gray -define png:color-type=0 -define png:bit-depth=8 g.png",
      "src.png -colorspace Gray ( src.png -channel R -separate ) -compose CopyOpacity -composite "
      "-define png:color-type=4 -define png:bit-depth=8 ga.png",
      "ga.png -interlace PNG -define png:color-type=4 -define png:bit-depth=8 gai.png",
      "src.png PNG24:rgb.png",
      "src.png -interlace PNG PNG24:rgbi.png",
      "src.png ( src.png -channel G -separate ) -compose CopyOpacity -composite PNG32:rgba.png",
      "rgba.png -interlace PNG PNG32:rgbai.png",
      "src.png -colors 200 PNG8:pal.png",
      "src.png -colors 100 -interlace PNG PNG8:pali.png",
      "few.png PNG8:paltrns.png",
      "few.png -define png:color-type=2 -define png:bit-depth=8 rgbtrns.png",
      "src.png -depth 16 PNG48:d16.png",
      "-size 8x8 pattern:checkerboard -define png:bit-depth=1 -define png:color-type=3 d1.png",
      "src.png BMP3:b24.bmp",
      "src.png BMP2:b24core.bmp",
      "rgba.png BMP:b32.bmp",
      "src.png -colors 20 -type Palette -compress none BMP3:b8.bmp",
      "src.png -colors 20 -type Palette BMP2:b8core.bmp",
      "src.png -quality 90 c.jpg",
      "src.png -colorspace Gray -quality 90 gray.jpg",
      "src.png -quality 90 -interlace JPEG prog.jpg",
  };
  made = 1;
  for (const char* c : commands)
    if (!m.convert(shell(c))) {
      ADD_FAILURE() << "convert " << c;
      made = 0;
    }
  return made == 1;
}

// The decoders on a host file of the picture folder.
struct decoded {
  page* colour = nullptr;
  page* mask = nullptr;
  int png_code = -1;
};
static decoded decode_host(const std::string& name) {
  decoded d;
  std::string path = magick_folder::get().at(name);
  FILE* f = fopen(path.c_str(), "rb");
  if (!f) return d;
  fseek(f, 0, SEEK_END);
  image_stream s = image_stream_wrap(f, static_cast<uint32_t>(ftell(f)));
  fseek(f, 0, SEEK_SET);
  std::string ext = image_name_split(name.c_str()).extension;
  if (ext == ".png") d.png_code = png_decode(&s, &d.colour, &d.mask);
  if (ext == ".bmp") bmp_decode(&s, &d.colour, &d.mask);
  if (ext == ".jpg") d.colour = jpeg_decode(&s, nullptr);
  fclose(f);
  return d;
}

// Our decode against ImageMagick's, pixel by pixel: colours where the picture is not fully
// transparent (ImageMagick blanks those), transparency everywhere.
static std::string compare_with_magick(const std::string& name, const page* colour, const page* mask, int tolerance) {
  std::vector<uint8_t> want = magick_folder::get().rgba(name);
  if (!colour) return "no picture";
  if (want.size() != static_cast<size_t>(colour->width) * colour->height * 4) return "sizes differ";
  for (int y = 0; y < colour->height; y++)
    for (int x = 0; x < colour->width; x++) {
      const uint8_t* w = &want[(static_cast<size_t>(y) * colour->width + x) * 4];
      const uint8_t* c = page_row(colour, y) + (colour->is_8bit ? 0 : 3 * x);
      uint8_t bgr[3];
      if (colour->is_8bit) {
        rgb_quad q = colour->palette[c[x]];
        bgr[0] = q.blue, bgr[1] = q.green, bgr[2] = q.red;
      } else {
        memcpy(bgr, c, 3);
      }
      std::string at = " at " + std::to_string(x) + "," + std::to_string(y);
      if (w[3] > 0 || !mask)
        for (int k = 0; k < 3; k++)
          if (abs(bgr[k] - w[2 - k]) > tolerance)
            return "channel " + std::to_string(k) + at + ": " + std::to_string(bgr[k]) + " vs " + std::to_string(w[2 - k]);
      int t = mask ? page_row(mask, y)[x] : 0;
      if (t != 255 - w[3]) return "transparency" + at + ": " + std::to_string(t) + " vs " + std::to_string(255 - w[3]);
    }
  return "";
}

TEST_F(Readers, PngOfEveryColourTypeMatchesImageMagick) {
  ASSERT_TRUE(make_pictures());
  struct want {
    const char* file;
    bool has_mask;
  };
  for (want w : {want{"g.png", false}, {"ga.png", true}, {"gai.png", true}, {"rgb.png", false}, {"rgbi.png", false},
                 {"rgba.png", true}, {"rgbai.png", true}, {"pal.png", false}, {"pali.png", false},
                 {"paltrns.png", true}, {"rgbtrns.png", true}, {"graytrns.png", true}}) {
    decoded d = decode_host(w.file);
    EXPECT_EQ(d.png_code, PNG_OK) << w.file;
    ASSERT_NE(d.colour, nullptr) << w.file;
    EXPECT_FALSE(d.colour->is_8bit);
    EXPECT_EQ(d.mask != nullptr, w.has_mask) << w.file;
    if (d.mask) {
      EXPECT_TRUE(d.mask->is_8bit && d.mask->palette[77].red == 77);  // grey palette
    }
    EXPECT_EQ(compare_with_magick(w.file, d.colour, d.mask, 0), "") << w.file;
  }
  // From bytes in memory as from a file.
  std::string rgb = file_bytes(magick_folder::get().at("rgb.png"));
  image_stream memory = image_stream_memory(rgb.data(), static_cast<uint32_t>(rgb.size()));
  decoded m;
  EXPECT_EQ(png_decode(&memory, &m.colour, &m.mask), PNG_OK);
  EXPECT_EQ(compare_with_magick("rgb.png", m.colour, m.mask, 0), "");
  // Greyscale pictures give equal blue, green and red.
  decoded g = decode_host("g.png");
  for (int x = 0; x < g.colour->width; x++) {
    const uint8_t* c = page_row(g.colour, 5) + 3 * x;
    EXPECT_TRUE(c[0] == c[1] && c[1] == c[2]);
  }
}

TEST_F(Readers, PngRefusalsShowTheBoxOnceAndGiveNoPage) {
  ASSERT_TRUE(make_pictures());
  EXPECT_EQ(decode_host("d16.png").png_code, PNG_ERR_BIT_DEPTH);
  EXPECT_EQ(decode_host("d1.png").png_code, PNG_ERR_BIT_DEPTH);
  std::string good = file_bytes(magick_folder::get().at("rgb.png"));
  write("cut.png", good.substr(0, good.size() / 2));
  use("d16.png", "deep.png");
  EXPECT_EQ(png_file_load("cut.png"), nullptr);
  EXPECT_EQ(png_file_width("deep.png"), 0);
  EXPECT_EQ(png_file_height("deep.png"), 0);  // remembered: not read again, no second box
  EXPECT_EQ(png_file_load("DEEP.PNG"), nullptr);
  ASSERT_EQ(platform.boxes.size(), 2u);
  for (const auto& box : platform.boxes) {
    EXPECT_EQ(box.text, "PNG エラー");
    EXPECT_EQ(box.caption, "PNG エラー");
    EXPECT_EQ(box.style & MB_ICON_MASK, MB_ICONERROR);
  }
}

// A few hundred bytes may declare a picture of gigabytes: a page past the bound (16384 x 16384
// here) is refused from the header, before any memory is taken or any pixel decoded.
TEST_F(Readers, APictureLargerThanAnyPageIsRefusedFromItsHeader) {
  ASSERT_TRUE(make_pictures());
  std::string big = file_bytes(magick_folder::get().at("rgb.png"));
  const uint8_t side[4] = {0, 0, 0x40, 0};  // 16384, big-endian
  big.replace(16, 4, reinterpret_cast<const char*>(side), 4);
  big.replace(20, 4, reinterpret_cast<const char*>(side), 4);
  uint32_t crc = crc32_bytes(big.data() + 12, 17);  // IHDR's type and fields
  for (int i = 0; i < 4; i++) big[29 + i] = static_cast<char>(crc >> (24 - 8 * i));
  write("big.png", big);
  platform.answer_boxes({IDRETRY});
  EXPECT_EQ(png_file_load("big.png"), nullptr);
  ASSERT_EQ(platform.boxes.size(), 2u);
  EXPECT_NE(platform.boxes[0].text.find("page_new : 16384 x 16384"), std::string::npos) << platform.boxes[0].text;
  EXPECT_EQ(platform.boxes[1].caption, "PNG エラー");
  EXPECT_EQ(page_count(), 0);
}

// An archive entry's stream runs on into the next entry; the reader must stop at its own end, and
// a picture from a plain file reads that whole file.
TEST_F(Readers, ReadsStopAtTheEndOfTheirArchiveEntryOrFile) {
  ASSERT_TRUE(make_pictures());
  std::string png = file_bytes(magick_folder::get().at("rgb.png"));
  std::string bmp = file_bytes(magick_folder::get().at("b24.bmp"));
  // Find a second name that the archive stores right after "a.png", so the cut picture's rest
  // follows it.
  bool placed = false;
  for (int i = 0; i < 40 && !placed; i++) {
    std::string second = "b" + std::to_string(i) + ".png";
    size_t half = png.size() / 2;
    std::string image = archive_build(archive_version::v3, {{"a.png", png.substr(0, half)}, {second, png.substr(half)}});
    if (image.find(png) == std::string::npos) continue;
    placed = true;
    write("data.arc", image);
    data_sources_clear();
    data_base_folder_set(dir.path().c_str());
    ASSERT_EQ(data_source_add("data", 0), DATA_SOURCE_ARCHIVE64);
    EXPECT_EQ(png_file_load("a.png"), nullptr);
    EXPECT_EQ(platform.boxes.size(), 1u);
  }
  EXPECT_TRUE(placed);

  // A BMP whose header claims a larger file than its entry reads the entry only.
  std::string lying = bmp;
  lying[2] = lying[3] = lying[4] = lying[5] = '\xFF';
  write("data.arc", archive_build(archive_version::v3, {{"pic.bmp", lying}, {"other.bin", std::string(5000, 'x')}}));
  data_sources_clear();
  data_base_folder_set(dir.path().c_str());
  ASSERT_EQ(data_source_add("data", 0), DATA_SOURCE_ARCHIVE64);
  page* p = bmp_file_load("pic.bmp");
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(compare_with_magick("b24.bmp", p, nullptr, 0), "");

  // A picture that opens from a folder kept for sounds is read to the end of that file (a size
  // asked by name skips such folders for pictures, and would find none).
  write("voice/v.bmp", bmp);
  ASSERT_EQ(data_source_add("voice", 1), DATA_SOURCE_FOLDER);
  EXPECT_EQ(compare_with_magick("b24.bmp", bmp_file_load("v.bmp"), nullptr, 0), "");
}

// Whatever a stream stands on (a file, a file without a descriptor, memory), pieces land each in
// its place, reading goes on right after them, and nothing is read past the stream's end.
TEST_F(Readers, EveryStreamReadsPiecesInPlaceAndStopsAtItsEnd) {
  std::string bytes, got(1205, '\0'), rest(1000, '\0');
  for (int i = 0; i < 3000; i++) bytes += static_cast<char>(i * 7 + i / 256);
  write("bytes.bin", bytes);
  uint8_t* last_first[3];
  for (int i = 0; i < 3; i++) last_first[i] = reinterpret_cast<uint8_t*>(&got[803 - 400 * i]);
  for (int kind = 0; kind < 4; kind++) {
    SCOPED_TRACE(kind);
    FILE* f = kind == 1 ? fmemopen(&bytes[0], 3000, "rb") : kind != 2 ? fopen(dir.at("bytes.bin").c_str(), "rb") : nullptr;
    image_stream s = f ? image_stream_wrap(f, 2000) : image_stream_memory(bytes.data(), 2000);
    if (kind == 3) {  // a stream that claims more than its file holds ends with the file
      fseek(f, 2900, SEEK_SET);
      EXPECT_FALSE(image_stream_read_pieces(&s, last_first, 3, 400));
      fclose(f);
      continue;
    }
    ASSERT_TRUE(image_stream_read_all(&s, &got[0], 3) && image_stream_read_pieces(&s, last_first, 3, 400));
    ASSERT_TRUE(image_stream_read_all(&s, &got[1203], 2));
    EXPECT_TRUE(got.substr(0, 3) + got.substr(803, 400) + got.substr(403, 400) + got.substr(3, 400) +
                    got.substr(1203) ==
                bytes.substr(0, 1205));
    EXPECT_FALSE(image_stream_read_pieces(&s, last_first, 2, 400));  // 795 bytes are left
    EXPECT_EQ(image_stream_read(&s, &rest[0], 1000), 795u);
    if (f) fclose(f);
  }
}

TEST_F(Readers, MaskNamesReachTheTransparencyOfTheirImage) {
  ASSERT_TRUE(make_pictures());
  use("rgba.png", "ev01.png");
  use("rgb.png", "bg.png");
  use("b32.bmp", "chara.bmp");
  use("b24.bmp", "wall.bmp");
  EXPECT_EQ(png_file_exists("ev01_.png"), 1);
  EXPECT_EQ(png_file_width("ev01_.png"), 37);
  page* mask = png_file_load("ev01_.png");
  ASSERT_NE(mask, nullptr);
  EXPECT_TRUE(mask->is_8bit);
  EXPECT_FALSE(mask->persistent);
  page* colour = png_file_load("ev01.png");
  EXPECT_FALSE(colour->is_8bit);
  EXPECT_EQ(compare_with_magick("rgba.png", colour, mask, 0), "");
  EXPECT_EQ(png_file_exists("bg_.png"), 0);
  EXPECT_EQ(png_file_load("bg_.png"), nullptr);
  EXPECT_EQ(png_file_exists("nothing_.png"), 0);
  EXPECT_EQ(bmp_file_exists("chara_.bmp"), 1);
  EXPECT_EQ(bmp_file_exists("wall_.bmp"), 0);
  EXPECT_EQ(bmp_file_exists("wall.bmp"), 1);
  EXPECT_EQ(compare_with_magick("rgba.png", bmp_file_load("chara.bmp"), bmp_file_load("chara_.bmp"), 0), "");
  EXPECT_TRUE(platform.boxes.empty());
}

TEST_F(Readers, OneDecodeServesWidthHeightAndLoad) {
  ASSERT_TRUE(make_pictures());
  use("rgb.png", "one.png");
  use("b24.bmp", "one.bmp");
  use("c.jpg", "one.jpg");
  EXPECT_EQ(png_file_width("one.png"), 37);
  EXPECT_EQ(bmp_file_width("one.bmp"), 37);
  EXPECT_EQ(jpeg_file_width("one.jpg"), 37);
  remove("one.png");
  remove("one.bmp");
  remove("one.jpg");
  EXPECT_EQ(png_file_height("one.png"), 23);
  EXPECT_EQ(bmp_file_height("one.bmp"), 23);
  EXPECT_EQ(jpeg_file_height("one.jpg"), 23);
  EXPECT_NE(png_file_load("one.png"), nullptr);
  EXPECT_NE(bmp_file_load("ONE.BMP"), nullptr);
  EXPECT_TRUE(platform.boxes.empty());
}

TEST_F(Readers, BmpOfEveryHeaderAndDepthMatchesImageMagick) {
  ASSERT_TRUE(make_pictures());
  for (const char* file : {"b24.bmp", "b24core.bmp", "b32.bmp", "b8.bmp", "b8core.bmp"}) {
    decoded d = decode_host(file);
    page* picture = d.colour ? d.colour : d.mask;  // an 8-bit file's picture sits where masks go
    ASSERT_NE(picture, nullptr) << file;
    EXPECT_EQ(picture->is_8bit, strstr(file, "b8") != nullptr) << file;
    EXPECT_EQ(compare_with_magick(file, picture, d.colour ? d.mask : nullptr, 0), "") << file;
  }
  // An 8-bit picture loads as 8-bit under its plain name; its mask name finds nothing.
  use("b8.bmp", "idx.bmp");
  page* p = bmp_file_load("idx.bmp");
  ASSERT_NE(p, nullptr);
  EXPECT_TRUE(p->is_8bit);
  EXPECT_EQ(bmp_file_width("idx.bmp"), 37);
  EXPECT_EQ(bmp_file_exists("idx_.bmp"), 0);
  EXPECT_EQ(bmp_file_load("idx_.bmp"), nullptr);
}

// A BMP of our own making: info (40) or core (12) header, palette, rows bottom-up or top-down.
static std::vector<uint8_t> bmp_file(int header, int bits, int w, int h, const std::vector<rgb_quad>& palette,
                                     uint32_t used, uint8_t (*pixel)(int x, int y, int k), uint32_t compression = 0) {
  std::vector<uint8_t> out = {'B', 'M'};
  auto u32 = [&](uint32_t v) {
    for (int i = 0; i < 4; i++) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
  };
  auto u16 = [&](uint32_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
  };
  u32(0), u32(0), u32(0);  // file size, reserved, bits offset: the reader uses none of them
  u32(header);
  if (header == 12) {
    u16(w), u16(h), u16(1), u16(bits);
  } else {
    u32(w), u32(h), u16(1), u16(bits), u32(compression), u32(0), u32(0), u32(0), u32(used), u32(0);
  }
  for (const rgb_quad& q : palette) {
    out.push_back(q.blue), out.push_back(q.green), out.push_back(q.red);
    if (header != 12) out.push_back(0);
  }
  int rows = h < 0 ? -h : h, bpp = bits / 8;
  size_t stride = (static_cast<size_t>(w) * bpp + 3) & ~size_t(3);
  if (bits == 32) stride = 4 * w;
  for (int r = 0; r < rows; r++) {
    int y = h > 0 ? rows - 1 - r : r;
    size_t start = out.size();
    for (int x = 0; x < w; x++)
      for (int k = 0; k < bpp; k++) out.push_back(pixel(x, y, k));
    out.resize(start + stride, 0);
  }
  return out;
}

static uint8_t gradient(int x, int y, int k) { return static_cast<uint8_t>(x * 20 + y * 7 + k * 50); }
static uint8_t no_alpha(int x, int y, int k) { return k == 3 ? 0 : gradient(x, y, k); }
static uint8_t one_alpha(int x, int y, int k) { return k < 3 ? gradient(x, y, k) : x == 3 && y == 3; }
static uint8_t small_index(int x, int y, int) { return static_cast<uint8_t>((x + y) % 4); }

TEST_F(Readers, BmpRowOrderAlphaAndShortPalettes) {
  // Bottom-up and top-down storage give the same page, with more rows than one system read takes.
  write("up.bmp", bmp_file(40, 24, 11, 10000, {}, 0, gradient));
  write("down.bmp", bmp_file(40, 24, 11, -10000, {}, 0, gradient));
  page* up = bmp_file_load("up.bmp");
  page* down = bmp_file_load("down.bmp");
  ASSERT_TRUE(up && down);
  EXPECT_EQ(page_diff(up, down), "");
  EXPECT_EQ(px(up, 4, 0)[1], gradient(4, 0, 1));

  // All alpha bytes 0: no transparency, so no mask name, and the plain name loads as the 24-bit
  // picture. One alpha byte anywhere gives the picture its mask. Narrow and wide rows, in one read
  // block and in several.
  struct alpha_case {
    int width, height;
  } alpha_cases[] = {{4, 4}, {45, 1000}, {45, -1000}};
  for (alpha_case c : alpha_cases) {
    std::string name = std::to_string(c.width) + "x" + std::to_string(c.height);
    SCOPED_TRACE(name);
    write("flat" + name + ".bmp", bmp_file(40, 32, c.width, c.height, {}, 0, no_alpha));
    write("one" + name + ".bmp", bmp_file(40, 32, c.width, c.height, {}, 0, one_alpha));
    write("plain" + name + ".bmp", bmp_file(40, 24, c.width, c.height, {}, 0, gradient));
    EXPECT_EQ(bmp_file_exists(("flat" + name + "_.bmp").c_str()), 0);
    page* plain = bmp_file_load(("plain" + name + ".bmp").c_str());
    EXPECT_EQ(page_diff(bmp_file_load(("flat" + name + ".bmp").c_str()), plain), "");
    EXPECT_EQ(page_diff(bmp_file_load(("one" + name + ".bmp").c_str()), plain), "");
    page* mask = bmp_file_load(("one" + name + "_.bmp").c_str());
    ASSERT_NE(mask, nullptr);
    int opacity = 0;
    for (int y = 0; y < mask->height; y++)
      for (int x = 0; x < mask->width; x++) opacity += 255 - page_row(mask, y)[x];
    EXPECT_TRUE(opacity == 1 && page_row(mask, 3)[3] == 254);
  }
  page* flat = bmp_file_load("flat4x4.bmp");

  // Bit fields after a 40-byte header are three masks, not pixels.
  std::vector<rgb_quad> masks = {{0, 0, 0xFF, 0}, {0, 0xFF, 0, 0}, {0xFF, 0, 0, 0}};  // red, green, blue
  write("fields.bmp", bmp_file(40, 32, 4, 4, masks, 0, no_alpha, 3));
  page* fields = bmp_file_load("fields.bmp");
  ASSERT_NE(fields, nullptr);
  EXPECT_EQ(page_diff(fields, flat), "");

  // A palette of two stored entries: the rest is black, not whatever followed in the file.
  write("short.bmp", bmp_file(40, 8, 4, 2, {{10, 20, 30, 0}, {40, 50, 60, 0}}, 2, small_index));
  page* p = bmp_file_load("short.bmp");
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->palette[1].red, 60);
  for (int i = 2; i < 256; i++) EXPECT_EQ(p->palette[i].red + p->palette[i].green + p->palette[i].blue, 0) << i;
  EXPECT_EQ(page_row(p, 1)[2], 3);
  write("core.bmp", bmp_file(12, 8, 4, 2, std::vector<rgb_quad>(256, rgb_quad{1, 2, 3, 0}), 0, small_index));
  p = bmp_file_load("core.bmp");
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->palette[255].red, 3);
}

// Rows are read in blocks: pictures of many blocks, both row orders, with padding the file fills
// with junk, which the page must not take over.
TEST_F(Readers, BmpRowsAcrossReadBlocksLandInPlaceWithClearPadding) {
  struct tall_case {
    int bits, width, height;
  };
  for (tall_case c : {tall_case{24, 5, 2999}, {24, 5, -2999}, {8, 7, 9001}, {8, 7, -9001}, {24, 3000, 7}}) {
    SCOPED_TRACE(std::to_string(c.bits) + " bits, " + std::to_string(c.width) + " x " + std::to_string(c.height));
    std::vector<rgb_quad> grey(c.bits == 8 ? 256 : 0);
    for (size_t i = 0; i < grey.size(); i++) grey[i] = rgb_quad{uint8_t(i), uint8_t(i), uint8_t(i), 0};
    std::vector<uint8_t> file = bmp_file(40, c.bits, c.width, c.height, grey, 0, gradient);
    size_t used = static_cast<size_t>(c.width) * c.bits / 8, stride = (used + 3) & ~size_t(3);
    size_t bits_at = file.size() - stride * std::abs(c.height);
    for (size_t at = bits_at; at < file.size(); at += stride) std::fill_n(&file[at + used], stride - used, 0xEE);
    std::string name = "tall" + std::to_string(c.bits) + "_" + std::to_string(c.height) + ".bmp";  // each its own
    write(name, file);
    page* p = bmp_file_load(name.c_str());
    ASSERT_NE(p, nullptr);
    int wrong = 0;
    for (int y = 0; y < p->height; y++) {
      const uint8_t* row = page_row(p, y);
      for (size_t i = 0; i < static_cast<size_t>(p->stride); i++) {
        uint8_t want = i >= used ? 0 : gradient(static_cast<int>(i * 8 / c.bits), y, static_cast<int>(i % (c.bits / 8)));
        if (row[i] != want && wrong++ < 3) ADD_FAILURE() << "byte " << i << " of row " << y;
      }
    }
    EXPECT_EQ(wrong, 0);
  }
}

TEST_F(Readers, DamagedOrUnsupportedBmpsGiveNoPage) {
  std::vector<uint8_t> good = bmp_file(40, 24, 6, 4, {}, 0, gradient);
  std::vector<uint8_t> cut(good.begin(), good.end() - 1);  // one byte of the last row missing
  std::vector<uint8_t> not_bm = good;
  not_bm[0] = 'X';
  std::vector<uint8_t> huge_used = bmp_file(40, 8, 4, 2, {}, 0xFFFFFFF0u, small_index);
  std::vector<uint8_t> huge_header = good;
  huge_header[14] = 0xF0, huge_header[15] = 0xFF, huge_header[16] = 0xFF, huge_header[17] = 0x7F;
  std::vector<uint8_t> tall = good;
  tall[22] = 0x00, tall[23] = 0x00, tall[24] = 0x00, tall[25] = 0x80;  // height INT_MIN
  write("cut.bmp", cut);
  write("not_bm.bmp", not_bm);
  write("huge_used.bmp", huge_used);
  write("huge_header.bmp", huge_header);
  write("tall.bmp", tall);
  write("b16.bmp", bmp_file(40, 16, 4, 2, {}, 0, gradient));
  write("b4.bmp", bmp_file(40, 4, 4, 2, std::vector<rgb_quad>(16), 0, small_index));
  write("rle.bmp", bmp_file(40, 8, 4, 2, std::vector<rgb_quad>(256), 0, small_index, 1));
  write("tiny.bmp", std::string("BM"));
  for (const char* name : {"cut.bmp", "not_bm.bmp", "huge_used.bmp", "huge_header.bmp", "tall.bmp", "b16.bmp",
                           "b4.bmp", "rle.bmp", "tiny.bmp"}) {
    EXPECT_EQ(bmp_file_load(name), nullptr) << name;
    EXPECT_EQ(bmp_file_width(name), 0) << name;
  }
  EXPECT_EQ(page_count(), 0);
}

TEST_F(Readers, JpegColourGreyAndProgressiveMatchImageMagick) {
  ASSERT_TRUE(make_pictures());
  for (const char* file : {"c.jpg", "gray.jpg", "prog.jpg"}) {
    decoded d = decode_host(file);
    ASSERT_NE(d.colour, nullptr) << file;
    EXPECT_FALSE(d.colour->is_8bit);
    EXPECT_EQ(compare_with_magick(file, d.colour, nullptr, 1), "") << file;
  }
  use("gray.jpg", "g.jpg");
  EXPECT_EQ(jpeg_file_exists("g.jpg"), 1);
  EXPECT_EQ(jpeg_file_exists("g_.jpg"), 0);
  EXPECT_EQ(jpeg_file_width("g.jpg"), 37);
  EXPECT_EQ(jpeg_file_height("g.jpg"), 23);
}

TEST_F(Readers, DamagedJpegsAreReportedAndGiveNoPage) {
  ASSERT_TRUE(make_pictures());
  std::string good = file_bytes(magick_folder::get().at("c.jpg"));
  write("junk.jpg", std::string("\xFF\xD8\xFF\xE0 this is no picture at all"));
  write("cut.jpg", good.substr(0, good.size() / 2));
  EXPECT_EQ(jpeg_file_load("junk.jpg"), nullptr);
  ASSERT_EQ(platform.boxes.size(), 1u);
  EXPECT_EQ(platform.boxes[0].caption, "JPEG エラー");
  EXPECT_NE(platform.boxes[0].text.find("junk.jpg"), std::string::npos);
  EXPECT_EQ(jpeg_file_width("junk.jpg"), 0);  // the failed load is remembered
  EXPECT_EQ(platform.boxes.size(), 1u);
  // A picture cut in the middle decodes what it has; the rest of the page is whatever the library
  // fills in, and nothing is reported.
  page* p = jpeg_file_load("cut.jpg");
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->width, 37);
  EXPECT_EQ(platform.boxes.size(), 1u);

  // Wider than any page: the report's fatal answer unwinds through the reader, which leaves
  // nothing behind (the heap comes back to where it was).
  std::string wide = good;
  size_t sof = wide.find("\xFF\xC0");
  ASSERT_NE(sof, std::string::npos);
  wide[sof + 7] = '\x4E', wide[sof + 8] = '\x20';  // 20000 pixels
  long before = 0;
  for (int i = 0; i <= 20; i++) {
    if (i == 1) before = static_cast<long>(mallinfo2().uordblks);  // past the library's first use
    FILE* f = fmemopen(wide.data(), wide.size(), "rb");
    image_stream s = image_stream_wrap(f, static_cast<uint32_t>(wide.size()));
    platform.answer_boxes({IDCANCEL});
    EXPECT_THROW(jpeg_decode(&s, nullptr), fatal_exit_called);
    fclose(f);
  }
  EXPECT_LT(static_cast<long>(mallinfo2().uordblks) - before, 64 << 10);
}
