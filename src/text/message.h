// The message typewriter: script text laid out line by line in the message window.
//
// STAND-IN: only the two calls of the message-text instructions and the VM reset's step. The
// message module replaces this file. Until then message text is dropped and nothing is ever
// pending.
#pragma once

// Appends the text instruction's bytes (length counts the NUL) to the pending message text.
void msg_text_append(const char* text, int length);
// Lays out and draws one line of the pending text. 1 while text remains: the interpreter then
// moves the code pointer back by instruction_length so that the instruction runs again.
int message(int instruction_length);

// The VM reset's step: the pending text and the line page are freed and the window's flags
// cleared.
void console_state_reset();

// 1 while the message window is enabled.
int console_is_enabled();
// The message window's text speed; -1 means the user's setting.
int text_speed_get();
