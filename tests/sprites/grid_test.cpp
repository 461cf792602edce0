// Dirty grids: cell geometry, marking and its way through sprites, the guard against circles of
// sprites, and the redraw order of a frame.
#include "sprite_fixture.h"

namespace {

using grids = sprite_test;

std::string flags(const page_grid* g) {
  std::string s;
  for (int r = 0; r < g->rows; r++) {
    if (r) s += "/";
    for (int c = 0; c < g->columns; c++) s += g->cells[r * g->columns + c] ? '#' : '.';
  }
  return s;
}

TEST_F(grids, CellsComeFromTheClientWidthAndRectanglesAreClamped) {
  load_env("CLIENT_WIDTH 800\nCLIENT_HEIGHT 600\n");
  EXPECT_EQ(page_grid_cell_width(), 200);
  EXPECT_EQ(page_grid_cell_height(), 266);
  page* front = make_front(800, 600);
  page_grid* g = page_grid_find(front);
  ASSERT_NE(g, nullptr);
  EXPECT_EQ(g->columns, 4);
  EXPECT_EQ(g->rows, 3);

  mark_dirty_rect(front, page_rect{199, 0, 2, 1});
  EXPECT_EQ(flags(g), "##../..../....");
  EXPECT_EQ(g->dirty, 1);
  page_grid_redraw(g);
  EXPECT_EQ(flags(g), "..../..../....");
  EXPECT_EQ(g->dirty, 0);

  mark_dirty_rect(front, page_rect{-50, 500, 10000, 10000});  // partly outside: clamped
  EXPECT_EQ(flags(g), "..../####/####");
  page_grid_redraw(g);
  mark_dirty_rect(front, page_rect{-10, -10, 10, 10});  // wholly outside: nothing
  mark_dirty_rect(front, page_rect{800, 0, 5, 5});
  mark_dirty_rect(front, page_rect{10, 10, 0, 0});  // empty
  EXPECT_EQ(flags(g), "..../..../....");

  sprite_update_suspend();
  mark_dirty_rect(front, page_rect{0, 0, 10, 10});
  EXPECT_EQ(flags(g), "..../..../....");
  sprite_update_resume();
}

TEST_F(grids, MarksFollowTheSpritesThatShowAPage) {
  page* front = make_front(640, 480);
  page* picture = solid(100, 100, 0x0000FF);
  page* off = solid(640, 480, 0);  // an off-screen page another sprite shows on the front
  sprite* a = create(picture, off, 10, 10, 50, 50);
  sprite* b = create(off);
  ASSERT_TRUE(a && b);
  call("sprite_move", {a->id, 300, 250});
  call("sprite_move", {b->id, 0, 0});
  frame();
  page_grid* gf = page_grid_find(front);
  page_grid* go = page_grid_find(off);
  ASSERT_TRUE(gf && go);
  EXPECT_EQ(flags(gf), "..../..../....");
  auto redraw = [&] { page_grid_redraw(go), page_grid_redraw(gf); };

  // A pixel of the picture reaches off at a's place (cells of 160 x 213) and the front through b.
  mark_dirty_rect(picture, page_rect{20, 20, 1, 1});  // (300 + 20 - 10, 250 + 20 - 10)
  EXPECT_EQ(flags(go), "..../.#../....");
  EXPECT_EQ(flags(gf), "..../.#../....");
  redraw();

  // Through the alpha page too, and not held to the cell.
  page* mask = give_alpha(picture, 0);
  mark_dirty_rect(mask, page_rect{140, 0, 1, 1});  // (430, 240)
  EXPECT_EQ(flags(go), "..../..#./....");
  redraw();

  // A sprite showing the alpha page itself is reached by a mark on the page; once released, no more.
  sprite* c = place(mask, 480, 0);
  frame(), redraw();
  mark_dirty_rect(picture, page_rect{0, 0, 1, 1});  // (290, 240) through a and b, (480, 0) through c
  EXPECT_EQ(flags(gf), "...#/.#../....");
  redraw(), call("sprite_release", {c->id}), redraw();
  mark_dirty_rect(picture, page_rect{0, 0, 1, 1});
  EXPECT_EQ(flags(gf), "..../.#../....");
  redraw();

  // A transformable sprite showing the page repaints its whole target and renders again; a change
  // of its work page reaches the target at the work page's place (100 x 100 turns in 200 x 200).
  sprite* t = sprite_from_id(static_cast<uint32_t>(call("sprite_create_transformable", {picture->id})));
  call("sprite_move", {t->id, 420, 340});
  frame(), redraw();
  ASSERT_NE(t->work_page, nullptr);
  mark_dirty_rect(t->work_page, page_rect{0, 0, 1, 1});  // (320, 240)
  EXPECT_EQ(flags(gf), "..../..#./....");
  t->render_stamp = 1234;
  mark_dirty_rect(picture, page_rect{0, 0, 1, 1});
  EXPECT_EQ(flags(gf), "####/####/####");
  EXPECT_EQ(t->render_stamp, 0);
}

TEST_F(grids, SpritesShowingEachOthersPagesInACircleStop) {
  make_front(640, 480);
  page* p = solid(640, 480, 0);
  page* q = solid(640, 480, 0);
  place(p, 0, 0, q);
  place(q, 170, 0, p);
  frame();
  page_grid_redraw(page_grid_find(p));
  page_grid_redraw(page_grid_find(q));
  mark_dirty_rect(p, page_rect{0, 0, 1, 1});  // p -> q (through a) -> p again (through b)
  EXPECT_EQ(flags(page_grid_find(q)), "#.../..../....");
  EXPECT_EQ(flags(page_grid_find(p)), "##../..../....");  // its own mark and the one back through b
  frame();                                                 // and a frame draws them without end
}

TEST_F(grids, FrameDrawsOldestFirstOnlyDirtyCellsAndOffScreenPagesFirst) {
  page* front = make_front(640, 480, 0x000000);
  page* red = solid(40, 40, 0x0000FF);
  page* green = solid(40, 40, 0x00FF00);
  sprite* r = place(red, 100, 100);
  sprite* g = place(green, 120, 120);
  frame();
  EXPECT_EQ(pixel(front, 110, 110), 0x0000FFu);
  EXPECT_EQ(pixel(front, 130, 130), 0x00FF00u);  // the newer lies on top

  call("sprite_priority_high", {r->id});
  frame();
  EXPECT_EQ(pixel(front, 130, 130), 0x0000FFu);

  // A change of a source page without a mark is not drawn; the mark draws it.
  page_fill_rect(red, page_rect{0, 0, 40, 40}, 0xFF0000);
  frame(20);
  EXPECT_EQ(pixel(front, 110, 110), 0x0000FFu);
  call("invalidate_rect", {red->id});
  frame(20);
  EXPECT_EQ(pixel(front, 110, 110), 0xFF0000u);

  // Hidden and invisible sprites are passed over.
  page_fill_rect(front, page_rect{0, 0, 640, 480}, 0);
  call("sprite_push", {r->id});
  frame(20);
  EXPECT_EQ(pixel(front, 110, 110), 0u);
  EXPECT_EQ(pixel(front, 130, 130), 0x00FF00u);
  call("sprite_alfa_set", {g->id, 255});
  frame(20);
  EXPECT_EQ(pixel(front, 130, 130), 0x00FF00u);  // nothing draws over the old pixels
  EXPECT_EQ(g->transparency, 255);

  // An off-screen page is composed before the front page that shows it, in the same frame.
  page* off = solid(100, 100, 0x111111);
  place(off, 400, 300);
  place(green, 10, 10, off);
  frame(20);
  EXPECT_EQ(pixel(front, 405, 305), 0x111111u);
  EXPECT_EQ(pixel(front, 415, 315), 0x00FF00u);
}

TEST_F(grids, UnusedGridsGoAndTheFrontGridStays) {
  page* front = make_front(640, 480);
  page* off = solid(64, 64, 0);
  sprite* s = create(solid(8, 8, 0), off);
  EXPECT_EQ(page_grid_count(), 2);
  call("sprite_release", {s->id});
  EXPECT_EQ(page_grid_count(), 2);  // freed at the end of the next frame
  frame();
  EXPECT_EQ(page_grid_count(), 1);
  EXPECT_NE(page_grid_find(front), nullptr);
}

// An idle pass wakes for a frame only when it has work: a dirty grid, or a sprite whose step will
// change something. The next frame is due at the pacer's interval (12 ms), none while suspended.
TEST_F(grids, FramesHaveWorkOnlyWhileSomethingChangesAndComeAtThePacersRate) {
  make_front(640, 480);
  sprite* s = place(solid(10, 10, 0), 0, 0);
  frame();
  const std::pair<void (*)(sprite*), bool> rows[] = {
      {[](sprite*) {}, false},
      {[](sprite* t) { t->move_state = 1; }, true},
      {[](sprite* t) { t->move_state = 2; }, false},  // arrived
      {[](sprite* t) { t->animation.state = 2; }, true},
      {[](sprite* t) { t->alpha.state = 1; }, true},
      {[](sprite* t) { t->rotation_state = 1; }, false},  // not transformable
      {[](sprite* t) { t->transformable = 1, t->rotation_state = 1; }, true},
      {[](sprite* t) { t->transformable = 1, t->render_stamp = 0; }, true},
      {[](sprite* t) { t->transformable = 1, t->render_stamp = 0, t->hide = -1; }, false},
      {[](sprite* t) { mark_dirty_rect(t->target_page, page_rect{0, 0, 1, 1}); }, true}};
  const sprite idle = *s;
  for (size_t i = 0; i < std::size(rows); ++i) {
    rows[i].first(s);
    EXPECT_EQ(sprite_frame_work_pending(), rows[i].second) << "row " << i;
    *s = idle;
    page_grid_redraw(page_grid_find(front_page_get()));
  }
  ASSERT_EQ(frame_limit(1), 1);
  EXPECT_EQ(frame_due_in(), 12u);
  pass(5);
  EXPECT_EQ(frame_due_in(), 7u);
  sprite_update_suspend();
  EXPECT_EQ(frame_due_in(), WAIT_NO_LIMIT);
  sprite_update_resume();
}

}  // namespace
