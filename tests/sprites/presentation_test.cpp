// Presentation through the headless presenter: the composed scene in the window at zoom 1000 and
// 2000, noise at 1800 cell by cell, offsets, bands, the menu-bar inset, invalidation rectangles,
// coordinate conversions, the focus repaint.
#include <random>

#include "graphics/scaler.h"
#include "sprite_fixture.h"

namespace {

class presentation : public sprite_test {
 protected:
  window_handle open_window(int w, int h) { return main_window_open(w, h); }
  // The window's pixel as a colour 0x00BBGGRR (the headless client area holds 0xFFRRGGBB).
  uint32_t shown(int x, int y) {
    uint32_t p = platform.record(main_window_get())->pixel(x, y);
    return (p >> 16 & 0xFF) | (p & 0xFF00) | (p & 0xFF) << 16;
  }
  // How many pixels of the client area differ from the page's pixels at the same place.
  int window_differs(const page* p) {
    auto* r = platform.record(main_window_get());
    int wrong = 0;
    for (int y = 0; y < r->client_height; y++)
      for (int x = 0; x < r->client_width; x++) wrong += shown(x, y) != pixel(p, x, y);
    return wrong;
  }
  void paint() { platform.pump_host_events(); }
  // One frame and the paint that follows it.
  void show(uint32_t ms = 20) {
    frame(ms);
    paint();
  }
};

uint8_t mix(int a, int first, int second) { return static_cast<uint8_t>(((a + 1) * first + (256 - a) * second) >> 8); }

TEST_F(presentation, AComposedSceneReachesTheWindowPixelForPixel) {
  open_window(160, 140);
  page* front = make_front(160, 120);
  // Background: a gradient; on it a 40 x 30 sprite at transparency 100 and a masked one.
  page* back = page_new_rgb24(160, 120, 0);
  for (int y = 0; y < 120; y++)
    for (int x = 0; x < 160; x++) {
      uint8_t* p = page_row(back, y) + 3 * x;
      p[0] = static_cast<uint8_t>(x), p[1] = static_cast<uint8_t>(y), p[2] = static_cast<uint8_t>(x + y);
    }
  page* tile = solid(40, 30, 0x2040C0);
  page* masked = solid(20, 20, 0xFFFFFF);
  page* mask = give_alpha(masked, 255);
  page_fill_rect(mask, page_rect{5, 5, 10, 10}, 0);  // an opaque square in a clear frame
  place(back, 0, 0);
  sprite* s = place(tile, 30, 20);
  place(masked, 100, 80);
  call("sprite_alfa_set", {s->id, 100});
  show();

  // The golden picture, from the scene's description.
  std::vector<uint32_t> golden(160 * 140, 0xC0C0C0);  // light grey below the page
  for (int y = 0; y < 120; y++)
    for (int x = 0; x < 160; x++) {
      uint8_t b = static_cast<uint8_t>(x), g = static_cast<uint8_t>(y), r = static_cast<uint8_t>(x + y);
      if (x >= 30 && x < 70 && y >= 20 && y < 50) b = mix(100, b, 0x20), g = mix(100, g, 0x40), r = mix(100, r, 0xC0);
      if (x >= 105 && x < 115 && y >= 85 && y < 95) b = g = r = 0xFF;
      golden[y * 160 + x] = r | g << 8 | static_cast<uint32_t>(b) << 16;
    }
  int wrong = 0;
  for (int y = 0; y < 140; y++)
    for (int x = 0; x < 160; x++)
      if (shown(x, y) != golden[y * 160 + x] && wrong++ < 5)
        ADD_FAILURE() << "(" << x << ", " << y << "): " << std::hex << shown(x, y) << " want " << golden[y * 160 + x];
  EXPECT_EQ(wrong, 0);
  EXPECT_EQ(pixel(front, 50, 30), golden[30 * 160 + 50]);

  // Only what changed is painted again: a page change without a mark stays unseen.
  page_fill_rect(front, page_rect{0, 0, 20, 20}, 0x00FF00);
  show();
  EXPECT_EQ(shown(5, 5), golden[5 * 160 + 5]);
  page_rect changed{0, 0, 10, 10};
  window_dirty_mark(&changed);
  paint();
  EXPECT_EQ(shown(5, 5), 0x00FF00u);
  EXPECT_EQ(shown(15, 15), golden[15 * 160 + 15]);
}

TEST_F(presentation, AZoomedViewGoesThroughTheScalerCellByCell) {
  open_window(320, 240);
  page* front = make_front(160, 120, 0x000080);
  place(solid(40, 40, 0x00C000), 60, 40);
  view_geometry_set(0, 0, 160, 120, 2000, 2000);
  ASSERT_NE(presentation_intermediate_page(), nullptr);
  show();
  EXPECT_EQ(shown(10, 10), 0x000080u);
  EXPECT_EQ(shown(160, 120), 0x00C000u);  // page (80, 60), inside the sprite
  EXPECT_EQ(shown(122, 82), 0x00C000u);
  EXPECT_EQ(shown(200, 200), 0x000080u);

  // A change marked in one window-grid cell is scaled again there only.
  page_fill_rect(front, page_rect{0, 0, 160, 120}, 0x800000);
  page_rect changed{2, 2, 4, 4};
  window_dirty_mark(&changed);
  paint();
  EXPECT_EQ(shown(8, 8), 0x800000u);
  EXPECT_EQ(shown(300, 220), 0x000080u);  // another cell: still the old picture

  // Back to 1000/1000: no intermediate page; zooms that differ keep one.
  view_geometry_set(0, 0, 160, 120, 1000, 1000);
  EXPECT_EQ(presentation_intermediate_page(), nullptr);
  view_geometry_set(0, 0, 160, 120, 1000, 1500);
  EXPECT_NE(presentation_intermediate_page(), nullptr);
  // A front page of the shown size keeps the view; another size resets it.
  front_page_set(solid(160, 120, 0, 1));
  EXPECT_NE(presentation_intermediate_page(), nullptr);
  front_page_set(solid(100, 100, 0, 1));
  EXPECT_EQ(presentation_intermediate_page(), nullptr);
}

TEST_F(presentation, OffsetsBandsAndTheMenuBarInset) {
  open_window(160, 120);
  page* front = make_front(160, 120, 0x404040);
  page_fill_rect(front, page_rect{10, 5, 1, 1}, 0x0000FF);
  page_fill_rect(front, page_rect{40, 30, 1, 1}, 0x00FF00);
  view_offset_set(10, 5);
  EXPECT_EQ(view_offset_x_get(), 10);
  paint();
  EXPECT_EQ(shown(0, 0), 0x0000FFu);  // page (10, 5) at the corner
  EXPECT_EQ(shown(155, 10), 0u);       // black bands right and below
  EXPECT_EQ(shown(10, 117), 0u);
  EXPECT_EQ(page_to_window_x(40), 30);
  EXPECT_EQ(page_to_window_y(30), 25);
  EXPECT_EQ(window_to_page_x(page_to_window_x(77)), 77);
  EXPECT_EQ(window_point_in_page(150, 115), 1);  // (160, 120): the edge counts
  EXPECT_EQ(window_point_in_page(151, 115), 0);
  EXPECT_EQ(window_point_in_page(-11, 0), 0);

  view_offset_set(0, 0);
  view_top_inset_set(20);
  window_dirty_mark(nullptr);
  paint();
  EXPECT_EQ(shown(40, 10), 0x00FF00u);  // drawn higher by the inset
  EXPECT_EQ(shown(40, 110), 0xC0C0C0u);  // light grey below
  view_top_inset_set(0);

  // Invalidations: page rectangles moved by the origin, the inset and the offsets.
  auto& inv = platform.record(main_window_get())->invalidated;
  inv.clear();
  mark_dirty_rect(front, page_rect{0, 0, 1, 1});
  frame();
  ASSERT_EQ(inv.size(), 1u);
  EXPECT_EQ(inv[0].x, 0);
  EXPECT_EQ(inv[0].width, 160);  // the whole grid cell
  view_center_offset_set(-8, -4);
  inv.clear();
  page_rect small{1, 2, 3, 4};
  window_dirty_mark(&small);
  EXPECT_EQ(inv[0].x, 9);
  EXPECT_EQ(inv[0].y, 6);
  view_geometry_set(0, 0, 160, 120, 2000, 2000);
  inv.clear();
  page_rect r{10, 10, 5, 5};
  window_dirty_mark(&r);
  EXPECT_EQ(inv[0].x, 10 * 2 - 1 + 8);  // one pixel of margin
  EXPECT_EQ(inv[0].width, 5 * 2 + 2);
  EXPECT_EQ(window_to_page_x(page_to_window_x(40)), 40);

  page_rect v;
  view_geometry_set(20, 10, 100, 80, -1, 0);
  view_visible_rect(&v);
  EXPECT_EQ(v.x, 20);
  EXPECT_EQ(v.width, 100);
}

TEST_F(presentation, NoisePaintedCellByCellAtAZoomOfNoWholeNumber) {
  // Reference: the scaler called once a cell in row order, with the 2-pixel margin, into a page of
  // its own; the window shows the intermediate page, which must hold exactly that picture.
  window_handle win = open_window(720, 540);
  page* front = make_front(400, 300);
  std::mt19937 rng(5);
  for (int y = 0; y < 300; y++)
    for (int i = 0; i < 400 * 3; i++) page_row(front, y)[i] = static_cast<uint8_t>(rng());
  view_geometry_set(0, 0, 400, 300, 1800, 1800);
  paint();
  page* want = page_new_rgb24(720, 540, 0);
  auto z = [](int v) { return v * 1800 / 1000; };
  auto scale_cell = [&](int i, int j) {
    page_rect sr{j * 100 - 2, i * 100 - 2, 104, 104};
    HQGrpModifyCopy(front, sr, want, page_rect{z(sr.x), z(sr.y), z(104), z(104)}, 1.8, 1.8);
  };
  for (int i = 0; i < 3; i++)
    for (int j = 0; j < 4; j++) scale_cell(i, j);
  EXPECT_EQ(window_differs(want), 0);

  // One cell of the unchanged page repainted (the focus paints the whole window): the window is
  // the reference with that cell scaled once more, so no pixel outside the cell's rectangle, seams
  // included, has moved.
  page_rect inside{150, 150, 10, 10};  // cell (1, 1) only
  window_dirty_mark(&inside);
  message_send(win, WM_SETFOCUS, 0, 0);
  paint();
  scale_cell(1, 1);
  EXPECT_EQ(window_differs(want), 0);
}

TEST_F(presentation, FocusRepaintsAllAndNoFrontPagePaintsWhite) {
  window_handle win = open_window(40, 30);
  page* front = make_front(40, 30, 0x102030);
  paint();
  page_fill_rect(front, page_rect{0, 0, 40, 30}, 0x405060);  // not marked: only the focus shows it
  message_send(win, WM_SETFOCUS, 0, 0);
  paint();
  EXPECT_EQ(window_differs(front), 0);
  front_page_set(nullptr);
  message_send(win, WM_SETFOCUS, 0, 0);
  paint();
  EXPECT_EQ(window_differs(solid(40, 30, 0xFFFFFF)), 0);
  front_page_clear();  // nothing to clear
}

}  // namespace
