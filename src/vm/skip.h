// Skip and auto modes.
//
// The player skips text (all of it, or only lines read before) or lets pages turn by themselves
// (auto mode). The flags below say which mode is on; is_skipping is the one predicate that waits,
// the message typewriter, sounds and movies consult. The CapsLock key can serve as the skip key
// or as the auto key (the input module's CAPSMODE rule).
#pragma once

#include <cstdint>

// Whether skipping is in effect:
//  - never while the skip-suppress counter is above 0;
//  - always in skip-all or forced skip;
//  - with the skip key or skip-read: on a read line, unless the skip key is on and cancel (131)
//    is held, which stops skipping for good (presses of 130, 131 and 136 taken, skip-read off,
//    CapsLock forced off, window messages pumped); an unread line switches skip-read off;
//  - in auto mode (auto key or flag) while the message window is ready to turn the page.
bool is_skipping();

// Modes: 0 and 7 all off; 1 skip read lines when the fast-skip setting is on, else skip all;
// 2 skip read lines; 3 auto; 4 skip all; 5 mode 1 under ALTMENU_A, else 4; 6 forced skip.
// Every call first clears forced skip (so any other mode only does that).
void skip_mode_set(int mode);
// VM reset: clears skip-all, skip-read, line-was-read, auto, forced skip, both menu locks and
// auto-ready.
void skip_reset();

// 1 while the auto key is on, else the auto flag.
int is_auto_mode();
int force_skip_get();

// The line-was-read flag, computed by the line instruction.
int line_was_read();
void line_was_read_set(int flag);
// Where the flag lives: the opcode loop writes it on every line mark of the main thread.
int* line_was_read_slot();

// The skip-suppress counter: while above 0 nothing counts as skipping. push returns 1 when it
// was 0; clear sets it to 0 (ForExec).
int skip_suppress_push();
void skip_suppress_clear();

// Bits: 1 skip-all, 2 skip-read, 4 auto.
void skip_flags_set(int bits);
int skip_flags_get();

// Set by the message window when auto mode may turn the page.
void auto_ready_set(int flag);

// The read-only fast-skip flag (the user setting "FastModeFlg_AR"): while set, the skip key skips
// only text already read. The setter also stores it in the settings key. It lives across runs.
int fastmode_read_get();
void fastmode_read_set(int flag);

// Menu locks A and B grey out menu items (the menu refresh reads them).
int menu_lock_a_get();
int menu_lock_b_get();
void menu_lock_a_set(int flag);
void menu_lock_b_set(int flag);

// Full screen (1) or the window (0): at once, or, under IGNORESCREENMODE, as menu request 92 or
// 93, so that the scripts decide.
void screen_mode_set(int full);

// Built-ins (argument 1 on top of the stack).
int builtin_skip_state_get(int32_t n, int32_t drop);  // waiting group; never waits
int builtin_skip_off(int32_t n, int32_t drop);
int builtin_skip_on(int32_t n, int32_t drop);
int builtin_skip_read_on(int32_t n, int32_t drop);
int builtin_auto_on(int32_t n, int32_t drop);
int builtin_skip_all_on(int32_t n, int32_t drop);
int builtin_skip_force_on(int32_t n, int32_t drop);
int builtin_skip_force_end(int32_t n, int32_t drop);
int builtin_skip_flags_set(int32_t n, int32_t drop);
int builtin_skip_flags_get(int32_t n, int32_t drop);
int builtin_skip_suppress_push(int32_t n, int32_t drop);
int builtin_skip_suppress_clear(int32_t n, int32_t drop);
int builtin_is_auto_mode(int32_t n, int32_t drop);
int builtin_force_skip_get(int32_t n, int32_t drop);
int builtin_line_was_read(int32_t n, int32_t drop);
int builtin_auto_ready_set(int32_t n, int32_t drop);
int builtin_fastmode_read_set(int32_t n, int32_t drop);
int builtin_menu_lock_a_set(int32_t n, int32_t drop);
int builtin_menu_lock_b_set(int32_t n, int32_t drop);
int builtin_menu_lock_a_clear(int32_t n, int32_t drop);
int builtin_menu_lock_b_clear(int32_t n, int32_t drop);
