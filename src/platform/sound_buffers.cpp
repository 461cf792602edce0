#include "platform/sound_buffers.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <mutex>

struct sound_buffer {
  sound_pcm_format format;
  uint32_t size;
  uint32_t block;   // bytes per frame
  uint32_t frames;  // size / block
  uint8_t* bytes;
  bool playing, loop;
  uint64_t position;  // frames, 32.32 fixed point
  uint64_t step;      // source frames per output frame, 32.32
  int32_t volume, pan;
  float gain_left, gain_right;
  sound_buffer *prev, *next;
};

// Module state. Trivially destructible on purpose: an output thread may still mix while the
// process runs its exit handlers.
static struct {
  std::mutex lock;
  sound_buffer* head = nullptr;
  int count = 0;
} mixer;

constexpr uint64_t ONE = 1ull << 32;

bool sound_pcm_format_valid(const sound_pcm_format& f) {
  return (f.channels == 1 || f.channels == 2) && (f.bits == 8 || f.bits == 16) && f.rate > 0;
}

static uint64_t step_for(uint32_t hz) { return (static_cast<uint64_t>(hz) << 32) / SOUND_OUTPUT_RATE; }

static float gain_of(int32_t hundredths_db) {
  return hundredths_db <= SOUND_VOLUME_SILENT ? 0.0f : static_cast<float>(std::pow(10.0, hundredths_db / 2000.0));
}

static void gains_update(sound_buffer* b) {
  float gain = gain_of(b->volume);
  b->gain_left = gain * (b->pan > 0 ? gain_of(-b->pan) : 1.0f);
  b->gain_right = gain * (b->pan < 0 ? gain_of(b->pan) : 1.0f);
}

sound_buffer* sound_buffer_create(const sound_pcm_format& format, uint32_t size, const void* bytes) {
  if (!sound_pcm_format_valid(format)) return nullptr;
  uint32_t block = static_cast<uint32_t>(format.channels * format.bits / 8);
  // Positions are 32.32 fixed point: sizes stay below 2 GB so that the end never overflows.
  if (size == 0 || size % block != 0 || size > 0x7FFFFFFFu) return nullptr;
  auto* b = static_cast<sound_buffer*>(calloc(1, sizeof(sound_buffer)));
  if (!b) return nullptr;
  b->bytes = static_cast<uint8_t*>(malloc(size));
  if (!b->bytes) {
    free(b);
    return nullptr;
  }
  if (bytes)
    memcpy(b->bytes, bytes, size);
  else
    memset(b->bytes, format.bits == 8 ? 0x80 : 0, size);
  b->format = format;
  b->size = size;
  b->block = block;
  b->frames = size / block;
  b->step = step_for(static_cast<uint32_t>(format.rate));
  gains_update(b);
  std::lock_guard<std::mutex> guard(mixer.lock);
  b->next = mixer.head;
  if (mixer.head) mixer.head->prev = b;
  mixer.head = b;
  ++mixer.count;
  return b;
}

static void unlink_and_free(sound_buffer* b) {
  if (b->prev)
    b->prev->next = b->next;
  else
    mixer.head = b->next;
  if (b->next) b->next->prev = b->prev;
  --mixer.count;
  free(b->bytes);
  free(b);
}

void sound_buffer_release(sound_buffer* b) {
  if (!b) return;
  std::lock_guard<std::mutex> guard(mixer.lock);
  unlink_and_free(b);
}

void sound_buffer_play(sound_buffer* b, bool loop) {
  std::lock_guard<std::mutex> guard(mixer.lock);
  b->position = 0;
  b->loop = loop;
  b->playing = true;
}

void sound_buffer_resume(sound_buffer* b, bool loop) {
  std::lock_guard<std::mutex> guard(mixer.lock);
  b->loop = loop;
  b->playing = true;
}

void sound_buffer_stop(sound_buffer* b) {
  std::lock_guard<std::mutex> guard(mixer.lock);
  b->playing = false;
}

bool sound_buffer_playing(sound_buffer* b) {
  std::lock_guard<std::mutex> guard(mixer.lock);
  return b->playing;
}

uint32_t sound_buffer_position(sound_buffer* b) {
  std::lock_guard<std::mutex> guard(mixer.lock);
  return static_cast<uint32_t>(b->position >> 32) % b->frames * b->block;
}

bool sound_buffer_lock(sound_buffer* b, uint32_t offset, uint32_t n, sound_regions& r) {
  r = {nullptr, 0, nullptr, 0};
  if (n > b->size) return false;
  mixer.lock.lock();  // released by sound_buffer_unlock
  offset %= b->size;
  r.first = b->bytes + offset;
  r.first_size = std::min(n, b->size - offset);
  if (r.first_size < n) {
    r.second = b->bytes;
    r.second_size = n - r.first_size;
  }
  return true;
}

void sound_buffer_unlock(sound_buffer*) { mixer.lock.unlock(); }

bool sound_buffer_set_volume(sound_buffer* b, int32_t volume) {
  if (volume < SOUND_VOLUME_SILENT || volume > 0) return false;
  std::lock_guard<std::mutex> guard(mixer.lock);
  b->volume = volume;
  gains_update(b);
  return true;
}

bool sound_buffer_set_pan(sound_buffer* b, int32_t pan) {
  if (pan < -SOUND_PAN_LIMIT || pan > SOUND_PAN_LIMIT) return false;
  std::lock_guard<std::mutex> guard(mixer.lock);
  b->pan = pan;
  gains_update(b);
  return true;
}

bool sound_buffer_set_frequency(sound_buffer* b, uint32_t hz) {
  if (hz == 0) hz = static_cast<uint32_t>(b->format.rate);
  if (hz < SOUND_FREQUENCY_MIN || hz > SOUND_FREQUENCY_MAX) return false;
  std::lock_guard<std::mutex> guard(mixer.lock);
  b->step = step_for(hz);
  return true;
}

// One channel's sample of a frame as a float on the 16-bit scale.
template <int BITS>
static inline float sample_at(const uint8_t* frame, int channel) {
  if constexpr (BITS == 8) {
    return static_cast<float>((frame[channel] - 128) * 256);
  } else {
    int16_t s;
    memcpy(&s, frame + channel * 2, 2);
    return s;
  }
}

// Adds a buffer's next frames to the stereo accumulator, interpolating linearly between the two
// source frames around each output position.
template <int BITS, int CHANNELS>
static void mix_one(sound_buffer* b, float* acc, int frames) {
  const uint32_t block = b->block;
  const uint64_t end = static_cast<uint64_t>(b->frames) << 32;
  const float gl = b->gain_left, gr = b->gain_right;
  uint64_t pos = b->position;
  const uint64_t step = b->step;
  const uint8_t* data = b->bytes;
  int i = 0;
  if (step == ONE && (pos & (ONE - 1)) == 0) {
    // At the source rate on a frame boundary: no interpolation needed.
    while (i < frames) {
      uint32_t f = static_cast<uint32_t>(pos >> 32);
      int run = static_cast<int>(std::min<uint64_t>(frames - i, b->frames - f));
      const uint8_t* p = data + static_cast<size_t>(f) * block;
      for (int k = 0; k < run; ++k, p += block) {
        float l = sample_at<BITS>(p, 0);
        float r = CHANNELS == 2 ? sample_at<BITS>(p, 1) : l;
        acc[2 * (i + k)] += l * gl;
        acc[2 * (i + k) + 1] += r * gr;
      }
      i += run;
      pos += static_cast<uint64_t>(run) << 32;
      if (pos >= end) {
        pos = 0;
        if (!b->loop) {
          b->playing = false;
          break;
        }
      }
    }
    b->position = pos;
    return;
  }
  const uint32_t last = b->frames - 1;
  for (; i < frames; ++i) {
    uint32_t f = static_cast<uint32_t>(pos >> 32);
    uint32_t g = f < last ? f + 1 : (b->loop ? 0 : f);
    float t = static_cast<float>(static_cast<uint32_t>(pos)) * (1.0f / 4294967296.0f);
    const uint8_t* p = data + static_cast<size_t>(f) * block;
    const uint8_t* q = data + static_cast<size_t>(g) * block;
    float l0 = sample_at<BITS>(p, 0), l1 = sample_at<BITS>(q, 0);
    float l = l0 + (l1 - l0) * t;
    float r = l;
    if constexpr (CHANNELS == 2) {
      float r0 = sample_at<BITS>(p, 1), r1 = sample_at<BITS>(q, 1);
      r = r0 + (r1 - r0) * t;
    }
    acc[2 * i] += l * gl;
    acc[2 * i + 1] += r * gr;
    pos += step;
    if (pos >= end) {
      if (!b->loop) {
        pos = 0;
        b->playing = false;
        break;
      }
      pos %= end;
    }
  }
  b->position = pos;
}

void sound_mix(int16_t* out, int frames) {
  constexpr int CHUNK = 1024;
  float acc[CHUNK * 2];
  std::lock_guard<std::mutex> guard(mixer.lock);
  while (frames > 0) {
    int n = std::min(frames, CHUNK);
    std::fill(acc, acc + 2 * n, 0.0f);
    for (sound_buffer* b = mixer.head; b; b = b->next) {
      if (!b->playing || (b->gain_left == 0.0f && b->gain_right == 0.0f && b->loop)) {
        // A silent looping buffer still moves its cursor.
        if (b->playing) b->position = (b->position + b->step * n) % (static_cast<uint64_t>(b->frames) << 32);
        continue;
      }
      bool stereo = b->format.channels == 2;
      if (b->format.bits == 16)
        stereo ? mix_one<16, 2>(b, acc, n) : mix_one<16, 1>(b, acc, n);
      else
        stereo ? mix_one<8, 2>(b, acc, n) : mix_one<8, 1>(b, acc, n);
    }
    for (int k = 0; k < 2 * n; ++k) out[k] = static_cast<int16_t>(std::lrint(std::clamp(acc[k], -32768.0f, 32767.0f)));
    out += 2 * n;
    frames -= n;
  }
}

int sound_buffer_count() {
  std::lock_guard<std::mutex> guard(mixer.lock);
  return mixer.count;
}

void sound_buffers_reset() {
  std::lock_guard<std::mutex> guard(mixer.lock);
  while (mixer.head) unlink_and_free(mixer.head);
}
