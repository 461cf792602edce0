#include "headless_game.h"

#include <cstdlib>

#include "base/datasource.h"
#include "base/env.h"
#include "graphics/gfx_id.h"
#include "graphics/image_cache.h"
#include "graphics/image_readers.h"
#include "graphics/page.h"
#include "graphics/presentation.h"
#include "graphics/sprite.h"
#include "save/savefile.h"
#include "shell/env_keys.h"
#include "shell/menu_request.h"
#include "shell/input.h"
#include "shell/window_core.h"
#include "text/glyph.h"
#include "vm/interpreter.h"
#include "vm/script_error.h"
#include "vm/script_object.h"
#include "vm/skip.h"
#include "vm/thread.h"
#include "vm/variables.h"

int pixel_mismatches(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b) {
  if (a.size() != b.size()) return -1;
  int bad = 0;
  for (size_t i = 0; i < a.size(); i++)
    for (int s = 0; s < 24; s += 8)
      if (std::abs(static_cast<int>(a[i] >> s & 0xFF) - static_cast<int>(b[i] >> s & 0xFF)) > 2) {
        bad++;
        break;
      }
  return bad;
}

headless_game::headless_game(const std::string& folder) {
  headless_engine_clear();
  host.print_boxes = false;
  host.use_fake_clock(1000);
  previous_ = plat_install(&host);
  data_base_folder_set(folder.c_str());
  for (const char* source : {"fastdata", "scenario", "data"}) data_source_add(source, 0);
  env_load("vaskel.env");
  window_spec spec;
  spec.procedure = main_window_class_proc;
  spec.client_width = client_width();
  spec.client_height = client_height();
  window = window_create(spec);
  main_window_set(window);
  front_page_set(page_new_rgb24(client_width(), client_height(), 1));
  thread_switch(thread_create(0));
  vm_clock_reset();
  input_init();
  sprite_reset();
}

headless_game::~headless_game() {
  window_destroy(window);
  headless_engine_clear();
  windows_reset();
  plat_install(previous_);
}

std::vector<uint32_t> headless_game::pixels() {
  std::vector<uint32_t> out;
  if (const headless_platform::window_record* r = host.record(window))
    for (uint32_t p : r->pixels) out.push_back(p & 0xFFFFFF);
  return out;
}
