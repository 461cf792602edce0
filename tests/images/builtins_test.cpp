#include "builtin_fixture.h"

TEST_F(PageBuiltins, PageCreateRaisesSizesBelowOne) {
  page* p = P(call("page_create", {I(0), I(10)}));
  EXPECT_TRUE(reported("page_create : 大きさが０以下のページは作成できません")) << report_list();
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->width, 1);
  EXPECT_EQ(p->height, 10);
  EXPECT_FALSE(p->is_8bit);
  EXPECT_FALSE(p->persistent);

  p = P(call("page_create", {I(8), I(8), I(0)}));
  EXPECT_TRUE(reports.empty());
  EXPECT_TRUE(p->is_8bit);
  EXPECT_EQ(p->palette[200].green, 200);  // the grey ramp

  p = P(call("page_create_withalfa", {I(6), I(-1)}));
  EXPECT_TRUE(reported("page_create_withalfa : 大きさが０以下のページは作成できません")) << report_list();
  ASSERT_NE(p->alpha, nullptr);
  EXPECT_TRUE(p->owns_alpha);
  EXPECT_TRUE(p->alpha->is_8bit);
  EXPECT_EQ(p->alpha->width, 6);
  EXPECT_EQ(p->alpha->height, 1);

  // A size no page can have: page_new reports, and the script still gets a page.
  p = P(call("page_create", {I(40000), I(40000)}));
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->width, 1);
  EXPECT_EQ(reports.size(), 1u);
}

TEST_F(PageBuiltins, PageCreateFileAndItsFallbacks) {
  page* pic = test_picture(7, 5, 3);
  write("bg01.rct", rct_encode(pic));
  page* mask = page_new_gray8(7, 5, 0);
  page_fill_rect(mask, page_rect{0, 0, 3, 5}, 200);
  write("bg01_.rc8", rc8_encode(mask));

  page* p = P(call("page_create_file", {S("bg01")}));
  EXPECT_EQ(page_diff(p, pic), "");
  EXPECT_TRUE(reports.empty());
  p = P(call("page_create_file", {S("bg01_")}));
  EXPECT_EQ(page_diff(p, mask), "");

  p = P(call("page_create_file", {S("nope")}));
  EXPECT_TRUE(reported("page_create_file : ファイル[nope]が存在しません")) << report_list();
  EXPECT_EQ(p->width, 1);
  EXPECT_FALSE(p->is_8bit);
  p = P(call("page_create_file", {S("dir\\nope_")}));
  EXPECT_TRUE(reported("page_create_file : ファイル[nope_]が存在しません")) << report_list();
  EXPECT_TRUE(p->is_8bit);

  // With alpha: the mask image becomes the owned alpha page; no mask image, no alpha page.
  p = P(call("page_create_file_withalfa", {S("bg01")}));
  ASSERT_NE(p->alpha, nullptr);
  EXPECT_TRUE(p->owns_alpha);
  EXPECT_EQ(page_diff(p->alpha, mask), "");
  write("plain.rct", rct_encode(pic));
  p = P(call("page_create_file_withalfa", {S("plain")}));
  EXPECT_EQ(p->alpha, nullptr);
  EXPECT_TRUE(reports.empty());
  p = P(call("page_create_file_withalfa", {S("gone")}));
  EXPECT_TRUE(reported("page_create_file : ファイル[gone]が存在しません")) << report_list();
  EXPECT_EQ(p->width, 1);
}

TEST_F(PageBuiltins, PngMaskNamesThroughTheBuiltIns) {
  magick_folder& m = magick_folder::get();
  ASSERT_TRUE(m.convert("-size 4x3 xc:'rgba(10,20,30,0.5)' PNG32:half.png"));
  ASSERT_TRUE(m.convert("-size 4x3 xc:'rgb(10,20,30)' PNG24:solid.png"));
  use("half.png", "ev.png");
  use("solid.png", "bg.png");
  page* p = P(call("page_create_file", {S("ev_")}));
  EXPECT_TRUE(p->is_8bit);
  EXPECT_EQ(p->width, 4);
  EXPECT_NEAR(page_row(p, 2)[3], 127, 1);
  p = P(call("page_create_file", {S("bg_")}));  // no transparency: the mask name is not found
  EXPECT_TRUE(reported("page_create_file : ファイル[bg_]が存在しません")) << report_list();
  EXPECT_TRUE(p->is_8bit);
  EXPECT_EQ(p->width, 1);
  EXPECT_EQ(call("pic_len_x", {S("ev_")}), 4);
  EXPECT_EQ(call("pic_len_y", {S("bg")}), 3);
}

TEST_F(PageBuiltins, ReleaseAndItsRefusals) {
  EXPECT_EQ(call("page_release", {I(12345)}), 0);
  EXPECT_TRUE(reported("page_release : ページが存在しません")) << report_list();

  page* shown = page_new_rgb24(4, 4, 0);
  page* target = page_new_rgb24(4, 4, 0);
  sprite* s = sprite_new(shown, 0, 0, 4, 4, target);
  call("page_release", {I(shown->id)});
  EXPECT_TRUE(reported("page_release : 指定されたページはスプライトに参照されています\n先にスプライトを解放してください"))
      << report_list();
  EXPECT_EQ(page_missing(shown->id), 0);
  sprite_unlink(s);
  uint32_t shown_id = shown->id;
  call("page_release", {I(shown_id)});
  EXPECT_EQ(page_missing(shown_id), 1);

  // An owned alpha page goes with its page; one set by the script stays.
  page* with = P(call("page_create_withalfa", {I(3), I(3)}));
  uint32_t owned = with->alpha->id;
  call("page_release", {I(with->id)});
  EXPECT_EQ(page_missing(owned), 1);
  page* a = page_new_gray8(3, 3, 0);
  page* b = page_new_rgb24(3, 3, 0);
  call("set_antidata", {I(b->id), I(a->id)});
  call("page_release", {I(b->id)});
  EXPECT_EQ(page_missing(a->id), 0);

  // Pages made before the start-up script's first run ended are persistent: released silently.
  page* kept = page_new_rgb24(2, 2, 0);
  page_mark_all_persistent();
  EXPECT_EQ(call("page_release", {I(kept->id)}), 0);
  EXPECT_TRUE(reports.empty());
  EXPECT_EQ(page_missing(kept->id), 0);
}

TEST_F(PageBuiltins, SizeDrawModeAndExistence) {
  page* p = page_new_rgb24(17, 9, 0);
  page* g = page_new_gray8(2, 2, 0);
  EXPECT_EQ(call("page_len_x", {I(p->id)}), 17);
  EXPECT_EQ(call("page_len_y", {I(p->id)}), 9);
  EXPECT_EQ(call("page_exists", {I(p->id)}), 1);
  EXPECT_EQ(call("page_exists", {I(0)}), 0);
  EXPECT_TRUE(reports.empty());
  EXPECT_EQ(call("page_len_x", {I(5)}), 0);
  EXPECT_TRUE(reported("page_len_x : ページが存在しません")) << report_list();
  EXPECT_EQ(call("page_len_y", {I(5)}), 0);
  EXPECT_TRUE(reported("page_len_y : ページが存在しません")) << report_list();

  call("page_drawmode", {I(p->id), I(PAGE_DRAW_ADD)});
  EXPECT_EQ(p->drawmode, PAGE_DRAW_ADD);
  call("page_drawmode", {I(g->id), I(PAGE_DRAW_ADD)});
  EXPECT_TRUE(reported("page_drawmode : ８ビットページは変更できません")) << report_list();
  EXPECT_EQ(g->drawmode, 0);
  call("page_drawmode", {I(7), I(1)});
  EXPECT_TRUE(reported("page_drawmode : ページが存在しません")) << report_list();
}

TEST_F(PageBuiltins, AlphaPagesAttachDetachAndReport) {
  page* p = P(call("page_create_withalfa", {I(4), I(4)}));
  page* owned = p->alpha;
  page* mine = page_new_gray8(4, 4, 0);
  page* wide = page_new_gray8(5, 4, 0);
  page* colour = page_new_rgb24(4, 4, 0);

  call("set_antidata", {I(99), I(mine->id)});
  EXPECT_TRUE(reported("set_antidata : 設定の親ページが存在しません")) << report_list();
  call("set_antidata", {I(p->id), I(99)});
  EXPECT_TRUE(reported("set_antidata : αページが存在しません")) << report_list();
  call("set_antidata", {I(p->id), I(colour->id)});
  EXPECT_TRUE(reported("page_set_antidata : αデータのページは８ビットで無いといけません")) << report_list();
  call("set_antidata", {I(p->id), I(wide->id)});
  EXPECT_TRUE(reported("page_set_antidata : ページの大きさをそろえる必要が有ります。")) << report_list();
  EXPECT_EQ(p->alpha, owned);

  // Setting the alpha page it already owns keeps it alive; it is the script's from then on.
  call("set_antidata", {I(p->id), I(owned->id)});
  EXPECT_EQ(page_missing(owned->id), 0);
  EXPECT_EQ(p->alpha, owned);
  EXPECT_FALSE(p->owns_alpha);

  page* q = P(call("page_create_withalfa", {I(4), I(4)}));
  uint32_t q_owned = q->alpha->id;
  call("set_antidata", {I(q->id), I(0)});  // detaches, freeing the owned one
  EXPECT_EQ(q->alpha, nullptr);
  EXPECT_EQ(page_missing(q_owned), 1);
  call("set_antidata", {I(q->id), I(mine->id)});
  EXPECT_EQ(call("get_alfapage", {I(q->id)}), static_cast<int32_t>(mine->id));
  EXPECT_EQ(call("get_alfapage", {I(colour->id)}), 0);
  EXPECT_TRUE(reports.empty());

  // A sprite stands for its source page.
  sprite* s = sprite_new(q, 0, 0, 4, 4, colour);
  EXPECT_EQ(call("get_alfapage", {I(s->id)}), static_cast<int32_t>(mine->id));
  EXPECT_EQ(call("get_alfapage", {I(31)}), 0);
  EXPECT_TRUE(reported("get_alfapage : 指定ページが存在しません")) << report_list();
}

TEST_F(PageBuiltins, ImageTestsSizesAndTheKey) {
  write("a.rct", rct_encode(test_picture(33, 21, 1)));
  page* idx = page_new_gray8(12, 5, 0);
  write("b.rc8", rc8_encode(idx));
  EXPECT_EQ(call("image_exists", {S("a")}), 1);
  EXPECT_EQ(call("image_exists", {S("zz")}), 0);
  EXPECT_EQ(call("pic_len_x", {S("a")}), 33);
  EXPECT_EQ(call("pic_len_y", {S("a")}), 21);
  EXPECT_EQ(call("pic_len_x", {S("b")}), 12);
  EXPECT_EQ(call("pic_len_y", {S("b.bmp")}), 5);
  EXPECT_TRUE(reports.empty());

  // Missing: each Retry looks again; Cancel ends the program through the reporter.
  platform.answer_boxes({IDRETRY, IDRETRY, IDCANCEL});
  EXPECT_THROW(call("pic_len_x", {}, false), fatal_exit_called);
  ASSERT_EQ(platform.boxes.size(), 3u);
  EXPECT_NE(platform.boxes[0].text.find("pic_len_x : ファイル[]が存在しません"), std::string::npos);
  platform.boxes.clear();
  // In the silent player mode the answer is 1.
  error_report_mode_set(2);
  EXPECT_EQ(call("pic_len_y", {S("zz")}), 1);
  EXPECT_TRUE(platform.boxes.empty());
  error_report_mode_set(0);

  // The key: a keyed image decodes once scripts set its key; an empty text keeps the key.
  page* pic = test_picture(5, 5, 2);
  write("k.rct", rct_encode(pic, {true, "the key", ""}));
  EXPECT_EQ(call("set_pic_key", {S("other")}), 0);
  page* wrong = P(call("page_create_file", {S("k")}));
  EXPECT_EQ(px(wrong, 1, 1)[0] + px(wrong, 1, 1)[1] + px(wrong, 1, 1)[2], 0);
  image_modules_reset();
  call("set_pic_key", {S("the key")});
  call("set_pic_key", {S("")});
  EXPECT_EQ(page_diff(P(call("page_create_file", {S("k")})), pic), "");
}

TEST_F(PageBuiltins, PicUnpackDrawsClipsAndReports) {
  page* pic = test_picture(6, 4, 4);
  write("pic.rct", rct_encode(pic));
  page* dst = page_new_rgb24(8, 8, 0);
  EXPECT_EQ(call("pic_unpack", {I(dst->id), S("pic"), I(5), I(6)}), 0);
  EXPECT_TRUE(reports.empty());
  EXPECT_EQ(memcmp(px(dst, 5, 6), px(pic, 0, 0), 9), 0);  // clipped to the page's corner
  EXPECT_EQ(memcmp(px(dst, 7, 7), px(pic, 2, 1), 3), 0);
  EXPECT_EQ(px(dst, 4, 6)[0] + px(dst, 4, 6)[1], 0);
  call("pic_unpack", {I(dst->id), S("pic")});  // x and y default to 0
  EXPECT_EQ(memcmp(px(dst, 0, 3), px(pic, 0, 3), 18), 0);
  call("pic_unpack", {I(dst->id), S("pic"), I(-100), I(0)});  // nothing left after clipping

  // An 8-bit image onto a 24-bit page goes through its palette.
  page* idx = page_new(2, 2, 1, 0);
  idx->palette[3] = rgb_quad{1, 2, 3, 0};
  page_fill_rect(idx, page_rect{0, 0, 2, 2}, 3);
  write("idx.rc8", rc8_encode(idx));
  call("pic_unpack", {I(dst->id), S("idx"), I(0), I(0)});
  EXPECT_EQ(px(dst, 1, 1)[2], 3);

  // A mask image draws through its transparency: 255 keeps the page, 0 copies.
  page* mask = page_new_gray8(6, 4, 0);
  page_fill_rect(mask, page_rect{0, 0, 3, 4}, 255);
  write("pic_.rc8", rc8_encode(mask));
  page* clean = page_new_rgb24(6, 4, 0);
  call("pic_unpack", {I(clean->id), S("pic")});
  EXPECT_EQ(px(clean, 2, 2)[0] + px(clean, 2, 2)[1] + px(clean, 2, 2)[2], 0);
  EXPECT_EQ(memcmp(px(clean, 3, 2), px(pic, 3, 2), 9), 0);

  // Onto an 8-bit page: a 24-bit image is refused; an 8-bit one with a mask copies its opaque part.
  page* eight = page_new_gray8(6, 4, 0);
  call("pic_unpack", {I(eight->id), S("pic")});
  EXPECT_TRUE(reported("pic_unpack : ファイル[pic.rct]を8bitページに転送しています")) << report_list();
  page* gidx = page_new_gray8(6, 4, 0);
  page_fill_rect(gidx, page_rect{0, 0, 6, 4}, 77);
  write("g.rc8", rc8_encode(gidx));
  write("g_.rc8", rc8_encode(mask));
  call("pic_unpack", {I(eight->id), S("g")});
  EXPECT_EQ(page_row(eight, 1)[1], 0);
  EXPECT_EQ(page_row(eight, 1)[4], 77);

  call("pic_unpack", {I(3), S("pic")});
  EXPECT_TRUE(reported("pic_unpack : ページが存在しません")) << report_list();
  call("pic_unpack", {I(dst->id), S("none")});
  EXPECT_TRUE(reported("pic_unpack : ファイル[none]が存在しません")) << report_list();

  // Cached images stay cached; freshly decoded ones are freed.
  image_cache_set_budget(1 << 20);
  int pages = page_count();
  call("pic_unpack", {I(dst->id), S("pic")});
  call("pic_unpack", {I(dst->id), S("pic")});
  EXPECT_EQ(page_count(), pages + image_cache_count());
  EXPECT_EQ(dst->alpha, nullptr);
  EXPECT_EQ(image_cache_find("pic")->alpha, nullptr);  // the mask was lent, not attached
}
