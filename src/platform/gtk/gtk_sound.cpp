// The desktop's sound output is SDL's audio device.
#include "platform/gtk/gtk_backend.h"
#include "platform/sdl/sdl_audio.h"

bool gtk_platform::sound_output_open() { return sdl_audio_open(); }
