// The sound device of the process and its buffers: opened on demand, released and opened again,
// and every buffer call made under one lock. Buffers are the platform's software sound buffers,
// mixed into the one output stream.
#pragma once

#include <cstdint>

#include "sound/wave_format.h"

struct sound_buffer;

// One buffer in the device's list (the keep-alive buffer and one per stream).
struct sound_buffer_entry {
  sound_buffer* buffer;
  int32_t volume;  // the volume last sent, hundredths of a dB (0 when new)
  sound_buffer_entry *prev, *next;
};

// 0 usable; 1 on the call that found the device unusable (after one warning box), -1 on every
// later call.
int dsound_ensure_init();
// Whether the device is ready (the worker's test; any thread).
bool dsound_is_ready();
// Frees every buffer and marks the device absent; the next use makes it ready again. The output
// stream itself stays open. While any buffer but the keep-alive one lives (a stream's), it does
// nothing: the device is never released under a living stream.
void dsound_release();

// A new buffer holding count bytes in the format, linked into the list; null when the format is not
// one the buffers play (1 or 2 channels of 8 or 16 bits) or the size is not whole frames.
sound_buffer_entry* dsbuf_create(const void* bytes, uint32_t count, const wave_format* format);
// Rewinds to 0 and plays (looping when loop is nonzero); play_from is the same call.
void dsbuf_play(sound_buffer_entry* entry, int loop);
void dsbuf_play_from(sound_buffer_entry* entry, int loop);
void dsbuf_stop(sound_buffer_entry* entry);
// Plays on from the current position.
void dsbuf_resume(sound_buffer_entry* entry, int loop);
void dsbuf_release(sound_buffer_entry* entry);
// Sends a volume; a value equal to the last one sent goes out one lower (-9999 at -10000), so a
// repeated volume is always a change.
void dsbuf_set_volume(sound_buffer_entry* entry, int32_t hundredths_db);
void dsbuf_set_pan(sound_buffer_entry* entry, int32_t pan);
void dsbuf_set_frequency(sound_buffer_entry* entry, int32_t hz);
// What the streaming worker writes and reads with, under the same lock: the play cursor (false
// when there is no device or entry), and the ring's one or two regions for n bytes at offset. The
// regions are valid until dsbuf_unlock, which must follow on the same thread with nothing between
// but the copy.
bool dsbuf_position(sound_buffer_entry* entry, uint32_t* play_cursor);
bool dsbuf_lock(sound_buffer_entry* entry, uint32_t offset, uint32_t n, uint8_t** first, uint32_t* first_size,
                uint8_t** second, uint32_t* second_size);
bool dsbuf_unlock(sound_buffer_entry* entry);

// Levels a of full scale b as hundredths of a dB: 0 for b <= 0, -10000 for a <= 0, else
// trunc(2000 log10(a / b)) held to -10000..0.
int32_t volume_to_db(int32_t a, int32_t b);

// The module's reset (tests): releases the device and forgets the failed flag.
void dsound_reset();
