// The engine's formatted message boxes, captioned with the main window's title.
#pragma once

// Error with Retry/Cancel, text also put on the clipboard. Returns IDRETRY; Cancel ends the
// program with exit code -1 and does not return.
int error_box_retry(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Error with OK, text also put on the clipboard. Returns the button; the caller decides whether
// the program ends.
int error_box_fatal(const char* format, ...) __attribute__((format(printf, 1, 2)));
