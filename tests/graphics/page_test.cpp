#include <gtest/gtest.h>

#include <climits>

#include "graphics/gfx_id.h"
#include "graphics/page.h"
#include "graphics/presentation.h"
#include "pixels.h"

using Pages = graphics_test;

TEST_F(Pages, StrideAndShape) {
  page* a = page_new(1, 1, 1, 0);
  page* b = page_new(1, 1, 0, 0);
  page* c = page_new(5, -3, 0, 0);
  EXPECT_EQ(a->stride, 4);
  EXPECT_EQ(b->stride, 4);
  EXPECT_EQ(c->stride, 16);
  EXPECT_EQ(c->height, 3);  // the absolute value of the height asked for
  EXPECT_EQ(c->palette, nullptr);
  for (int y = 0; y < 3; y++)
    for (int i = 0; i < 16; i++) EXPECT_EQ(page_row(c, y)[i], 0);
  EXPECT_EQ(a->palette[200].red, 0);  // page_new's palette is black

  page* g = page_new_gray8(3, 2, 1);
  EXPECT_TRUE(g->is_8bit && g->persistent);
  for (int i = 0; i < 256; i++) {
    EXPECT_EQ(g->palette[i].blue, i);
    EXPECT_EQ(g->palette[i].green, i);
    EXPECT_EQ(g->palette[i].red, i);
    EXPECT_EQ(g->palette[i].reserved, 0);
  }
  EXPECT_EQ(page_count(), 4);
  EXPECT_EQ(page_list_head(), g);  // newest first
}

TEST_F(Pages, FailedCreationIsReportedAndGivesNoPage) {
  page* keep = page_new(2, 2, 0, 0);
  size_t ids = gfx_id_count();
  platform.answer_boxes({IDRETRY, IDRETRY, IDRETRY, IDRETRY, IDRETRY, IDRETRY, IDRETRY, IDRETRY});
  EXPECT_EQ(page_new(40000, 40000, 0, 0), nullptr);  // 4.8 GB: beyond any page
  EXPECT_EQ(page_new(1, 16385, 1, 0), nullptr);      // a side past the bound, though small
  EXPECT_EQ(page_new(16384, 5462, 0, 0), nullptr);   // just over 256 MiB
  EXPECT_EQ(page_new(0, 10, 1, 0), nullptr);
  EXPECT_EQ(page_new(10, 0, 0, 0), nullptr);
  EXPECT_EQ(page_new(INT_MAX, 1, 0, 0), nullptr);  // the stride alone would overflow 32 bits
  EXPECT_EQ(page_new_gray8(-1, 4, 0), nullptr);
  std::string text;
  for (const auto& box : platform.boxes) text += box.text + "\n";
  EXPECT_NE(text.find("page_new : 40000 x 40000"), std::string::npos) << text;
  EXPECT_NE(text.find("page_new : 0 x 10"), std::string::npos) << text;
  EXPECT_EQ(page_count(), 1);
  EXPECT_EQ(page_list_head(), keep);
  EXPECT_EQ(gfx_id_count(), ids);
}

TEST_F(Pages, IdsAreLookedUpAndNotReusedSoon) {
  page* a = page_new(4, 4, 0, 0);
  page* b = page_new(4, 4, 1, 0);
  EXPECT_GE(a->id, GFX_ID_FIRST);
  EXPECT_NE(a->id, b->id);
  EXPECT_EQ(page_from_id(a->id), a);
  EXPECT_EQ(page_missing(a->id), 0);
  EXPECT_EQ(page_missing(0), 1);
  EXPECT_EQ(page_missing(1), 1);
  EXPECT_EQ(page_missing(0xFFFFFFFF), 1);

  uint32_t old = a->id;
  page_free(a, 0);
  EXPECT_EQ(page_missing(old), 1);
  page* c = page_new(4, 4, 0, 0);
  EXPECT_NE(c->id, old);

  // Pages and sprites share the id space; a sprite's id is not a page.
  int sprite_record = 0;
  uint32_t sprite = gfx_id_add(GFX_ID_SPRITE, &sprite_record);
  EXPECT_NE(sprite, c->id);
  EXPECT_EQ(page_missing(sprite), 1);
  EXPECT_EQ(gfx_id_kind_of(sprite), GFX_ID_SPRITE);
  EXPECT_EQ(gfx_id_kind_of(c->id), GFX_ID_PAGE);
  EXPECT_EQ(gfx_id_find(sprite, GFX_ID_SPRITE), &sprite_record);
  gfx_id_remove(sprite);
}

TEST_F(Pages, IdsWrapToTheFirstAndStayPositive) {
  gfx_id_reset(0x7FFFFFFE);
  page* a = page_new(1, 1, 0, 0);
  page* b = page_new(1, 1, 0, 0);
  page* c = page_new(1, 1, 0, 0);
  EXPECT_EQ(a->id, 0x7FFFFFFEu);
  EXPECT_EQ(b->id, 0x7FFFFFFFu);
  EXPECT_EQ(c->id, GFX_ID_FIRST);
}

TEST_F(Pages, PersistenceAndRelease) {
  page* old1 = page_new(2, 2, 0, 0);
  page* old2 = page_new(2, 2, 1, 0);
  page_mark_all_persistent();
  page* young = page_new(2, 2, 0, 0);
  EXPECT_EQ(page_free(old1, 0), 1);
  EXPECT_EQ(page_free(old2, 0), 1);
  EXPECT_EQ(page_free(young, 0), 0);
  EXPECT_EQ(page_free(nullptr, 0), 0);
  EXPECT_EQ(page_count(), 2);
  EXPECT_EQ(page_free(old1, 1), 0);  // forced
  EXPECT_EQ(page_count(), 1);

  page* t1 = page_new(2, 2, 0, 0);
  page* keep = page_new(2, 2, 0, 1);
  page* t2 = page_new(2, 2, 1, 0);
  (void)t1, (void)t2;
  page_free_nonpersistent();
  EXPECT_EQ(page_count(), 2);
  EXPECT_EQ(page_list_head(), keep);
  EXPECT_EQ(keep->next, old2);
}

TEST_F(Pages, AlphaPagesOutliveAndDetach) {
  page* p = page_new(4, 4, 0, 0);
  page* a = page_new_gray8(4, 4, 0);
  page_alpha_set(p, a);
  uint32_t aid = a->id;
  page_free(p, 0);
  EXPECT_EQ(page_missing(aid), 0);  // the alpha page stays in the list
  EXPECT_EQ(a->alpha_users, nullptr);  // and forgets its freed user (the sanitizers see the rest)

  // Freeing an alpha page that a page still uses leaves that page without one, not with a
  // dangling pointer.
  page* q = page_new(4, 4, 0, 0);
  page_alpha_set(q, a);
  q->owns_alpha = 1;
  page_free(a, 0);
  EXPECT_EQ(q->alpha, nullptr);
  EXPECT_EQ(q->owns_alpha, 0);

  // Users come and go in any order; only the pages still using a freed page lose it.
  page* b = page_new_gray8(4, 4, 0);
  page* c = page_new_gray8(4, 4, 0);
  page* users[3] = {q, page_new(4, 4, 0, 0), page_new(4, 4, 0, 0)};
  for (page* u : users) page_alpha_set(u, b);
  page_alpha_set(users[1], c);
  page_alpha_set(q, c);
  page_free(users[2], 0);
  page_free(b, 0);
  EXPECT_TRUE(q->alpha == c && users[1]->alpha == c);
  page_free(c, 0);
  EXPECT_TRUE(q->alpha == nullptr && users[1]->alpha == nullptr);
}

TEST_F(Pages, ExitFreesEverythingAndTheFrontPage) {
  page* front = page_new(8, 8, 0, 1);
  page_new(8, 8, 1, 0);
  front_page_set(front);
  page_free_all_at_exit();
  EXPECT_EQ(page_count(), 0);
  EXPECT_EQ(front_page_get(), nullptr);
  EXPECT_EQ(gfx_id_count(), 0u);
}

TEST_F(Pages, ClipOneRectangle) {
  page* p = page_new(15, 10, 1, 0);
  page_rect r{-10, 2, 30, 4};
  EXPECT_EQ(page_clip_rect(p, &r), 0);
  EXPECT_EQ(r.x, 0);
  EXPECT_EQ(r.width, 15);
  EXPECT_EQ(r.y, 2);
  EXPECT_EQ(r.height, 4);

  r = page_rect{-20, 3, 10, 4};  // entirely left of the page
  EXPECT_EQ(page_clip_rect(p, &r), 1);
  EXPECT_EQ(r.x | r.y | r.width | r.height, 0);

  r = page_rect{14, 9, 5, 5};
  EXPECT_EQ(page_clip_rect(p, &r), 0);
  EXPECT_EQ(r.width, 1);
  EXPECT_EQ(r.height, 1);

  // Script-sized numbers must not wrap into a rectangle that looks valid.
  r = page_rect{INT_MAX - 2, 0, 10, 10};
  EXPECT_EQ(page_clip_rect(p, &r), 1);
  r = page_rect{INT_MIN, 0, INT_MAX, 5};
  EXPECT_EQ(page_clip_rect(p, &r), 1);
}

TEST_F(Pages, ClipTwoRectanglesTogether) {
  page* a = page_new(20, 20, 0, 0);
  page* b = page_new(30, 30, 0, 0);
  page_rect ra{-5, 0, 10, 10}, rb{3, 4, 0, 0};
  EXPECT_EQ(clip_rect_pair(a, &ra, b, &rb), 0);
  EXPECT_EQ(ra.x, 0);
  EXPECT_EQ(ra.width, 5);
  EXPECT_EQ(rb.x, 8);  // moved right by 5
  EXPECT_EQ(rb.width, 5);
  EXPECT_EQ(rb.height, 10);

  ra = page_rect{2, 2, 10, 10};
  rb = page_rect{0, -3, 99, 99};
  EXPECT_EQ(clip_rect_pair(a, &ra, b, &rb), 0);
  EXPECT_EQ(ra.y, 5);  // moved down by 3
  EXPECT_EQ(ra.height, 7);
  EXPECT_EQ(rb.y, 0);
  EXPECT_EQ(rb.width, ra.width);
  EXPECT_EQ(rb.height, ra.height);

  ra = page_rect{15, 15, 10, 10};  // cut by page a, then by page b
  rb = page_rect{27, 0, 0, 0};
  EXPECT_EQ(clip_rect_pair(a, &ra, b, &rb), 0);
  EXPECT_EQ(ra.width, 3);
  EXPECT_EQ(ra.height, 5);

  ra = page_rect{0, 0, 10, 10};
  rb = page_rect{40, 0, 0, 0};  // beyond page b
  EXPECT_EQ(clip_rect_pair(a, &ra, b, &rb), 1);
  EXPECT_EQ(ra.width | rb.width | rb.x, 0);

  ra = page_rect{0, 0, 10, 10};
  rb = page_rect{INT_MIN, INT_MIN, 0, 0};
  EXPECT_EQ(clip_rect_pair(a, &ra, b, &rb), 1);
}
