// Software sound buffers and the one mixer that sums them into the output stream.
//
// A buffer behaves like the engine's hardware sound buffers always did: a fixed PCM format and size,
// a play cursor that moves only while it plays, an optional loop that replays whatever the ring holds,
// volume in hundredths of a decibel, pan and frequency. The output (SDL on the desktop, the null
// device headless) pulls mixed frames with sound_mix from a thread of its own; sound_mix never calls
// into the engine. Every call is thread-safe: one mutex guards all buffers.
#pragma once

#include <cstdint>

constexpr int SOUND_OUTPUT_RATE = 44100;  // the mix: 44100 Hz, 16-bit, stereo interleaved
constexpr int SOUND_OUTPUT_CHANNELS = 2;
constexpr int32_t SOUND_VOLUME_SILENT = -10000;  // hundredths of a dB; 0 is full
constexpr int32_t SOUND_PAN_LIMIT = 10000;
constexpr uint32_t SOUND_FREQUENCY_MIN = 100;
constexpr uint32_t SOUND_FREQUENCY_MAX = 100000;

// 1 or 2 channels, any rate, 8-bit unsigned or 16-bit signed samples.
struct sound_pcm_format {
  int channels;
  int rate;
  int bits;
};
bool sound_pcm_format_valid(const sound_pcm_format& format);

struct sound_buffer;

// A new buffer of size bytes, filled with bytes (nullptr: silence). Null for an invalid format, a
// size of 0 or one that is not a whole number of frames.
sound_buffer* sound_buffer_create(const sound_pcm_format& format, uint32_t size, const void* bytes);
void sound_buffer_release(sound_buffer* buffer);

// Rewinds to 0 and plays; a looping buffer wraps at its end, any other stops there (its cursor
// then reads 0).
void sound_buffer_play(sound_buffer* buffer, bool loop);
// Plays on from the current position.
void sound_buffer_resume(sound_buffer* buffer, bool loop);
// Stops where it is; the position stays.
void sound_buffer_stop(sound_buffer* buffer);
bool sound_buffer_playing(sound_buffer* buffer);
// The play cursor in bytes: block-aligned, below the size.
uint32_t sound_buffer_position(sound_buffer* buffer);

// Writing into the ring: lock gives one or two regions that together cover n bytes from offset
// (taken modulo the size), wrapping at the end. It fails only for n above the size; it then holds
// nothing. Between lock and unlock the caller holds the mixer's mutex: it copies its bytes and
// calls nothing else here, so the mixer never reads half-written data.
struct sound_regions {
  uint8_t* first;
  uint32_t first_size;
  uint8_t* second;  // nullptr when the first region covers it all
  uint32_t second_size;
};
bool sound_buffer_lock(sound_buffer* buffer, uint32_t offset, uint32_t n, sound_regions& regions);
void sound_buffer_unlock(sound_buffer* buffer);

// Volume -10000..0 (gain 10^(v/2000), -10000 silent); pan -10000..10000 (the other side attenuated
// by |pan|/100 dB, silent at the limit); frequency in Hz (0: the format's rate). Values outside the
// ranges are refused and the old value kept.
bool sound_buffer_set_volume(sound_buffer* buffer, int32_t volume);
bool sound_buffer_set_pan(sound_buffer* buffer, int32_t pan);
bool sound_buffer_set_frequency(sound_buffer* buffer, uint32_t hz);

// Sums every playing buffer into frames of the output (saturating) and moves their cursors.
void sound_mix(int16_t* out, int frames);

// The buffers that exist; and the module's reset (tests): frees every buffer.
int sound_buffer_count();
void sound_buffers_reset();
