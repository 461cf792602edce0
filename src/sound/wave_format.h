// The wave format record: a WAV file's "fmt " block as the sound buffers are made with it.
#pragma once

#include <cstdint>

enum : uint16_t { WAVE_FORMAT_PCM = 1, WAVE_FORMAT_MSADPCM = 2 };

constexpr uint32_t WAVE_FORMAT_SIZE = 18;  // the record's size in a file

struct wave_format {
  uint16_t format_tag;
  uint16_t channels;
  uint32_t samples_per_sec;
  uint32_t avg_bytes_per_sec;
  uint16_t block_align;
  uint16_t bits_per_sample;
  uint16_t extra_size;
};

// The record from a format block of at least 16 bytes (little-endian; the extra size reads 0 when
// the block has no room for it).
wave_format wave_format_read(const uint8_t* block, uint32_t size);
// 16-bit PCM of the channels and rate.
wave_format wave_format_pcm16(uint16_t channels, uint32_t rate);
