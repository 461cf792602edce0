// Start-up, run loop and shut-down: the program's life from the first mount to the quit message.
//
// WinMain mounts the data sources, reads the environment file, keeps a single instance, prepares
// the settings, creates the main window with its menu, wires the hooks and handlers, runs the
// start object's "$init@GLOBAL" and then the run loop around the interpreter, and finally shuts
// everything down. It has no message loop of its own: the interpreter is the main loop and drains
// the window's messages.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/window.h"

// The program. command_line: the arguments (the debugger link looks for "/DEBUG:" in it);
// show_command: how the window is first shown (nonzero: shown). Returns 0 at the end of the tail;
// the other ends (a missing start-up file, a second instance, fatal errors, the end built-in, the
// quit message) leave the process directly.
int WinMain(const char* command_line, int show_command);

// Hook C, run when an error box's Cancel ends the program: clears the abnormal-exit mark, runs
// the exit sequence and the clean-up, and posts the quit message.
void abnormal_exit_handler();

// With an HDD cache folder set: brings its copy of "<mount name>.arc" up to date with the shipped
// archive in the current folder (copied when new or newer, deleted when the original cannot be
// opened, deleted first when the user chose to drop the cache).
void archive_cache_refresh(const char* mount_name);

// The event fired before every interpreter run with (resume value, "", loaded flag).
constexpr uint32_t RUN_START_EVENT = 0x38579896;

// The run loop: the VM reset and the start object (a custom start object once), then rounds of the
// start event and the interpreter, loading the requested save on 2 and starting again on 5. Returns
// the first other result. The program passes interpreter_run.
int32_t run_loop(int32_t (*interpreter)());

// The tail of every orderly end of WinMain: the exit sequence, the objects freed, the window
// state written, the clean-up and the quit message. Returns 0, the exit code.
int startup_tail();

// The first mount pass: "update12" ... "update", "fastdata12" ... "fastdata", each result folded
// into the report mode (a folder shows reports, a V3 archive silences them; undecided is silent).
void startup_mount_pass();

// The second mount pass: "scenario12" ... "scenario", then "data*", "slowdata*" and the sound-only
// "stream*" and "voice*", each after archive_cache_refresh. A drop of the HDD cache, chosen at the
// abnormal-exit question, applies to this pass and is then forgotten.
void startup_sources_mount();

// The first `count` usable lines of the development file ("fastread.inf", else "fastread.txt", in
// the current folder): each cut at ";" and "//", trimmed of control bytes and blanks; empty lines
// are passed over. Fewer when the file has fewer; none without a regular file of at most 1 MiB.
std::vector<std::string> dev_file_lines(int count);
// The same lines of the file's text.
std::vector<std::string> dev_file_parse(std::string_view text, int count);

// The saved window position is kept when its left edge lies no more than 4/5 of the client width
// left of the screen and at least 1/5 of it inside the screen's right edge; its top is then held to
// the screen's top .. bottom - client height / 3. False: the system places the window.
struct screen_rect {
  int x, y, width, height;
};
bool window_position_fit(const screen_rect& screen, int client_width, int client_height, int* x, int* y);

// The main window: the game's client size, the menu variant the environment chooses, in
// development mode (reports shown) the status bar below the client area; placed at the saved
// position when that is usable (else the saved display mode is forgotten). A start-up step,
// exposed for tests.
window_handle main_window_create();

// The entries of the window's menu that the environment and the settings delete, grey or check:
// the general ones, then those of the wide mode and the development log. Start-up steps, exposed
// for tests.
void menu_entries_apply(window_handle window);
void wide_menu_apply(window_handle window);
// The movie back end: after a crash during a movie the stored method moves to the other one. A
// start-up step, exposed for tests.
void movie_method_choose();

// Module state for tests: the HDD cache folder (engine path; empty for none), the drop-cache flag,
// and a reset that forgets both and the fast-data folder.
void archive_cache_folder_set(const char* folder);
void drop_cache_set(int flag);
const std::string& fast_data_folder();
void startup_reset();
