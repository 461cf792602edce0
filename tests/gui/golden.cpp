#include "golden.h"

#include <gdk-pixbuf/gdk-pixbuf.h>

#include <cstdlib>
#include <filesystem>

static std::string golden_path(const std::string& name) {
  return (std::filesystem::path(VASK_SOURCE_DIR) / "tests/e2e/golden" / (name + ".png")).string();
}

std::vector<uint32_t> golden_picture(const std::string& name) {
  std::vector<uint32_t> out;
  GdkPixbuf* pb = gdk_pixbuf_new_from_file(golden_path(name).c_str(), nullptr);
  if (!pb) return out;
  if (gdk_pixbuf_get_width(pb) == GOLDEN_WIDTH && gdk_pixbuf_get_height(pb) == GOLDEN_HEIGHT &&
      gdk_pixbuf_get_n_channels(pb) == 3) {
    const guchar* px = gdk_pixbuf_get_pixels(pb);
    int stride = gdk_pixbuf_get_rowstride(pb);
    for (int y = 0; y < GOLDEN_HEIGHT; ++y)
      for (int x = 0; x < GOLDEN_WIDTH; ++x) {
        const guchar* p = px + y * stride + 3 * x;
        out.push_back(static_cast<uint32_t>(p[0]) << 16 | static_cast<uint32_t>(p[1]) << 8 | p[2]);
      }
  }
  g_object_unref(pb);
  return out;
}

void golden_write(const std::string& name, const std::vector<uint32_t>& pixels) {
  if (pixels.size() != static_cast<size_t>(GOLDEN_WIDTH) * GOLDEN_HEIGHT) return;
  std::filesystem::create_directories(std::filesystem::path(golden_path(name)).parent_path());
  GdkPixbuf* pb = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, GOLDEN_WIDTH, GOLDEN_HEIGHT);
  guchar* px = gdk_pixbuf_get_pixels(pb);
  int stride = gdk_pixbuf_get_rowstride(pb);
  for (int y = 0; y < GOLDEN_HEIGHT; ++y)
    for (int x = 0; x < GOLDEN_WIDTH; ++x) {
      uint32_t v = pixels[static_cast<size_t>(y) * GOLDEN_WIDTH + x];
      guchar* d = px + y * stride + 3 * x;
      d[0] = v >> 16 & 0xFF, d[1] = v >> 8 & 0xFF, d[2] = v & 0xFF;
    }
  gdk_pixbuf_save(pb, golden_path(name).c_str(), "png", nullptr, "compression", "9", nullptr);
  g_object_unref(pb);
}

int golden_mismatches(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b, golden_skip skip) {
  if (a.size() != b.size() || a.size() != static_cast<size_t>(GOLDEN_WIDTH) * GOLDEN_HEIGHT) return -1;
  int bad = 0;
  for (int y = 0; y < GOLDEN_HEIGHT; ++y)
    for (int x = 0; x < GOLDEN_WIDTH; ++x) {
      if (skip.width && x >= skip.x && x < skip.x + skip.width && y >= skip.y && y < skip.y + skip.height) continue;
      size_t i = static_cast<size_t>(y) * GOLDEN_WIDTH + x;
      for (int s = 0; s < 24; s += 8)
        if (std::abs(static_cast<int>(a[i] >> s & 0xFF) - static_cast<int>(b[i] >> s & 0xFF)) > 40) {
          ++bad;
          break;
        }
    }
  return bad;
}
