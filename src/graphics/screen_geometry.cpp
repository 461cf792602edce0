// STAND-IN: see screen_geometry.h.
#include "graphics/screen_geometry.h"

void screen_reset_offset() {}
