// The record of one playing sound file, shared by the streaming mixer and the decoders that fill
// its format and chunk fields.
#pragma once

#include <cstdint>
#include <cstdio>

#include "sound/wave_format.h"

struct sound_buffer_entry;
struct oggdec_state;

constexpr int SOUND_NAME_SIZE = 260;

struct sound_stream {
  char file[SOUND_NAME_SIZE];                // lower-cased, with its extension; the current file
  char loop_part[SOUND_NAME_SIZE];           // empty for none
  char resolved_file[SOUND_NAME_SIZE];       // the loose file or archive holding the file
  char resolved_loop_part[SOUND_NAME_SIZE];  // the same for the loop part
  char next_file[SOUND_NAME_SIZE];           // queued to take over at the end
  char next_loop_part[SOUND_NAME_SIZE];
  uint8_t* source_format;  // the "fmt " block as read (Ogg: a copy of the output format)
  uint32_t source_format_size;
  wave_format* output_format;  // what the buffer is made with
  int32_t id;
  sound_buffer_entry* buffer;  // null until the worker has opened the stream
  uint32_t write_cursor;
  uint32_t play_cursor;
  FILE* file_handle;    // open only while headers are parsed
  int64_t data_offset;  // first sample byte inside the holding file (archives reach 4 GB)
  int32_t consumed;     // bytes of the data already read
  int32_t data_size;    // whole blocks
  int32_t source_chunk;
  int32_t output_chunk;
  int32_t ended;
  int32_t loop_part_entered;
  int32_t alive;
  int32_t loop;  // 0 once, -1 repeat
  int32_t next_loop;
  int32_t volume;  // 0..1000
  int32_t fade_start;
  int32_t fade_duration;
  int32_t fade_start_volume;
  int32_t fade_delta;
  int32_t volume_changed;
  int32_t stop_after_fade;
  int32_t stop_time;
  int32_t end_notice_time;
  int32_t pause_state;
  int32_t resume_requested;
  int32_t pan_changed;
  int32_t pan;
  int32_t frequency_changed;
  int32_t frequency;
  oggdec_state* ogg;  // null for WAV
  int32_t fast;
  sound_stream *prev, *next;
  // The format the ring was made in: a loop part or queued file of another rate, channel count or
  // depth is converted to it.
  wave_format ring_format;
  // Bytes an ending stream has still to hand to the output before it retires.
  uint32_t stop_left;
};

// Reads up to n bytes at offset of a holding file (an engine path), opening and closing it around
// the read: the count read, or -1 when it does not open or seek.
int64_t sound_source_read(const char* path, int64_t offset, void* buffer, size_t n);

// Closes what the decoders left open and frees the formats and the Ogg decoder.
void sound_stream_decoding_free(sound_stream* stream);
