// Skip and auto modes.
//
// STAND-IN: only the read-only fast-skip flag exists yet, which the settings load. The skip-mode
// module replaces this file with the skip block, the predicate and the mode switch.
#pragma once

// The read-only fast-skip flag (the user setting "FastModeFlg_AR"): while set, the skip key skips
// only text already read. The setter also stores it in the settings key.
int fastmode_read_get();
void fastmode_read_set(int flag);
