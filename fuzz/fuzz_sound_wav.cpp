// WAV files of any bytes: the chunk walk, then every chunk of the data read and decoded as the mixer
// does, with the decoder's output held to the room it is given.
#include <cstring>
#include <vector>

#include "sound/wav_reader.h"
#include "sound_encoder.h"
#include "sound_fuzz.h"

static std::string valid_adpcm() {
  std::string coefficients = std::string("\xf4\x03\x07\x00", 4);
  const int16_t pairs[] = {256, 0, 512, -256, 0, 0, 192, 64, 240, 0, 460, -208, 392, -232};
  coefficients.append(reinterpret_cast<const char*>(pairs), sizeof pairs);
  std::string data;
  for (int i = 0; i < 3 * 512; ++i) data += static_cast<char>(i * 37 % 7 == 0 ? i % 7 : i * 13);
  return wav_file({{"fmt ", wav_format_block(2, 1, 22050, 11100, 512, 4, coefficients)}, {"LIST", "odd"}, {"data", data}});
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string valid = valid_adpcm();
  fuzz_sound_file("f.wav", data, size, valid);
  sound_stream s{};
  strcpy(s.file, "f.wav");
  try {
    if (stream_open_wav(&s, s.file, s.resolved_file) == 0) {
      std::vector<uint8_t> in(s.source_chunk), out(4 * static_cast<size_t>(s.source_chunk));
      bool adpcm = wave_format_read(s.source_format, s.source_format_size).format_tag == WAVE_FORMAT_MSADPCM;
      while (s.consumed < s.data_size) {
        int want = std::min(s.source_chunk, s.data_size - s.consumed);
        int64_t got = sound_source_read(s.resolved_file, s.data_offset + s.consumed, in.data(), want);
        if (got <= 0) break;
        if (adpcm) {
          int n = msadpcm_decode(s.source_format, s.source_format_size, in.data(), s.output_format, out.data(),
                                 static_cast<int>(got));
          if (n < 0 || n > 4 * got) abort();
        }
        s.consumed += static_cast<int32_t>(got);
      }
    }
  } catch (const fuzz_fatal&) {
  }
  sound_stream_decoding_free(&s);
  return 0;
}
