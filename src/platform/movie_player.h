// The movie player: one file decoded on a thread of its own, its pictures converted to the size they
// are shown at and its sound mixed into the output as one more sound buffer.
//
// A decode thread keeps a few converted frames and a quarter second of sound ahead. The clock is the
// sound played (the ring's play cursor), or the host clock for a movie without sound or without a
// sound output. The frame that is due by that clock is "shown": the window thread paints it under
// the player's lock, and the player posts a message when it changes. The last frame stays shown
// after the end. Only this module includes the FFmpeg headers.
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"

struct movie_player;

struct movie_player_spec {
  std::string path;        // host path (UTF-8)
  int width = 0;           // pictures are converted to this size; 0 or less: no pictures
  int height = 0;
  int32_t from_ms = 0;     // where playing starts
  int32_t to_ms = -1;      // where it stops (exclusive); below 0: at the file's end
  bool loop = false;       // at the end (or at to_ms) play again from from_ms
  int32_t volume = 0;      // hundredths of a dB, -10000..0
  bool sound_sink = true;  // false: sound is decoded and dropped, the host clock runs the movie
  bool threaded = true;    // false: nothing runs until the caller calls movie_player_pump
  window_handle notify = nullptr;  // posted message (wparam 0, lparam 0) when the shown frame changes
  uint32_t message = 0;
};

// Opens, decodes the first frames and starts playing; null when the file cannot be opened or holds
// nothing that decodes.
movie_player* movie_player_open(const movie_player_spec& spec);
// Stops the thread and the sound, frees everything.
void movie_player_close(movie_player* player);

// One round of the decode thread's work: decode ahead, feed the sound ring, move the shown frame to
// the clock. The thread calls it every few milliseconds; an unthreaded player needs the caller to.
void movie_player_pump(movie_player* player);

// True once the last frame and the last sound of the last pass were played.
bool movie_player_ended(movie_player* player);
// Playing time in ms since the start (loops keep counting).
int64_t movie_player_clock_ms(movie_player* player);
// Calls paint with the shown frame (BGR24 rows at the size it was opened for) under the player's lock; false
// when no frame was shown yet.
bool movie_player_paint(movie_player* player, void (*paint)(const pixel_source& frame, void* context),
                        void* context);
// Frames decoded and converted so far (benchmarks).
int64_t movie_player_frames_decoded(movie_player* player);
