#include "text/msg_control.h"

#include <cstdio>
#include <cstring>

#include "base/cp932.h"
#include "base/int32.h"
#include "graphics/page.h"
#include "graphics/presentation.h"
#include "shell/devtools.h"
#include "shell/env_keys.h"
#include "shell/settings.h"
#include "sound/sound.h"
#include "text/message.h"
#include "text/message_log.h"
#include "vm/dispatcher.h"
#include "vm/hooks.h"
#include "vm/interpreter.h"
#include "vm/script_error.h"
#include "vm/thread.h"
#include "vm/variables.h"

namespace {

// Event keys the codes fire.
constexpr uint32_t HOOK_CUSTOM = 0xd3ca70e5;     // g
constexpr uint32_t HOOK_NEWLINE = 0x04ae36bd;    // n, N
constexpr uint32_t HOOK_PAGE_WAIT = 0x20ce505d;  // p
constexpr uint32_t HOOK_CLEAR = 0x93b38a0b;      // w
constexpr uint32_t HOOK_TEXT = 0xec771b85;       // x
constexpr uint32_t HOOK_ENABLE = 0xf7a4c8d8;
constexpr uint32_t HOOK_DISABLE = 0x0d9b7f0e;

constexpr int32_t G_ABSENT = -99;
constexpr int FACE_AT = 41;  // the f code's face text follows its four fields
// Codes may come from a loaded save's log: a font beyond FONT_SIZE_MAX is refused.

// Module state.
console_state state;
bool state_ready = false;

void state_init() {
  state = console_state{};
  state.d = font_descriptor_default();
  state.first_line = true;
  state.voice_skip = voice_skip_def() != 0;
  state_ready = true;
}

int digit_value(char ch) {
  static const char digits[] = "00112233445566778899aAbBcCdDeEfF";
  const char* at = ch ? std::strchr(digits, ch) : nullptr;
  return at ? static_cast<int>(at - digits) / 2 : 0;
}

void cache_match_update(font_descriptor& d) {
  d.cache_match = font_cache_matches(d.face, d.size, d.width, font_quality_scale());
}

void clear_window(console_state& c) {
  std::memset(c.voices, 0, sizeof c.voices);
  c.voice_count = 0;
  c.d.no_wait = 0;
  c.d.speed = -1;
  c.d.indent = 0;
  c.d.x = c.d.origin_x;
  c.d.y = c.d.origin_y;
  hook_fire(HOOK_CLEAR, 0, 0);
  c.first_line = true;
  c.saved_set = false;
  c.last_text.clear();
  error_log_position();
}

void set_font(console_state& c, const char* code) {
  font_descriptor& d = c.d;
  int32_t size = msg_code_field(code, 0), width = msg_code_field(code, 1), pitch = msg_code_field(code, 2),
          fill = msg_code_field(code, 3);
  if (width == -1) width = size / 2;
  if (size < 0 || size > FONT_SIZE_MAX || width < 0 || width > FONT_SIZE_MAX) return;
  d.size = size;
  d.width = width;
  d.pitch = pitch == -1 ? size * 5 / 4 : pitch;
  d.fill = fill == -1 ? 0 : fill;
  if (std::strlen(code) > static_cast<size_t>(FACE_AT)) cp932_copy(d.face, sizeof d.face, code + FACE_AT);
  d.mincho = cp932_strstr(d.face, "明朝") != nullptr;
  cache_match_update(d);
}

void play_voice(console_state& c, const char* code, int from_script) {
  int channel = code[1] >= '0' && code[1] <= '9' ? code[1] - '0' : 0;
  const char* name = code[1] ? code + 2 : "";
  voice_list_record(name);
  voice(name, channel, from_script, c.voice_once ? 1 : 0, c.voice_skip ? 1 : 0);
  c.voice_once = false;
  c.voice_skip = voice_skip_def() != 0;
}

}  // namespace

console_state& console() {
  if (!state_ready) state_init();
  return state;
}

void console_module_reset() { state_init(); }

int32_t msg_code_field(const char* code, int k) {
  size_t start = 1 + 10 * static_cast<size_t>(k) + 2;  // past the letter, the earlier fields and "0x"
  size_t n = std::strlen(code);
  if (start >= n) return 0;
  uint32_t v = 0;
  for (size_t i = start; i < start + 8 && i < n; ++i) v = v << 4 | static_cast<uint32_t>(digit_value(code[i]));
  return static_cast<int32_t>(v);
}

void voice_list_record(const char* name) {
  console_state& c = console();
  if (c.voice_count >= VOICE_LIST_ROWS) {
    script_error("voice : ボイスは1ページに%d個までです", VOICE_LIST_ROWS);
    return;
  }
  voice_list_entry& row = c.voices[c.voice_count];
  cp932_copy(row.name[0] ? row.name2 : row.name, VOICE_NAME_SIZE, name);
  row.pending = 1;
}

int msg_control_exec(const char* code, int from_script) {
  console_state& c = console();
  if (c.replaying && from_script) return 0;
  bool ignore_newline = c.ignore_origin_newline;
  c.ignore_origin_newline = false;
  char letter = code[0];
  if ((letter == 'n' || letter == 'N') && ignore_newline && c.d.x == c.d.origin_x && c.d.y == c.d.origin_y)
    return 1;
  if (!c.replaying) {
    std::string entry = std::string("\\") + code;
    message_log_append(entry.data(), static_cast<int>(entry.size()));
  }
  font_descriptor& d = c.d;
  switch (letter) {
    case 'c':
      d.colour = msg_code_field(code, 0);
      d.decoration = msg_code_field(code, 1);
      break;
    case 'f':
      set_font(c, code);
      break;
    case 'g': {
      int pushed = 0;
      for (int k = 5; k >= 0; --k)
        if (int32_t v = msg_code_field(code, k); v != G_ABSENT) push_int(v), ++pushed;
      hook_fire(HOOK_CUSTOM, pushed, 0);
      break;
    }
    case 'l':
      d.x = msg_code_field(code, 0);
      d.y = msg_code_field(code, 1);
      break;
    case 'n':
    case 'N':
      d.x = i32_add(d.origin_x, d.indent);
      d.y = i32_add(d.y, d.pitch);
      c.first_line = false;
      hook_fire(HOOK_NEWLINE, 0, 0);
      error_log_append("\r\n");
      break;
    case 'o':
      c.saved = d;
      c.saved_set = true;
      d.x = i32_add(d.x, msg_code_field(code, 0));
      d.y = i32_add(d.y, msg_code_field(code, 1));
      break;
    case 'p':
      d.no_wait = 0;
      d.speed = -1;
      title_show_position();
      hook_fire(HOOK_PAGE_WAIT, 0, 0);
      break;
    case 'r':
      // Only what an o code saved: a restore without one would bring back an empty style.
      if (c.saved_set) d = c.saved;
      cache_match_update(d);
      c.saved_set = false;
      break;
    case 's':
      d.speed = msg_code_field(code, 0);
      break;
    case 't':
      if (!d.no_wait && vm_frame) vm_frame->wait_deadline = wait_deadline_after(vm_time_get(), msg_code_field(code, 0));
      break;
    case 'v':
      play_voice(c, code, from_script);
      break;
    case 'w':
      clear_window(c);
      break;
    case 'x':
      push_string(code + 1);
      hook_fire(HOOK_TEXT, 1, 0);
      break;
    case 'z':
      d.no_wait = 1;
      break;
    default:
      break;
  }
  return 1;
}

// ---------------------------------------------------------------------------------------------
// The control-code instruction

namespace {

// Cell k from the top of the current frame (1 = top); an int 0 where the frame holds none.
const value_cell* cell_from_top(int k) {
  static const value_cell none = int_cell(0);
  if (!vm_thread || vm_frame->top - k < vm_frame->base) return &none;
  return &vm_thread->stack[vm_frame->top - k];
}
int32_t cell_int(int k) {
  const value_cell* c = cell_from_top(k);
  return c->type == TYPE_INT || c->type == TYPE_FLOAT ? c->i : 0;
}
const char* cell_text(int k) {
  const value_cell* c = cell_from_top(k);
  return c->type == TYPE_STRING && c->s ? c->s->text : "";
}

void fields_append(std::string& code, std::initializer_list<int32_t> values) {
  char field[16];
  for (int32_t v : values) {
    std::snprintf(field, sizeof field, "0x%08x", static_cast<uint32_t>(v));
    code += field;
  }
}

}  // namespace

void msg_control_opcode(const char* text, int length) {
  std::string tpl(text, length > 0 ? strnlen(text, static_cast<size_t>(length)) : 0);
  char letter = tpl.empty() ? 0 : tpl[0];
  std::string code(1, letter);
  int cells = 0;
  switch (letter) {
    case 'c': case 'l': case 'o':
      fields_append(code, {cell_int(2), cell_int(1)});
      cells = 2;
      break;
    case 'd': {
      const value_cell* c = cell_from_top(1);
      char number[64];
      if (c->type == TYPE_INT)
        std::snprintf(number, sizeof number, "%d", c->i);
      else if (c->type == TYPE_FLOAT)
        std::snprintf(number, sizeof number, "%f", static_cast<double>(c->f));
      msg_pending_append(c->type == TYPE_STRING ? cell_text(1) : c->type <= TYPE_FLOAT ? number : "");
      if (vm_thread && vm_frame->top > vm_frame->base) stack_pop();
      return;
    }
    case 'f':
      fields_append(code, {cell_int(5), cell_int(4), cell_int(3), cell_int(1)});
      code += cell_text(2);
      cells = 5;
      break;
    case 'g':
      fields_append(code, {cell_int(6), cell_int(5), cell_int(4), cell_int(3), cell_int(2), cell_int(1)});
      cells = 6;
      break;
    case 's': case 't':
      fields_append(code, {cell_int(1)});
      cells = 1;
      break;
    case 'x':
      code += cell_text(1);
      cells = 1;
      break;
    case 'n':
      if (msg_quote_flag()) code[0] = 'N';
      code.append(tpl, 1, std::string::npos);
      break;
    default:
      code = tpl;
      break;
  }
  for (; cells > 0 && vm_thread && vm_frame->top > vm_frame->base; --cells) stack_pop();
  msg_control_exec(code.c_str(), 1);
}

// ---------------------------------------------------------------------------------------------
// Built-ins

namespace {

int result0() {
  push_int(0);
  return 0;
}

// A self-cleaning built-in that fires a hook ends its own call first, so that the handler's frame
// opens above a tidy caller.
void finish_before_hook(int32_t n, int32_t drop) {
  int32_t base = vm_frame->top - n;
  push_int(0);
  builtin_finish(base, vm_frame->top, drop);
}

int console_switch(int32_t n, int32_t drop, bool on) {
  console_state& c = console();
  int32_t page1 = n >= 1 ? builtin_arg_int(1) : 0, page2 = n >= 2 ? builtin_arg_int(2) : 0;
  finish_before_hook(n, drop);
  if (c.enabled != on && !c.replaying) {
    push_int(page2);
    push_int(page1);
    hook_fire(on ? HOOK_ENABLE : HOOK_DISABLE, 2, 0);
  }
  c.enabled = on;
  return 0;
}

}  // namespace

int builtin_msg_color_code(int32_t n, int32_t) {
  std::string code = "c";
  fields_append(code, {builtin_arg_int(1), n >= 2 ? builtin_arg_int(2) : -1});
  msg_control_exec(code.c_str(), 1);
  return result0();
}

int builtin_msg_font_code(int32_t n, int32_t) {
  int32_t size = n >= 2 ? builtin_arg_int(2) : 20;
  std::string code = "f";
  fields_append(code, {size, n >= 3 ? builtin_arg_int(3) : size / 2, n >= 4 ? builtin_arg_int(4) : size * 5 / 4,
                       n >= 5 ? builtin_arg_int(5) : 0});
  code += builtin_arg_text(1);
  msg_control_exec(code.c_str(), 1);
  return result0();
}

int builtin_msg_locate_code(int32_t, int32_t) {
  std::string code = "l";
  fields_append(code, {builtin_arg_int(1), builtin_arg_int(2)});
  msg_control_exec(code.c_str(), 1);
  return result0();
}

int builtin_console_clear(int32_t n, int32_t drop) {
  finish_before_hook(n, drop);
  msg_control_exec("w", 1);
  return 0;
}

int builtin_console_set(int32_t, int32_t) {
  font_descriptor& d = console().d;
  uint32_t id = static_cast<uint32_t>(builtin_arg_int(1));
  if (page_missing(id)) {
    script_error("console_set : ページが存在しません");
    page* front = front_page_get();
    id = front ? front->id : 0;
  }
  d.target = id;
  d.origin_x = d.x = builtin_arg_int(2);
  d.origin_y = d.y = builtin_arg_int(3);
  d.window_width = builtin_arg_int(4);
  d.window_height = builtin_arg_int(5);
  return result0();
}

int builtin_msg_set_cursor(int32_t, int32_t) {
  font_descriptor& d = console().d;
  d.x = builtin_arg_int(1);
  d.y = builtin_arg_int(2);
  return result0();
}

int builtin_console_enable(int32_t n, int32_t drop) { return console_switch(n, drop, true); }
int builtin_console_disable(int32_t n, int32_t drop) { return console_switch(n, drop, false); }
