// The system built-ins: run-mode and diagnostic options, the game screen size, the desktop
// wallpaper, name hashes, files dropped on the window, web pages, data sources registered and
// released by scripts, a text-input dialog, date and time texts, the fast-skip flag and the
// system locale.
#pragma once

#include <cstdint>
#include <ctime>

// Opens a web address in the user's browser, after hook B: an address without "://" is taken for
// "http://" and the address; only http and https are opened (another scheme, "file:" above all,
// would hand local files or programs to the desktop), and a refusal is told on stderr. False when
// refused or when the desktop could not open it.
bool web_address_open(const char* address);

// Whether the main window takes dropped files (drop_files_enable).
int drop_files_enabled();
// The locale id of a POSIX locale name ("ja_JP.UTF-8"); en-US for names the table lacks.
uint32_t locale_lcid(const char* locale);
// The wall clock that date_string and time_string read (tests set a fixed one; null restores).
void wall_clock_set(time_t (*clock)());
// Forgets the drop flag and the wall clock (tests).
void system_builtins_reset();

int builtin_is_debug_mode(int32_t, int32_t);
int builtin_client_width_get(int32_t, int32_t);
int builtin_client_height_get(int32_t, int32_t);
int builtin_report_no_voice_get(int32_t, int32_t);
int builtin_report_no_pic_get(int32_t, int32_t);
int builtin_log_no_voice_get(int32_t, int32_t);
int builtin_log_no_pic_get(int32_t, int32_t);
int builtin_desktop_wallpaper_set(int32_t, int32_t);
int builtin_name_hash(int32_t, int32_t);
int builtin_drop_files_enable(int32_t, int32_t);
int builtin_dropped_file_get(int32_t, int32_t);
int builtin_open_url(int32_t, int32_t);
int builtin_archive_load(int32_t, int32_t);
int builtin_archive_unload(int32_t, int32_t);
int builtin_input_string(int32_t, int32_t);
int builtin_date_string(int32_t, int32_t);
int builtin_time_string(int32_t, int32_t);
int builtin_fast_mode_flag_set(int32_t, int32_t);
int builtin_system_lcid(int32_t, int32_t);
