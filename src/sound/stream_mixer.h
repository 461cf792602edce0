// The streaming mixer: every playing sound file is one stream with a looping ring buffer of its
// own. The window thread only changes fields of stream records under the list lock; one worker
// thread does all file and buffer work (opening, decoding, writing, volume, pan, pause, retiring).
//
// Streams are handed out as ids (++counter, never reused in a run; 0 is none). Every operation
// looks its id up under the list lock and does nothing for one that is not there. Times are
// milliseconds of the platform clock, not the script clock.
#pragma once

#include <cstdint>

#include "sound/sound_stream.h"

constexpr uint32_t STREAM_RING_BYTES = 705600;       // 4 s of 44100 Hz 16-bit stereo
constexpr uint32_t STREAM_REFILL_THRESHOLD = 493919;  // refill when more than 70% has played
constexpr uint32_t STREAM_TICK_MS = 100;
constexpr uint32_t STREAM_PASS_SPACING_MS = 80;
constexpr int32_t STREAM_TIME_PASSED_MS = 80000;  // times this far away count as passed
constexpr int STREAM_CHUNKS_PER_PASS = 8;          // a stream that needs data gets up to this many
constexpr uint32_t STREAM_STOP_GRACE_MS = 1000;    // an ending stream's output may lag the clock this much

// Starts the worker on the first call (and registers the exit-time stop); every call retires every
// stream and returns once the worker has emptied the list. The next-stream fast flag and pan are
// cleared.
void stream_stop_all();
// The same at process exit, after which the worker is stopped and joined.
void stream_stop_all_at_exit();

// A new stream (the worker opens it on its next pass): the id, or 0 when the device is unusable.
// loop is 0 (once) or -1 (repeat).
int32_t stream_create(const char* file, const char* loop_part, int32_t volume, int32_t loop);
int32_t stream_play_simple(const char* file, int32_t volume, int loop_flag);
int32_t stream_play(const char* file, const char* loop_part, int32_t volume, int loop_flag);
// Queues a file (and its loop part) to take over when the current one ends.
void stream_queue_next(int32_t id, const char* file, const char* loop_part, int loop_flag);
void stream_fade(int32_t id, int32_t target, int32_t duration_ms);
// A fade that retires the stream when complete (at once for a duration <= 0 or an unopened stream).
void stream_fade_out(int32_t id, int32_t target, int32_t duration_ms);
void stream_set_volume(int32_t id, int32_t volume);
void stream_stop(int32_t id);
// 1 alive and its end not heard yet, -1 alive and ended, 0 retired or unknown.
int stream_status(int32_t id);
// Forgets that the end has been heard; the next end heard raises it again.
void stream_clear_ended(int32_t id);
void stream_pause(int32_t id);
void stream_resume(int32_t id);
void stream_set_pan(int32_t id, int32_t pan);
void stream_set_frequency(int32_t id, int32_t hz);
// The next stream_create makes a fast (time-compressed mono 16-bit) stream / starts at this pan.
void stream_set_next_fast();
void stream_set_next_pan(int32_t pan);
// Stage marks of start-up and shut-down; they do nothing.
void trace_noop(const char* stage);

// One pass of the worker over every stream at the platform clock's now (the thread runs it every
// tick once 80 ms have passed since the last one). Tests call it directly while no worker runs.
void stream_pass();
// Shows the open failures the worker has queued ("ファイル[%s]が発見できませんでした。"), on the
// calling (window) thread; the window-thread operations above call it too.
void stream_reports_show();

// What a stream record holds now (copied under the list lock); false for an unknown id.
bool stream_snapshot(int32_t id, sound_stream* out);
// The streams in the list.
int stream_count();
// Tests: no worker thread is started; stop-all frees the streams on the calling thread, and the
// test runs the passes itself.
void stream_worker_manual(bool manual);
// The module's reset (tests, and the end of a run): stops and joins the worker, frees every stream
// and queued report, and starts the id counter at 0 again.
void stream_mixer_reset();
