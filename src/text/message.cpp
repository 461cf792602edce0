#include "text/message.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "base/cp932.h"
#include "base/env.h"
#include "base/int32.h"
#include "graphics/page.h"
#include "shell/devtools.h"
#include "shell/env_keys.h"
#include "text/glyph.h"
#include "text/message_log.h"
#include "text/msg_control.h"
#include "text/pending_text.h"
#include "vm/dispatcher.h"
#include "vm/hooks.h"
#include "vm/script_error.h"
#include "vm/skip.h"
#include "vm/thread.h"
#include "vm/variables.h"

namespace {

constexpr uint32_t HOOK_LINE = 0x47bb540c;
constexpr uint32_t HOOK_NAME = 0x44a4ff72;
constexpr uint32_t HOOK_CLEAR = 0x93b38a0b;
constexpr uint32_t HOOK_ENABLE = 0xf7a4c8d8;
constexpr uint32_t HOOK_SKIPPED_UNREAD = 0x1a95282e;

constexpr char LINE_START_DEFAULT[] =
    "ー、。，．」』）？！ぁぃぅぇぉっゃゅょゎァィゥェォャュョヮヵヶ゛゜ゝゞヽヾ〟・…：；‐】〕］｝〉》";
constexpr char LINE_END_DEFAULT[] = "「『（【‘“〔［｛〈《";
constexpr size_t KINSOKU_TABLE_SIZE = 256;

using text_kind = pending_text::kind;
constexpr size_t NONE = pending_text::NONE;

// Module state. The pending text grows as needed (scripts may pile up any amount of it).
struct {
  bool has_pending = false;
  pending_text pending;
  bool quote = false;
  bool logged = false;              // the pending text is in the log,
  const void* logged_at = nullptr;  // for this layout instruction
  bool inner_brackets = false;      // the text had （ 『 markers: they indent like 「 」
  bool broken = false;              // a line of the pending text was drawn and more followed
  bool seen = false;
  bool tables_read = false;
  std::string line_start_table, line_end_table;  // may not start / may not end a line
} tw;

void pending_free() {
  tw.has_pending = false;
  tw.pending.clear();
  tw.logged = false;
  tw.logged_at = nullptr;
  tw.inner_brackets = false;
  tw.broken = false;
}

void tables_read() {
  if (tw.tables_read) return;
  char buffer[KINSOKU_TABLE_SIZE];
  tw.line_start_table = env_get_string("GYOUTOUKINSOKU", buffer, sizeof buffer, LINE_START_DEFAULT);
  tw.line_end_table = env_get_string("GYOUMATUKINSOKU", buffer, sizeof buffer, LINE_END_DEFAULT);
  tw.tables_read = true;
}

// Whether the character (len bytes at s) is one of the table's characters.
bool in_table(const std::string& table, const char* s, size_t len) {
  for (const char* t = table.c_str(); *t; t += cp932_char_len(t))
    if (cp932_char_len(t) == len && std::memcmp(t, s, len) == 0) return true;
  return false;
}

bool char_is(const pending_text& p, size_t at, const char* what) {
  size_t n = std::strlen(what);
  return p.char_len(at) == n && std::memcmp(p.at(at), what, n) == 0;
}

// Takes the first of each bracket marker out of the pending text (one of each a run), remembering
// where the voice marks stood; the earliest of each stays.
void markers_take() {
  pending_text& p = tw.pending;
  for (text_kind k : {pending_text::OPEN_PAREN, pending_text::OPEN_HOOK, pending_text::PAREN_CLOSE,
                      pending_text::HOOK_CLOSE, pending_text::OPEN_OPEN, pending_text::CLOSE_CLOSE}) {
    size_t at = p.take(k);
    if (at == NONE) continue;
    bool starts = k == pending_text::OPEN_PAREN || k == pending_text::OPEN_HOOK || k == pending_text::OPEN_OPEN;
    size_t& mark = starts ? p.voice_start : p.voice_end;
    mark = std::min(mark, at);
    if (k != pending_text::OPEN_OPEN && k != pending_text::CLOSE_CLOSE) tw.inner_brackets = true;
  }
}

// Blanks dropped at the start of a continuation line.
void leading_blanks_drop(pending_text& p) {
  for (const char* blank : {"　", " ", "　"}) {
    size_t at = p.front();
    while (at < p.end() && char_is(p, at, blank)) at = p.next(at);
    p.drop_front(at);
  }
}

struct line_char {
  size_t at, len;
  int width;
};

int char_width(const font_descriptor& d, const char* s, size_t len) {
  char one[3] = {s[0], len > 1 ? s[1] : '\0', '\0'};
  return text_measure(&d, one, 0).width;
}

// Where the next line of the pending text ends. The indent follows the brackets taken.
size_t line_break(font_descriptor& d, const pending_text& s) {
  tables_read();
  const int kt = kinsoku_type(), fw = d.width;
  const long long room = static_cast<long long>(d.origin_x) + d.window_width - d.x;
  const long long margin = room - 2LL * kt * fw;
  auto no_start = [](const pending_text& t, const line_char& c) { return in_table(tw.line_start_table, t.at(c.at), c.len); };
  auto no_end = [](const pending_text& t, const line_char& c) { return in_table(tw.line_end_table, t.at(c.at), c.len); };
  std::vector<line_char> line;
  long long width = 0;
  size_t pos = s.front();
  while (pos < s.end()) {
    line_char k{pos, s.char_len(pos), 0};
    k.width = char_width(d, s.at(pos), k.len);
    const line_char* prev = line.empty() ? nullptr : &line.back();
    bool held = prev && (no_end(s, *prev) || no_start(s, k));
    // A line always takes its first character, however narrow the window: an empty line would
    // never use the text up.
    if (kt > 1 && prev && !held && width + k.width > margin) break;
    if (prev && width + k.width > room) {
      bool ends = kt == 0 ? !held : room - width >= 2LL * fw || no_start(s, *prev);
      if (!ends && line.size() >= 2) {
        size_t back = !no_end(s, line[line.size() - 2]) ? 1 : kt != 0 ? 2 : 0;
        // What goes down must not start with a character that may not start a line (。 before 」),
        // nor leave one that may not end it: the characters before go down with it.
        while (back > 0 && back + 1 < line.size() &&
               (no_start(s, line[line.size() - back]) || no_end(s, line[line.size() - back - 1])))
          back++;
        if (back >= line.size()) back = line.size() - 1;
        for (; back > 0; --back) width -= line.back().width, line.pop_back();
      }
      break;
    }
    line.push_back(k);
    width += k.width;
    pos = s.next(pos);
    bool open = char_is(s, k.at, "「") || (tw.inner_brackets && (char_is(s, k.at, "（") || char_is(s, k.at, "『")));
    bool close = char_is(s, k.at, "」") || (tw.inner_brackets && (char_is(s, k.at, "）") || char_is(s, k.at, "』")));
    if (open) d.indent = space_indent() ? i32_add(indent_offset(), static_cast<int32_t>(width)) : 0;
    if (close) d.indent = 0;
  }
  return line.empty() ? s.front() : line.back().at + line.back().len;
}

void voice_row_open(console_state& c) {
  if (c.voice_count >= VOICE_LIST_ROWS) return;
  voice_list_entry& row = c.voices[c.voice_count];
  row.pending = 1;
  row.y = c.d.y;
  row.height = 0;
  if (row.name[0]) ++c.voice_count;
}

void voice_row_close(console_state& c) {
  if (c.voice_count == 0) return;
  voice_list_entry& row = c.voices[c.voice_count - 1];
  if (row.height == 0) row.height = i32_sub(i32_add(c.d.y, c.d.pitch), row.y);
  row.pending = 0;
}

// Whether the mark lies in the line, which ends where the text goes on (the mark is used up then).
bool marker_in_line(size_t& mark, size_t line_end, bool at_end_counts) {
  if (mark == NONE || !(mark < line_end || (at_end_counts && mark == line_end))) return false;
  mark = NONE;
  return true;
}

}  // namespace

void msg_text_append(const char* text, int length) {
  msg_pending_append(std::string_view(text, length > 0 ? strnlen(text, static_cast<size_t>(length)) : 0));
  tw.seen = true;
}

// The pending text is bounded like a string: past the bound more text is reported and dropped,
// so no script that never shows its text makes it grow without end. Texts end at a NUL, as
// every caller's does.
void msg_pending_append(std::string_view text) {
  text = text.substr(0, text.find('\0'));
  if (tw.pending.size() + text.size() > STRING_MAX_BYTES) {
    script_error("message : 表示する文字列が長すぎます(%zu バイト)", tw.pending.size() + text.size());
    return;
  }
  tw.pending.append(text);
  tw.has_pending = true;
}

bool msg_pending_exists() { return tw.has_pending; }

void msg_pending_set(std::string_view text) {
  pending_free();
  msg_pending_append(text);
}

bool msg_quote_flag() { return tw.quote; }

int message(int) {
  console_state& c = console();
  font_descriptor& d = c.d;
  if (!tw.has_pending) return 0;
  if (tw.pending.empty()) {
    pending_free();
    return 0;
  }
  pending_text& s = tw.pending;
  const void* position = vm_thread ? vm_frame->code : nullptr;
  if (!tw.logged || position != tw.logged_at) {
    if (!c.replaying) {
      std::string_view whole = s.rest();
      message_log_append(whole.data(), static_cast<int>(whole.size()));
      error_log_append(whole.data());
    }
    tw.logged = true;
    tw.logged_at = position;
  }
  if (!c.enabled && !c.replaying) {
    c.enabled = true;
    push_int(0);
    push_int(0);
    hook_fire(HOOK_ENABLE, 2, 0);
    return 1;
  }
  s.bars_to_blanks();
  if (s.find(pending_text::OPEN) != NONE) tw.quote = true;
  if (s.find(pending_text::CLOSE) != NONE) tw.quote = false;

  if (name_popup()) {
    // A speaker's name opens a message. Text after a line break that runs up to a later 「 is the
    // message's own: taken as a name, it vanished from the page, and only when the lines happened
    // to break before it.
    size_t bracket = s.find(pending_text::OPEN);
    if (!tw.broken && bracket != NONE && bracket > s.front()) {
      std::string name = s.text(s.front(), bracket);
      s.cut_front(bracket);
      push_string(name.c_str());
      hook_fire(HOOK_NAME, 1, 0);
      return 1;
    }
    markers_take();
  }

  // A cursor below the window is an overflow; at the window's top line it is not, or a window
  // lower than one line would clear itself for ever.
  if (d.y > static_cast<long long>(d.origin_y) + d.window_height - d.size && d.y != d.origin_y) {
    if (!force_skip_get()) script_error("message : ページからはみ出しました");
    d.x = d.origin_x;
    d.y = d.origin_y;
    d.indent = 0;
    hook_fire(HOOK_CLEAR, 0, 0);
    return 1;
  }

  if (force_skip_get()) {
    pending_free();
    d.x = i32_add(d.origin_x, d.indent);
    d.y = i32_add(d.y, d.pitch);
    if (!line_was_read()) hook_fire(HOOK_SKIPPED_UNREAD, 0, 0);
    return 1;
  }

  if (space_indent() && d.indent != 0 && d.x == i32_add(d.origin_x, d.indent)) leading_blanks_drop(s);
  font_realize(&d, font_quality_scale());
  size_t used = line_break(d, s);
  std::string line = s.text(s.front(), used);
  used = s.skip(used);
  bool remains = used < s.end();
  if (remains && d.fill) text_pending_right_edge_set(i32_sub(i32_add(d.origin_x, d.window_width), i32_add(d.x, 1)));

  if (c.first_line && !c.saved_set && !backlog_suppressed()) c.last_text += line;
  bool opens = marker_in_line(s.voice_start, used, false) || cp932_find(line, "「") != std::string::npos;
  bool closes = marker_in_line(s.voice_end, used, true) || cp932_find(line, "」") != std::string::npos;
  if (opens) voice_row_open(c);
  page_rect drawn{d.x, d.y, 0, 0};
  int advance = text_draw(&d, page_from_id(d.target), line.c_str(), &drawn, 0);
  if (closes) voice_row_close(c);

  if (remains) {
    s.drop_front(used);
    tw.broken = true;
    d.x = i32_add(d.origin_x, d.indent);
    d.y = i32_add(d.y, d.pitch);
    c.first_line = false;
  } else {
    pending_free();
    d.x = i32_add(d.x, advance);
  }
  push_int(d.no_wait);
  push_int(drawn.height);
  push_int(drawn.width);
  push_int(drawn.y);
  push_int(drawn.x);
  push_int(static_cast<int32_t>(d.target));
  hook_fire(HOOK_LINE, 6, 0);
  return 1;
}

void console_state_reset() {
  console_state& c = console();
  pending_free();
  glyph_line_page_free();
  c.enabled = false;
  c.ignore_origin_newline = false;
  // A replay that a reset or load cut short never reaches its end: logging would stay off.
  c.replaying = false;
  backlog_suppress_clear();
  c.voice_skip = voice_skip_def() != 0;
}

bool console_is_enabled() { return console().enabled; }
int text_speed_get() { return console().d.speed; }

void message_module_reset() {
  pending_free();
  tw.quote = tw.seen = tw.tables_read = false;
}

// ---------------------------------------------------------------------------------------------
// Built-ins

namespace {
int result(int32_t v) {
  push_int(v);
  return 0;
}
const voice_list_entry* voice_row(int32_t row) {
  const console_state& c = console();
  return row >= 0 && row < c.voice_count ? &c.voices[row] : nullptr;
}
}  // namespace

int builtin_msg_nowait_on(int32_t, int32_t) { return console().d.no_wait = 1, result(0); }
int builtin_msg_nowait_off(int32_t, int32_t) { return console().d.no_wait = 0, result(0); }
int builtin_msg_cursor_x(int32_t, int32_t) { return result(console().d.x - console().d.origin_x); }
int builtin_msg_cursor_y(int32_t, int32_t) { return result(console().d.y - console().d.origin_y); }
int builtin_msg_cursor_abs_x(int32_t, int32_t) { return result(console().d.x); }
int builtin_msg_cursor_abs_y(int32_t, int32_t) { return result(console().d.y); }
int builtin_console_enabled_get(int32_t, int32_t) { return result(console().enabled ? 1 : 0); }
int builtin_msg_font_size(int32_t, int32_t) { return result(console().d.size); }
int builtin_msg_skip_origin_newline(int32_t, int32_t) { return console().ignore_origin_newline = true, result(0); }
int builtin_msg_last_text(int32_t, int32_t) {
  push_string(console().last_text.c_str());
  return 0;
}
int builtin_voice_flag_set(int32_t, int32_t) { return console().voice_once = true, result(0); }
int builtin_voice_skip_flag_set(int32_t, int32_t) { return console().voice_skip = true, result(0); }
int builtin_voice_list_count(int32_t, int32_t) { return result(console().voice_count); }
int builtin_voice_list_name(int32_t, int32_t) {
  const voice_list_entry* row = voice_row(builtin_arg_int(1));
  push_string(row ? row->name : "");
  return 0;
}
int builtin_voice_list_name2(int32_t, int32_t) {
  const voice_list_entry* row = voice_row(builtin_arg_int(1));
  push_string(row ? row->name2 : "");
  return 0;
}
int builtin_voice_list_y(int32_t, int32_t) {
  const voice_list_entry* row = voice_row(builtin_arg_int(1));
  return result(row ? row->y : 0);
}
int builtin_voice_list_height(int32_t, int32_t) {
  const voice_list_entry* row = voice_row(builtin_arg_int(1));
  return result(row ? row->height : 0);
}
