// STAND-IN: see sound.h.
#include "sound/sound.h"

void sound_reset() {}
