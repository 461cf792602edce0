// The font built-ins: descriptor stacks per thread, fontout's pen and alignments, their reports,
// and private fonts found by every family name they carry.
#include <filesystem>
#include <fstream>
#include <iterator>

#include "base/gamepath.h"
#include "platform/glyph_render.h"
#include "text_fixture.h"

namespace {

using font_builtins = text_test;

TEST_F(font_builtins, EachThreadHasItsOwnStackWithTheDefaultBelowEverything) {
  script_thread* main = vm_thread;
  call("fontout_set_font", {"ＭＳ 明朝", 30});
  font_descriptor* a = vm_thread->font_stack;
  ASSERT_NE(a, nullptr);
  EXPECT_EQ((std::vector<int>{a->mincho, a->width, a->pitch}), (std::vector<int>{1, 15, 37}));
  // Sizes past the message code's bound (512) are reported and change nothing.
  size_t reports = platform.boxes.size();
  call("fontout_set_font", {"Big", 20000});
  call("fontout_set_font", {"Big", 100, 513});
  call("fontout_set_font", {"Big", -1, 10});
  EXPECT_EQ(platform.boxes.size(), reports + 3);
  EXPECT_EQ((std::vector<int>{a->size, a->width, a->mincho}), (std::vector<int>{30, 15, 1}));
  call("fontout_state_push", {});
  EXPECT_EQ(vm_thread->font_stack->previous, a);
  EXPECT_EQ(vm_thread->font_stack->size, 20);

  script_thread* other = thread_create(1);
  thread_switch(other);
  call("fontout_set_font", {"Face"});
  font_descriptor* b = other->font_stack;
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->previous, nullptr);
  EXPECT_EQ((std::vector<int>{b->size, b->width, b->pitch, b->fill, b->mincho}), (std::vector<int>{20, 10, 25, 0, 0}));
  EXPECT_EQ(b->target, front->id);
  call("fontout_state_pop", {});
  call("fontout_state_pop", {});  // empty: nothing
  EXPECT_EQ(other->font_stack, nullptr);

  thread_switch(main);
  call("fontout_state_pop", {});
  EXPECT_EQ(vm_thread->font_stack, a);
  EXPECT_EQ(a->size, 30);
  thread_destroy(other);
}

TEST_F(font_builtins, FontoutDrawsAtThePenAndMovesItAlongItsBox) {
  // A thread that never pushed draws with the default at 0, 0 on the front page.
  call("fontout", {"abc"});
  font_descriptor* d = vm_thread->font_stack;
  ASSERT_NE(d, nullptr);
  int w = text_measure(d, "abc", 0).width;
  EXPECT_EQ(d->x, w);
  page_rect ink = ink_box(front, 0);
  EXPECT_LT(ink.x, 3);
  EXPECT_LT(ink.x + ink.width, w + 2);

  // Alignment in a 100 x 40 box: -2 right, -1 left, none or anything else centred.
  int wide = 2 * 20;  // "漢字" at size 20
  struct align_case {  // an aggregate, so that the argument lists live as long as the table
    std::initializer_list<arg> args;
    int start;
  };
  const align_case cases[] = {{{"漢字", 100, 40, -2}, 100 - wide},
                              {{"漢字", 100, 40, -1}, 0},
                              {{"漢字", 100, 40}, (100 - wide) / 2},
                              {{"漢字", 100, 40, 5}, (100 - wide) / 2}};
  for (const auto& [args, start] : cases) {
    clear_front();
    call("fontout_locate", {front->id, 0, 10});
    call("fontout", args);
    EXPECT_EQ(d->x, start + wide);
    EXPECT_EQ(d->y, 10);  // restored
    page_rect drawn = ink_box(front, 0);
    EXPECT_GE(drawn.x, start);
    EXPECT_LE(drawn.x + drawn.width, start + wide + 1);
    EXPECT_GE(drawn.y, 10 + (40 - 20) / 2);
  }
}

TEST_F(font_builtins, BadPagesAndMissingFontFilesAreReported) {
  page* other = page_new_rgb24(50, 50, 0);
  call("fontout_locate", {other->id, 4, 5});
  EXPECT_EQ(vm_thread->font_stack->target, other->id);
  call("fontout_locate", {12345, 1, 2});
  EXPECT_NE(last_box().find("fontout_locate: 出力先ページが存在しません"), std::string::npos) << last_box();
  EXPECT_EQ(vm_thread->font_stack->target, front->id);
  EXPECT_EQ(vm_thread->font_stack->x, 1);

  call("fontout_locate", {other->id, 0, 0});
  page_free(other, 1);
  size_t boxes = platform.boxes.size();
  call("fontout", {"abc"});
  EXPECT_EQ(platform.boxes.size(), boxes + 1);
  EXPECT_NE(last_box().find("fontout: 出力先ページが存在しません"), std::string::npos) << last_box();
  EXPECT_EQ(vm_thread->font_stack->x, 0);

  call("load_font", {"nofont.ttf"});
  EXPECT_NE(last_box().find("load_font: ファイル[nofont.ttf]が存在しません"), std::string::npos) << last_box();
  EXPECT_EQ(glyph_face_file("nofont"), glyph_face_file("ＭＳ ゴシック"));
}

// A copy of the gothic face under other family names, Latin and localised, that no installed
// face carries.
std::string renamed_face() {
  std::ifstream in(glyph_face_file("ＭＳ ゴシック"), std::ios::binary);
  std::string data(std::istreambuf_iterator<char>(in), {});
  auto replace_all = [&](const std::string& from, const std::string& to) {
    for (size_t at = 0; (at = data.find(from, at)) != std::string::npos; at += to.size()) data.replace(at, from.size(), to);
  };
  replace_all("IPAGothic", "VaskTestG");
  replace_all(std::string("\0I\0P\0A\0G\0o\0t\0h\0i\0c", 18), std::string("\0V\0a\0s\0k\0T\0e\0s\0t\0G", 18));
  replace_all(std::string("\0I\0P\0A\x30\xB4", 8), std::string("\0X\0Y\0Z\x30\xB4", 8));
  return data;
}

TEST_F(font_builtins, LoadedFontsAreFoundByEachOfTheirFamilyNamesUntilReleased) {
  game.write("font/mine.ttf", renamed_face());
  ASSERT_EQ(glyph_face_file("VaskTestG"), glyph_face_file("ＭＳ ゴシック"));  // not there yet
  temp_dir outside;  // a font outside the game's folder is none of the game's
  outside.write("their.ttf", renamed_face());
  for (std::string name : {outside.at("their.ttf"), "..\\" + outside.path().substr(outside.path().rfind('/') + 1) + "\\their.ttf"})
    call("load_font", {name.c_str()});
  EXPECT_EQ(platform.boxes.size(), 2u);
  platform.boxes.clear();
  call("load_font", {"mine.ttf"});
  EXPECT_TRUE(platform.boxes.empty()) << last_box();
  std::string mine = glyph_face_file("VaskTestG");
  EXPECT_NE(mine.find("mine.ttf"), std::string::npos) << mine;
  EXPECT_EQ(glyph_face_file("XYZゴシック"), mine);
  call("fontout_set_font", {"VaskTestG"});
  call("fontout", {"永"});
  EXPECT_GT(ink_box(front, 0).width, 10);
  font_release_all();
  EXPECT_EQ(glyph_face_file("VaskTestG"), glyph_face_file("ＭＳ ゴシック"));
}

TEST_F(font_builtins, TheQualityDecidesTheScaleAndTheCacheMatch) {
  for (auto [mode, scale] : {std::pair{0, 1}, std::pair{2, 4}, std::pair{1, 4}, std::pair{7, 4}}) {
    call("set_font_quality", {mode});
    EXPECT_EQ(font_quality_scale(), scale) << mode;
  }
  call("font_cache_open", {"ＭＳ ゴシック", 24, 12});
  call("fontout_set_font", {"ＭＳ ゴシック", 24});
  EXPECT_EQ(vm_thread->font_stack->cache_match, 1);
  call("fontout_set_font", {"ＭＳ ゴシック", 24, 11});  // another width
  EXPECT_EQ(vm_thread->font_stack->cache_match, 0);
  call("set_font_quality", {0});
  call("fontout_set_font", {"ＭＳ ゴシック", 24});
  EXPECT_EQ(vm_thread->font_stack->cache_match, 0);
  call("font_cache_open", {"ＭＳ ゴシック", 24, 1 << 30});  // past the bound: no cache
  EXPECT_EQ(font_cache_matches("ＭＳ ゴシック", 24, 1 << 30, 1), 0);
  call("font_cache_open", {"", 24, 12});  // no cache at all
  call("set_font_quality", {1});
  call("fontout_set_font", {"ＭＳ ゴシック", 24});
  EXPECT_EQ(vm_thread->font_stack->cache_match, 0);
}

}  // namespace
