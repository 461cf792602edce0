// WAV files for the streaming mixer: the chunk walk that finds the format and the sample data, and
// the MS-ADPCM block decoder. PCM passes through; every other format tag is read as MS-ADPCM.
#pragma once

#include <cstdint>

#include "sound/sound_stream.h"

// Opens a WAV game file for a stream: sets its formats, chunk sizes, data size and (when the
// resolved field is empty) the holding path and data offset. 0 opened; -1 the name does not
// contain ".wav" (nothing touched); 1 any other failure: missing file, damaged or absurd chunks,
// a format that cannot be played (no channels, block align 0, a PCM rate of 0 bytes a second, an
// MS-ADPCM block without its coefficients).
int stream_open_wav(sound_stream* stream, const char* name, char* resolved);

// Decodes count bytes of whole MS-ADPCM blocks (block align apart) to PCM of the output format's
// depth: the bytes written (at most 4 x count for 16 bits), or 0 for a block whose predictor is
// beyond the file's coefficients. Input that ends inside a block yields the frames made so far.
int msadpcm_decode(const uint8_t* source_format, uint32_t source_format_size, const uint8_t* input,
                   const wave_format* output_format, uint8_t* output, int count);
