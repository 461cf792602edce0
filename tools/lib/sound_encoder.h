// Sound fixtures: sines, WAV files built chunk by chunk (for damaged and unusual files), and Ogg
// Vorbis files encoded through libvorbisenc.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// Interleaved 16-bit frames of a sine of the amplitude (0..1 of full scale); channel k is shifted
// by k quarter periods so that the channels differ.
std::vector<int16_t> sine_frames(int channels, int rate, double hz, double seconds, double amplitude);

// A "fmt " block: the 16-byte record, plus the extra size and extra bytes when extra is not empty or
// with_extra is set.
std::string wav_format_block(uint16_t tag, uint16_t channels, uint32_t rate, uint32_t bytes_per_second,
                             uint16_t block_align, uint16_t bits, const std::string& extra = "",
                             bool with_extra = false);
// A RIFF WAVE file of the chunks as given (id, body); odd bodies get their pad byte when pad is set.
std::string wav_file(const std::vector<std::pair<std::string, std::string>>& chunks, bool pad = true);
// A 16-bit PCM WAV file of interleaved frames.
std::string wav_pcm16(const std::vector<int16_t>& frames, int channels, int rate);

// An Ogg Vorbis file (one logical stream of the serial number) at a quality of -0.1..1.
std::string vorbis_encode(const std::vector<int16_t>& frames, int channels, int rate, float quality = 0.4f,
                          int serial = 1);
