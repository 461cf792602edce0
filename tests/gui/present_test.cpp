// Presentation: a page's pixels reach the screen, 1:1 and zoomed, and only what was invalidated
// is painted again.
#include <cstdlib>

#include "gui_fixture.h"

// A 24-bit page with a pattern that shows any misplaced row or column.
struct test_page {
  int width, height, stride;
  std::vector<uint8_t> bits;
  test_page(int w, int h) : width(w), height(h), stride((w * 3 + 3) & ~3), bits(static_cast<size_t>(stride) * h) {
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) set(x, y, static_cast<uint8_t>(x * 5), static_cast<uint8_t>(y * 3), static_cast<uint8_t>((x ^ y) * 7));
  }
  void set(int x, int y, uint8_t r, uint8_t g, uint8_t b) {
    uint8_t* p = &bits[static_cast<size_t>(y) * stride + x * 3];
    p[0] = b;
    p[1] = g;
    p[2] = r;
  }
  uint32_t rgb(int x, int y) const {
    const uint8_t* p = &bits[static_cast<size_t>(y) * stride + x * 3];
    return uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | p[0];
  }
  pixel_source source() const { return {bits.data(), width, height, stride, nullptr}; }
};

// What the paint handler shows: the page at a zoom, and the area it painted.
static test_page* shown_page = nullptr;
static int shown_zoom = 1000;
static std::vector<plat_rect> paints;

static intptr_t presenting_procedure(window_handle window, uint32_t message, uintptr_t wparam, intptr_t lparam) {
  if (message == WM_PAINT && shown_page) {
    plat_rect all{0, 0, shown_page->width, shown_page->height};
    plat().window_paint_pixels(window, 0, 0, shown_page->source(), all, shown_zoom, shown_zoom);
    gtk_host* host = gtk_platform::host_of(window);
    double x1, y1, x2, y2;
    cairo_clip_extents(host->paint, &x1, &y1, &x2, &y2);
    paints.push_back({static_cast<int>(x1), static_cast<int>(y1), static_cast<int>(x2 - x1), static_cast<int>(y2 - y1)});
    return 0;
  }
  return default_window_procedure(window, message, wparam, lparam);
}

static bool near(uint32_t a, uint32_t b) {
  for (int shift = 0; shift < 24; shift += 8)
    if (std::abs(static_cast<int>(a >> shift & 0xFF) - static_cast<int>(b >> shift & 0xFF)) > 2) return false;
  return true;
}

// Compares the client area on the screen with the page shown at the zoom (nearest pixel).
static int mismatches(const std::vector<uint32_t>& shot, int width, int height, const test_page& page, int zoom) {
  int bad = 0;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      if (!near(shot[static_cast<size_t>(y) * width + x], page.rgb(x * 1000 / zoom, y * 1000 / zoom))) ++bad;
  return bad;
}

class Presentation : public gui_test {
 protected:
  void TearDown() override {
    shown_page = nullptr;
    shown_zoom = 1000;
    paints.clear();
    gui_test::TearDown();
  }
  // Waits until the client area at (x, y) shows the page at the zoom: the server shows what was
  // painted once the painting has reached it.
  bool page_shown(int x, int y, const test_page& p, int zoom) {
    return pump_until([&] {
      return !paints.empty() && (bad = mismatches(screenshot(x, y, p.width, p.height), p.width, p.height, p, zoom)) == 0;
    });
  }
  int bad = -1;  // the pixels that differed at the last look
};

TEST_F(Presentation, PageReachesTheScreenAtZoom1000And2000) {
  test_page page(320, 240);
  shown_page = &page;
  shown_zoom = 1000;
  window_handle w = open_window(320, 240, "VASKEL_MAIN", presenting_procedure);
  int x, y;
  client_origin(w, x, y);
  EXPECT_TRUE(page_shown(x, y, page, 1000)) << bad << " pixels differ";
  save_window_screenshot("window-zoom1000", w);

  // Twice the size: the top-left quarter of the page fills the client area.
  shown_zoom = 2000;
  paints.clear();
  backend->window_invalidate(w, nullptr);
  EXPECT_TRUE(page_shown(x, y, page, 2000)) << bad << " pixels differ";
  save_window_screenshot("window-zoom2000", w);
}

TEST_F(Presentation, OnlyTheInvalidatedRectangleIsPaintedAgain) {
  test_page page(200, 150);
  shown_page = &page;
  window_handle w = open_window(200, 150, "", presenting_procedure);
  int x, y;
  client_origin(w, x, y);
  EXPECT_TRUE(page_shown(x, y, page, 1000)) << bad << " pixels differ";

  // The page changes everywhere, but only a 20 x 10 rectangle is invalidated.
  test_page changed = page;
  for (int py = 0; py < 150; ++py)
    for (int px = 0; px < 200; ++px) changed.set(px, py, 255, 255, 255);
  shown_page = &changed;
  paints.clear();
  plat_rect dirty{40, 30, 20, 10};
  backend->window_invalidate(w, &dirty);
  int inside_white = 0, outside_white = 0;
  EXPECT_TRUE(pump_until([&] {
    std::vector<uint32_t> shot = screenshot(x, y, 200, 150);
    inside_white = outside_white = 0;
    for (int py = 0; py < 150; ++py)
      for (int px = 0; px < 200; ++px) {
        bool white = shot[static_cast<size_t>(py) * 200 + px] == 0xFFFFFF;
        bool inside = px >= 40 && px < 60 && py >= 30 && py < 40;
        (inside ? inside_white : outside_white) += white;
      }
    return !paints.empty() && inside_white == 200;
  })) << inside_white << " of the rectangle's 200 pixels painted";
  for (const plat_rect& p : paints) {  // the paint saw no more than that rectangle
    EXPECT_GE(p.x, 40);
    EXPECT_GE(p.y, 30);
    EXPECT_LE(p.x + p.width, 60);
    EXPECT_LE(p.y + p.height, 40);
  }
  EXPECT_LT(outside_white, 3);  // the pattern itself may hold a white pixel or two
}
