// Sprites, dirty grids and frame pacing.
//
// STAND-IN: only the suspend counter that the dispatcher reads; sprite updates are never
// suspended. The sprite module replaces this file.
#pragma once

#include <cstdint>

// Greater than 0 while sprite updates are suspended.
int32_t sprite_update_suspend_count();
