// Ogg Vorbis files of any bytes: opened with a loop part and decoded for a few dozen reads, each held
// to the room the caller gives.
#include <cstdlib>

#include "sound/ogg_decoder.h"
#include "sound_encoder.h"
#include "sound_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string valid = vorbis_encode(sine_frames(2, 11025, 440, 0.5, 0.5), 2, 11025);
  fuzz_sound_file("f.ogg", data, size, valid);
  try {
    if (oggdec_state* d = oggdec_open("f.ogg", "f.ogg", 1)) {
      for (int call = 0; call < 40; ++call) {
        uint8_t* out;
        int limit = call % 3 == 0 ? 1000 : 1 << 20;
        int got = oggdec_read(d, 8820, limit, &out);
        if (got < 0 || got > limit || got > 4 * 8820) abort();
        free(out);
      }
      oggdec_close(d);
    }
  } catch (const fuzz_fatal&) {
  }
  return 0;
}
