// STAND-IN: no sprites, nothing suspended, until the sprite module exists.
#include "graphics/sprite.h"

int32_t sprite_update_suspend_count() { return 0; }
