// Display modes and full screen.
//
// STAND-IN: the display-mode module replaces this file. Until then there is no full screen to
// scale.
#pragma once

// The full-screen scale type (the FullScreenFit setting, 0-4).
void display_scale_type_set(int type);
