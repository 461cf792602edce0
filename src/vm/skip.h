// Skip and auto modes.
//
// STAND-IN: the two calls that the thread and object modules need. The skip module replaces
// this file.
#pragma once

// Whether skipping is in effect.
bool is_skipping();
// Sets the skip-suppress counter to 0.
void skip_suppress_clear();
