// What the image decoders' fuzz targets share: a quiet headless platform, the fatal road turned
// into an exception, and the input as a bounded stream.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "graphics/image_file.h"
#include "graphics/page.h"
#include "quiet_platform.h"

inline void fuzz_image_setup() { fuzz_quiet_platform(); }

// Pictures past this many pixels are skipped: they only measure the allocator.
constexpr uint64_t FUZZ_MAX_PIXELS = uint64_t(1) << 22;

// Runs decode on the bytes as a stream of exactly their size, then frees every page.
template <class Decode>
void fuzz_image_run(const uint8_t* data, size_t size, Decode&& decode) {
  fuzz_image_setup();
  if (size == 0) return;
  FILE* f = fmemopen(const_cast<uint8_t*>(data), size, "rb");
  if (!f) return;
  image_stream s = image_stream_wrap(f, static_cast<uint32_t>(size));
  try {
    decode(&s);
  } catch (const fuzz_fatal&) {
  }
  fclose(f);
  page_free_all_at_exit();
  // The boxes the run showed go with their memory: a record that grows from run to run reads as a
  // leak to the fuzzer, which then stops checking each input for leaks.
  std::vector<headless_platform::shown_box>().swap(fuzz_quiet_platform()->boxes);
}

inline uint32_t fuzz_le32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24; }
inline uint32_t fuzz_be32(const uint8_t* p) { return static_cast<uint32_t>(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3]; }
