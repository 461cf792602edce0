// The message typewriter: script text laid out line by line in the message window.
//
// The text instruction appends to the pending text; the layout instruction draws one line per
// run and runs again until the text is used up. Lines break by the Japanese rules (characters
// that may not start or end a line, an optional hanging margin); a speaker's name before 「 can go
// to a name pop-up; bracket markers tie lines to the page's voices. Each drawn line fires an
// event with its rectangle, so that the scripts do the typing effect and the waits.
#pragma once

#include <cstdint>
#include <string_view>

// Appends the text instruction's bytes (length counts the NUL) to the pending message text.
void msg_text_append(const char* text, int length);
// Lays out and draws one line of the pending text. 1 while it wants to run again: the
// interpreter then moves the code pointer back by instruction_length.
int message(int instruction_length);

// The pending text: more of it (the d code), whether there is any, and a replayed text in its
// place.
void msg_pending_append(std::string_view text);
bool msg_pending_exists();
void msg_pending_set(std::string_view text);
// Set while the pending text is inside 「 」 (the n code becomes N there).
bool msg_quote_flag();

// The VM reset's step: the pending text and the line page are freed and the window's flags
// cleared.
void console_state_reset();
bool console_is_enabled();
// The console's text speed; -1 is the user's setting.
int text_speed_get();

// Forgets the typewriter's state and the kinsoku tables (tests).
void message_module_reset();

int builtin_msg_nowait_on(int32_t n, int32_t drop);
int builtin_msg_nowait_off(int32_t n, int32_t drop);
int builtin_msg_cursor_x(int32_t n, int32_t drop);
int builtin_msg_cursor_y(int32_t n, int32_t drop);
int builtin_msg_cursor_abs_x(int32_t n, int32_t drop);
int builtin_msg_cursor_abs_y(int32_t n, int32_t drop);
int builtin_console_enabled_get(int32_t n, int32_t drop);
int builtin_msg_font_size(int32_t n, int32_t drop);
int builtin_msg_skip_origin_newline(int32_t n, int32_t drop);
int builtin_msg_last_text(int32_t n, int32_t drop);
int builtin_voice_flag_set(int32_t n, int32_t drop);
int builtin_voice_skip_flag_set(int32_t n, int32_t drop);
int builtin_voice_list_count(int32_t n, int32_t drop);
int builtin_voice_list_name(int32_t n, int32_t drop);
int builtin_voice_list_name2(int32_t n, int32_t drop);
int builtin_voice_list_y(int32_t n, int32_t drop);
int builtin_voice_list_height(int32_t n, int32_t drop);
