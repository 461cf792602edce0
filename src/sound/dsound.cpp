// STAND-IN: there is no device to open before the sound-device module exists; nothing plays.
#include "sound/dsound.h"

int dsound_ensure_init() { return 0; }
