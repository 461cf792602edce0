// Thumbnails sampled from pages, drawn back clipped, and read from slot files; the system menu's
// set-aside click areas.
#include <cstdlib>

#include "graphics/page.h"
#include "save_fixture.h"
#include "shell/mouse.h"

namespace {

class Thumbnails : public save_test {
 protected:
  void TearDown() override {
    page_free_all_at_exit();
    save_test::TearDown();
  }
  // A 24-bit page whose pixel (x, y) holds blue x, green y, red 7.
  static page* ramp(int w, int h) {
    page* p = page_new_rgb24(w, h, 0);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        uint8_t* px = page_row(p, y) + 3 * x;
        px[0] = uint8_t(x), px[1] = uint8_t(y), px[2] = 7;
      }
    return p;
  }
  static const uint8_t* pixel(page* p, int x, int y) { return page_row(p, y) + 3 * x; }
  int32_t draw(const char* name, std::initializer_list<int32_t> args) {
    for (auto it = std::rbegin(args); it != std::rend(args); ++it) push_int(*it);
    return call_int(name, int16_t(args.size()));
  }
};

TEST_F(Thumbnails, ACaptureAveragesFourSamplesPerCellAndDrawsBackClipped) {
  page* source = ramp(40, 30);
  draw("thumbnail_capture", {4, 3, int32_t(source->id)});
  const thumbnail& t = thumbnail_get();
  ASSERT_EQ(t.width, 4);
  // Cells of 10 x 10: the samples at x offsets 2, 8, 6, 4 and y offsets 2, 4, 8, 6 average to 5.
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 4; ++j) {
      const uint8_t* px = &t.pixels[(i * 4 + j) * 3];
      EXPECT_EQ(px[0], 10 * j + 5);
      EXPECT_EQ(px[1], 10 * i + 5);
      EXPECT_EQ(px[2], 7);
    }

  page* target = page_new_rgb24(3, 3, 0);
  EXPECT_EQ(draw("thumbnail_draw", {int32_t(target->id), -1, 1}), 0);
  EXPECT_EQ(pixel(target, 0, 1)[0], 15);  // column 1 of the thumbnail
  EXPECT_EQ(pixel(target, 2, 2)[1], 15);
  EXPECT_EQ(pixel(target, 0, 0)[0], 0);  // above the thumbnail
  EXPECT_EQ(draw("thumbnail_draw", {int32_t(target->id), 3, 0}), -1);

  // A size below 1 or an 8-bit page leaves no thumbnail.
  draw("thumbnail_capture", {0, 3, int32_t(source->id)});
  EXPECT_EQ(thumbnail_get().width, 0);
  EXPECT_EQ(draw("thumbnail_draw", {int32_t(target->id), 0, 0}), -1);
}

TEST_F(Thumbnails, MakeThumbnailSamplesARectangleAndMakesTheTargetOpaqueThere) {
  page* source = ramp(40, 30);
  page* target = page_new_rgb24(4, 4, 0);
  page_alpha_set(target, page_new_gray8(4, 4, 0));
  memset(target->alpha->bits, 255, size_t(target->alpha->stride) * 4);
  // The rectangle (20, 10, 20, 20) into 2 x 2 at (1, 1).
  EXPECT_EQ(draw("make_thumbnail", {int32_t(source->id), 20, 10, 20, 20, int32_t(target->id), 1, 1, 2, 2}), 0);
  EXPECT_EQ(pixel(target, 1, 1)[0], 25);
  EXPECT_EQ(pixel(target, 2, 2)[1], 25);
  EXPECT_EQ(page_row(target->alpha, 1)[1], 0);
  EXPECT_EQ(page_row(target->alpha, 0)[0], 255);

  page* grey = page_new_gray8(4, 4, 0);
  retry(2);
  draw("make_thumbnail", {int32_t(grey->id), 0, 0, 4, 4, int32_t(target->id), 0, 0, 2, 2});
  draw("make_thumbnail", {999999, 0, 0, 4, 4, int32_t(target->id), 0, 0, 2, 2});
  EXPECT_THAT(reports(), ::testing::ElementsAre(HasSubstr("make_thumbnail: 24Bitのみのサポートです"),
                                                HasSubstr("make_thumbnail: 作成元ページが存在しません")));
}

TEST_F(Thumbnails, ASlotsThumbnailIsDrawnFromItsFile) {
  call_int("save_unlock");
  call_int("snapshot_unlock");
  enter(".entry\nret\n");
  call_int("save_snapshot");
  page* source = ramp(40, 30);
  draw("thumbnail_capture", {4, 3, int32_t(source->id)});
  ASSERT_TRUE(savefile_write(save_slot_path(7).c_str()));
  thumbnail_free();

  page* target = page_new_rgb24(4, 3, 0);
  EXPECT_EQ(draw("save_thumbnail_draw", {7, int32_t(target->id), 0, 0}), 0);
  EXPECT_EQ(pixel(target, 3, 2)[0], 35);
  EXPECT_EQ(draw("save_thumbnail_draw", {8, int32_t(target->id), 0, 0}), -1);
}

TEST_F(Thumbnails, TheSystemMenuSetsTheClickAreasAsideAndFreesThoseMadeMeanwhile) {
  auto area = [] {
    auto* a = static_cast<click_area*>(calloc(1, sizeof(click_area)));
    a->next = vm_thread->input_regions;
    vm_thread->input_regions = a;
    return a;
  };
  click_area* kept = area();
  call_int("system_menu_begin");
  EXPECT_EQ(vm_thread->input_regions, nullptr);
  vm_frame->input_links[0] = area();
  call_int("system_menu_end");
  EXPECT_EQ(vm_thread->input_regions, kept);
  EXPECT_EQ(vm_frame->input_links[0], nullptr);
  // An end without a begin leaves the areas alone.
  call_int("system_menu_end");
  EXPECT_EQ(vm_thread->input_regions, kept);
}

}  // namespace
