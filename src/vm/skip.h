// Skip and auto modes.
//
// STAND-IN: the predicate and the mode switch over the skip-all, skip-read and forced-skip flags,
// the line-was-read flag and the read-only fast-skip setting, without auto mode, the skip keys or
// the menu locks. The skip module replaces this file.
#pragma once

// Whether skipping is in effect. Skip-read stops (and is switched off) at a line not read before.
bool is_skipping();
// Mode 0 and 7 all off, 1 and 4-5 skip all, 2 skip read lines, 6 forced skip; every call first
// clears forced skip.
void skip_mode_set(int mode);
// Clears every skip flag.
void skip_reset();
int force_skip_get();
// Sets the skip-suppress counter to 0.
void skip_suppress_clear();
// The line-was-read flag, computed by the line instruction.
int line_was_read();
void line_was_read_set(int flag);

// The read-only fast-skip flag (the user setting "FastModeFlg_AR"): while set, the skip key skips
// only text already read. The setter also stores it in the settings key.
int fastmode_read_get();
void fastmode_read_set(int flag);
