// Text on the headless backend: a thread to call the font built-ins from, a front page, settings
// and saves in temporary folders, and helpers to look at what was drawn.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>

#include "base/cp932.h"
#include "base/datasource.h"
#include "base/env.h"
#include "base/registry.h"
#include "graphics/kernel.h"
#include "graphics/page.h"
#include "graphics/presentation.h"
#include "shell/env_keys.h"
#include "test_support.h"
#include "text/font.h"
#include "text/glyph.h"
#include "vm/builtin_table.h"
#include "vm/dispatcher.h"
#include "vm/thread.h"
#include "vm/variables.h"

class text_test : public engine_test {
 protected:
  void SetUp() override {
    engine_test::SetUp();
    setenv("XDG_CONFIG_HOME", config.path().c_str(), 1);
    reset_all();
    data_base_folder_set(game.path().c_str());
    thread_switch(thread_create(0));
    for (int i = 0; i < 16; i++) platform.queued_answers.push_back(IDRETRY);
    front = page_new_rgb24(640, 480, 1);
    front_page_set(front);
  }
  void TearDown() override {
    reset_all();
    threads_destroy_all();
    thread_switch(nullptr);
    unsetenv("XDG_CONFIG_HOME");
    engine_test::TearDown();
  }
  void reset_all() {
    glyph_module_reset();
    graphics_state_reset();
    reg_store_reset();
  }
  void load_env(const std::string& text) { game_env_load(game, text); }

  // Runs a built-in by name with its arguments (the first on top) and returns its int result.
  using arg = call_arg;
  int32_t call(const char* name, std::initializer_list<arg> args) { return builtin_call_named(name, args); }
  std::string last_box() const { return platform.boxes.empty() ? "(no box)" : platform.boxes.back().text; }
  // The default style at a size (the width half of it), its pen at x, y.
  static font_descriptor style_at(int size, int x = 0, int y = 0) {
    font_descriptor d = font_descriptor_default();
    d.size = size, d.width = size / 2, d.x = x, d.y = y;
    return d;
  }
  void clear_front() { page_fill_rect(front, page_rect{0, 0, 640, 480}, 0); }

  static uint32_t pixel(const page* p, int x, int y) {
    const uint8_t* b = page_row(p, y) + 3 * x;
    return static_cast<uint32_t>(b[2]) | b[1] << 8 | b[0] << 16;
  }
  // The smallest rectangle holding every pixel that differs from the background colour in the
  // channels of the mask.
  static page_rect ink_box(const page* p, uint32_t background, uint32_t mask = 0xFFFFFF) {
    int x0 = p->width, y0 = p->height, x1 = -1, y1 = -1;
    for (int y = 0; y < p->height; y++)
      for (int x = 0; x < p->width; x++)
        if ((pixel(p, x, y) & mask) != (background & mask))
          x0 = std::min(x0, x), y0 = std::min(y0, y), x1 = std::max(x1, x), y1 = std::max(y1, y);
    return x1 < 0 ? page_rect{0, 0, 0, 0} : page_rect{x0, y0, x1 - x0 + 1, y1 - y0 + 1};
  }

  temp_dir game, config;
  page* front = nullptr;
};
