// What the fuzz targets that run engine code share: a headless platform that shows no boxes, and
// the fatal road turned into an exception that the target catches.
#pragma once

#include "base/fatal.h"
#include "platform/headless/headless.h"

struct fuzz_fatal {};

inline headless_platform* fuzz_quiet_platform() {
  static headless_platform* platform = [] {
    auto* p = new headless_platform;
    p->print_boxes = false;
    plat_install(p);
    fatal_exit_intercept([](int) { throw fuzz_fatal{}; });
    return p;
  }();
  return platform;
}
