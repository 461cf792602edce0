// Shared by the benchmarks that run the engine headless: one quiet platform for the process, and
// the engine pointed at the benchmark game folder.
#pragma once

#include "base/datasource.h"
#include "base/env.h"
#include "bench_ratio.h"
#include "platform/headless/headless.h"
#include "shell/devtools.h"
#include "shell/env_keys.h"

// The process's headless platform, installed at the first call; its boxes are kept, not printed.
inline headless_platform& bench_host() {
  static headless_platform* host = [] {
    auto* h = new headless_platform;
    h->print_boxes = false;
    plat_install(h);
    return h;
  }();
  return *host;
}

// The engine on the benchmark game folder: its environment file read, saves kept beside it.
inline void bench_game_setup() {
  data_base_folder_set(bench_game_folder().c_str());
  env_load("vaskel.env");
  env_keys_reset();
  save_base_folder_set(bench_game_folder().c_str());
}
