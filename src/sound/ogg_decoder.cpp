#include "sound/ogg_decoder.h"

#include <vorbis/codec.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "base/cp932.h"
#include "base/datasource.h"
#include "base/memory.h"

constexpr int PIECE = 4096;
constexpr int32_t OGG_CHUNK = 35280;
constexpr int GROWTH = 32768;

struct oggdec_state {
  vorbis_dsp_state dsp;
  vorbis_block block;
  vorbis_info info;
  vorbis_comment comment;
  ogg_sync_state sync;
  ogg_page page;
  ogg_stream_state stream;
  ogg_packet packet;
  char file[SOUND_NAME_SIZE];
  char loop_part[SOUND_NAME_SIZE];
  char resolved_file[SOUND_NAME_SIZE];
  char resolved_loop_part[SOUND_NAME_SIZE];
  char next_file[SOUND_NAME_SIZE];
  char next_loop_part[SOUND_NAME_SIZE];
  FILE* handle;
  int in_loop;
  uint8_t* carry;
  int carry_bytes;
  int64_t data_offset;
  uint32_t consumed;
  uint32_t size;
  int initialised;
  int ended;
  int loop;
  int next_loop;
  // Beyond the record the decoder always had: how far the library states were set up (so a start
  // that failed half-way clears exactly what it made), and whether decoding stopped for good (an
  // end without repeating; the ended flag alone cannot say it, since a queued file that takes over
  // raises it too).
  int level;  // 0 none, 1 sync, 2 stream, info and comment, 3 synthesis and block
  int stopped;
  // A loop part (2) or queued file (1) that is not Ogg: decoding stops at the current source's
  // end, and the stream opens that file itself.
  int handoff;
  // Where the last end lies, for the mixer: each end is news once (whatever the ended flag still
  // says while a repeating source plays on), and only once the bytes before it have been handed
  // out, since a page may decode to seconds that wait in the carry-over. end_in_carry: bytes of
  // the carry before it; end_after: bytes the last read returned after it, not yet taken. -1: none.
  int end_in_carry;
  int end_after;
  // The format of the bytes the last read returned, and of the carry-over: a loop part or queued
  // file may have other channels or another rate than the source before it.
  wave_format returned_format;
  wave_format carry_format;
};

static void states_clear(oggdec_state* d) {
  if (d->level >= 3) {
    vorbis_block_clear(&d->block);
    vorbis_dsp_clear(&d->dsp);
  }
  if (d->level >= 2) {
    ogg_stream_clear(&d->stream);
    vorbis_comment_clear(&d->comment);
    vorbis_info_clear(&d->info);
  }
  if (d->level >= 1) ogg_sync_clear(&d->sync);
  d->level = 0;
  d->initialised = 0;
}

static void name_copy(char* to, const char* from) { cp932_copy(to, SOUND_NAME_SIZE, from ? from : ""); }

// Finds where a source lies: its holding file, first byte and size.
static bool source_learn(oggdec_state* d, const char* name, char* resolved) {
  if (d->handle) fclose(d->handle);
  d->handle = data_file_open(name, "rb");
  if (!d->handle) return false;
  bool found = data_file_source(name, resolved) != nullptr;
  d->data_offset = ftello(d->handle);
  d->size = data_file_size(name);
  fclose(d->handle);
  d->handle = nullptr;
  return found && d->data_offset >= 0;
}

// One piece of the current source into the sync layer: the bytes read, 0 at the source's end, -1
// for an error (the file would not open, or gave fewer bytes than it holds).
static int piece_read(oggdec_state* d) {
  char* space = ogg_sync_buffer(&d->sync, PIECE);
  if (!space) return -1;
  uint32_t want = std::min<uint32_t>(PIECE, d->size - std::min(d->size, d->consumed));
  if (want == 0) return 0;
  const char* path = d->in_loop ? d->resolved_loop_part : d->resolved_file;
  int64_t got = sound_source_read(path, d->data_offset + d->consumed, space, want);
  if (got != want) return -1;
  d->consumed += want;
  ogg_sync_wrote(&d->sync, static_cast<long>(want));
  return static_cast<int>(want);
}

int oggdec_start(oggdec_state* d) {
  states_clear(d);
  d->consumed = 0;
  ogg_sync_init(&d->sync);
  d->level = 1;
  if (piece_read(d) <= 0 || ogg_sync_pageout(&d->sync, &d->page) != 1) return 1;
  ogg_stream_init(&d->stream, ogg_page_serialno(&d->page));
  vorbis_info_init(&d->info);
  vorbis_comment_init(&d->comment);
  d->level = 2;
  if (ogg_stream_pagein(&d->stream, &d->page) < 0 || ogg_stream_packetout(&d->stream, &d->packet) != 1 ||
      vorbis_synthesis_headerin(&d->info, &d->comment, &d->packet) < 0)
    return 1;
  for (int headers = 1; headers < 3;) {
    int r = ogg_stream_packetout(&d->stream, &d->packet);
    if (r < 0) return 1;
    if (r > 0) {
      if (vorbis_synthesis_headerin(&d->info, &d->comment, &d->packet) < 0) return 1;
      ++headers;
      continue;
    }
    int page = ogg_sync_pageout(&d->sync, &d->page);
    if (page > 0)
      ogg_stream_pagein(&d->stream, &d->page);  // a page of another stream is refused and skipped
    else if (page == 0 && piece_read(d) <= 0)
      return 1;
  }
  if (piece_read(d) < 0) return 1;
  if (vorbis_synthesis_init(&d->dsp, &d->info) != 0) return 1;
  vorbis_block_init(&d->dsp, &d->block);
  d->level = 3;
  d->initialised = 1;
  return 0;
}

oggdec_state* oggdec_open(const char* file, const char* loop_part, int loop) {
  auto* d = static_cast<oggdec_state*>(mem_alloc(sizeof(oggdec_state)));
  memset(d, 0, sizeof(*d));
  d->end_in_carry = d->end_after = -1;
  name_copy(d->file, file);
  name_copy(d->loop_part, loop_part);
  d->loop = loop;
  if (!source_learn(d, d->file, d->resolved_file) || oggdec_start(d) != 0) {
    oggdec_close(d);
    return nullptr;
  }
  return d;
}

void oggdec_set_next(oggdec_state* d, const char* file, const char* loop_part, int loop) {
  if (!d) return;
  name_copy(d->next_file, file);
  name_copy(d->next_loop_part, loop_part);
  d->next_loop = loop;
  d->loop = 1;
  d->ended = 0;
  d->end_in_carry = d->end_after = -1;
  d->stopped = 0;
  d->handoff = 0;
}

int oggdec_format(oggdec_state* d, wave_format* f) {
  if (!d) return -1;
  *f = wave_format_pcm16(static_cast<uint16_t>(d->info.channels), static_cast<uint32_t>(d->info.rate));
  return 0;
}

int oggdec_ended(oggdec_state* d) { return d ? d->ended : -1; }

int oggdec_end_take(oggdec_state* d) {
  if (!d || d->end_after < 0) return -1;
  int after = d->end_after;
  d->end_after = -1;
  return after;
}

// An end at a place in the bytes a read hands out (count of them), or beyond them in the carry.
static void end_place(oggdec_state* d, int at, int count) {
  if (at < 0) return;
  if (at <= count) {
    d->end_after = count - at;
    d->end_in_carry = -1;
  } else {
    d->end_in_carry = at - count;
  }
}

int oggdec_stopped(oggdec_state* d) { return d && d->stopped && d->carry_bytes == 0; }

int oggdec_handoff(oggdec_state* d) { return oggdec_stopped(d) ? d->handoff : 0; }

int oggdec_data_format(oggdec_state* d, wave_format* f) {
  if (!d) return -1;
  *f = d->returned_format;
  return 0;
}

static wave_format current_format(const oggdec_state* d) {
  return wave_format_pcm16(static_cast<uint16_t>(d->info.channels), static_cast<uint32_t>(d->info.rate));
}

static bool format_equal(const wave_format& a, const wave_format& b) {
  return a.channels == b.channels && a.samples_per_sec == b.samples_per_sec;
}

void oggdec_close(oggdec_state* d) {
  if (!d) return;
  states_clear(d);
  free(d->carry);
  if (d->handle) fclose(d->handle);
  free(d);
}

// The end of a logical stream: into the loop part, over to the queued file, or round again. False
// when decoding stops (no repeat, or the next source would not start).
static bool end_rule(oggdec_state* d) {
  bool started;
  if (d->loop_part[0] && !d->in_loop && d->loop && !strstr(d->loop_part, ".ogg")) {
    d->ended = 0;
    d->handoff = 2;
    started = false;
  } else if (d->loop_part[0] && !d->in_loop && d->loop) {
    d->in_loop = 1;
    d->ended = 0;
    started = source_learn(d, d->loop_part, d->resolved_loop_part) && oggdec_start(d) == 0;
  } else if (d->next_file[0] && !strstr(d->next_file, ".ogg")) {
    d->ended = 1;
    d->handoff = 1;
    started = false;
  } else if (d->next_file[0]) {
    d->in_loop = 0;
    d->loop = d->next_loop;
    d->ended = 1;
    memcpy(d->file, d->next_file, SOUND_NAME_SIZE);
    memcpy(d->loop_part, d->next_loop_part, SOUND_NAME_SIZE);
    d->next_file[0] = d->next_loop_part[0] = '\0';
    d->resolved_file[0] = d->resolved_loop_part[0] = '\0';
    started = source_learn(d, d->file, d->resolved_file) && oggdec_start(d) == 0;
  } else {
    d->ended = 1;
    started = d->loop && oggdec_start(d) == 0;
  }
  if (!started) {
    d->ended = 1;
    d->stopped = 1;
  }
  return started;
}

static int silence(int n, uint8_t** out) {
  *out = static_cast<uint8_t*>(mem_alloc(static_cast<size_t>(n)));
  memset(*out, 0, static_cast<size_t>(n));
  return n;
}

static inline int16_t pcm16(float x) {
  float v = x * 32767.0f;
  if (v >= 32767.0f) return 32767;
  if (v <= -32768.0f) return -32768;
  return v == v ? static_cast<int16_t>(v) : 0;  // truncated toward zero; NaN is silence
}

int oggdec_read(oggdec_state* d, int n, int limit, uint8_t** out) {
  *out = nullptr;
  n = std::min(n, limit);
  if (n <= 0) return 0;
  const int most = static_cast<int>(std::min<int64_t>(4ll * n, limit));
  if (!d) return silence(n, out);
  if (d->carry_bytes > 0) {
    // What the last call made beyond its share, as much as fits.
    int give = std::min(d->carry_bytes, most);
    d->returned_format = d->carry_format;
    *out = static_cast<uint8_t*>(mem_alloc(static_cast<size_t>(give)));
    memcpy(*out, d->carry, static_cast<size_t>(give));
    d->carry_bytes -= give;
    end_place(d, d->end_in_carry, give);
    memmove(d->carry, d->carry + give, static_cast<size_t>(d->carry_bytes));
    if (d->carry_bytes == 0) {
      free(d->carry);
      d->carry = nullptr;
    }
    return give;
  }
  d->returned_format = current_format(d);
  if (d->stopped || !d->initialised) return silence(n, out);

  size_t capacity = GROWTH;
  auto* buffer = static_cast<uint8_t*>(mem_alloc(capacity));
  size_t made = 0;
  size_t made_at_restart = SIZE_MAX;
  int end_at = -1;
  auto fail = [&] {
    free(buffer);
    return silence(n, out);
  };
  // After an end: false when this call must deliver what it has (decoding stopped, or a source
  // came round again without giving a single sample since the last time, which would spin).
  // A source of another format stops the call too: its samples come with the next one.
  int channels = d->info.channels;
  int batch = std::max(1, PIECE / std::max(1, channels));
  auto after_end = [&] {
    bool going = end_rule(d);
    if (d->ended) end_at = static_cast<int>(made);
    if (!going || made == made_at_restart) return false;
    made_at_restart = made;
    if (!format_equal(current_format(d), d->returned_format)) {
      if (made > 0) return false;
      d->returned_format = current_format(d);
      channels = d->info.channels;
      batch = std::max(1, PIECE / std::max(1, channels));
    }
    return made < static_cast<size_t>(n);
  };
  for (;;) {
    int r = ogg_sync_pageout(&d->sync, &d->page);
    if (r == 0) {
      if (made >= static_cast<size_t>(n)) break;
      int got = piece_read(d);
      if (got < 0) return fail();
      if (got == 0 && !after_end()) break;
      continue;
    }
    if (r < 0) return fail();
    ogg_stream_pagein(&d->stream, &d->page);
    for (;;) {
      int p = ogg_stream_packetout(&d->stream, &d->packet);
      if (p == 0) break;
      if (p < 0) return fail();
      if (vorbis_synthesis(&d->block, &d->packet) == 0) vorbis_synthesis_blockin(&d->dsp, &d->block);
      float** pcm;
      int frames;
      while ((frames = vorbis_synthesis_pcmout(&d->dsp, &pcm)) > 0) {
        int take = std::min(frames, batch);
        size_t bytes = static_cast<size_t>(take) * channels * 2;
        if (made + bytes > capacity) {
          capacity += std::max<size_t>(GROWTH, bytes);
          buffer = static_cast<uint8_t*>(mem_resize(buffer, capacity));
        }
        auto* to = reinterpret_cast<int16_t*>(buffer + made);
        for (int i = 0; i < take; ++i)
          for (int ch = 0; ch < channels; ++ch) *to++ = pcm16(pcm[ch][i]);
        made += bytes;
        vorbis_synthesis_read(&d->dsp, take);
      }
    }
    if (ogg_page_eos(&d->page) && !after_end()) break;
  }
  if (made > static_cast<size_t>(most)) {
    d->carry_bytes = static_cast<int>(made - most);
    d->carry_format = d->returned_format;
    d->carry = static_cast<uint8_t*>(mem_alloc(static_cast<size_t>(d->carry_bytes)));
    memcpy(d->carry, buffer + most, static_cast<size_t>(d->carry_bytes));
    made = static_cast<size_t>(most);
  }
  end_place(d, end_at, static_cast<int>(made));
  if (made == 0) {
    free(buffer);
    return 0;
  }
  *out = buffer;
  return static_cast<int>(made);
}

// The format block as a file would hold it (the stream's source format for Ogg).
static uint8_t* format_block(const wave_format& f) {
  auto* b = static_cast<uint8_t*>(mem_alloc(WAVE_FORMAT_SIZE));
  const uint32_t fields[] = {f.format_tag, f.channels, f.samples_per_sec, f.avg_bytes_per_sec,
                             f.block_align, f.bits_per_sample, f.extra_size};
  const int widths[] = {2, 2, 4, 4, 2, 2, 2};
  uint8_t* p = b;
  for (int i = 0; i < 7; ++i)
    for (int k = 0; k < widths[i]; ++k) *p++ = static_cast<uint8_t>(fields[i] >> (8 * k));
  return b;
}

int stream_open_ogg(sound_stream* s) { return stream_open_ogg_source(s, s->file, s->loop_part, s->loop != 0); }

int stream_open_ogg_source(sound_stream* s, const char* file, const char* loop_part, int loop) {
  if (!strstr(file, ".ogg")) return -1;
  oggdec_state* d = oggdec_open(file, loop_part, loop);
  if (!d) return 1;
  oggdec_close(s->ogg);
  s->ogg = d;
  wave_format f;
  oggdec_format(d, &f);
  free(s->output_format);
  s->output_format = static_cast<wave_format*>(mem_alloc(sizeof(wave_format)));
  *s->output_format = f;
  free(s->source_format);
  s->source_format = format_block(f);
  s->source_format_size = WAVE_FORMAT_SIZE;
  s->source_chunk = s->output_chunk = OGG_CHUNK;
  return 0;
}
