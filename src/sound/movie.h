// Movies: a file played in a rectangle of the game screen, with its sound, and the movie built-ins.
//
// Start-up picks one of two back ends (1 and 2); any other mode plays nothing. Both are served by the
// one movie player of the platform layer, so they differ only in the results their starts report.
// The movie's picture is painted over the front page by the main window's paint, at the rectangle
// converted to window coordinates; hidden (the program's own menus cover the game) it is not
// painted. The last frame stays until movie_close. Window thread only.
#pragma once

#include <cstdint>
#include <string>

#include "platform/messages.h"
#include "platform/window.h"

// Posted by the player when the due frame changes: the movie's part of the window is repainted.
constexpr uint32_t WM_MOVIE_FRAME = WM_APP + 0x0040;
// The longest movie path, terminator included; a longer name is a missing movie.
constexpr int MOVIE_PATH_SIZE = 260;
// What a start reports when the file does not open or decode: the first back end's "invalid file"
// and the second's general failure.
constexpr int MOVIE_WINDOW_OPEN_FAILED = 296;
constexpr int MOVIE_GRAPH_FAILED = static_cast<int>(0x80004005u);

// Selects the back end: 1 and 2 play, other values make every start play nothing.
void movie_set_mode(int mode);
// The level (0..1000) the next start plays at; every start sets it back to 1000.
void movie_set_volume(int level);
// Closes a playing movie; its picture leaves the window.
void movie_close();
// Plays a file (an engine path) in the page rectangle; 0 when it plays, else the back end's failure
// result, or mode - 2 for a mode that plays nothing. Any movie playing before is closed.
int movie_start(const char* file, int x, int y, int w, int h);
// The same from from_ms up to to_ms.
int movie_start_range(const char* file, int x, int y, int w, int h, int from_ms, int to_ms);
// The same, played again from the start at its end until closed.
int movie_start_loop(const char* file, int x, int y, int w, int h);
// 1 while a movie plays (a looping one until closed), else 0.
int movie_is_playing();
// The window moved or zoomed: the movie's place is painted anew.
void movie_update_position();
// Paints the movie's frame over what the main window's paint put under it (the paint handler's
// last step), so nothing is drawn over the movie.
void movie_validate_rect();
// Menus of the program cover the game: nested hides and shows; the movie is painted only while no
// hide is open.
void movie_hide();
void movie_show();

// The main window's handler: paints on WM_PAINT, repaints the movie's part on WM_MOVIE_FRAME.
intptr_t movie_message_handler(window_handle window, uint32_t message, uintptr_t wparam, intptr_t lparam);

// The engine path of a movie: the name as given, else "movie\<name>"; empty when neither exists
// or the path is longer than MOVIE_PATH_SIZE allows.
std::string movie_file_find(const char* name);

// Built-ins.
int builtin_movie_play(int32_t n, int32_t drop);
int builtin_movie_play_loop(int32_t n, int32_t drop);
int builtin_movie_play_range(int32_t n, int32_t drop);
int builtin_movie_stop(int32_t n, int32_t drop);
int builtin_movie_stat(int32_t n, int32_t drop);
int builtin_movie_vol(int32_t n, int32_t drop);
int builtin_movie_wait(int32_t n, int32_t drop);  // waiting group

// Closes the movie and forgets the mode, rectangle, hides and volume (tests).
void movie_reset();
