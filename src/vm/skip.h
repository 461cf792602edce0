// Skip and auto modes.
//
// STAND-IN: the flags and the mode switch that the thread, object, settings, interpreter and
// dispatcher modules use, with the predicate reduced to the skip-suppress counter, skip-all,
// forced skip and skip-read at read lines (auto mode and the skip keys come with the skip module,
// which replaces this file).
#pragma once

// Whether skipping is in effect. Skip-read stops (and is switched off) at a line not read before.
bool is_skipping();
// Switches the modes (0 off ... 7 all off); every call first clears forced skip.
void skip_mode_set(int mode);
// Clears skip-all, skip-read, line-was-read, auto, forced skip and the two menu locks.
void skip_reset();
// 1 while the auto key is on or the auto flag is set.
int is_auto_mode();
int force_skip_get();
// The line-was-read flag, computed by the line instruction.
int line_was_read();
void line_was_read_set(int flag);

// The skip-suppress counter: push returns 1 when it was 0; clear sets it to 0.
int skip_suppress_push();
void skip_suppress_clear();

// Bits: 1 skip-all, 2 skip-read, 4 auto.
void skip_flags_set(int bits);
int skip_flags_get();

void auto_ready_set(int flag);

// The read-only fast-skip flag (the user setting "FastModeFlg_AR"): while set, the skip key skips
// only text already read. The setter also stores it in the settings key.
int fastmode_read_get();
void fastmode_read_set(int flag);

int menu_lock_a_get();
int menu_lock_b_get();
void menu_lock_a_set(int flag);
void menu_lock_b_set(int flag);
