// The log replay: a logged page runs through the control codes and the typewriter again, one
// entry a turn. The position lives in the calling frame's wait frame mark (position + 1; 0 before
// the first turn), the replay's flags in the console.
#include <cstring>

#include "base/int32.h"
#include "text/message.h"
#include "text/message_log.h"
#include "text/msg_control.h"
#include "vm/dispatcher.h"
#include "vm/interpreter.h"
#include "vm/thread.h"
#include "vm/variables.h"

namespace {

// A call instruction: opcode, hash, count. Waiting steps back over all of it.
constexpr int32_t CALL_SIZE = 8;

int replay_wait(call_frame* f) {
  f->code -= CALL_SIZE;
  run_state_set(RUN_YIELD);
  return 1;
}

int replay_end(call_frame* f, int32_t base, int32_t drop) {
  console_state& c = console();
  if (c.voice_count > 0) {
    voice_list_entry& last = c.voices[c.voice_count - 1];
    if (last.height == 0) last.height = i32_sub(i32_add(c.d.y, c.d.pitch), last.y);
  }
  push_int(0);
  builtin_finish(base, f->top, drop);
  f->wait_frame_mark = 0;
  f->wait_deadline = 0;
  c.d.no_wait = 0;
  c.replaying = false;
  return 0;
}

int first_position(console_state& c) {
  int32_t p = builtin_arg_int(1);
  c.replay_window_mode = p == -1;
  return p == -1 || p == -2 ? backlog_prev_start(p, p == -2) : p;
}

int replay(int32_t n, int32_t drop) {
  console_state& c = console();
  call_frame* f = vm_frame;  // handlers fired below open frames above this one
  int32_t base = f->top - n;
  if (msg_pending_exists() && message(0)) return replay_wait(f);

  bool first = f->wait_frame_mark == 0;
  if (first) {
    c.replaying = true;
    c.replay_page_wait_seen = false;
  }
  int position = first ? first_position(c) : f->wait_frame_mark - 1;
  int length = message_log_entry_length(position);
  if (length == 0) return replay_end(f, base, drop);
  const char* entry = reinterpret_cast<const char*>(message_log_bytes()) + position;
  bool page_mode = !c.replay_window_mode;

  if (entry[0] != '\\') {
    if (first) msg_control_exec("w", 0);
    msg_pending_set(entry);
  } else {
    const char* code = entry + 1;
    bool clear = std::strcmp(code, "w") == 0, newline = std::strcmp(code, "n") == 0;
    if (clear && !first) return replay_end(f, base, drop);
    if (page_mode && newline && first) {
      msg_control_exec("w", 0);
    } else if (page_mode && newline && c.replay_page_wait_seen) {
      return replay_end(f, base, drop);
    } else if (std::strcmp(code, "p") == 0) {
      c.replay_page_wait_seen = true;
    } else if (code[0] == 'c') {
      // colours are those of the replay's time
    } else if (code[0] == 'v') {
      if (c.d.no_wait)
        voice_list_record(code[1] ? code + 2 : "");
      else
        msg_control_exec(code, 0);
    } else {
      msg_control_exec(code, 0);
      if (first && !clear) msg_control_exec("w", 0);
    }
  }
  f->wait_frame_mark = position + length + 1;
  return replay_wait(f);
}

}  // namespace

int builtin_backlog_replay(int32_t n, int32_t drop) { return replay(n, drop); }

int builtin_backlog_replay_nowait(int32_t n, int32_t drop) {
  console().d.no_wait = 1;
  return replay(n, drop);
}
