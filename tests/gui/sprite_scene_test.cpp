// A sprite scene on the desktop backend: a background picture, a sprite that animates, moves and
// fades, and a rotating one, shown zoomed to 2000 per mille. After N frames paced by the frame
// limiter, the screenshot of the client area matches the headless presenter's render of the same
// frame (the same pages, painted through the headless backend).
#include <cmath>

#include "graphics/kernel.h"
#include "graphics/page.h"
#include "graphics/page_grid.h"
#include "graphics/presentation.h"
#include "graphics/sprite.h"
#include "gui_fixture.h"
#include "headless_game.h"
#include "platform/headless/headless.h"
#include "shell/window_core.h"
#include "vm/script_error.h"

namespace {

constexpr int PAGE_W = 320, PAGE_H = 240, ZOOM = 2000, WIN_W = PAGE_W * ZOOM / 1000, WIN_H = PAGE_H * ZOOM / 1000;
constexpr int FRAMES = 40;

class SpriteScene : public gui_test {
 protected:
  void TearDown() override {
    sprite_module_reset();
    page_free_all_at_exit();
    presentation_reset();
    window_core_reset();
    gui_test::TearDown();
  }

  // The scene: what the sample game shows, made directly.
  void build() {
    page* front = page_new_rgb24(PAGE_W, PAGE_H, 1);
    front_page_set(front);
    page* back = page_new_rgb24(PAGE_W, PAGE_H, 0);
    for (int y = 0; y < PAGE_H; y++)
      for (int x = 0; x < PAGE_W; x++) {
        uint8_t* p = page_row(back, y) + 3 * x;
        p[0] = static_cast<uint8_t>(120 + y / 4), p[1] = static_cast<uint8_t>(60 + x / 4), p[2] = static_cast<uint8_t>(40);
      }
    sprite* bg = sprite_new(back, 0, 0, PAGE_W, PAGE_H, front);
    bg->x = bg->y = 0;
    mark_dirty_rect(front, page_rect{0, 0, PAGE_W, PAGE_H});

    // Four 48 x 48 cells of a disc in four colours, with a mask.
    page* strip = page_new_rgb24(4 * 48, 48, 0);
    page* mask = page_new_gray8(4 * 48, 48, 0);
    page_alpha_set(strip, mask);
    strip->owns_alpha = 1;
    for (int c = 0; c < 4; c++) {
      page_fill_rect(strip, page_rect{48 * c, 0, 48, 48}, 0x2020E0u + 0x303000u * c);
      for (int y = 0; y < 48; y++)
        for (int x = 0; x < 48; x++)
          page_row(mask, y)[48 * c + x] = std::hypot(x - 23.5, y - 23.5) < 22 ? 0 : 255;
    }
    sprite* walker = sprite_new(strip, 0, 0, 48, 48, front);
    walker->x = 20, walker->y = 96;
    int32_t now = vm_time_get();
    walker->move_start_x = 20, walker->move_start_y = 96, walker->move_dx = 240, walker->move_dy = 40;
    walker->move_duration = 2000, walker->move_start_time = now, walker->move_state = 1;
    for (int i = 0; i < 4; i++) walker->animation_pairs[i] = sprite_cell_pair{i, 90};
    walker->animation = sprite_track{1, now, 0, -1, 4};
    walker->alpha_pairs[0] = sprite_level_pair{160, 1500};
    walker->alpha_pairs[1] = sprite_level_pair{160, -1};
    walker->alpha = sprite_track{1, now, 0, -1, 2};
    walker->catch_up = 1;

    page* card = page_new_rgb24(60, 30, 0);
    page_fill_rect(card, page_rect{0, 0, 60, 30}, 0x00C0FF);
    page_fill_rect(card, page_rect{5, 5, 50, 20}, 0x004080);
    page_alpha_set(card, page_new_gray8(60, 30, 0));
    card->owns_alpha = 1;
    sprite* spinner = sprite_new(card, 0, 0, 60, 30, front);
    spinner->transformable = 1;
    spinner->x = 240, spinner->y = 60;
    spinner->end_angle = 360, spinner->rotation_duration = 3000, spinner->rotation_start_time = now;
    spinner->rotation_state = 2;

    view_geometry_set(0, 0, PAGE_W, PAGE_H, ZOOM, ZOOM);
  }
};

TEST_F(SpriteScene, AfterNFramesTheScreenMatchesTheHeadlessRender) {
  window_handle w = open_window(WIN_W, WIN_H, "VASKEL_MAIN", main_window_class_proc);
  main_window_set(w);
  vm_clock_reset();
  vm_time_update();
  build();

  int frames = 0;
  ASSERT_TRUE(pump_until(
      [&] {
        vm_time_update();
        if (frame_limit(0)) {
          sprite_update_all();
          frames++;
        }
        return frames == FRAMES;
      },
      10000));
  // The same frame through the headless presenter: the same pages, scaled and painted again.
  headless_platform headless;
  headless.print_boxes = false;
  plat_install(&headless);
  window_spec spec;
  spec.procedure = main_window_class_proc;
  spec.client_width = WIN_W;
  spec.client_height = WIN_H;
  window_handle hw = window_create(spec);
  main_window_set(hw);
  window_dirty_mark(nullptr);
  headless.pump_host_events();
  const headless_platform::window_record* r = headless.record(hw);
  ASSERT_NE(r, nullptr);
  std::vector<uint32_t> want;
  for (int j = 0; j < WIN_H; j++)
    for (int i = 0; i < WIN_W; i++) want.push_back(r->pixel(i, j) & 0xFFFFFF);
  window_destroy(hw);
  plat_install(backend);
  main_window_set(w);

  // GTK paints what the last frame invalidated; the screen shows the frame once it has.
  int x, y, bad = -1;
  client_origin(w, x, y);
  EXPECT_TRUE(pump_until([&] { return (bad = pixel_mismatches(screenshot(x, y, WIN_W, WIN_H), want)) == 0; }))
      << bad << " pixels differ";
  save_window_screenshot("sprite-scene", w);
  // The picture moved on from its start: the walker is on its way, faded and animated.
  sprite* walker = sprite_newest()->older;
  EXPECT_GT(walker->x, 20);
  EXPECT_GT(walker->transparency, 0);
}

}  // namespace
