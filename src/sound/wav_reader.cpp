#include "sound/wav_reader.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "base/datasource.h"
#include "base/memory.h"

constexpr int32_t PCM_CHUNK = 35280;     // 0.2 s of 44100 Hz 16-bit stereo
constexpr int32_t ADPCM_CHUNK = 8820;    // decodes to at most PCM_CHUNK bytes
constexpr uint32_t FORMAT_MAX = 65536;   // a larger "fmt " block is damage, not a format
constexpr uint32_t ADPCM_HEADER = 22;    // format record, samples per block, coefficient count

static int16_t i16_at(const uint8_t* p) { return static_cast<int16_t>(p[0] | p[1] << 8); }
static uint16_t u16_at(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

// Whether the format block can be played as the tag says.
static bool format_usable(const uint8_t* block, uint32_t size) {
  wave_format f = wave_format_read(block, size);
  if (f.channels == 0 || f.block_align == 0) return false;
  if (f.format_tag == WAVE_FORMAT_PCM) return f.avg_bytes_per_sec != 0;
  if (f.channels > 2 || f.samples_per_sec == 0) return false;
  if (f.format_tag != WAVE_FORMAT_MSADPCM) return true;  // plays silence
  return size >= ADPCM_HEADER && size - ADPCM_HEADER >= 4u * u16_at(block + 20);
}

static void chunks_set(sound_stream* s) {
  wave_format f = wave_format_read(s->source_format, s->source_format_size);
  free(s->output_format);
  s->output_format = static_cast<wave_format*>(mem_alloc(sizeof(wave_format)));
  if (f.format_tag == WAVE_FORMAT_PCM) {
    s->source_chunk = s->output_chunk = PCM_CHUNK - PCM_CHUNK % f.block_align;
    *s->output_format = f;
  } else {
    s->source_chunk = ADPCM_CHUNK - ADPCM_CHUNK % f.block_align;
    s->output_chunk = 4 * s->source_chunk;
    *s->output_format = wave_format_pcm16(f.channels, f.samples_per_sec);
  }
}

// The chunk walk; left is what the entry holds from the handle's position on.
static int wav_parse(sound_stream* s, const char* name, char* resolved, FILE* f, uint32_t left) {
  uint8_t header[12];
  if (left < 12 || fread(header, 1, 12, f) != 12) return 1;
  left -= 12;
  bool have_format = false;
  for (;;) {
    if (left < 8 || fread(header, 1, 8, f) != 8) return 1;
    left -= 8;
    uint32_t size = u16_at(header + 4) | static_cast<uint32_t>(u16_at(header + 6)) << 16;
    // Sample data past the entry is what a cut file or a writer that never came back to fill in
    // the size (0xFFFFFFFF) leaves: the samples that are there play. Any other chunk past it is
    // damage, and the next entry's bytes are not ours.
    if (size > left && memcmp(header, "data", 4) == 0) size = left;
    if (size > left) return 1;
    if (memcmp(header, "fmt ", 4) == 0) {
      if (size < 16 || size > FORMAT_MAX) return 1;
      free(s->source_format);
      s->source_format = static_cast<uint8_t*>(mem_alloc(size));
      s->source_format_size = size;
      if (fread(s->source_format, 1, size, f) != size || !format_usable(s->source_format, size)) return 1;
      have_format = true;
    } else if (memcmp(header, "data", 4) == 0) {
      if (!have_format) return 1;
      if (!resolved[0]) {
        if (!data_file_source(name, resolved)) return 1;
        s->data_offset = ftello(f);
      }
      wave_format fmt = wave_format_read(s->source_format, s->source_format_size);
      s->consumed = 0;
      s->ended = 0;
      uint32_t whole = size - size % fmt.block_align;
      s->data_size = static_cast<int32_t>(std::min<uint32_t>(whole, INT32_MAX - INT32_MAX % fmt.block_align));
      chunks_set(s);
      return 0;
    } else if (fseeko(f, size, SEEK_CUR) != 0) {
      return 1;
    }
    left -= size;
    // Writers pad odd chunks to an even size; a chunk name never starts with a zero byte, so a
    // zero there is the pad (and files without pads still read).
    if (size % 2 == 1 && left > 0) {
      int c = fgetc(f);
      if (c == EOF) return 1;
      if (c == 0)
        --left;
      else
        ungetc(c, f);
    }
  }
}

int stream_open_wav(sound_stream* s, const char* name, char* resolved) {
  if (!strstr(name, ".wav")) return -1;
  // Quietly: a missing file is this reader's failure, which the mixer reports by name.
  s->file_handle = data_file_open(name, "rb");
  if (!s->file_handle) return 1;
  int result = wav_parse(s, name, resolved, s->file_handle, data_file_size(name));
  fclose(s->file_handle);
  s->file_handle = nullptr;
  return result;
}

static const int ADAPTATION[16] = {230, 230, 230, 230, 307, 409, 512, 614, 768, 614, 512, 409, 307, 230, 230, 230};

int msadpcm_decode(const uint8_t* fmt_block, uint32_t fmt_size, const uint8_t* in, const wave_format* out_fmt,
                   uint8_t* out, int count) {
  if (!format_usable(fmt_block, fmt_size) || wave_format_read(fmt_block, fmt_size).format_tag != WAVE_FORMAT_MSADPCM)
    return 0;
  wave_format f = wave_format_read(fmt_block, fmt_size);
  const int channels = f.channels;
  const int block_align = f.block_align;
  const int per_block = u16_at(fmt_block + 18);
  const int coefficients = u16_at(fmt_block + 20);
  const uint8_t* pairs = fmt_block + ADPCM_HEADER;
  const bool eight = out_fmt->bits_per_sample == 8;
  int frames = 0;
  auto put = [&](int value) {
    if (eight) {
      *out++ = static_cast<uint8_t>((value >> 8) + 128);
    } else {
      *out++ = static_cast<uint8_t>(value);
      *out++ = static_cast<uint8_t>(value >> 8);
    }
  };
  for (int block = 0; block + 7 * channels <= count; block += block_align) {
    const uint8_t* p = in + block;
    const uint8_t* end = in + std::min(count, block + block_align);
    int c1[2], c2[2], delta[2], s1[2], s2[2];
    for (int ch = 0; ch < channels; ++ch) {
      int predictor = p[ch];
      if (predictor >= coefficients) return 0;
      c1[ch] = i16_at(pairs + 4 * predictor);
      c2[ch] = i16_at(pairs + 4 * predictor + 2);
    }
    p += channels;
    for (int ch = 0; ch < channels; ++ch, p += 2) delta[ch] = i16_at(p);
    for (int ch = 0; ch < channels; ++ch, p += 2) s1[ch] = i16_at(p);
    for (int ch = 0; ch < channels; ++ch, p += 2) s2[ch] = i16_at(p);
    for (int ch = 0; ch < channels; ++ch) put(s2[ch]);
    for (int ch = 0; ch < channels; ++ch) put(s1[ch]);
    frames += 2;
    bool high = true;
    for (int frame = 2; frame < per_block; ++frame) {
      if (high && p >= end) break;  // the block's bytes are used up
      for (int ch = 0; ch < channels; ++ch) {
        int code = high ? *p >> 4 : *p & 15;
        if (!high) ++p;
        high = !high;
        int old_delta = delta[ch];
        int next = static_cast<int16_t>((ADAPTATION[code] * old_delta) >> 8);
        delta[ch] = next < 16 ? 16 : next;
        if (code >= 8) code -= 16;
        // In 64 bits: crafted coefficients must not overflow the sum.
        int64_t sum = static_cast<int64_t>(s1[ch]) * c1[ch] + static_cast<int64_t>(s2[ch]) * c2[ch];
        int prediction = static_cast<int>(std::clamp<int64_t>((sum >> 8) + code * old_delta, -32768, 32767));
        put(prediction);
        s2[ch] = s1[ch];
        s1[ch] = prediction;
      }
      ++frames;
    }
    if (end < in + block + block_align) break;  // the input ended inside this block
  }
  return frames * (eight ? 1 : 2) * channels;
}
