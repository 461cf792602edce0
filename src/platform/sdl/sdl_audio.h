// The sound output on SDL2's audio subsystem (no SDL window): one device stream of 44100 Hz 16-bit
// stereo whose callback only mixes (sound_mix). The driver is SDL's choice, or SDL_AUDIODRIVER's
// ("dummy" and "disk" serve runs without a sound card).
#pragma once

// Opens the default device and starts it; true when it runs (also when it ran already).
bool sdl_audio_open();
// Closes it (tests; the exit handler that the first open registers).
void sdl_audio_close();
