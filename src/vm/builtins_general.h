// The general built-ins every game uses for diagnostics and small arithmetic: the text log line,
// the fifteen message boxes, the front page, random numbers, the script clock with its timed
// interpolation, and maximum, minimum and absolute value.
#pragma once

#include <cstddef>
#include <cstdint>

// The argument text of a built-in: each argument from the first to the last as "%d ", "%f ",
// "%s " or the array type's tag, in ARGS_TEXT_SIZE bytes (a longer text is cut on a character
// boundary).
constexpr size_t ARGS_TEXT_SIZE = 512;
void format_args_text(int32_t n, char* out);

int builtin_debug_print(int32_t n, int32_t drop);

int builtin_msgbox_ok(int32_t n, int32_t drop);
int builtin_msgbox_okcancel(int32_t n, int32_t drop);
int builtin_msgbox_yesno(int32_t n, int32_t drop);
int builtin_msgbox_retrycancel(int32_t n, int32_t drop);
int builtin_msgbox_warning_ok(int32_t n, int32_t drop);
int builtin_msgbox_warning_okcancel(int32_t n, int32_t drop);
int builtin_msgbox_warning_yesno(int32_t n, int32_t drop);
int builtin_msgbox_warning_retrycancel(int32_t n, int32_t drop);
int builtin_msgbox_question_ok(int32_t n, int32_t drop);
int builtin_msgbox_question_okcancel(int32_t n, int32_t drop);
int builtin_msgbox_question_yesno(int32_t n, int32_t drop);
int builtin_msgbox_error_ok(int32_t n, int32_t drop);
int builtin_msgbox_error_okcancel(int32_t n, int32_t drop);
int builtin_msgbox_error_yesno(int32_t n, int32_t drop);
int builtin_msgbox_error_retrycancel(int32_t n, int32_t drop);

int builtin_frontbuffer_get(int32_t n, int32_t drop);
int builtin_set_frontbuffer(int32_t n, int32_t drop);

int builtin_random_int(int32_t n, int32_t drop);
int builtin_random_real(int32_t n, int32_t drop);
int builtin_clock_ms(int32_t n, int32_t drop);
int builtin_clock_lerp(int32_t n, int32_t drop);
int builtin_ints_max(int32_t n, int32_t drop);
int builtin_ints_min(int32_t n, int32_t drop);
int builtin_int_abs(int32_t n, int32_t drop);
