// Ogg Vorbis files for the streaming mixer, decoded to interleaved 16-bit PCM through libogg's and
// libvorbis's low-level calls. The decoder owns the intro, loop-part and queued-next logic of an Ogg
// stream and never keeps a file open: each 4096-byte piece is read by reopening the holding file.
#pragma once

#include <cstdint>

#include "sound/sound_stream.h"

struct oggdec_state;

// -1 the stream's file name does not contain ".ogg"; 1 the file's headers could not be read; 0
// opened: the stream's decoder, formats (16-bit PCM) and chunks (35280 bytes) are set.
int stream_open_ogg(sound_stream* stream);
// The same for a source the stream switches to (a loop part or queued file of another kind than the
// file before it): the decoder plays file, then its loop part, repeating when loop is nonzero.
int stream_open_ogg_source(sound_stream* stream, const char* file, const char* loop_part, int loop);

// A decoder for a file and its loop part (empty for none) that repeats when loop is nonzero, or
// null when the file is missing or its headers cannot be read.
oggdec_state* oggdec_open(const char* file, const char* loop_part, int loop);
// (Re)starts the current source from its first byte: 0 when the three headers were read.
int oggdec_start(oggdec_state* decoder);
// Queues a file (with its loop part) to take over at the end of the current source.
void oggdec_set_next(oggdec_state* decoder, const char* file, const char* loop_part, int loop);
// The output format: 16-bit PCM of the stream's channels and rate. -1 for a null decoder.
int oggdec_format(oggdec_state* decoder, wave_format* format);
// About n bytes of PCM, never more than limit (the room the caller has) nor 4 x n; what is made
// beyond comes first in the next call. The buffer comes back through out and is freed by the caller
// with free(). Damaged data gives n bytes of silence and the next call goes on from where it was.
int oggdec_read(oggdec_state* decoder, int n, int limit, uint8_t** out);
// The format of the bytes the last oggdec_read returned (a loop part or queued file may differ
// from the source before it). -1 for a null decoder.
int oggdec_data_format(oggdec_state* decoder, wave_format* format);
// 1 once decoding has stopped for good and nothing is left to deliver: every later read is
// silence.
int oggdec_stopped(oggdec_state* decoder);
// Nonzero when it stopped at the end of its source because what follows is not Ogg: 1 the queued
// file, 2 the loop part. The stream then opens that file itself.
int oggdec_handoff(oggdec_state* decoder);
// Whether an end has been heard (-1 for a null decoder). It stays set while a repeating source
// plays on; entering the loop part and oggdec_set_next clear it.
int oggdec_ended(oggdec_state* decoder);
// An end that the bytes handed out have reached since the last call (each end is told once): how
// many of the last read's bytes lie after it; -1 for none.
int oggdec_end_take(oggdec_state* decoder);
void oggdec_close(oggdec_state* decoder);
