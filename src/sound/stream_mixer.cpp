#include "sound/stream_mixer.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/cp932.h"
#include "base/list.h"
#include "base/memory.h"
#include "platform/platform.h"
#include "shell/message_box.h"
#include "sound/dsound.h"
#include "sound/ogg_decoder.h"
#include "sound/wav_reader.h"

// Module state. Lock order: list lock, then pass lock, then the device's lock (dsound). The list
// lock is re-entrant; the pass lock is taken only by whoever runs a pass.
static struct {
  std::recursive_mutex list_lock;
  std::mutex pass_lock;
  sound_stream* head = nullptr;  // newest first
  sound_stream* tail = nullptr;
  int32_t counter = 0;
  int next_fast = 0;
  int32_t next_pan = 0;
  uint32_t last_pass = 0;
  uint32_t generation = 0;  // bumped when the window thread frees streams itself
  std::vector<std::string> reports;  // files that would not open, for the window thread
  bool started = false;
  bool exit_registered = false;
  bool manual = false;
  std::thread worker;
  std::atomic<bool> quit{false};
  std::atomic<bool> stopping{false};  // a stop-all waits: passes run without their spacing
  // The worker's tick is a wait that a stop cuts short, and a stop waits for the pass it asked for,
  // so neither the exit nor a stop-all sleeps out a tick.
  std::mutex wake_lock;
  std::condition_variable wake, passed;
  bool wake_pending = false;
  uint64_t rounds = 0;  // the worker's rounds, passes or not
} mixer;

using list_guard = std::lock_guard<std::recursive_mutex>;

static uint32_t now_ms() { return plat().clock_ms(); }

// A time as a record keeps it: 0 and -1 mean "none" and "to be computed", so they never come out.
static int32_t time_at(uint32_t t) {
  int32_t v = static_cast<int32_t>(t);
  return v == 0 || v == -1 ? 1 : v;
}

// Whether a time lies before now or 80 s or more away from it (the clock jumped).
static bool time_passed(int32_t t, uint32_t now) {
  int64_t d = static_cast<int32_t>(now - static_cast<uint32_t>(t));
  return d > 0 || d <= -STREAM_TIME_PASSED_MS;
}

static void name_lower(char* to, const char* from) {
  cp932_copy(to, SOUND_NAME_SIZE, from ? from : "");
  cp932_lower(to);
}

static sound_stream* find(int32_t id) {
  if (id == 0) return nullptr;
  for (sound_stream* s = mixer.head; s; s = s->next)
    if (s->id == id) return s;
  return nullptr;
}

// ---- Window-thread operations

void trace_noop(const char*) {}

int32_t stream_create(const char* file, const char* loop_part, int32_t volume, int32_t loop) {
  stream_reports_show();
  if (dsound_ensure_init() != 0) return 0;
  int32_t id;
  {
    list_guard g(mixer.list_lock);
    auto* s = static_cast<sound_stream*>(mem_alloc(sizeof(sound_stream)));
    memset(s, 0, sizeof(*s));
    s->loop = loop;
    s->volume = volume;
    s->alive = 1;
    s->fast = mixer.next_fast;
    if (mixer.next_pan) {
      s->pan = mixer.next_pan;
      s->pan_changed = 1;
    }
    list_push_front(mixer.head, mixer.tail, s);
    name_lower(s->file, file);
    name_lower(s->loop_part, loop_part);
    s->id = id = ++mixer.counter;
    mixer.next_fast = 0;
    mixer.next_pan = 0;
  }
  return id;
}

int32_t stream_play_simple(const char* file, int32_t volume, int loop_flag) {
  return stream_create(file, "", volume, loop_flag ? -1 : 0);
}

int32_t stream_play(const char* file, const char* loop_part, int32_t volume, int loop_flag) {
  return stream_create(file, loop_part, volume, loop_flag ? -1 : 0);
}

void stream_queue_next(int32_t id, const char* file, const char* loop_part, int loop_flag) {
  if (dsound_ensure_init() != 0) return;
  list_guard g(mixer.list_lock);
  sound_stream* s = find(id);
  if (!s) return;
  if (s->alive) {
    s->ended = 0;
    s->loop = -1;
    s->next_loop = loop_flag ? -1 : 0;
    s->end_notice_time = 0;
  }
  name_lower(s->next_file, file);
  name_lower(s->next_loop_part, loop_part);
  if (s->ogg) oggdec_set_next(s->ogg, s->next_file, s->next_loop_part, s->next_loop != 0);
}

static void fade_set(sound_stream* s, int32_t target, int32_t duration, int stop_after) {
  s->fade_start = time_at(now_ms());
  s->fade_duration = std::max(duration, 1);
  s->fade_start_volume = s->volume;
  s->fade_delta = target - s->volume;
  s->stop_after_fade = stop_after;
}

void stream_fade(int32_t id, int32_t target, int32_t duration_ms) {
  list_guard g(mixer.list_lock);
  if (sound_stream* s = find(id)) fade_set(s, target, duration_ms, 0);
}

void stream_fade_out(int32_t id, int32_t target, int32_t duration_ms) {
  list_guard g(mixer.list_lock);
  sound_stream* s = find(id);
  if (!s) return;
  fade_set(s, target, duration_ms, 1);
  if (!s->buffer || duration_ms <= 0) s->alive = 0;
}

void stream_set_volume(int32_t id, int32_t volume) {
  list_guard g(mixer.list_lock);
  if (sound_stream* s = find(id)) {
    s->volume = volume;
    s->volume_changed = 1;
    s->fade_start = 0;
  }
}

void stream_stop(int32_t id) {
  list_guard g(mixer.list_lock);
  if (sound_stream* s = find(id)) s->alive = 0;
}

int stream_status(int32_t id) {
  stream_reports_show();
  list_guard g(mixer.list_lock);
  sound_stream* s = find(id);
  if (!s || !s->alive) return 0;
  return s->ended ? -1 : 1;
}

// The end-notice time goes too, so that the flag comes back at the next end that is heard rather
// than on the worker's next pass.
void stream_clear_ended(int32_t id) {
  list_guard g(mixer.list_lock);
  if (sound_stream* s = find(id)) s->ended = s->end_notice_time = 0;
}

void stream_pause(int32_t id) {
  list_guard g(mixer.list_lock);
  sound_stream* s = find(id);
  if (s && s->pause_state == 0) {
    s->pause_state = 1;
    s->resume_requested = 0;
  }
}

void stream_resume(int32_t id) {
  list_guard g(mixer.list_lock);
  sound_stream* s = find(id);
  if (s && s->pause_state != 0) s->resume_requested = 1;
}

void stream_set_pan(int32_t id, int32_t pan) {
  list_guard g(mixer.list_lock);
  if (sound_stream* s = find(id)) {
    s->pan = pan;
    s->pan_changed = 1;
  }
}

void stream_set_frequency(int32_t id, int32_t hz) {
  list_guard g(mixer.list_lock);
  if (sound_stream* s = find(id)) {
    s->frequency = hz;
    s->frequency_changed = 1;
  }
}

void stream_set_next_fast() {
  list_guard g(mixer.list_lock);
  mixer.next_fast = 1;
}

void stream_set_next_pan(int32_t pan) {
  list_guard g(mixer.list_lock);
  mixer.next_pan = pan;
}

void stream_reports_show() {
  std::vector<std::string> names;
  {
    list_guard g(mixer.list_lock);
    names.swap(mixer.reports);
  }
  for (const std::string& name : names) error_box_fatal("ファイル[%s]が発見できませんでした。", name.c_str());
}

bool stream_snapshot(int32_t id, sound_stream* out) {
  list_guard g(mixer.list_lock);
  sound_stream* s = find(id);
  if (s) *out = *s;
  return s != nullptr;
}

int stream_count() {
  list_guard g(mixer.list_lock);
  int n = 0;
  for (sound_stream* s = mixer.head; s; s = s->next) ++n;
  return n;
}

// ---- Writing into the ring

static uint32_t ring_distance(uint32_t from, uint32_t to) {
  return (to + STREAM_RING_BYTES - from % STREAM_RING_BYTES) % STREAM_RING_BYTES;
}

static uint32_t buffered(const sound_stream* s) { return ring_distance(s->play_cursor, s->write_cursor); }

static bool pcm_playable(const wave_format& f) {
  return f.format_tag == WAVE_FORMAT_PCM && (f.channels == 1 || f.channels == 2) &&
         (f.bits_per_sample == 8 || f.bits_per_sample == 16) && f.samples_per_sec > 0;
}

static void silence_fill(uint8_t* p, size_t n, const wave_format& f) { memset(p, f.bits_per_sample == 8 ? 0x80 : 0, n); }

static int sample_read(const uint8_t* frame, int channel, const wave_format& f) {
  if (f.bits_per_sample == 8) return (frame[channel] - 128) * 256;
  return static_cast<int16_t>(frame[2 * channel] | frame[2 * channel + 1] << 8);
}

static void sample_write(uint8_t* frame, int channel, int v, const wave_format& f) {
  if (f.bits_per_sample == 8) {
    frame[channel] = static_cast<uint8_t>((v >> 8) + 128);
  } else {
    frame[2 * channel] = static_cast<uint8_t>(v);
    frame[2 * channel + 1] = static_cast<uint8_t>(v >> 8);
  }
}

// PCM of one format in another: channels duplicated or averaged, depth scaled, rate changed by
// linear interpolation. A format that cannot be read becomes silence of the same duration.
static std::vector<uint8_t> pcm_convert(const uint8_t* in, uint32_t n, const wave_format& from, const wave_format& to) {
  uint32_t from_block = std::max<uint32_t>(1, from.block_align);
  uint64_t frames = n / from_block;
  uint64_t out_frames = from.samples_per_sec ? frames * to.samples_per_sec / from.samples_per_sec : 0;
  std::vector<uint8_t> out(out_frames * to.block_align);
  if (!pcm_playable(from)) {
    silence_fill(out.data(), out.size(), to);
    return out;
  }
  for (uint64_t i = 0; i < out_frames; ++i) {
    // Source position in 32.32 fixed point.
    uint64_t pos = (i << 32) * from.samples_per_sec / to.samples_per_sec;
    uint64_t f0 = pos >> 32, f1 = std::min(f0 + 1, frames - 1);
    int64_t t = static_cast<int64_t>(pos & 0xFFFFFFFFu);
    int v[2] = {0, 0};
    for (int c = 0; c < from.channels; ++c) {
      int a = sample_read(in + f0 * from_block, c, from), b = sample_read(in + f1 * from_block, c, from);
      v[c] = static_cast<int>(a + ((b - a) * t >> 32));
    }
    if (from.channels == 1) v[1] = v[0];
    uint8_t* frame = out.data() + i * to.block_align;
    if (to.channels == 1)
      sample_write(frame, 0, from.channels == 2 ? (v[0] + v[1]) / 2 : v[0], to);
    else
      for (int c = 0; c < 2; ++c) sample_write(frame, c, v[c], to);
  }
  return out;
}

// Fast voices: the samples are cut into alternating dropped and kept segments of 256 to 511
// samples, each cut at a falling zero crossing where it is steepest, so the voice speaks faster
// without a change of pitch.
static std::vector<uint8_t> fast_compress(const uint8_t* data, uint32_t bytes) {
  size_t total = bytes / 2;
  std::vector<int16_t> x(total);
  memcpy(x.data(), data, total * 2);
  auto cut = [&](size_t p) {
    size_t best = 256;
    int best_diff = -1;
    for (size_t i = 256; i <= 510; ++i) {
      int a = x[p + i], b = x[p + i + 1];
      if (a >= 0 && b < 0 && a - b > best_diff) {
        best_diff = a - b;
        best = i + 1;
      }
    }
    return best;
  };
  std::vector<uint8_t> kept;
  size_t pos = 0;
  while (total - pos >= 512) {
    pos += cut(pos);
    if (total - pos < 512) break;
    size_t k = cut(pos);
    kept.insert(kept.end(), data + pos * 2, data + (pos + k) * 2);
    pos += k;
  }
  return kept;
}

// Writes bytes of the given format at the write cursor, converted to the ring's format.
static void stream_write_buffer(sound_stream* s, const uint8_t* data, uint32_t bytes, const wave_format& format) {
  std::vector<uint8_t> converted;
  const wave_format& ring = s->ring_format;
  if (format.channels != ring.channels || format.samples_per_sec != ring.samples_per_sec ||
      format.bits_per_sample != ring.bits_per_sample) {
    converted = pcm_convert(data, bytes, format, ring);
    data = converted.data();
    bytes = static_cast<uint32_t>(converted.size());
  }
  if (s->fast && ring.channels == 1 && ring.bits_per_sample == 16) {
    converted = fast_compress(data, bytes);
    data = converted.data();
    bytes = static_cast<uint32_t>(converted.size());
  }
  bytes = std::min(bytes, STREAM_RING_BYTES - ring.block_align);
  if (bytes == 0) return;
  uint8_t *first, *second;
  uint32_t first_size, second_size;
  if (!dsbuf_lock(s->buffer, s->write_cursor, bytes, &first, &first_size, &second, &second_size)) {
    s->alive = 0;
    return;
  }
  memcpy(first, data, first_size);
  s->write_cursor += first_size;
  if (s->write_cursor >= STREAM_RING_BYTES) s->write_cursor = 0;
  if (second) {
    memcpy(second, data + first_size, second_size);
    s->write_cursor = second_size;
  }
  for (int tries = 0; tries < 10 && !dsbuf_unlock(s->buffer); ++tries) host_sleep_ms(1);
}

static void write_silence(sound_stream* s, uint32_t bytes, const wave_format& format) {
  std::vector<uint8_t> quiet(bytes);
  silence_fill(quiet.data(), bytes, format);
  stream_write_buffer(s, quiet.data(), bytes, format);
}

// ---- Sources and the fill

static uint32_t play_ms(const sound_stream* s, uint32_t bytes) {
  return static_cast<uint32_t>(uint64_t{bytes} * 1000 / std::max<uint32_t>(1, s->ring_format.avg_bytes_per_sec));
}

static void stop_backstop_set(sound_stream* s, uint32_t now) {
  s->stop_time = time_at(now + play_ms(s, s->stop_left) + STREAM_STOP_GRACE_MS);
}

// The stream retires once the bytes buffered now have been handed to the output, counted down as
// the play cursor moves (a clock estimate loses the last block whenever the output runs behind
// the clock). The clock time, a second later, is only the backstop for an output that stalls.
static void stream_set_stop_time(sound_stream* s, uint32_t now) {
  s->stop_left = buffered(s);
  stop_backstop_set(s, now);
}

// The end has been reached with nothing to follow: the end notice, and the stop time of a stream
// that does not repeat.
static void end_reached(sound_stream* s) {
  if (s->end_notice_time == 0) s->end_notice_time = -1;
  if (s->loop == 0 && s->stop_time == 0) s->stop_time = -1;
}

// Makes a source the stream's current one: a WAV file through the reader, anything else through
// the Ogg decoder (which then also plays the loop part and the queued file). False when it opens
// as neither.
static bool source_open(sound_stream* s, const char* name, char* resolved, const char* loop_part, int loop) {
  if (s->file_handle) fclose(s->file_handle);
  s->file_handle = nullptr;
  if (stream_open_wav(s, name, resolved) == 0) {
    oggdec_close(s->ogg);
    s->ogg = nullptr;
    return true;
  }
  if (stream_open_ogg_source(s, name, loop_part, loop) != 0) return false;
  if (s->next_file[0]) oggdec_set_next(s->ogg, s->next_file, s->next_loop_part, s->next_loop != 0);
  return true;
}

// The queued file takes over.
static void take_next(sound_stream* s) {
  s->loop = s->next_loop;
  memcpy(s->file, s->next_file, SOUND_NAME_SIZE);
  memcpy(s->loop_part, s->next_loop_part, SOUND_NAME_SIZE);
  s->next_file[0] = s->next_loop_part[0] = '\0';
  s->loop_part_entered = 0;
  if (s->end_notice_time == 0) s->end_notice_time = -1;
  s->resolved_file[0] = s->resolved_loop_part[0] = '\0';
  if (!source_open(s, s->file, s->resolved_file, s->loop_part, s->loop != 0)) {
    s->loop = 0;
    end_reached(s);
  }
}

// The loop part becomes the current source.
static void enter_loop_part(sound_stream* s) {
  s->loop_part_entered = 1;
  if (!source_open(s, s->loop_part, s->resolved_loop_part, "", 1)) {
    s->loop = 0;
    end_reached(s);
  }
}

// The data of a WAV source is used up.
static void wav_end_rule(sound_stream* s) {
  if (s->loop_part[0] && !s->loop_part_entered && s->loop) {
    enter_loop_part(s);
  } else if (s->next_file[0]) {
    take_next(s);
  } else if (!s->ended) {
    end_reached(s);
  }
}

static void wav_fill(sound_stream* s, int n) {
  const wave_format format = *s->output_format;  // the end rule may switch the source
  uint32_t want = static_cast<uint32_t>(s->source_chunk) * n;
  std::vector<uint8_t> raw(want);
  const char* path = s->loop_part_entered ? s->resolved_loop_part : s->resolved_file;
  uint32_t left = static_cast<uint32_t>(std::max(0, s->data_size - s->consumed));
  if (left == 0) {
    // No sample data at all: the end comes at once instead of silence for ever.
    s->consumed = 0;
    wav_end_rule(s);
    write_silence(s, want, format);
    return;
  }
  int64_t got = sound_source_read(path, s->data_offset + s->consumed, raw.data(), std::min(want, left));
  if (got <= 0) {
    write_silence(s, want, format);
    return;
  }
  const uint8_t* data = raw.data();
  uint32_t bytes = static_cast<uint32_t>(got);
  std::vector<uint8_t> decoded;
  bool adpcm = wave_format_read(s->source_format, s->source_format_size).format_tag == WAVE_FORMAT_MSADPCM;
  if (adpcm) {
    decoded.resize(4 * want);
    int made = msadpcm_decode(s->source_format, s->source_format_size, raw.data(), &format, decoded.data(),
                              static_cast<int>(got));
    if (made == 0) {
      decoded.assign(want, 0);
      made = static_cast<int>(want);
    }
    data = decoded.data();
    bytes = static_cast<uint32_t>(made);
  }
  s->consumed += static_cast<int32_t>(got);
  if (s->consumed >= s->data_size) {
    s->consumed = 0;
    wav_end_rule(s);
  }
  stream_write_buffer(s, data, bytes, format);
}

static void ogg_fill(sound_stream* s, int n, uint32_t now) {
  uint32_t room = STREAM_RING_BYTES - buffered(s);
  int limit = static_cast<int>(room > 4096 ? room - 4096 : 0);
  uint8_t* pcm = nullptr;
  int got = oggdec_read(s->ogg, s->output_chunk * n, limit, &pcm);
  wave_format format;
  oggdec_data_format(s->ogg, &format);
  if (got > 0)
    stream_write_buffer(s, pcm, static_cast<uint32_t>(got), format);
  else
    write_silence(s, static_cast<uint32_t>(s->output_chunk) * n, format);
  free(pcm);
  if (int handoff = oggdec_handoff(s->ogg)) {
    handoff == 2 ? enter_loop_part(s) : take_next(s);
  } else if (oggdec_stopped(s->ogg)) {
    // Nothing more comes: a queued file that does not repeat retires like a WAV one.
    s->loop = 0;
    end_reached(s);
  } else if (int after = oggdec_end_take(s->ogg); after >= 0 && !s->ended) {
    end_reached(s);
    // Heard when the end itself plays, not the next round's bytes written after it.
    if (s->end_notice_time == -1) {
      uint32_t ahead = play_ms(s, buffered(s)), beyond = after * 1000u / std::max<uint32_t>(1, format.avg_bytes_per_sec);
      s->end_notice_time = time_at(now + ahead - std::min(ahead, beyond));
    }
  }
}

static void stream_fill(sound_stream* s, int n, uint32_t now) {
  wave_format source = wave_format_read(s->source_format, s->source_format_size);
  if (s->stop_time != 0)
    write_silence(s, static_cast<uint32_t>(s->output_chunk) * n, *s->output_format);
  else if (s->ogg)
    ogg_fill(s, n, now);
  else if (source.format_tag == WAVE_FORMAT_PCM || source.format_tag == WAVE_FORMAT_MSADPCM)
    wav_fill(s, n);
  else
    write_silence(s, static_cast<uint32_t>(s->output_chunk) * n, *s->output_format);
  if (s->end_notice_time == -1) s->end_notice_time = time_at(now + play_ms(s, buffered(s)));
  if (s->stop_time == -1) stream_set_stop_time(s, now);
}

// Reads the play cursor; what has been handed to the output since the last read counts down the
// bytes that an ending stream has still to play.
static bool cursor_read(sound_stream* s) {
  uint32_t cursor;
  if (!dsbuf_position(s->buffer, &cursor)) return false;
  s->stop_left -= std::min(s->stop_left, ring_distance(s->play_cursor, cursor));
  s->play_cursor = cursor;
  return true;
}

// More than 70% of the ring has played since the last write.
static bool stream_needs_data(sound_stream* s) {
  return cursor_read(s) && ring_distance(s->write_cursor, s->play_cursor) > STREAM_REFILL_THRESHOLD;
}

static void stream_destroy(sound_stream* s) {
  list_unlink(mixer.head, mixer.tail, s);
  if (s->buffer) {
    dsbuf_stop(s->buffer);
    dsbuf_release(s->buffer);
  }
  sound_stream_decoding_free(s);
  free(s);
}

// Opens a new stream: false when it was destroyed.
static bool stream_open(sound_stream* s, uint32_t now) {
  int r = stream_open_wav(s, s->file, s->resolved_file);
  if (r != 0) r = stream_open_ogg(s);
  if (r != 0) {
    mixer.reports.emplace_back(s->file);
    stream_destroy(s);
    return false;
  }
  if (s->ogg && s->next_file[0]) oggdec_set_next(s->ogg, s->next_file, s->next_loop_part, s->next_loop != 0);
  s->ring_format = *s->output_format;
  s->buffer = pcm_playable(s->ring_format) ? dsbuf_create(nullptr, STREAM_RING_BYTES, &s->ring_format) : nullptr;
  if (!s->buffer) {
    s->alive = 0;
    stream_destroy(s);
    return false;
  }
  s->play_cursor = s->write_cursor = 0;
  stream_fill(s, 2, now);
  dsbuf_set_volume(s->buffer, volume_to_db(s->volume, 1000));
  if (s->pan_changed) dsbuf_set_pan(s->buffer, s->pan);
  if (s->frequency_changed) dsbuf_set_frequency(s->buffer, s->frequency);
  s->pan_changed = s->frequency_changed = 0;
  dsbuf_play(s->buffer, 1);
  return true;
}

// One stream's visit; false when it was destroyed.
static bool stream_visit(sound_stream* s, uint32_t now) {
  if (!s->buffer) {
    if (!s->alive) {
      stream_destroy(s);
      return false;
    }
    if (!stream_open(s, now)) return false;
  }
  if (s->pause_state == 1) {
    dsbuf_stop(s->buffer);
    s->pause_state = -1;
  }
  if (s->resume_requested) {
    dsbuf_resume(s->buffer, 1);
    s->pause_state = 0;
    s->resume_requested = 0;
    if (s->stop_time != 0) stop_backstop_set(s, now);  // counts from here
  }
  if (s->volume_changed) dsbuf_set_volume(s->buffer, volume_to_db(s->volume, 1000));
  if (s->pan_changed) dsbuf_set_pan(s->buffer, s->pan);
  if (s->frequency_changed) dsbuf_set_frequency(s->buffer, s->frequency);
  s->volume_changed = s->pan_changed = s->frequency_changed = 0;
  cursor_read(s);
  // Fill while the stream needs data: one chunk a pass underruns with many streams.
  for (int k = 0; k < STREAM_CHUNKS_PER_PASS && s->alive && stream_needs_data(s); ++k) stream_fill(s, 1, now);
  if (s->fade_start != 0) {
    int64_t elapsed = static_cast<int32_t>(now - static_cast<uint32_t>(s->fade_start));
    elapsed = std::min<int64_t>(elapsed < 0 ? -elapsed : elapsed, s->fade_duration);
    s->volume = static_cast<int32_t>(int64_t{s->fade_delta} * elapsed / s->fade_duration + s->fade_start_volume);
    dsbuf_set_volume(s->buffer, volume_to_db(s->volume, 1000));
    if (elapsed == s->fade_duration) {
      s->fade_start = 0;
      if (s->stop_after_fade) s->alive = 0;
    }
  }
  if (!s->ended && s->end_notice_time != 0 && time_passed(s->end_notice_time, now)) s->ended = 1;
  if (s->stop_time != 0 && (s->stop_left == 0 || (s->pause_state == 0 && time_passed(s->stop_time, now)))) s->alive = 0;
  if (!s->alive) {
    stream_destroy(s);
    return false;
  }
  return true;
}

void stream_pass() {
  std::unique_lock<std::recursive_mutex> list(mixer.list_lock);
  std::unique_lock<std::mutex> pass(mixer.pass_lock);
  uint32_t now = now_ms();
  mixer.last_pass = now;
  uint32_t generation = mixer.generation;
  for (sound_stream* s = mixer.head; s;) {
    sound_stream* next = s->next;
    stream_visit(s, now);
    // Between streams the window thread may take the list.
    pass.unlock();
    list.unlock();
    std::this_thread::yield();
    list.lock();
    pass.lock();
    if (!dsound_is_ready() || mixer.generation != generation) return;
    s = next;
  }
}

// ---- The worker and stop-all

// Whether a pass is due: a device, streams, and 80 ms since the last pass (or a stop waiting).
static bool pass_due() {
  if (!dsound_is_ready()) return false;
  list_guard g(mixer.list_lock);
  if (!mixer.head) return false;
  int32_t since = static_cast<int32_t>(now_ms() - mixer.last_pass);
  return mixer.stopping || since >= static_cast<int32_t>(STREAM_PASS_SPACING_MS) ||
         since <= -static_cast<int32_t>(STREAM_PASS_SPACING_MS);
}

static void worker_main() {
  for (;;) {
    {
      std::unique_lock<std::mutex> l(mixer.wake_lock);
      mixer.wake.wait_for(l, std::chrono::milliseconds(STREAM_TICK_MS), [] { return mixer.quit || mixer.wake_pending; });
      mixer.wake_pending = false;
      if (mixer.quit) return;
    }
    if (pass_due()) stream_pass();
    {
      std::lock_guard<std::mutex> l(mixer.wake_lock);
      ++mixer.rounds;
    }
    mixer.passed.notify_all();
  }
}

// Wakes the worker at once and waits (50 ms at most) until it has been round once.
static void worker_nudge() {
  std::unique_lock<std::mutex> l(mixer.wake_lock);
  uint64_t seen = mixer.rounds;
  mixer.wake_pending = true;
  mixer.wake.notify_all();
  mixer.passed.wait_for(l, std::chrono::milliseconds(50), [seen] { return mixer.rounds != seen; });
}

// Frees the retired streams on the calling thread, when no worker can: none runs, or the device is
// gone (its buffers went with it).
static void streams_free_here() {
  list_guard g(mixer.list_lock);
  std::lock_guard<std::mutex> pass(mixer.pass_lock);
  ++mixer.generation;
  for (sound_stream* s = mixer.head; s;) {
    sound_stream* next = s->next;
    if (!s->alive) {
      if (!dsound_is_ready()) s->buffer = nullptr;
      stream_destroy(s);
    }
    s = next;
  }
}

void stream_stop_all() {
  trace_noop("InitDDS");
  bool threaded;
  {
    list_guard g(mixer.list_lock);
    if (!mixer.exit_registered) {
      atexit(stream_stop_all_at_exit);
      mixer.exit_registered = true;
    }
    if (!mixer.started && !mixer.manual) {
      mixer.quit = false;
      mixer.worker = std::thread(worker_main);
      mixer.started = true;
    }
    threaded = mixer.started;
    for (sound_stream* s = mixer.head; s; s = s->next) s->alive = 0;
  }
  mixer.stopping = true;
  while (stream_count() > 0) {
    if (!threaded || !dsound_is_ready())
      streams_free_here();
    else
      worker_nudge();
  }
  mixer.stopping = false;
  {
    list_guard g(mixer.list_lock);
    mixer.next_fast = 0;
    mixer.next_pan = 0;
  }
  trace_noop("EndDDS");
  stream_reports_show();
}

static bool worker_running() {
  list_guard g(mixer.list_lock);
  return mixer.started;
}

static void worker_join() {
  bool started;
  {
    list_guard g(mixer.list_lock);
    started = mixer.started;
    mixer.started = false;
  }
  if (!started) return;
  {
    std::lock_guard<std::mutex> l(mixer.wake_lock);
    mixer.quit = true;
  }
  mixer.wake.notify_all();
  mixer.worker.join();
}

void stream_stop_all_at_exit() {
  dsound_ensure_init();
  {
    list_guard g(mixer.list_lock);
    for (sound_stream* s = mixer.head; s; s = s->next) s->alive = 0;
  }
  mixer.stopping = true;
  while (stream_count() > 0 && worker_running() && dsound_is_ready()) worker_nudge();
  mixer.stopping = false;
  worker_join();
  streams_free_here();
}

void stream_worker_manual(bool manual) {
  list_guard g(mixer.list_lock);
  mixer.manual = manual;
}

void stream_mixer_reset() {
  worker_join();
  {
    list_guard g(mixer.list_lock);
    for (sound_stream* s = mixer.head; s; s = s->next) s->alive = 0;
  }
  streams_free_here();
  list_guard g(mixer.list_lock);
  mixer.counter = 0;
  mixer.next_fast = 0;
  mixer.next_pan = 0;
  mixer.last_pass = 0;
  mixer.reports.clear();
}
