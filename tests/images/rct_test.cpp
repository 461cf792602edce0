#include "images_fixture.h"

using RctFormat = images_test;

static std::vector<uint8_t> bytes(std::initializer_list<int> list) {
  std::vector<uint8_t> out;
  for (int b : list) out.push_back(static_cast<uint8_t>(b));
  return out;
}

static page* paletted_picture(int w, int h, uint32_t seed) {
  page* p = page_new(w, h, 1, 0);
  uint32_t s = seed;
  for (int i = 0; i < 256; i++) p->palette[i] = rgb_quad{uint8_t(i), uint8_t(255 - i), uint8_t(i * 7), 0};
  for (int y = 0; y < h; y++)
    for (int x = 0; x < w; x++) {
      s = s * 1103515245 + 12345;
      page_row(p, y)[x] = (x + y) % 4 == 0 ? static_cast<uint8_t>(s >> 16) : static_cast<uint8_t>(x / 3 + y);
    }
  return p;
}

TEST_F(RctFormat, EveryVariantRoundTripsAtEveryRowPadding) {
  for (int w = 1; w <= 9; w++)
    for (int h : {1, 2, 7}) {
      SCOPED_TRACE("w " + std::to_string(w) + " h " + std::to_string(h));
      page* picture = test_picture(w, h, w * 31 + h);
      write("plain.rct", rct_encode(picture));
      write("keyed.rct", rct_encode(picture, {true, "secret", ""}));
      write("diff.rct", rct_encode(picture, {false, "", "base.rct"}));
      write("keyed_diff.rct", rct_encode(picture, {true, "secret", "base.rct"}));
      for (const char* name : {"plain.rct", "keyed.rct", "diff.rct", "keyed_diff.rct"}) {
        page* got = rct_load(name);
        ASSERT_NE(got, nullptr) << name;
        EXPECT_FALSE(got->persistent);
        EXPECT_EQ(page_diff(got, picture), "") << name;
        EXPECT_STREQ(image_base_name(), strstr(name, "diff") ? "base.rct" : "") << name;
        page_free(got, 1);
      }
      page* indices = paletted_picture(w, h, w + h);
      write("p.rc8", rc8_encode(indices));
      page* got = rc8_load("p.rc8");
      ASSERT_NE(got, nullptr);
      EXPECT_EQ(page_diff(got, indices), "");
      EXPECT_EQ(memcmp(got->palette, indices->palette, 1024), 0);
      page_free_all_at_exit();
    }
}

TEST_F(RctFormat, TheEncoderCompressesWhatTheNeighboursRepeat) {
  page* flat = page_new_rgb24(64, 64, 0);
  page_fill_rect(flat, page_rect{0, 0, 64, 32}, 0x336699);
  std::vector<uint8_t> file = rct_encode(flat);
  EXPECT_LT(file.size(), 64u * 64 * 3 / 50);
  write("flat.rct", file);
  page* got = rct_load("flat.rct");
  EXPECT_EQ(page_diff(got, flat), "");
}

TEST_F(RctFormat, CommandEdgeCases) {
  // A 1 x 1 picture is only its first pixel.
  write("one.rct", rct_wrap(1, 1, bytes({1, 2, 3})));
  page* p = rct_load("one.rct");
  EXPECT_EQ(px(p, 0, 0)[0], 1);
  EXPECT_EQ(px(p, 0, 0)[2], 3);

  // Index 0, n = 4 after a single pixel repeats it (the copy overlaps what it writes): 0x83 with
  // u16 0; then the short forms of 3 and 1 pixels.
  write("run.rct", rct_wrap(9, 1, bytes({9, 8, 7, 0x83, 0, 0, 0x82, 0x80})));
  p = rct_load("run.rct");
  for (int x = 0; x < 9; x++) EXPECT_EQ(px(p, x, 0)[1], 8) << x;

  // 0x7F with u16 0 is a literal run of 128 pixels.
  std::vector<uint8_t> payload = bytes({0, 0, 0, 0x7F, 0, 0});
  for (int i = 0; i < 128 * 3; i++) payload.push_back(static_cast<uint8_t>(i));
  write("literal.rct", rct_wrap(129, 1, payload));
  p = rct_load("literal.rct");
  EXPECT_EQ(px(p, 128, 0)[2], static_cast<uint8_t>(127 * 3 + 2));

  // RC8: 0x87 with u16 0 copies 10 bytes; 0x7F with u16 0 is 128 literal bytes.
  rgb_quad palette[256] = {};
  write("run.rc8", rc8_wrap(11, 1, palette, bytes({42, 0x87, 0, 0})));
  p = rc8_load("run.rc8");
  for (int x = 0; x < 11; x++) EXPECT_EQ(page_row(p, 0)[x], 42);
  payload = bytes({5, 0x7F, 0, 0});
  for (int i = 0; i < 128; i++) payload.push_back(static_cast<uint8_t>(i));
  write("literal.rc8", rc8_wrap(129, 1, palette, payload));
  p = rc8_load("literal.rc8");
  EXPECT_EQ(page_row(p, 0)[128], 127);

  // Row -1 at x: width 3 has a stride of 12 (re-strided, padding cleared), width 4 of 12 (not).
  for (int w : {3, 4}) {
    payload = bytes({1, 2, 3, static_cast<int>(w - 2)});
    for (int i = 0; i < 3 * (w - 1); i++) payload.push_back(10 + i);
    payload.push_back(0x80 | 9 << 2 | 3);  // row -1, x: the row above repeated
    payload.push_back(w - 4 + 0);          // n = u16 + 4 = w
    payload.push_back(0);
    write("rows.rct", rct_wrap(w, 2, payload));
    p = rct_load("rows.rct");
    EXPECT_EQ(p->stride, 12);
    EXPECT_EQ(memcmp(page_row(p, 0), page_row(p, 1), 3 * w), 0) << w;
    for (int i = 3 * w; i < 12; i++) EXPECT_EQ(page_row(p, 0)[i], 0) << "padding byte " << i;
  }
}

// Every damaged payload ends the decode inside the picture: the output buffers here are exactly
// the picture's size, so the sanitizer build catches a single byte too far.
TEST_F(RctFormat, DamagedPayloadsEndTheDecodeSafely) {
  auto decode = [](const std::vector<uint8_t>& payload, int w, int h, bool rct) {
    std::vector<uint8_t> out(static_cast<size_t>(w) * h * (rct ? 3 : 1), 0xEE);
    size_t n = rct ? rct_decode(payload.data(), payload.size(), out.data(), w, h)
                   : rc8_decode(payload.data(), payload.size(), out.data(), w, h);
    EXPECT_LE(n, out.size());
    return n;
  };
  // The row above on the first row refers before the start.
  EXPECT_EQ(decode(bytes({1, 2, 3, 0x80 | 9 << 2}), 4, 2, true), 3u);
  EXPECT_EQ(decode(bytes({1, 0x80 | 8 << 3}), 8, 2, false), 1u);
  // A back-reference longer than the picture stops at its end.
  EXPECT_EQ(decode(bytes({1, 2, 3, 0x83, 0xFF, 0xFF}), 5, 1, true), 15u);
  EXPECT_EQ(decode(bytes({1, 0x87, 0xFF, 0xFF}), 5, 2, false), 10u);
  // A literal run longer than the payload copies what there is.
  EXPECT_EQ(decode(bytes({1, 2, 3, 0x05, 9, 9, 9, 9}), 8, 1, true), 7u);
  // A literal run longer than the picture.
  EXPECT_EQ(decode(bytes({1, 2, 3, 0x7F, 0xFF, 0xFF, 1, 2, 3, 4, 5, 6}), 2, 1, true), 6u);
  // A long form cut off after its command byte.
  EXPECT_EQ(decode(bytes({1, 2, 3, 0x7F, 0}), 4, 1, true), 3u);
  EXPECT_EQ(decode(bytes({1, 0x87}), 20, 1, false), 1u);
  // Narrow pictures: row -1 at x + 3 lies ahead of the position; it must stay inside.
  EXPECT_LE(decode(bytes({1, 2, 3, 0x80 | 6 << 2 | 3, 0xFF, 0xFF}), 1, 3, true), 9u);
  // Empty payloads.
  EXPECT_EQ(decode({}, 3, 3, true), 0u);
  EXPECT_EQ(decode(bytes({1, 2}), 3, 3, true), 0u);

  // Random payloads of every length.
  uint32_t s = 99;
  for (int round = 0; round < 3000; round++) {
    std::vector<uint8_t> payload(round % 97);
    for (auto& b : payload) b = static_cast<uint8_t>((s = s * 1103515245 + 12345) >> 16);
    int w = 1 + round % 13, h = 1 + round % 5;
    decode(payload, w, h, true);
    decode(payload, w, h, false);
  }
}

TEST_F(RctFormat, KeyedImagesNeedTheKeyTheyWereMadeWith) {
  page* picture = test_picture(6, 5, 1);
  write("k.rct", rct_encode(picture, {true, "alpha", ""}));  // installs "alpha"
  image_set_key("beta");
  page* wrong = rct_load("k.rct");
  ASSERT_NE(wrong, nullptr);
  EXPECT_EQ(wrong->width, 6);
  EXPECT_EQ(wrong->height, 5);
  for (int y = 0; y < 5; y++)
    for (int i = 0; i < wrong->stride; i++) ASSERT_EQ(page_row(wrong, y)[i], 0);
  image_set_key("");  // keeps "beta"
  image_set_key(nullptr);
  page* still = rct_load("k.rct");
  EXPECT_EQ(page_row(still, 0)[0], 0);
  image_set_key("alpha");
  EXPECT_EQ(page_diff(rct_load("k.rct"), picture), "");
  EXPECT_TRUE(platform.boxes.empty());
}

TEST_F(RctFormat, DamagedFilesGiveNoPage) {
  page* picture = test_picture(4, 4, 2);
  std::vector<uint8_t> good = rct_encode(picture, {false, "", "base.rct"});
  write("short_header.rct", std::vector<uint8_t>(good.begin(), good.begin() + 15));
  write("short_name.rct", std::vector<uint8_t>(good.begin(), good.begin() + 24));
  write("short_payload.rct", std::vector<uint8_t>(good.begin(), good.end() - 1));
  std::vector<uint8_t> long_name = rct_wrap(1, 1, bytes({1, 2, 3}), {false, "", std::string(260, 'a')});
  write("long_name.rct", long_name);
  std::vector<uint8_t> zero_width = rct_wrap(0, 4, bytes({1, 2, 3}));
  write("zero_width.rct", zero_width);
  std::vector<uint8_t> negative = rct_wrap(2, 2, bytes({1, 2, 3}));
  negative[16] = 0xFF, negative[17] = 0xFF, negative[18] = 0xFF, negative[19] = 0xFF;  // payload size -1
  write("negative_payload.rct", negative);
  write("not_rct.rct", std::string("\x8A\x47\x90\x7D" "TX00" "........................"));
  for (const char* name : {"short_header.rct", "short_name.rct", "short_payload.rct", "long_name.rct",
                           "zero_width.rct", "negative_payload.rct", "not_rct.rct"}) {
    EXPECT_EQ(rct_load(name), nullptr) << name;
    EXPECT_STREQ(image_base_name(), "") << name;
  }
  EXPECT_EQ(rc8_load("not_rct.rct"), nullptr);
  write("rct_as_rc8.rc8", rct_encode(picture));
  EXPECT_EQ(rc8_load("rct_as_rc8.rc8"), nullptr);
  EXPECT_EQ(page_count(), 1);  // only the test's own picture
  EXPECT_EQ(image_name_is_mask("tree_"), 1);
  EXPECT_EQ(image_name_is_mask("tree"), 0);
  EXPECT_EQ(image_name_is_mask("_tree"), 0);
}

TEST_F(RctFormat, SizeQueriesReadTheHeaderOnce) {
  write("a.rct", rct_encode(test_picture(7, 3, 3)));
  write("b.rc8", rc8_encode(paletted_picture(5, 9, 1)));
  write("c.rct", std::string(100, 'x'));
  EXPECT_EQ(rct_width("a.rct"), 7);
  remove("a.rct");
  EXPECT_EQ(rct_height("a.rct"), 3);  // from the cache: the file is gone
  EXPECT_EQ(rct_width("b.rc8"), 5);
  EXPECT_EQ(rct_height("b.rc8"), 9);
  EXPECT_EQ(rct_width("c.rct"), 0);
  EXPECT_EQ(rct_height("c.rct"), 0);
  // A decode leaves its header in the cache too.
  write("d.rct", rct_encode(test_picture(2, 11, 4)));
  page_free(rct_load("d.rct"), 1);
  remove("d.rct");
  EXPECT_EQ(rct_height("d.rct"), 11);
  EXPECT_TRUE(platform.boxes.empty());
}

// The command line writes what the engine reads: a keyed differential RCT and an RC8.
TEST_F(RctFormat, TheCommandLineToolWritesEveryVariant) {
  magick_folder& m = magick_folder::get();
  ASSERT_TRUE(m.convert("-size 20x10 gradient:red-blue PNG24:grad.png"));
  ASSERT_TRUE(m.convert("grad.png -fill white -draw 'rectangle 3,3 8,6' PNG24:grad2.png"));
  ASSERT_TRUE(m.convert("-seed 2 -size 40x40 plasma:fractal -depth 8 PNG24:noise.png"));
  ASSERT_TRUE(m.convert("-size 20x10 xc:gray50 -fill black -draw 'rectangle 0,0 9,9' BMP3:two.bmp"));
  std::string tool = std::string(VASK_BINARY_DIR) + "/vaskimg ";
  ASSERT_EQ(run_command(tool + "--key=k1 --base=grad.rct:" + m.at("grad.png") + " " + dir.at("ev.rct") + " " +
                        m.at("grad2.png")),
            0);
  ASSERT_EQ(run_command(tool + dir.at("grad.rct") + " " + m.at("grad.png")), 0);
  ASSERT_EQ(run_command(tool + dir.at("two.rc8") + " " + m.at("two.bmp")), 0);
  EXPECT_NE(run_command(tool + dir.at("x.rc8") + " " + m.at("noise.png") + " 2>/dev/null"), 0);  // > 256 colours
  use("grad2.png", "want.png");
  image_set_key("k1");
  page* merged = image_load("ev.rct");
  EXPECT_EQ(page_diff(merged, png_file_load("want.png")), "");
  page* two = image_load("two.rc8");
  EXPECT_TRUE(two->is_8bit);
  EXPECT_EQ(two->palette[page_row(two, 0)[0]].red, 0);
  EXPECT_EQ(two->palette[page_row(two, 0)[15]].red, 0x7F);
  EXPECT_TRUE(platform.boxes.empty());
}
