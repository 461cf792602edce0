// The sprite built-ins: report texts, creation edge cases, draw order and groups, visibility,
// pasting, release, waits while suspended, table limits, and the module's life cycle.
#include <algorithm>
#include <vector>

#include "image_encoder.h"
#include "sprite_fixture.h"

namespace {

using sprite_builtins = sprite_test;

TEST_F(sprite_builtins, AMissingSpriteIsReportedByNameAndNothingChanges) {
  const uint32_t none = 0x7777;  // never issued
  // Each report is the built-in's name, its separator (as the engine always wrote it) and text.
  const struct {
    const char* separator;
    const char* text;
    std::vector<const char*> names;
  } groups[] = {
      {" : ", "スプライトが存在しません",
       {"sprite_release", "sprite_page_auto_release", "sprite_move", "sprite_move_wait", "is_sprite_move",
        "sprite_get_pos_x", "sprite_get_pos_y", "sprite_len_x", "sprite_len_y", "sprite_animate_define",
        "sprite_animate_add", "sprite_animate_define_aligned", "sprite_animate_wait", "sprite_alfa_define",
        "sprite_alfa_define_aligned", "sprite_alfa_set", "sprite_tl_set", "sprite_alfa_wait", "sprite_rotate",
        "sprite_xmodify_define", "sprite_ymodify_define", "sprite_xmodify_set", "sprite_ymodify_set",
        "sprite_paste"}},
      {": ", "スプライトが存在しません",
       {"sprite_push", "sprite_pop", "sprite_clip", "ps_sprite_get_page", "ps_sprite_set_smooth_animation"}},
      {" : ", "第１パラメータのスプライトが存在しません",
       {"sprite_priority_low", "sprite_priority_high", "sprite_priority_low_single", "sprite_priority_high_single"}},
  };
  for (const auto& g : groups)
    for (const char* name : g.names) {
      size_t before = platform.boxes.size();
      EXPECT_EQ(call(name, {none, 1, 1, 1, 1}), 0) << name;
      EXPECT_EQ(platform.boxes.size(), before + 1) << name;
      EXPECT_EQ(last_box(), std::string(name) + g.separator + g.text);
    }

  page* p = make_front(64, 64);
  sprite* s = create(p);
  EXPECT_EQ(call("sprite_priority_high", {s->id, none}), 0);
  EXPECT_EQ(last_box(), "sprite_priority_high : 第２パラメータのスプライトが存在しません");
  EXPECT_EQ(call("sprite_exists", {none}), 0);
  EXPECT_EQ(call("sprite_exists", {s->id}), 1);
  EXPECT_EQ(call("sprite_exists", {p->id}), 0);  // a page's id is no sprite
  EXPECT_EQ(call("sprite_paste", {s->id, none}), 0);
  EXPECT_EQ(last_box(), "sprite_paste : 出力先ページが存在しません");
  EXPECT_EQ(call("invalidate_rect", {none}), 0);
  EXPECT_EQ(last_box(), "invalidate_rect : ページが存在しません");
}

TEST_F(sprite_builtins, CreationChecksItsArgumentsAndGoesOn) {
  page* front = make_front(320, 240);
  page* p = solid(50, 40, 0);
  EXPECT_EQ(call("sprite_create", {0x7777u}), 0);
  EXPECT_EQ(last_box(), "sprite_create : ページが存在しません");

  // Three arguments: reported, then the whole page on the front page.
  sprite* s = sprite_from_id(static_cast<uint32_t>(call("sprite_create", {p->id, 5, 6})));
  EXPECT_EQ(last_box(),
            "sprite_create : パラメータは１個か５個か６個(_no, _x, _y, _xl, _y, _topage)のどれかにして下さい");
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->width, 50);
  EXPECT_EQ(s->target_page, front);
  EXPECT_EQ(s->x, SPRITE_OFF_PAGE);
  EXPECT_EQ(call("sprite_len_x", {s->id}), 50);
  EXPECT_EQ(call("sprite_len_y", {s->id}), 40);
  EXPECT_EQ(call("ps_sprite_get_page", {s->id}), static_cast<int32_t>(p->id));

  size_t boxes = platform.boxes.size();
  s = sprite_from_id(static_cast<uint32_t>(call("sprite_create", {p->id, 0, 0, 0, 10})));
  EXPECT_EQ(last_box(), "sprite_create : 大きさが０以下のスプライトは作成できません");
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->width, 1);
  EXPECT_EQ(platform.boxes.size(), boxes + 1);

  EXPECT_EQ(call("sprite_create", {p->id, 0, 0, 5, 5, 0x7777u}), 0);
  EXPECT_EQ(last_box(), "sprite_create : 転送先ページが存在しません");
  EXPECT_EQ(sprite_count(), 2);

  call("sprite_clip", {s->id, 3, 4, -1, 7});
  EXPECT_EQ(last_box(), "sprite_clip : 大きさが０以下のスプライトは作成できません");
  EXPECT_EQ(s->cell_x, 3);
  EXPECT_EQ(s->width, 1);
  EXPECT_EQ(s->height, 7);
}

TEST_F(sprite_builtins, PriorityMovesPastTheReferencesGroupAndJoinsIt) {
  make_front(64, 64);
  page* p = solid(4, 4, 0);
  sprite *a = create(p), *b = create(p), *c = create(p), *d = create(p), *s = create(p);
  sprite* all[] = {a, b, c, d, s};
  auto order = [&] {  // oldest first
    std::string o;
    for (sprite* q = sprite_oldest(); q; q = q->newer)
      o += static_cast<char>('a' + (std::find(std::begin(all), std::end(all), q) - std::begin(all)));
    return o;
  };
  ASSERT_EQ(order(), "abcde");  // e is s
  call("sprite_priority_high_single", {b->id, a->id});
  call("sprite_priority_high_single", {c->id, b->id});
  EXPECT_EQ(c->group, a->id);
  call("sprite_priority_high", {s->id, a->id});  // a, b and c share a's group: s above all three
  EXPECT_EQ(order(), "abced");
  EXPECT_EQ(s->group, a->id);
  call("sprite_priority_low", {d->id, c->id});  // the run below c: c, b, a, and s does not break it
  EXPECT_EQ(order(), "dabce");
  call("sprite_priority_low_single", {s->id, b->id});
  EXPECT_EQ(order(), "daebc");
  call("sprite_priority_high", {d->id});
  call("sprite_priority_low", {c->id});
  EXPECT_EQ(order(), "caebd");
  EXPECT_EQ(sprite_newest(), d);
  EXPECT_EQ(sprite_oldest(), c);
  call("sprite_priority_high_single", {a->id, a->id});  // itself: stays
  EXPECT_EQ(order(), "caebd");
}

TEST_F(sprite_builtins, PushHidesAndPopShowsAgainAtTheSameDepth) {
  page* front = make_front(64, 64, 0);
  page* back = solid(64, 64, 0x222222);
  page* red = solid(8, 8, 0x0000FF);
  sprite* bg = place(back, 0, 0);
  sprite* s = place(red, 10, 10);
  frame();
  EXPECT_EQ(pixel(front, 12, 12), 0x0000FFu);
  call("sprite_push", {s->id});
  call("sprite_push", {s->id});
  frame(20);
  EXPECT_EQ(pixel(front, 12, 12), 0x222222u);  // hiding repaints the area without it
  call("sprite_pop", {s->id});
  frame(20);
  EXPECT_EQ(s->hide, -1);
  EXPECT_EQ(pixel(front, 12, 12), 0x222222u);
  call("sprite_pop", {s->id});
  frame(20);
  EXPECT_EQ(pixel(front, 12, 12), 0x0000FFu);
  call("sprite_pop", {s->id});
  EXPECT_EQ(s->hide, 0);
  call("sprite_push", {});  // every sprite
  EXPECT_EQ(bg->hide, -1);
  EXPECT_EQ(s->hide, -1);
  call("sprite_pop", {});
  EXPECT_EQ(bg->hide, 0);

  // A smaller cell repaints the part of the old one it no longer covers.
  frame(20);
  call("sprite_clip", {s->id, 0, 0, 2, 2});
  frame(20);
  EXPECT_EQ(pixel(front, 10, 10), 0x0000FFu);
  EXPECT_EQ(pixel(front, 14, 14), 0x222222u);
}

TEST_F(sprite_builtins, PasteDrawsOnceOntoAnyPageAndMarksIt) {
  page* front = make_front(64, 64, 0);
  page* src = solid(10, 10, 0x00FF00);
  page* canvas = solid(30, 30, 0x000001);
  place(canvas, 0, 0);
  sprite* s = place(src, 0, 0, canvas);
  call("sprite_move", {s->id, 24, 24, 1000});  // from the jump's target; paste steps the move once
  pass(500);
  call("sprite_paste", {s->id, canvas->id});
  EXPECT_EQ(pixel(canvas, 11, 11), 0x000001u);
  EXPECT_EQ(pixel(canvas, 12, 12), 0x00FF00u);  // halfway: (12, 12) .. (22, 22)
  EXPECT_EQ(pixel(canvas, 22, 22), 0x000001u);
  call("sprite_paste", {s->id, canvas->id, -5, 25});
  EXPECT_EQ(pixel(canvas, 0, 25), 0x00FF00u);
  EXPECT_EQ(pixel(canvas, 5, 25), 0x000001u);
  frame();
  EXPECT_EQ(pixel(front, 0, 27), 0x00FF00u);  // the canvas shown on the front has it too
  call("sprite_alfa_set", {s->id, 255});
  page_fill_rect(canvas, page_rect{0, 0, 30, 30}, 0);
  call("sprite_paste", {s->id, canvas->id, 0, 0});
  EXPECT_EQ(pixel(canvas, 1, 1), 0u);  // invisible sprites paste nothing
}

TEST_F(sprite_builtins, ReleaseFreesTheSourceOnlyWithAutoRelease) {
  make_front(64, 64);
  page* kept = solid(4, 4, 0);
  page* owned = solid(4, 4, 0);
  give_alpha(owned, 0);
  sprite* a = create(kept);
  sprite* b = create(owned);
  uint32_t owned_id = owned->id, alpha_id = owned->alpha->id;
  EXPECT_EQ(page_is_sprite_source(owned), 1);
  call("sprite_page_auto_release", {b->id});
  call("sprite_release", {a->id});
  call("sprite_release", {b->id});
  EXPECT_EQ(sprite_count(), 0);
  EXPECT_EQ(page_missing(kept->id), 0);
  EXPECT_EQ(page_missing(owned_id), 1);
  EXPECT_EQ(page_missing(alpha_id), 1);

  page* persistent = solid(4, 4, 0, 1);
  sprite* c = create(persistent);
  call("sprite_page_auto_release", {c->id});
  call("sprite_release", {c->id});
  EXPECT_EQ(page_missing(persistent->id), 0);  // pages refuse to go while persistent
}

// Thousands of sprite pictures go at a reset or on release, each looking only at its own users,
// never at every page or sprite left.
TEST_F(sprite_builtins, ReleasingPicturesLooksOnlyAtTheirOwnUsers) {
  make_front(64, 64);
  constexpr int N = 2000;
  std::vector<uint32_t> sprites;
  for (int i = 0; i < 2 * N; i++) {
    page* p = solid(4, 4, 0);
    give_alpha(p, 0);
    if (i % 2) sprites.push_back(create(p)->id);
  }
  uint64_t before = page_free_visits();
  for (uint32_t id : sprites) call("sprite_page_auto_release", {id}), call("sprite_release", {id});
  page_free_nonpersistent();
  EXPECT_EQ(page_count(), 1);
  EXPECT_LE(page_free_visits() - before, uint64_t(4 * N));  // one alpha user or one reader a page
}

TEST_F(sprite_builtins, WaitsOnThreadZeroEndAtOnceWhileUpdatesAreSuspended) {
  make_front(64, 64);
  sprite* s = create(solid(4, 4, 0));
  call("sprite_move", {s->id, 10, 10, 100});
  EXPECT_EQ(call("sprite_move_wait", {s->id}), WAITED);
  EXPECT_EQ(vm_frame->wait_deadline, vm_time_get() + 1);
  call("sprite_update_suspend", {});
  EXPECT_EQ(sprite_update_suspend_count(), 1);
  EXPECT_EQ(call("sprite_move_wait", {s->id}), 0);
  EXPECT_EQ(vm_frame->wait_deadline, WAIT_NONE);

  script_thread* main = vm_thread;
  thread_switch(thread_create(5));
  EXPECT_EQ(call("sprite_move_wait", {s->id}), WAITED);  // other threads still wait
  thread_switch(main);
  call("sprite_update_resume", {});
  EXPECT_EQ(sprite_update_suspend_count(), 0);
}

TEST_F(sprite_builtins, DefinersRefuseMoreEntriesThanTheirTablesHold) {
  make_front(64, 64);
  sprite* s = create(solid(4, 4, 0));
  auto define = [&](const char* name, int values, bool floats) {
    for (int i = values; i >= 1; i--) {
      value_cell c = floats && i % 2 == 1 ? float_cell(1.0f) : int_cell(i % 2 ? 1 : 10);
      stack_push_value(&c);
    }
    push_int(static_cast<int32_t>(s->id));
    builtin_instruction_run(instruction, builtin_named(name)->hash, static_cast<int16_t>(values + 1), true);
  };
  size_t boxes = platform.boxes.size();
  define("sprite_animate_define", 2 * 63 + 1, false);  // 63 pairs and a held cell: the whole table
  EXPECT_EQ(platform.boxes.size(), boxes);
  EXPECT_EQ(s->animation.count, 64);
  EXPECT_EQ(s->animation.state, 1);
  call("sprite_animate_define", {s->id});
  define("sprite_animate_define", 2 * 64, false);
  EXPECT_EQ(last_box(), "sprite_animate_define : アニメデータが多すぎです！");
  EXPECT_EQ(s->animation.state, 0);  // not started
  define("sprite_animate_define_aligned", 2 * 64, false);
  EXPECT_EQ(last_box(), "sprite_animate_define_aligned : アニメデータが多すぎです！");
  define("sprite_animate_add", 2 * 60, false);
  define("sprite_animate_add", 2 * 4, false);  // 64 pairs in all
  EXPECT_EQ(last_box(), "sprite_animate_add : アニメデータが多すぎです！");
  EXPECT_EQ(s->animation.count, 60);

  boxes = platform.boxes.size();
  define("sprite_alfa_define", 2 * 31, false);  // 31 pairs and the closing one
  EXPECT_EQ(platform.boxes.size(), boxes);
  EXPECT_EQ(s->alpha.count, 32);
  define("sprite_alfa_define", 2 * 31 + 1, false);
  EXPECT_EQ(last_box(), "sprite_alfa_define : データが多すぎです！");
  define("sprite_xmodify_define", 2 * 32, true);
  EXPECT_EQ(last_box(), "sprite_xmodify_define : データが多すぎです！");
  define("sprite_ymodify_define", 2 * 31, true);
  EXPECT_EQ(s->yscale.track.count, 32);
  EXPECT_EQ(vm_frame->top, 1);  // every call left the stack as it found it
}

TEST_F(sprite_builtins, ResetKeepsKeptSpritesAndFreesTheRest) {
  page* front = make_front(64, 64);
  page* scratch = solid(8, 8, 0);
  page* lasting = solid(8, 8, 0, 1);
  sprite* kept = create(lasting);
  call("sprite_move", {kept->id, 5, 5, 1000});
  call("sprite_alfa_define", {kept->id, 100, 1000});
  sprite_mark_all_kept();
  uint32_t gone = create(scratch)->id, scratch_id = scratch->id;
  create(lasting, solid(16, 16, 0, 1));
  call("sprite_push", {kept->id});
  call("sprite_update_suspend", {});
  sprite_reset();
  EXPECT_EQ(sprite_count(), 1);
  EXPECT_EQ(sprite_from_id(gone), nullptr);
  EXPECT_EQ(sprite_newest(), kept);
  EXPECT_EQ(kept->move_state, 0);
  EXPECT_EQ(kept->alpha.state, 0);
  EXPECT_EQ(kept->hide, 0);
  EXPECT_EQ(kept->x, SPRITE_OFF_PAGE);
  EXPECT_EQ(page_missing(scratch_id), 1);
  EXPECT_EQ(page_count(), 3);  // front, lasting and the other sprite's persistent target
  EXPECT_EQ(sprite_update_suspend_count(), 0);
  EXPECT_NE(page_grid_find(front), nullptr);
  EXPECT_EQ(page_grid_count(), 1);  // the other target's grid had no users left

  sprite_release_all();
  EXPECT_EQ(sprite_count(), 0);
  EXPECT_EQ(page_grid_count(), 0);
}

TEST_F(sprite_builtins, AFreedPageIsForgottenByEverySpriteThatHeldIt) {
  page* front = make_front(64, 64);
  page* src = solid(8, 8, 0x0000FF);
  page* target = solid(32, 32, 0);
  sprite* s = create(src, target);
  sprite* t = sprite_from_id(static_cast<uint32_t>(call("sprite_create_transformable", {src->id})));
  call("sprite_move", {s->id, 1, 1});
  call("sprite_move", {t->id, 20, 20});
  call("ps_sprite_set_smooth_animation", {s->id});
  frame();
  ASSERT_NE(t->work_page, nullptr);
  page_free(target, 1);
  EXPECT_EQ(s->target_page, nullptr);
  EXPECT_EQ(page_grid_count(), 1);
  page_free(src, 1);
  EXPECT_EQ(s->source_page, nullptr);
  EXPECT_EQ(t->source_page, nullptr);
  page_free(t->work_page, 1);
  EXPECT_EQ(t->work_page, nullptr);
  page_free(s->cross_fade_page, 1);
  EXPECT_EQ(s->cross_fade_page, nullptr);
  call("sprite_move", {s->id, 3, 3});
  call("sprite_animate_define", {s->id, 1, 10, 2, 10});
  call("sprite_move", {t->id, 30, 30});
  frame(20);
  frame(20);
  call("sprite_paste", {t->id, front->id});
  call("sprite_release", {s->id});
  call("sprite_release", {t->id});
  EXPECT_EQ(sprite_count(), 0);
}

class sprite_files : public sprite_test {
 protected:
  void put(const std::string& name, const std::vector<uint8_t>& bytes) {
    game.write(name, std::string(bytes.begin(), bytes.end()));
  }
  void put_picture(const std::string& name, int w, int h, uint32_t colour) {
    page* p = solid(w, h, colour);
    put(name, rct_encode(p));
    page_free(p, 1);
  }
  void put_mask(const std::string& name, int w, int h, uint8_t level) {
    page* p = page_new_gray8(w, h, 0);
    page_fill_rect(p, page_rect{0, 0, w, h}, level);
    put(name, rc8_encode(p));
    page_free(p, 1);
  }
};

TEST_F(sprite_files, AnImageWithItsMaskBecomesAnAutoReleasedSource) {
  make_front(64, 64);
  put_picture("pic.rct", 20, 10, 0x123456);
  put_mask("pic_.rc8", 20, 10, 77);
  int pages = page_count();
  sprite* s = sprite_from_id(static_cast<uint32_t>(call("sprite_create_file", {"ev\\pic"})));
  ASSERT_NE(s, nullptr);
  EXPECT_TRUE(platform.boxes.empty()) << last_box();
  EXPECT_EQ(s->auto_release, 1);
  EXPECT_EQ(s->width, 20);
  EXPECT_EQ(pixel(s->source_page, 3, 3), 0x123456u);
  ASSERT_NE(s->source_page->alpha, nullptr);
  EXPECT_EQ(page_row(s->source_page->alpha, 2)[2], 77);
  EXPECT_EQ(page_count(), pages + 2);
  call("sprite_release", {s->id});
  EXPECT_EQ(page_count(), pages);

  // Transformable: a source without a mask gets an opaque alpha page.
  put_picture("plain.rct", 8, 8, 0x00FF00);
  s = sprite_from_id(static_cast<uint32_t>(call("sprite_create_file_transformable", {"plain", 0, 0, 4, 4})));
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->transformable, 1);
  ASSERT_NE(s->source_page->alpha, nullptr);
  EXPECT_EQ(page_row(s->source_page->alpha, 7)[7], 0);
  EXPECT_NE(call("sprite_create_file", {"plain", 0, 0}), 0);  // reported, and goes on
  EXPECT_EQ(last_box(),
            "sprite_create_file : パラメータは１個か５個か６個(_file, _x, _y, _xl, _yl, _topage)のどれかにして下さい");
}

TEST_F(sprite_files, ABadMaskOrTargetCreatesNothing) {
  make_front(64, 64);
  put_picture("a.rct", 20, 10, 0);
  put_picture("a_.rct", 20, 10, 0);
  put_picture("b.rct", 20, 10, 0);
  put_mask("b_.rc8", 10, 10, 0);
  int pages = page_count();
  EXPECT_EQ(call("sprite_create_file", {"a"}), 0);
  EXPECT_EQ(last_box(), "sprite_create_file : ファイル[a_.rct]は8ビットでは有りません");
  EXPECT_EQ(call("sprite_create_file", {"b"}), 0);
  EXPECT_EQ(last_box(), "sprite_create_file : ページの大きさをそろえる必要が有ります。");
  EXPECT_EQ(call("sprite_create_file", {"b", 0, 0, 1, 1, 0x7777u}), 0);
  EXPECT_EQ(last_box(), "sprite_create_file : 転送先ページが存在しません");
  EXPECT_EQ(sprite_count(), 0);
  EXPECT_EQ(page_count(), pages);
}

TEST_F(sprite_files, AMissingImageIsAskedForAgainOrStandsInWhenSilent) {
  make_front(64, 64);
  platform.queued_answers.clear();
  platform.answer_boxes({IDRETRY, IDCANCEL});
  EXPECT_THROW(call("sprite_create_file", {"nope"}), fatal_exit_called);
  ASSERT_EQ(platform.boxes.size(), 2u);
  EXPECT_EQ(box(0), "sprite_create_file : ファイル[nope]が存在しません");
  EXPECT_EQ(box(1), box(0));
  while (vm_frame->top > 1) stack_pop();  // the call never finished: its argument is still there

  error_report_mode_set(2);  // a packaged game: no reports
  sprite* s = sprite_from_id(static_cast<uint32_t>(call("sprite_create_file", {"gone_"})));
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->source_page->is_8bit, 1);
  EXPECT_EQ(s->width, 1);
  s = sprite_from_id(static_cast<uint32_t>(call("sprite_create_file", {"gone"})));
  EXPECT_EQ(s->source_page->is_8bit, 0);
  EXPECT_EQ(platform.boxes.size(), 2u);
}

}  // namespace
