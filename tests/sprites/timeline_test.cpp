// Timelines on the fake clock: cell animation with catch-up and wrap, the held and initial cells,
// the cross-fade, transparency, movement with easing, rotation and scales, and frame pacing.
#include <cmath>

#include "sprite_fixture.h"

namespace {

using timelines = sprite_test;

// A strip of four 100 x 100 cells coloured 0x10, 0x20, 0x30, 0x40 (red channel).
page* strip() {
  page* p = page_new_rgb24(400, 100, 0);
  for (int i = 0; i < 4; i++) page_fill_rect(p, page_rect{100 * i, 0, 100, 100}, 0x10u * (i + 1));
  return p;
}

TEST_F(timelines, AnimationCatchesUpAfterALateFrameAndWrapsIntoStateTwo) {
  page* front = make_front(640, 480);
  sprite* s = create(strip(), nullptr, 0, 0, 100, 100);
  call("sprite_move", {s->id, 0, 0});
  call("sprite_animate_define", {s->id, 0, 100, 1, 100, 2, 100, 3, 100});
  frame();
  EXPECT_EQ(s->animation.index, 0);
  EXPECT_EQ(s->animation.state, 1);
  EXPECT_EQ(pixel(front, 50, 50), 0x10u);

  frame(300);  // three pairs at once
  EXPECT_EQ(s->animation.index, 3);
  EXPECT_EQ(s->cell_x, 300);
  EXPECT_EQ(pixel(front, 50, 50), 0x40u);
  EXPECT_EQ(call("sprite_animate_wait", {s->id}), WAITED);

  frame(99);
  EXPECT_EQ(s->animation.index, 3);
  frame(1);  // past the last pair: back to the first, wrapped
  EXPECT_EQ(s->animation.index, 0);
  EXPECT_EQ(s->animation.state, 2);
  EXPECT_EQ(pixel(front, 50, 50), 0x10u);
  EXPECT_EQ(call("sprite_animate_wait", {s->id}), 0);  // a looping animation ends the wait once wrapped

  frame(250);  // the rest carries into the next pair's time
  EXPECT_EQ(s->animation.index, 2);
  frame(50);
  EXPECT_EQ(s->animation.index, 3);

  call("sprite_animate_define", {s->id});  // the sprite alone stops it
  EXPECT_EQ(s->animation.state, 0);
  EXPECT_EQ(s->animation.count, 0);
}

TEST_F(timelines, TheInitialCellAndAHeldTrailingCell) {
  make_front(640, 480);
  sprite* s = create(strip(), nullptr, 100, 0, 100, 100);  // starts on cell 1
  call("sprite_animate_define", {s->id, 3, 50, -2, 50, 2});
  frame();
  EXPECT_EQ(s->cell_x, 300);
  frame(50);
  EXPECT_EQ(s->cell_x, 100);  // -2: the cell it was made with
  frame(50);
  EXPECT_EQ(s->cell_x, 200);
  EXPECT_EQ(s->animation.state, 0);  // held for ever
  EXPECT_EQ(call("sprite_animate_wait", {s->id}), 0);
  frame(1000);
  EXPECT_EQ(s->cell_x, 200);

  // Appending to nothing starts; appending to something keeps the running pairs.
  call("sprite_animate_define", {s->id});
  call("sprite_animate_add", {s->id, 1, 100});
  EXPECT_EQ(s->animation.state, 1);
  call("sprite_animate_add", {s->id, 0, 100});
  EXPECT_EQ(s->animation.count, 2);
  frame(10);
  frame(100);
  EXPECT_EQ(s->cell_x, 0);
}

TEST_F(timelines, AlignedTimelinesStartOnAMultipleOfTheirLength) {
  make_front(640, 480);
  sprite* s = create(strip(), nullptr, 0, 0, 100, 100);
  int32_t now = vm_time_get();
  call("sprite_animate_define_aligned", {s->id, 0, 300, 1, 400});
  EXPECT_EQ(s->animation.start_time, now / 700 * 700);
  call("sprite_alfa_define_aligned", {s->id, 0, 0});  // a total of 0 counts as 1
  EXPECT_EQ(s->alpha.start_time, now);
}

TEST_F(timelines, CrossFadeBlendsTheNextCellByTheTimeGone) {
  page* front = make_front(640, 480);
  page* src = page_new_rgb24(200, 100, 0);
  page_fill_rect(src, page_rect{0, 0, 100, 100}, 0x0000FF);
  page_fill_rect(src, page_rect{100, 0, 100, 100}, 0xFF0000);
  sprite* s = create(src, nullptr, 0, 0, 100, 100);
  call("sprite_move", {s->id, 0, 0});
  call("ps_sprite_set_smooth_animation", {s->id});
  ASSERT_NE(s->cross_fade_page, nullptr);
  call("sprite_animate_define", {s->id, 0, 100, 1, 100});
  frame();
  EXPECT_EQ(pixel(front, 10, 10), 0x0000FFu);
  EXPECT_EQ(s->next_cell_x, 100);
  frame(50);  // level 255 - 50 * 255 / 100 = 128: red (129 * 255) >> 8, blue (128 * 255) >> 8
  EXPECT_EQ(pixel(front, 10, 10), 0x7F0080u);
  frame(49);
  EXPECT_EQ(pixel(front, 10, 10), 0x7F0080u);  // renewed every 50 ms, not every frame
}

TEST_F(timelines, TransparencyInterpolatesFromThePreviousLevelAndCloses) {
  make_front(640, 480);
  sprite* s = create(solid(10, 10, 0xFFFFFF));
  call("sprite_alfa_define", {s->id, 200, 100, 100});
  frame();
  EXPECT_EQ(s->transparency, 0);
  frame(50);
  EXPECT_EQ(s->transparency, 100);  // (50 x 200 + 50 x 0) / 100
  EXPECT_EQ(call("sprite_alfa_wait", {s->id}), WAITED);
  frame(50);
  EXPECT_EQ(s->transparency, 100);  // the trailing level, held
  EXPECT_EQ(s->alpha.state, 0);
  EXPECT_EQ(call("sprite_alfa_wait", {s->id}), 0);

  call("sprite_alfa_set", {s->id, 50, 100});
  frame();
  frame(50);
  EXPECT_EQ(s->transparency, 75);
  frame(60);
  EXPECT_EQ(s->transparency, 50);

  call("sprite_alfa_set", {s->id, 300});  // at once, held to the range
  EXPECT_EQ(s->transparency, 255);
  EXPECT_EQ(s->alpha.state, 0);

  call("sprite_tl_set", {s->id, 20});  // changes nothing while no timeline runs
  frame(10);
  EXPECT_EQ(s->transparency, 255);
  call("sprite_alfa_define", {s->id, 255, 1000});
  frame(10);
  call("sprite_tl_set", {s->id, 20});  // ...and sets the level when one does
  frame(10);
  EXPECT_EQ(s->transparency, 20);
  EXPECT_EQ(s->alpha.state, 0);
}

TEST_F(timelines, MovementIsLinearOrEasedAndAJumpIsKnownAtOnce) {
  make_front(640, 480);
  sprite* s = create(solid(10, 10, 0));
  call("sprite_move", {s->id, 0, 0});
  EXPECT_EQ(call("sprite_get_pos_x", {s->id}), 0);
  EXPECT_EQ(call("is_sprite_move", {s->id}), 1);
  frame();
  call("sprite_move", {s->id, 100, 50, 100});
  frame(25);
  EXPECT_EQ(s->x, 25);
  EXPECT_EQ(s->y, 12);
  EXPECT_EQ(call("sprite_get_pos_x", {s->id}), 25);  // the last move had a duration
  EXPECT_EQ(call("sprite_move_wait", {s->id}), WAITED);
  frame(75);
  EXPECT_EQ(s->x, 100);
  EXPECT_EQ(s->move_state, 2);
  EXPECT_EQ(call("sprite_move_wait", {s->id}), 0);

  uint32_t slow_end = 100 | EASE_X_SLOW_END, slow_start = 100 | EASE_X_SLOW_START | EASE_Y_SLOW_END;
  call("sprite_move", {s->id, 200, 150, slow_end});
  frame(50);
  EXPECT_EQ(s->x, 170);  // 100 + trunc(100 x sin(pi/4))
  EXPECT_EQ(s->y, 100);  // y stays linear
  frame(50);
  call("sprite_move", {s->id, 100, 50, slow_start});
  frame(50);
  EXPECT_EQ(s->x, 171);  // 200 + trunc(-100 x (1 - sin(pi/4)))
  EXPECT_EQ(s->y, 80);   // 150 + trunc(-100 x sin(pi/4))

  // A jump not yet taken is where the next move starts.
  call("sprite_move", {s->id, 300, 300});
  call("sprite_move", {s->id, 310, 320, 100});
  EXPECT_EQ(s->move_start_x, 300);
  EXPECT_EQ(s->move_dy, 20);
  EXPECT_EQ(call("sprite_get_pos_y", {s->id}), s->y);
}

TEST_F(timelines, RotationAndScalesRenderTheWorkPage) {
  page* front = make_front(640, 480, 0x000000);
  page* src = solid(40, 40, 0x0000FF);
  give_alpha(src, 0);
  sprite* s = sprite_from_id(static_cast<uint32_t>(call("sprite_create_transformable", {src->id})));
  call("sprite_move", {s->id, 200, 200});
  frame();
  ASSERT_NE(s->work_page, nullptr);
  EXPECT_EQ(s->work_x, 150);  // R = 28.3: n = 1, a square of 100 round the centre
  EXPECT_EQ(s->work_width, 100);
  EXPECT_EQ(pixel(front, 200, 200), 0x0000FFu);
  EXPECT_EQ(pixel(front, 175, 175), 0u);  // the work page's transparent margin

  call("sprite_rotate", {s->id, 90.0f, 100});
  frame(50);
  EXPECT_FLOAT_EQ(s->angle, 45.0f);
  EXPECT_EQ(pixel(front, 200, 175), 0x0000FFu);  // a corner of the diamond
  frame(50);
  EXPECT_FLOAT_EQ(s->angle, 90.0f);
  EXPECT_EQ(s->rotation_state, 0);
  call("sprite_rotate", {s->id, 180.0f, 100, 1});  // endless: runs on at the same speed
  frame(150);
  EXPECT_FLOAT_EQ(s->angle, 225.0f);
  call("sprite_rotate", {s->id, 0.0f});
  EXPECT_FLOAT_EQ(s->angle, 0.0f);
  EXPECT_EQ(s->rotation_state, 0);

  call("sprite_xmodify_set", {s->id, 2.0f});
  EXPECT_EQ(s->render_stamp, 0);
  frame(10);
  EXPECT_EQ(s->work_width, 200);  // R x 2 = 56.6: n = 2
  EXPECT_EQ(pixel(front, 165, 200), 0x0000FFu);
  EXPECT_EQ(pixel(front, 200, 165), 0u);

  call("sprite_xmodify_define", {s->id, 1.0f, 100u | EASE_X_SLOW_END, 3.0f});
  frame();
  frame(50);
  EXPECT_NEAR(s->xscale.value, 2 - std::sin(3.1415926535 / 4), 1e-5);
  frame(50);
  EXPECT_FLOAT_EQ(s->xscale.value, 3.0f);  // the trailing value, held
  call("sprite_ymodify_define", {s->id, 0.5f, 100});
  frame();
  frame(50);
  EXPECT_FLOAT_EQ(s->yscale.value, 0.75f);
  frame(60);
  EXPECT_FLOAT_EQ(s->yscale.value, 0.5f);
  EXPECT_EQ(s->yscale.track.state, 0);
}

TEST_F(timelines, FramesArePacedByMaxFps) {
  // The default (1000) is held to 80 a second, 0 to 1 a second: a frame once the interval is up.
  const struct {
    const char* env;
    uint32_t interval_ms;
  } rates[] = {{"", 12}, {"MAX_FPS 0\n", 1000}, {"MAX_FPS 30\n", 33}};
  for (const auto& r : rates) {
    sprite_module_reset();
    env_free();
    load_env(r.env);
    EXPECT_EQ(frame_limit(0), 1) << r.env;
    platform.advance(r.interval_ms - 1);
    EXPECT_EQ(frame_limit(0), 0) << r.env;
    platform.advance(1);
    EXPECT_EQ(frame_limit(0), 1) << r.env;
  }
  EXPECT_EQ(frame_limit(1), 1);  // forced
  sprite_update_suspend();
  platform.advance(100);
  EXPECT_EQ(frame_limit(1), 0);  // none while suspended
  sprite_update_resume();
}

}  // namespace
