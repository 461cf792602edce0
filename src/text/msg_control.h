// Message control codes: the letters that steer the message window ("console").
//
// A code is a letter followed by fields of ten characters each ("0x" and eight hex digits; field
// k starts at character 1 + 10k) and, for f, v and x, a text. Codes come from the control-code
// instruction, from the built-ins below, from the sound module's voice built-ins and from the
// log replay. Each code is logged as "\" + its text and most visible effects (page waits, window
// clears, custom effects) are left to the script's event hooks.
#pragma once

#include <cstdint>
#include <string>

#include "text/glyph.h"

constexpr int VOICE_LIST_ROWS = 20;
constexpr int VOICE_NAME_SIZE = 260;

// One voice of the current page: which lines it spoke.
struct voice_list_entry {
  int32_t y;       // start y of its first line
  int32_t height;  // 0 until its closing line is drawn
  int32_t pending;
  char name[VOICE_NAME_SIZE];
  char name2[VOICE_NAME_SIZE];
};

// The message window's state. The descriptor holds font, colours, no-wait, speed, target page,
// cursor (x, y), origin, size, indent and cache match.
struct console_state {
  font_descriptor d;
  font_descriptor saved;  // o code; the saved cursor is the saved descriptor's pen
  bool saved_set;
  bool enabled;
  bool ignore_origin_newline;
  bool first_line;
  bool replaying;
  bool replay_window_mode;
  bool replay_page_wait_seen;
  voice_list_entry voices[VOICE_LIST_ROWS];
  int32_t voice_count;
  bool voice_once;  // one-shot flag for the next voice code
  bool voice_skip;
  std::string last_text;  // what the page's first line showed
};

// The one console (set up with the default descriptor on first use).
console_state& console();

// Executes one code. Codes with from_script set are ignored (0) while the log is replayed.
int msg_control_exec(const char* code, int from_script);
// The control-code instruction: the code's template (length bytes, NUL counted) with its fields
// taken (and popped) from the value stack.
void msg_control_opcode(const char* code, int length);

// Field k of a code (0 when the code ends before it).
int32_t msg_code_field(const char* code, int k);

// Records a voice code's name in the voice table's open row (its second name when it has one).
void voice_list_record(const char* name);

// Forgets everything (tests); the program keeps the console for the whole process.
void console_module_reset();

int builtin_msg_color_code(int32_t n, int32_t drop);
int builtin_msg_font_code(int32_t n, int32_t drop);
int builtin_msg_locate_code(int32_t n, int32_t drop);
int builtin_console_clear(int32_t n, int32_t drop);  // self-cleaning
int builtin_console_set(int32_t n, int32_t drop);
int builtin_msg_set_cursor(int32_t n, int32_t drop);
int builtin_console_enable(int32_t n, int32_t drop);   // self-cleaning
int builtin_console_disable(int32_t n, int32_t drop);  // self-cleaning
