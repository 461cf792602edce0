// The header of a save file: kept in memory as the current snapshot's header and written as the
// first 41952 bytes of every save file. The layout is what stored files rely on: every field is
// at its fixed offset, integers little-endian, names NUL-terminated within their fields.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int SAVE_HEADER_SIZE = 41952;
constexpr int SAVE_LOG_SIZE = 40000;

struct save_header {
  char magic[16];           // "VaskelSavV1.103" with its NUL
  char title[128];
  int32_t depth;            // index of the top call frame
  int32_t thumbnail_width;  // 0: no thumbnail
  int32_t thumbnail_height;
  int32_t global_count;
  int32_t thread_count;
  int32_t stack_count;
  int32_t blob_size;
  // The sound block, written and read by the sound module.
  char music_file[256];
  char music_loop[256];
  struct sound_slot_names {
    char file[128];  // only for a looping slot that still plays
    char loop[128];
  } sound_slots[4];
  int32_t music_level;
  int32_t zero_1712;
  int32_t music_loop_flag;
  char zero_1720[20];
  int32_t voice_level;  // written, not read back
  char zero_1744[100];
  int32_t sound_levels[4];
  char zero_1860[88];
  int32_t resume_value;  // 1 when the message window was enabled at the snapshot
  unsigned char message_log[SAVE_LOG_SIZE];
};

static_assert(sizeof(save_header) == SAVE_HEADER_SIZE);
static_assert(offsetof(save_header, music_file) == 172);
static_assert(offsetof(save_header, sound_slots) == 684);
static_assert(offsetof(save_header, music_level) == 1708);
static_assert(offsetof(save_header, voice_level) == 1740);
static_assert(offsetof(save_header, sound_levels) == 1844);
static_assert(offsetof(save_header, resume_value) == 1948);
static_assert(offsetof(save_header, message_log) == 1952);
