#include "sound/sound_stream.h"

#include <cstdlib>
#include <cstring>

#include "base/gamepath.h"
#include "sound/ogg_decoder.h"

static uint16_t u16_at(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
static uint32_t u32_at(const uint8_t* p) { return u16_at(p) | static_cast<uint32_t>(u16_at(p + 2)) << 16; }

wave_format wave_format_read(const uint8_t* b, uint32_t size) {
  wave_format f{};
  f.format_tag = u16_at(b);
  f.channels = u16_at(b + 2);
  f.samples_per_sec = u32_at(b + 4);
  f.avg_bytes_per_sec = u32_at(b + 8);
  f.block_align = u16_at(b + 12);
  f.bits_per_sample = u16_at(b + 14);
  f.extra_size = size >= WAVE_FORMAT_SIZE ? u16_at(b + 16) : 0;
  return f;
}

wave_format wave_format_pcm16(uint16_t channels, uint32_t rate) {
  wave_format f{};
  f.format_tag = WAVE_FORMAT_PCM;
  f.channels = channels;
  f.samples_per_sec = rate;
  f.block_align = static_cast<uint16_t>(channels * 2);
  f.avg_bytes_per_sec = rate * f.block_align;
  f.bits_per_sample = 16;
  return f;
}

int64_t sound_source_read(const char* path, int64_t offset, void* buffer, size_t n) {
  FILE* f = game_fopen(path, "rb");
  if (!f) return -1;
  int64_t got = -1;
  if (fseeko(f, static_cast<off_t>(offset), SEEK_SET) == 0) got = static_cast<int64_t>(fread(buffer, 1, n, f));
  fclose(f);
  return got;
}

void sound_stream_decoding_free(sound_stream* s) {
  if (s->file_handle) fclose(s->file_handle);
  s->file_handle = nullptr;
  oggdec_close(s->ogg);
  s->ogg = nullptr;
  free(s->source_format);
  s->source_format = nullptr;
  s->source_format_size = 0;
  free(s->output_format);
  s->output_format = nullptr;
}
