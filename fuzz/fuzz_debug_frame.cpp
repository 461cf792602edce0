// The debugger channel's frame decoder on arbitrary bytes: every frame it takes encodes back to
// the very bytes it came from, and it never takes more than it was given.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "platform/debug_channel.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  size_t pos = 0;
  for (;;) {
    debug_frame frame;
    size_t used = 0;
    debug_decode_status s = debug_frame_decode(data + pos, size - pos, frame, used);
    if (s != DEBUG_DECODE_FRAME) break;
    if (used < DEBUG_FRAME_HEADER || used > size - pos) abort();
    std::vector<uint8_t> back = debug_frame_encode(frame);
    if (back.size() != used || memcmp(back.data(), data + pos, used) != 0) abort();
    pos += used;
  }
  return 0;
}
