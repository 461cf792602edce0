// The message log: every text and control code shown in the message window, newest last, in one
// fixed buffer that save files carry whole. Walks over it serve the backlog built-ins.
//
// Layout: entries end at offset MESSAGE_LOG_SIZE; each is its bytes, a NUL and a little-endian
// u16 holding the entry's whole length (bytes + 3). Unused space at the front is zero.
//
// The replay (backlog_replay.cpp) runs a logged page through the control codes and the
// typewriter again, one entry a turn.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int MESSAGE_LOG_SIZE = 40000;

// Appends an entry of n bytes (no NUL in them), dropping the oldest bytes. Nothing is logged
// while the suppress counter is above 0, nor an entry that would not fit the log.
void message_log_append(const char* bytes, int n);
// The whole buffer, for a save file, and its replacement from a loaded one (a shorter source
// fills the end, the front stays zero). A loaded log is not trusted by the walks below.
const unsigned char* message_log_bytes();
void message_log_restore(const void* bytes, size_t size);

// 1 when the entry at position is a page start, 0 when not, -1 outside 0..MESSAGE_LOG_SIZE-1.
// Page mode also counts a "\n" right after "\p" or "\n"; window mode only "\w".
int backlog_page_start_at(int position, bool page_mode);
// The page start before position (negative: from the end); position itself when there is none.
int backlog_prev_start(int position, bool page_mode);
// The page start after position (negative: the end); position itself when there is none.
int backlog_next_start(int position, bool page_mode);
// Pages in the log: one step from the end always counts, then each step that moves.
int backlog_count(bool page_mode);
// The n-th page start back from the end, page mode (n <= 1: the last page).
int backlog_page_back(int n);
// Keeps everything up to and including the window clear that opens the next-to-last window
// page, moved to the end of the log; what came after it is dropped.
void backlog_trim();

void backlog_suppress_push();
void backlog_suppress_pop();
bool backlog_suppressed();
// The VM reset's step: the counter goes back to 0.
void backlog_suppress_clear();

// The whole length of the entry at position (bytes + 3), or 0 when no entry fits there.
int message_log_entry_length(int position);

// Zeroes the log and the suppress counter (start of a run; tests).
void message_log_reset();

int builtin_backlog_count_windows(int32_t, int32_t);
int builtin_backlog_count_pages(int32_t, int32_t);
int builtin_backlog_page_back(int32_t, int32_t);
int builtin_backlog_prev(int32_t, int32_t);
int builtin_backlog_next(int32_t, int32_t);
int builtin_backlog_prev_window(int32_t, int32_t);
int builtin_backlog_next_window(int32_t, int32_t);
int builtin_backlog_trim(int32_t, int32_t);
int builtin_backlog_suppress_push(int32_t, int32_t);
int builtin_backlog_suppress_pop(int32_t, int32_t);
int builtin_backlog_replay(int32_t n, int32_t drop);         // self-cleaning, waits
int builtin_backlog_replay_nowait(int32_t n, int32_t drop);  // self-cleaning, waits
