#include "text/message_log.h"

#include <cstring>

#include "vm/dispatcher.h"
#include "vm/variables.h"

namespace {

// Module state.
unsigned char message_log[MESSAGE_LOG_SIZE];
int suppress_count = 0;

constexpr int END = MESSAGE_LOG_SIZE;

int length_ending_at(int e) { return message_log[e - 2] | message_log[e - 1] << 8; }

// Forward length of the entry at p (strlen + 3), or 0 when it does not fit the buffer: the log may
// come from a save file.
int length_at(int p) {
  if (p < 0 || p >= END) return 0;
  const void* nul = std::memchr(message_log + p, 0, END - p);
  if (nul == nullptr) return 0;
  int len = static_cast<int>(static_cast<const unsigned char*>(nul) - message_log - p) + 3;
  return p + len <= END ? len : 0;
}

bool entry_is(int p, const char* code) {
  size_t n = std::strlen(code) + 1;
  return p >= 0 && p + static_cast<int>(n) <= END && std::memcmp(message_log + p, code, n) == 0;
}

bool is_text(int p) { return p >= 0 && p < END && message_log[p] != '\\'; }

}  // namespace

void message_log_append(const char* bytes, int n) {
  int len = n + 3;
  if (suppress_count > 0 || n < 0 || len > END) return;
  std::memmove(message_log, message_log + len, END - len);
  std::memcpy(message_log + END - len, bytes, n);
  message_log[END - 3] = 0;
  message_log[END - 2] = static_cast<unsigned char>(len);
  message_log[END - 1] = static_cast<unsigned char>(len >> 8);
}

const unsigned char* message_log_bytes() { return message_log; }

void message_log_restore(const void* bytes, size_t size) {
  if (size > END) size = END;
  std::memset(message_log, 0, END - size);
  std::memcpy(message_log + END - size, bytes, size);
}

int backlog_page_start_at(int position, bool page_mode) {
  if (position < 0 || position >= END) return -1;
  if (entry_is(position, "\\w")) return 1;
  if (position <= 4 || !page_mode) return 0;
  return entry_is(position, "\\n") && (entry_is(position - 5, "\\p") || entry_is(position - 5, "\\n"));
}

int backlog_prev_start(int position, bool page_mode) {
  if (position > END) return position;
  bool from_end = position < 0 || position == END;
  int e = position < 0 ? END : position;
  bool passed = false;
  while (e >= 3) {
    int len = length_ending_at(e);
    if (len < 3 || len > e) break;  // zero front, or a damaged length
    int start = e - len;
    if ((passed || from_end) && backlog_page_start_at(start, page_mode) == 1) return start;
    if (is_text(start) || entry_is(start, "\\p")) passed = true;
    e = start;
  }
  return position;
}

int backlog_next_start(int position, bool page_mode) {
  int p = position < 0 ? END : position;
  if (p >= END) return position;
  int len = length_at(p);
  if (len == 0 || p + len >= END) return position;  // the last entry
  int q = p + len;
  while (backlog_page_start_at(q, page_mode) != 1) {
    int step = length_at(q);
    if (step == 0) return position;
    q += step;
    if (q >= END) return position;
  }
  int last = q;
  // Codes right after it belong to the same page start; a text or a page wait ends the run.
  for (int r = q + length_at(q); r < END && length_at(r) > 0 && !is_text(r) && !entry_is(r, "\\p");
       r += length_at(r))
    if (backlog_page_start_at(r, page_mode) == 1) last = r;
  return last;
}

int backlog_count(bool page_mode) {
  int count = 1;
  int p = backlog_prev_start(END, page_mode);
  for (int q; (q = backlog_prev_start(p, page_mode)) != p; p = q) ++count;
  return count;
}

int backlog_page_back(int n) {
  int p = backlog_prev_start(END, true);
  // The walk stops at the first page: a script's n may be INT_MAX.
  for (int i = 1, q; i < n && (q = backlog_prev_start(p, true)) != p; ++i) p = q;
  return p;
}

void backlog_trim() {
  int p = backlog_prev_start(backlog_prev_start(END, false), false);
  int kept = p + 5;
  if (p < 0 || kept > END) return;  // no window page: nothing to keep in place of the end
  std::memmove(message_log + END - kept, message_log, kept);
  std::memset(message_log, 0, END - kept);
}

void backlog_suppress_push() { ++suppress_count; }
void backlog_suppress_pop() { --suppress_count; }
bool backlog_suppressed() { return suppress_count > 0; }
void backlog_suppress_clear() { suppress_count = 0; }

int message_log_entry_length(int position) { return length_at(position); }

void message_log_reset() {
  std::memset(message_log, 0, sizeof message_log);
  suppress_count = 0;
}

namespace {
int result(int v) {
  push_int(v);
  return 0;
}
}  // namespace

int builtin_backlog_count_windows(int32_t, int32_t) { return result(backlog_count(false)); }
int builtin_backlog_count_pages(int32_t, int32_t) { return result(backlog_count(true)); }
int builtin_backlog_page_back(int32_t, int32_t) { return result(backlog_page_back(builtin_arg_int(1))); }
int builtin_backlog_prev(int32_t, int32_t) { return result(backlog_prev_start(builtin_arg_int(1), true)); }
int builtin_backlog_next(int32_t, int32_t) { return result(backlog_next_start(builtin_arg_int(1), true)); }
int builtin_backlog_prev_window(int32_t, int32_t) { return result(backlog_prev_start(builtin_arg_int(1), false)); }
int builtin_backlog_next_window(int32_t, int32_t) { return result(backlog_next_start(builtin_arg_int(1), false)); }
int builtin_backlog_trim(int32_t, int32_t) {
  backlog_trim();
  return result(0);
}
int builtin_backlog_suppress_push(int32_t, int32_t) {
  backlog_suppress_push();
  return result(0);
}
int builtin_backlog_suppress_pop(int32_t, int32_t) {
  backlog_suppress_pop();
  return result(0);
}
