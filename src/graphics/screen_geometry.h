// Screen geometry built-ins.
//
// STAND-IN: only the VM reset's step. The screen-geometry module replaces this file. Until then
// the window never zooms, so there is no re-centring offset to clear.
#pragma once

// Sets both window-zoom re-centring offsets to 0.
void screen_reset_offset();
