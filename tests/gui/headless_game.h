// The sample game run in the test process on the headless backend with its fake clock, so that a
// screenshot of the real window can be compared with the same frame rendered here.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/headless/headless.h"
#include "platform/window.h"
#include "test_support.h"  // headless_engine_clear

// Pixels whose channels differ by more than 2; -1 when the sizes differ.
int pixel_mismatches(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b);

// The game's data mounted, its window and front page made, the main thread ready; the
// interpreter is the caller's to run.
class headless_game {
 public:
  explicit headless_game(const std::string& folder);
  ~headless_game();
  headless_game(const headless_game&) = delete;
  headless_game& operator=(const headless_game&) = delete;
  // The client area as painted so far, 0x00RRGGBB.
  std::vector<uint32_t> pixels();

  headless_platform host;
  window_handle window{};

 private:
  platform_backend* previous_ = nullptr;
};
