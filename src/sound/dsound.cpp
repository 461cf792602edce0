#include "sound/dsound.h"

#include <cmath>
#include <cstdlib>
#include <mutex>

#include "base/memory.h"
#include "platform/platform.h"
#include "platform/sound_buffers.h"
#include "shell/message_box.h"

constexpr uint32_t KEEP_ALIVE_BYTES = 176400;  // one second of 44100 Hz 16-bit stereo

// Module state. The lock is re-entrant, like the critical section it always was, and it is the
// last lock of the sound order: nothing else is taken while it is held.
static struct {
  std::recursive_mutex lock;
  sound_buffer_entry* head = nullptr;  // newest first
  sound_buffer_entry* keep_alive = nullptr;
  bool ready = false;
  bool failed = false;
  bool exit_registered = false;
  bool output_open = false;  // the platform's stream, open for the rest of the run
} device;

using guard = std::lock_guard<std::recursive_mutex>;

static bool entry_valid(sound_buffer_entry* e) { return device.ready && e && e->buffer; }

static int device_open() {
  guard g(device.lock);
  if (device.ready) return 0;
  if (device.failed) return -1;
  if (!device.exit_registered) {
    atexit(dsound_release);
    device.exit_registered = true;
  }
  // The mix is 44100 Hz 16-bit stereo whatever the hardware takes: the output converts.
  if (!device.output_open) device.output_open = plat().sound_output_open();
  if (device.output_open) {
    device.ready = true;
    wave_format keep = wave_format_pcm16(2, 44100);
    device.keep_alive = dsbuf_create(nullptr, KEEP_ALIVE_BYTES, &keep);
    if (device.keep_alive) {
      dsbuf_play(device.keep_alive, 1);
      return 0;
    }
    device.ready = false;
  }
  device.failed = true;
  return 1;
}

int dsound_ensure_init() {
  int result = device_open();
  // Outside the lock: the box runs the window's messages.
  if (result == 1) warning_box("DirectSoundのイニシャライズに失敗しました");
  return result;
}

bool dsound_is_ready() {
  guard g(device.lock);
  return device.ready;
}

// Forced only by the module's reset; otherwise a buffer beside the keep-alive one belongs to a
// stream that lives on (music kept across a reset), and freeing it would leave the worker writing
// into freed memory: the device then stays.
static void device_release(bool force) {
  guard g(device.lock);
  if (!device.ready) return;
  for (sound_buffer_entry* e = device.head; e && !force; e = e->next)
    if (e != device.keep_alive) return;
  device.ready = false;
  while (sound_buffer_entry* e = device.head) {
    device.head = e->next;
    sound_buffer_release(e->buffer);
    free(e);
  }
  device.keep_alive = nullptr;
}

void dsound_release() { device_release(false); }

sound_buffer_entry* dsbuf_create(const void* bytes, uint32_t count, const wave_format* f) {
  guard g(device.lock);
  if (!device.ready || !f) return nullptr;
  sound_pcm_format pcm{f->channels, static_cast<int>(f->samples_per_sec), f->bits_per_sample};
  if (f->format_tag != WAVE_FORMAT_PCM || f->samples_per_sec > INT32_MAX) return nullptr;
  sound_buffer* buffer = sound_buffer_create(pcm, count, bytes);
  if (!buffer) return nullptr;
  auto* e = static_cast<sound_buffer_entry*>(mem_alloc(sizeof(sound_buffer_entry)));
  *e = {buffer, 0, nullptr, device.head};
  if (device.head) device.head->prev = e;
  device.head = e;
  return e;
}

void dsbuf_play(sound_buffer_entry* e, int loop) {
  guard g(device.lock);
  if (entry_valid(e)) sound_buffer_play(e->buffer, loop != 0);
}

void dsbuf_play_from(sound_buffer_entry* e, int loop) { dsbuf_play(e, loop); }

void dsbuf_stop(sound_buffer_entry* e) {
  guard g(device.lock);
  if (entry_valid(e)) sound_buffer_stop(e->buffer);
}

void dsbuf_resume(sound_buffer_entry* e, int loop) {
  guard g(device.lock);
  if (entry_valid(e)) sound_buffer_resume(e->buffer, loop != 0);
}

void dsbuf_release(sound_buffer_entry* e) {
  guard g(device.lock);
  if (!device.ready || !e) return;
  for (sound_buffer_entry* p = device.head; p; p = p->next) {
    if (p != e) continue;
    if (e->prev)
      e->prev->next = e->next;
    else
      device.head = e->next;
    if (e->next) e->next->prev = e->prev;
    if (e == device.keep_alive) device.keep_alive = nullptr;
    sound_buffer_release(e->buffer);
    free(e);
    return;
  }
}

void dsbuf_set_volume(sound_buffer_entry* e, int32_t v) {
  guard g(device.lock);
  if (!entry_valid(e)) return;
  if (v == e->volume) v = v <= -10000 ? -9999 : v - 1;
  sound_buffer_set_volume(e->buffer, v);
  e->volume = v;
}

void dsbuf_set_pan(sound_buffer_entry* e, int32_t pan) {
  guard g(device.lock);
  if (entry_valid(e)) sound_buffer_set_pan(e->buffer, pan);
}

void dsbuf_set_frequency(sound_buffer_entry* e, int32_t hz) {
  guard g(device.lock);
  if (entry_valid(e) && hz >= 0) sound_buffer_set_frequency(e->buffer, static_cast<uint32_t>(hz));
}

bool dsbuf_position(sound_buffer_entry* e, uint32_t* play_cursor) {
  guard g(device.lock);
  if (!entry_valid(e)) return false;
  *play_cursor = sound_buffer_position(e->buffer);
  return true;
}

bool dsbuf_lock(sound_buffer_entry* e, uint32_t offset, uint32_t n, uint8_t** first, uint32_t* first_size,
                uint8_t** second, uint32_t* second_size) {
  device.lock.lock();  // held until dsbuf_unlock
  sound_regions r;
  if (!entry_valid(e) || !sound_buffer_lock(e->buffer, offset, n, r)) {
    device.lock.unlock();
    return false;
  }
  *first = r.first;
  *first_size = r.first_size;
  *second = r.second;
  *second_size = r.second_size;
  return true;
}

bool dsbuf_unlock(sound_buffer_entry* e) {
  if (e && e->buffer) sound_buffer_unlock(e->buffer);
  device.lock.unlock();
  return true;
}

int32_t volume_to_db(int32_t a, int32_t b) {
  if (b <= 0) return 0;
  if (a <= 0) return -10000;
  double db = std::trunc(2000.0 * std::log10(static_cast<double>(a) / b));
  if (db <= -10000) return -10000;
  if (db > 0) return 0;
  return static_cast<int32_t>(db);
}

void dsound_reset() {
  device_release(true);
  guard g(device.lock);
  device.failed = false;
  device.output_open = false;  // the next test's platform is asked again
}
