#include "platform/sdl/sdl_audio.h"

#include <SDL.h>

#include <cstdlib>

#include "platform/sound_buffers.h"

// Module state: the open device (0 for none).
static SDL_AudioDeviceID device = 0;

static void output_callback(void*, Uint8* stream, int length) {
  sound_mix(reinterpret_cast<int16_t*>(stream), length / (2 * SOUND_OUTPUT_CHANNELS));
}

bool sdl_audio_open() {
  if (device) return true;
  // SIGINT and SIGTERM are the window system's (session_end_signals_catch), not SDL's.
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  if (!SDL_WasInit(SDL_INIT_AUDIO) && SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return false;
  SDL_AudioSpec want{}, have{};
  want.freq = SOUND_OUTPUT_RATE;
  want.format = AUDIO_S16SYS;
  want.channels = SOUND_OUTPUT_CHANNELS;
  want.samples = 1024;  // about 23 ms a callback
  want.callback = output_callback;
  // No format changes allowed: SDL converts for a device that wants another one.
  device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
  if (!device) {
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return false;
  }
  static bool exit_handler = false;
  if (!exit_handler) atexit(sdl_audio_close);
  exit_handler = true;
  SDL_PauseAudioDevice(device, 0);
  return true;
}

void sdl_audio_close() {
  if (device) SDL_CloseAudioDevice(device);  // waits for a callback that runs
  device = 0;
  if (SDL_WasInit(SDL_INIT_AUDIO)) SDL_QuitSubSystem(SDL_INIT_AUDIO);
}
