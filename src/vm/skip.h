// Skip and auto modes.
//
// STAND-IN: the calls that the thread and object modules and the settings need. The skip module replaces
// this file.
#pragma once

// Whether skipping is in effect.
bool is_skipping();
// Sets the skip-suppress counter to 0.
void skip_suppress_clear();

// The read-only fast-skip flag (the user setting "FastModeFlg_AR"): while set, the skip key skips
// only text already read. The setter also stores it in the settings key.
int fastmode_read_get();
void fastmode_read_set(int flag);
