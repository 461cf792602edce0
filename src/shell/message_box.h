// The engine's five formatted message boxes. Each formats its text printf-style (at most 1023
// bytes, cut on a character boundary), calls its hook, brings the main window to the front and
// shows the box over it, captioned with the main window's title.
#pragma once

// Error with Retry/Cancel; the text also goes to the clipboard. Returns IDRETRY. Cancel calls the
// exit hook and ends the program with exit code -1: it does not return.
int error_box_retry(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Error with OK; the text also goes to the clipboard. Returns the button; the caller decides
// whether the program ends.
int error_box_fatal(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Warning with OK; the text also goes to the clipboard.
int warning_box(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Notice with OK.
int notice_box(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Yes/No question (not topmost): 1 for Yes, 0 for No.
int question_box(const char* format, ...) __attribute__((format(printf, 1, 2)));
// A box of the caller's style with the text as it stands (the scripts' message-box built-ins):
// hook A, the main window to the front, the box over it; nothing goes to the clipboard. Returns
// the button, 0 when no box could be shown.
int styled_box(unsigned style, const char* text);
