#include "platform/platform.h"

#include "platform/headless/headless.h"

static platform_backend* current_backend = nullptr;

// The default backend lives for the whole process and is never destroyed, so that exit handlers
// and late threads can still reach it.
static platform_backend& default_backend() {
  static headless_platform* backend = new headless_platform;
  return *backend;
}

platform_backend& plat() { return current_backend ? *current_backend : default_backend(); }

platform_backend* plat_install(platform_backend* backend) {
  platform_backend* previous = current_backend;
  current_backend = backend;
  return previous;
}
