// STAND-IN: nothing plays before the sound module exists.
#include "sound/sound.h"

void sound_keep() {}
void sound_reset() {}
