#include <cstdlib>
#include <functional>

#include "base/random.h"
#include "builtin_fixture.h"

// The drawing built-ins against per-pixel formulas written out here, and their reports.
class DrawBuiltins : public PageBuiltins {
 protected:
  static value_cell A(int count, int value) {
    array_block* a = array_block_new(TYPE_INT_ARRAY, 1, 1, count);
    for (int i = 0; i < count; i++) array_numbers(a)[i].i = value;
    return array_cell(a);
  }
  int32_t id(const page* p) { return static_cast<int32_t>(p->id); }
};

using channel_formula = std::function<int(int p, int c)>;

TEST_F(DrawBuiltins, RectangleOperationsMatchTheirFormulas) {
  const uint32_t colour = 0x3080C0;  // blue 0x30, green 0x80, red 0xC0
  auto ov = [](int p, int c) { return p < 128 ? 2 * p * c / 255 : 2 * (p + c - p * c / 255) - 255; };
  auto sepia_channel = [](const uint8_t* bgr, int, int dark, int light) {
    int w = bgr[0] + 4 * bgr[1] + 2 * bgr[2] + 1;
    return ((2049 - w) * dark + w * light) >> 11;
  };
  struct row {
    const char* name;
    std::vector<value_cell> extra;
    channel_formula f;  // null: sepia
    int level;          // sepia's level, -1 without
  } rows[] = {
      {"grp_boxfill", {I(int(colour))}, [](int, int c) { return c; }, 0},
      {"grp_extboxfill", {I(int(colour)), I(0)}, [](int p, int c) { return (c * 256 + p) >> 8; }, 0},
      {"grp_extboxfill", {I(int(colour)), I(255)}, [](int p, int c) { return (c + 256 * p) >> 8; }, 0},
      {"grp_mulboxfill", {I(int(colour))}, [](int p, int c) { return (c + 1) * p >> 8; }, 0},
      {"grp_overlayboxfill", {I(int(colour))}, ov, 0},
      {"grp_reverse", {}, [](int p, int) { return 255 - p; }, 0},
      {"grp_sepia", {I(0x102030), I(0xF0E0D0)}, nullptr, -1},
      {"grp_sepia", {I(0x102030), I(0xF0E0D0), I(100)}, nullptr, 100},
  };
  for (const row& r : rows) {
    page* p = random_page(20, 12, false);
    page* before = page_clone(p);
    std::vector<value_cell> args = {I(id(p)), I(-3), I(4), I(10), I(20)};
    args.insert(args.end(), r.extra.begin(), r.extra.end());
    EXPECT_EQ(call(r.name, args), 0);
    EXPECT_TRUE(reports.empty()) << r.name << report_list();
    const uint8_t cb[3] = {0x30, 0x80, 0xC0}, dark[3] = {0x10, 0x20, 0x30}, light[3] = {0xF0, 0xE0, 0xD0};
    for (int y = 0; y < 12; y++)
      for (int x = 0; x < 20; x++)
        for (int ch = 0; ch < 3; ch++) {
          int old = px(before, x, y)[ch], want = old;
          if (x < 7 && y >= 4) {
            if (r.f) {
              want = r.f(old, cb[ch]);
            } else {
              want = sepia_channel(px(before, x, y), ch, dark[ch], light[ch]);
              if (r.level >= 0) want = ((r.level + 1) * old + (256 - r.level) * want) / 256;
            }
          }
          ASSERT_EQ(px(p, x, y)[ch], want) << r.name << " at " << x << "," << y << " channel " << ch;
        }
  }
}

TEST_F(DrawBuiltins, PointsAndEightBitPages) {
  page* p8 = random_page(8, 8, true);
  p8->palette[9] = rgb_quad{0x11, 0x22, 0x33, 0};
  call("grp_point_set", {I(id(p8)), I(2), I(3), I(9)});
  EXPECT_EQ(px(p8, 2, 3)[0], 9);
  EXPECT_EQ(call("grp_point_get", {I(id(p8)), I(2), I(3)}), 0x112233);
  EXPECT_EQ(call("grp_point_get", {I(id(p8)), I(8), I(0)}), -1);
  EXPECT_EQ(call("grp_point_get", {I(999), I(0), I(0)}), 0);
  EXPECT_TRUE(reported("grp_point_get : ページが存在しません"));
  for (const char* name : {"grp_mulboxfill", "grp_overlayboxfill", "grp_reverse"}) {
    call(name, {I(id(p8)), I(0), I(0), I(4), I(4), I(0)});
    EXPECT_TRUE(reported(std::string(name) + " : 256色には対応していません。")) << report_list();
  }
  EXPECT_EQ(call("rgb_pack", {I(300), I(-5), I(128)}), 0x8000FF);
  EXPECT_EQ(call("rgba_pack", {I(1), I(2), I(3), I(400)}), int32_t(0xFF030201));
}

TEST_F(DrawBuiltins, CopiesCheckDepthsAndDefaultThePosition) {
  page* src8 = random_page(10, 10, true);
  page* src24 = random_page(10, 10, false);
  page* dst24 = random_page(10, 10, false);
  page* dst8 = random_page(10, 10, true);
  std::vector<uint8_t> untouched = page_bytes(dst8);
  call("grp_copy", {I(id(src24)), I(0), I(0), I(5), I(5), I(id(dst8))});
  EXPECT_TRUE(reported("grp_copy : 24Bit->8Bitのコピーです"));
  EXPECT_EQ(page_bytes(dst8), untouched);
  call("grp_copy", {I(id(src8)), I(2), I(3), I(4), I(4), I(id(dst24))});
  for (int y = 3; y < 7; y++)
    for (int x = 2; x < 6; x++) {
      const rgb_quad& q = src8->palette[px(src8, x, y)[0]];
      ASSERT_EQ(px(dst24, x, y)[0], q.blue);
      ASSERT_EQ(px(dst24, x, y)[2], q.red);
    }
  call("grp_swap", {I(id(src8)), I(0), I(0), I(2), I(2), I(id(dst24)), I(0), I(0)});
  EXPECT_TRUE(reported("grp_swap : 8Bit->24Bitのコピーです"));
  call("grp_mulcopy", {I(id(src24)), I(0), I(0), I(2), I(2), I(id(dst8))});
  EXPECT_TRUE(reported("grp_mulcopy : 転送元、転送先共にに8ビットしか指定できません"));
  call("grp_extcopy", {I(id(src24)), I(0), I(0), I(2), I(2), I(id(dst8))});
  EXPECT_TRUE(reported("grp_extcopy : 転送先に8ビットは指定できません"));
}

TEST_F(DrawBuiltins, TableArgumentsAreCheckedInOrder) {
  page* src = random_page(8, 8, false);
  page* dst = random_page(8, 8, false);
  page* base = random_page(8, 8, true);
  struct row {
    const char* name;
    std::vector<value_cell> args;
    const char* report;
  } rows[] = {
      {"grp_alfa_tabled_copy", {I(id(src)), I(0), I(0), I(8), I(8), I(id(dst)), I(0), I(0), I(999), A(10, 0)},
       "αのベースページが存在しません"},
      {"grp_alfa_tabled_copy", {I(id(src)), I(0), I(0), I(8), I(8), I(id(dst)), I(0), I(0), I(id(base)), A(255, 0)},
       "配列の要素が不足しています。"},
      {"make_alfa_table", {I(id(base)), I(id(base)), I(5)}, "配列の要素が不足しています。"},
      {"fuchidori_copy", {I(id(src)), I(id(dst)), I(id(src)), I(0), I(0), A(256, 0)}, "αテーブルページが８ビットでは有りません"},
      {"fuchidori_copy", {I(id(src)), I(id(dst)), I(id(base)), I(0), I(0), I(3)}, "配列の要素が不足しています。"},
  };
  for (row& r : rows) {
    std::vector<uint8_t> before = page_bytes(dst);
    call(r.name, r.args);
    EXPECT_TRUE(reported(std::string(r.name) + " : " + r.report)) << r.name << report_list();
    EXPECT_EQ(page_bytes(dst), before);
  }
  // A whole table of 0 (opaque) through the base page makes the tabled copy a plain copy.
  call("grp_alfa_tabled_copy", {I(id(src)), I(0), I(0), I(8), I(8), I(id(dst)), I(0), I(0), I(id(base)), A(256, -7)});
  EXPECT_TRUE(reports.empty()) << report_list();
  EXPECT_EQ(page_diff(dst, src), "");
}

TEST_F(DrawBuiltins, MosaicBlocksSplitTheLeftoverEvenly) {
  // Source colours constant over each would-be block (columns from dx - 3 step 4, rows from
  // dy - 3 step 4 for 10 x 6 and d = 4), so every block copies exactly.
  page* src = page_new(10, 6, 0, 0);
  for (int y = 0; y < 6; y++)
    for (int x = 0; x < 10; x++) {
      uint8_t v = static_cast<uint8_t>(((x + 3) / 4) * 60 + ((y + 3) / 4) * 17);
      px(src, x, y)[0] = px(src, x, y)[1] = px(src, x, y)[2] = v;
    }
  page* dst = page_new(12, 8, 0, 0);
  engine_srand(7);
  call("make_mosaic", {I(id(src)), I(0), I(0), I(10), I(6), I(id(dst)), I(1), I(1), I(4)});
  page* want = page_new(12, 8, 0, 0);
  page_rect sr{0, 0, 10, 6}, dr{1, 1, 10, 6};
  page_copy_kernel(src, sr, want, dr);
  EXPECT_EQ(page_diff(dst, want), "");
  // A block size of 0 counts as 1: every pixel is its own block.
  page* noisy = random_page(10, 6, false);
  call("make_mosaic", {I(id(noisy)), I(0), I(0), I(10), I(6), I(id(dst)), I(1), I(1), I(0)});
  page_copy_kernel(noisy, sr, want, dr);
  EXPECT_EQ(page_diff(dst, want), "");
}
