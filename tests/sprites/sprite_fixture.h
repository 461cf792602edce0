// Sprites on the fake clock: a VM thread to call built-ins from, a front page, an environment
// file, and helpers for solid pages and pixels.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <string>

#include "base/datasource.h"
#include "base/env.h"
#include "graphics/gfx_id.h"
#include "graphics/kernel.h"
#include "graphics/page.h"
#include "graphics/page_grid.h"
#include "graphics/presentation.h"
#include "graphics/sprite.h"
#include "platform/window.h"
#include "shell/env_keys.h"
#include "shell/window_core.h"
#include "test_support.h"
#include "vm/builtin_table.h"
#include "vm/dispatcher.h"
#include "vm/interpreter.h"
#include "vm/opcodes.h"
#include "vm/script_error.h"
#include "vm/thread.h"
#include "vm/variables.h"

using arg = call_arg;

class sprite_test : public engine_test {
 protected:
  void SetUp() override {
    engine_test::SetUp();
    reset_all();
    data_base_folder_set(game.path().c_str());
    thread_switch(thread_create(0));
    vm_clock_reset();
    vm_time_update();
    // Reports are answered with Retry, so the built-in goes on.
    for (int i = 0; i < 64; i++) platform.queued_answers.push_back(IDRETRY);
  }
  void TearDown() override {
    reset_all();
    threads_destroy_all();
    thread_switch(nullptr);
    engine_test::TearDown();
  }
  void reset_all() { graphics_state_reset(); }

  void load_env(const std::string& text) { game_env_load(game, text); }

  // A persistent 24-bit front page of the given colour.
  page* make_front(int w, int h, uint32_t colour = 0) {
    page* p = solid(w, h, colour, 1);
    front_page_set(p);
    return p;
  }
  page* solid(int w, int h, uint32_t colour, int persistent = 0) {
    page* p = page_new_rgb24(w, h, persistent);
    page_fill_rect(p, page_rect{0, 0, w, h}, colour);
    return p;
  }
  // An 8-bit alpha page of the page's size holding one level.
  page* give_alpha(page* p, uint8_t level) {
    page_alpha_set(p, page_new_gray8(p->width, p->height, p->persistent));
    p->owns_alpha = 1;
    page_fill_rect(p->alpha, page_rect{0, 0, p->width, p->height}, level);
    return p->alpha;
  }
  static uint32_t pixel(const page* p, int x, int y) {
    const uint8_t* b = page_row(p, y) + 3 * x;
    return static_cast<uint32_t>(b[2]) | b[1] << 8 | b[0] << 16;
  }

  // Moves the clock on, starts a pass and runs one frame of sprite work.
  void frame(uint32_t ms = 0) {
    pass(ms);
    sprite_update_all();
  }
  void pass(uint32_t ms) {
    platform.advance(ms);
    vm_time_update();
  }

  // Runs a built-in by name; its int result, or WAITED when it has not finished.
  static constexpr int32_t WAITED = INT32_MIN;
  int32_t call(const char* name, std::initializer_list<arg> args) {
    const builtin_entry* e = builtin_named(name);
    for (auto it = std::rbegin(args); it != std::rend(args); ++it) stack_push_value(&it->cell);
    if (builtin_instruction_run(instruction, e ? e->hash : 0, static_cast<int16_t>(args.size()))) {
      for (size_t i = 0; i < args.size(); i++) stack_pop();
      return WAITED;
    }
    int32_t v = stack_top()->i;
    stack_pop();
    return v;
  }
  // A sprite of the whole page (or a cell) on a target, through sprite_create.
  sprite* create(page* source, page* target = nullptr, int cx = 0, int cy = 0, int w = 0, int h = 0) {
    int32_t id = call("sprite_create", {source->id, cx, cy, w ? w : source->width, h ? h : source->height,
                                        (target ? target : front_page_get())->id});
    return sprite_from_id(static_cast<uint32_t>(id));
  }
  // A sprite of the whole page, jumping to (x, y) at the next frame.
  sprite* place(page* source, int x, int y, page* target = nullptr) {
    sprite* s = create(source, target);
    call("sprite_move", {s->id, x, y});
    return s;
  }
  std::string box(size_t i) const { return i < platform.boxes.size() ? platform.boxes[i].text : "(no box)"; }
  std::string last_box() const { return platform.boxes.empty() ? "(no box)" : platform.boxes.back().text; }

  uint8_t instruction[8];
  temp_dir game;
};
