#include "images_fixture.h"

using ImageCache = images_test;

// A flat picture of one colour (cheap to encode at any size).
static page* flat_picture(int w, int h, uint32_t colour) {
  page* p = page_new_rgb24(w, h, 0);
  page_fill_rect(p, page_rect{0, 0, w, h}, colour);
  return p;
}

static uint32_t pixel_at(const page* p, int x, int y) {
  const uint8_t* c = page_row(p, y) + 3 * x;
  return c[0] << 16 | c[1] << 8 | c[2];  // 0x00BBGGRR
}

TEST_F(ImageCache, NamesResolveInTheFormatsOrder) {
  page* pic = flat_picture(4, 4, 0x112233);
  std::string rct(reinterpret_cast<const char*>(rct_encode(pic).data()), rct_encode(pic).size());
  write("sky.bmp", std::string("BM"));
  write("sky.png", std::string("not read by the probe"));
  write("sea.rc8", std::string("x"));
  write("sea.rct", rct);
  write("sun.jpg", std::string("x"));
  std::string out;
  EXPECT_EQ(image_resolve_name("sky", out), 0);
  EXPECT_EQ(out, "sky.png");
  EXPECT_EQ(image_resolve_name("sky.bmp", out), 0);  // the base name decides
  EXPECT_EQ(out, "sky.png");
  EXPECT_EQ(image_resolve_name("bg\\sea.png", out), 0);
  EXPECT_EQ(out, "sea.rct");
  EXPECT_EQ(image_resolve_name("SUN", out), 0);
  EXPECT_EQ(out, "SUN.jpg");
  EXPECT_EQ(image_resolve_name("moon", out), -1);
  EXPECT_EQ(out, "moon");

  // The memo answers the same base name again without looking; a failure is never memoised.
  EXPECT_EQ(image_resolve_name("sea", out), 0);
  remove("sea.rct");
  EXPECT_EQ(image_resolve_name("SEA", out), 0);
  EXPECT_EQ(out, "sea.rct");
  write("moon.rc8", std::string("x"));
  EXPECT_EQ(image_resolve_name("moon", out), 0);
  EXPECT_EQ(out, "moon.rc8");

  // A cached entry answers with the extension it was loaded with.
  write("sea.rct", rct);
  image_cache_set_budget(1 << 20);
  page_free(image_load("sea.rct"), 1);
  write("sea.png", std::string("x"));
  EXPECT_EQ(image_resolve_name("moon", out), 0);  // moves the memo away from "sea"
  EXPECT_EQ(image_resolve_name("sea", out), 0);
  EXPECT_EQ(out, "sea.rct");
  EXPECT_TRUE(platform.boxes.empty());
}

// A CP932 trail byte 0x5C (表, ソ) is no folder separator, and 0x5F (ダ) no mask mark.
TEST(ImageNames, TrailBytesAreNeitherSeparatorsNorMaskMarks) {
  const struct { const char *name, *folder, *base, *extension, *source; } rows[] = {
      {"ev\\表.png", "ev\\", "表", ".png", "ev\\表.png"},
      {"ソ_.bmp", "", "ソ_", ".bmp", "ソ.bmp"},
      {"cg/ダ.png", "cg/", "ダ", ".png", "cg/ダ.png"},
      {"cg/ダ_.png", "cg/", "ダ_", ".png", "cg/ダ.png"},
  };
  for (const auto& r : rows) {
    image_name n(r.name);
    EXPECT_EQ(n.folder + "|" + n.base + "|" + n.extension + "|" + n.source,
              std::string(r.folder) + "|" + r.base + "|" + r.extension + "|" + r.source);
  }
}

TEST_F(ImageCache, MaskNamesResolveOnlyWhenTheImageHasTransparency) {
  page* pic = page_new_rgb24(3, 3, 0);
  write("tree.bmp", std::vector<uint8_t>{'B', 'M'});  // no picture, so no mask
  write("leaf_.rc8", rc8_encode(page_new_gray8(2, 2, 0)));
  std::string out;
  EXPECT_EQ(image_resolve_name("tree_", out), -1);
  EXPECT_EQ(image_resolve_name("leaf_", out), 0);
  EXPECT_EQ(out, "leaf_.rc8");
  page* mask = image_load("leaf_.rc8");
  EXPECT_TRUE(mask->is_8bit);
  page_free(pic, 1);
}

TEST_F(ImageCache, CostsBudgetAndLeastRecentlyUsedEviction) {
  for (const char* name : {"a", "b", "c", "d", "e"})
    write(std::string(name) + ".rct", rct_encode(flat_picture(640, 480, static_cast<uint32_t>(name[0]))));
  page* grey = page_new_gray8(640, 480, 0);
  write("g.rc8", rc8_encode(grey));
  page_free(grey, 1);

  image_cache_set_budget(0x400000);
  page_free(image_load("g.rc8"), 1);
  EXPECT_EQ(image_cache_total_cost(), 640 * 480 + 1652);
  image_cache_reset();

  image_cache_set_budget(0x400000);
  page_free(image_load("a.rct"), 1);
  EXPECT_EQ(image_cache_total_cost(), 1920 * 480 + 628);
  for (const char* name : {"b.rct", "c.rct", "d.rct", "e.rct"}) page_free(image_load(name), 1);
  EXPECT_EQ(image_cache_count(), 4);
  EXPECT_EQ(image_cache_find("a"), nullptr);  // the first loaded left first
  EXPECT_NE(image_cache_find("b"), nullptr);

  // A hit moves the entry to the head, so the next eviction takes another.
  page_free(image_load("b.rct"), 1);
  page_free(image_load("a.rct"), 1);
  EXPECT_NE(image_cache_find("b"), nullptr);
  EXPECT_EQ(image_cache_find("c"), nullptr);
  EXPECT_LE(image_cache_total_cost(), 0x400000);
}

TEST_F(ImageCache, HitsAreCopiesAndCounted) {
  page* pic = test_picture(9, 7, 5);
  write("p.rct", rct_encode(pic));
  image_cache_set_budget(1 << 20);
  EXPECT_EQ(image_cache_hit_rate(), 0);
  page* first = image_load("p.rct");
  page* second = image_load("P.RCT");
  EXPECT_EQ(image_cache_hit_rate(), 50);  // two lookups, one hit
  EXPECT_NE(first, second);
  EXPECT_FALSE(second->persistent);
  EXPECT_EQ(page_diff(second, pic), "");
  page_fill_rect(second, page_rect{0, 0, 9, 7}, 0);  // a copy: the cache keeps its own
  page* third = image_load("p.rct");
  EXPECT_EQ(page_diff(third, pic), "");

  // Shared loads hand out the cached page itself, which an unforced free leaves alone.
  page* shared = image_load_shared("p.rct");
  EXPECT_EQ(shared, image_cache_find("p"));
  EXPECT_TRUE(shared->persistent);
  EXPECT_EQ(page_free(shared, 0), 1);
  EXPECT_EQ(page_diff(image_load("p.rct"), pic), "");
}

TEST_F(ImageCache, BudgetZeroCachesNothing) {
  page* pic = test_picture(5, 5, 1);
  write("p.rct", rct_encode(pic));
  page_free(pic, 1);
  for (int i = 0; i < 3; i++) page_free(image_load("p.rct"), 1);
  page* shared = image_load_shared("p.rct");
  EXPECT_FALSE(shared->persistent);  // a fresh decode the caller frees
  page_free(shared, 0);
  EXPECT_EQ(image_cache_count(), 0);
  EXPECT_EQ(image_cache_hit_rate(), 0);
  EXPECT_EQ(page_count(), 0);
  EXPECT_EQ(image_cache_budget_from_memory(1000), 0x400000u);
  EXPECT_EQ(image_cache_budget_from_memory(0x1000000), 0x800000u);
  EXPECT_EQ(image_cache_budget_from_memory(uint64_t(64) << 30), 0x10000000u);
}

TEST_F(ImageCache, DepthIsKnownWithoutDecodingOwnFormats) {
  std::string out;
  EXPECT_EQ(image_is_24bit("nowhere.rct"), 1);  // by extension; the file is not read
  EXPECT_EQ(image_is_24bit("nowhere.rc8"), 0);
  EXPECT_TRUE(platform.boxes.empty());
  page* idx = page_new_gray8(3, 3, 0);
  write("idx.rc8", rc8_encode(idx));
  image_cache_set_budget(1 << 20);
  page_free(image_load("idx.rc8"), 1);
  EXPECT_EQ(image_is_24bit("idx.rct"), 0);  // a cached entry answers for its base name
}

TEST_F(ImageCache, DifferentialImagesMergeWithTheirBase) {
  page* base = test_picture(12, 10, 8);
  page* picture = image_page_copy(base, 0);
  page_fill_rect(picture, page_rect{2, 3, 5, 4}, 0x00FF00);  // the part that differs
  page* stored = rct_diff_picture(picture, base);
  EXPECT_EQ(pixel_at(stored, 0, 0), 0x0000FFu);  // pure red marks "as the base"
  write("base.rct", rct_encode(base));
  write("ev.rct", rct_encode(stored, {false, "", "base.rct"}));
  page* merged = image_load("ev.rct");
  EXPECT_EQ(page_diff(merged, picture), "");

  // A base smaller than the image merges only where both have pixels.
  page* small = test_picture(5, 4, 9);
  write("base.rct", rct_encode(small));
  image_modules_reset();
  merged = image_load("ev.rct");
  EXPECT_EQ(pixel_at(merged, 4, 2), pixel_at(small, 4, 2));
  EXPECT_EQ(pixel_at(merged, 4, 3), 0x00FF00u);
  EXPECT_EQ(pixel_at(merged, 5, 0), 0x0000FFu);
  EXPECT_EQ(pixel_at(merged, 0, 4), 0x0000FFu);

  // A missing base is reported; the picture keeps its markers.
  remove("base.rct");
  image_modules_reset();
  platform.answer_boxes({IDRETRY});
  merged = image_load("ev.rct");
  ASSERT_EQ(platform.boxes.size(), 1u);
  EXPECT_EQ(platform.boxes[0].text, "差分元画像[base.rct]が存在しません");
  EXPECT_EQ(page_diff(merged, stored), "");
}

TEST_F(ImageCache, DifferentialNameCyclesEnd) {
  page* pic = test_picture(4, 4, 1);
  page* marked = rct_diff_picture(pic, pic);  // every pixel a marker
  write("loop.rct", rct_encode(marked, {false, "", "loop.rct"}));
  write("x.rct", rct_encode(marked, {false, "", "y.rct"}));
  write("y.rct", rct_encode(marked, {false, "", "x.rct"}));
  page* p = image_load("loop.rct");
  EXPECT_EQ(p->width, 4);
  EXPECT_EQ(image_load("x.rct")->width, 4);
  EXPECT_TRUE(platform.boxes.empty());
}

// pic_unpack holds the image it got from the cache while it loads the mask; that load must not
// evict and free the image.
TEST_F(ImageCache, TheLastLentPageSurvivesEviction) {
  write("big.rct", rct_encode(flat_picture(300, 300, 0x123456)));
  write("big_.rc8", rc8_encode(page_new_gray8(300, 300, 0)));
  image_cache_set_budget(300 * 900 + 1000);  // room for the picture alone
  page_free(image_load("big.rct"), 1);
  page* shared = image_load_shared("big.rct");
  ASSERT_TRUE(shared->persistent);
  page* mask = image_load_shared("big_.rc8");
  EXPECT_EQ(page_missing(shared->id), 0);
  EXPECT_EQ(pixel_at(shared, 299, 299), 0x123456u);
  EXPECT_EQ(image_cache_find("big"), shared);
  page_free(mask, 0);
}

TEST_F(ImageCache, UndecodableFilesGiveASmallPageThatIsNotCached) {
  write("bad.rct", std::string(30, 'z'));
  write("bad_.rc8", std::string(30, 'z'));
  write("bad.png", std::string(30, 'z'));
  image_cache_set_budget(1 << 20);
  page* p = image_load("bad.rct");
  EXPECT_EQ(p->width, 1);
  EXPECT_FALSE(p->is_8bit);
  page* m = image_load("bad_.rc8");
  EXPECT_EQ(m->width, 1);
  EXPECT_TRUE(m->is_8bit);
  EXPECT_EQ(image_load("bad.png")->height, 1);
  EXPECT_EQ(image_cache_count(), 0);
  ASSERT_EQ(platform.boxes.size(), 1u);  // the PNG reader's own box
}
