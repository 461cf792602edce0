// Development tools and the save-path prefix.
//
// When the game runs from loose folders (development mode: the report mode is not 1), the engine
// recompiles a script object whose source is newer before loading it, compiles a source dropped on
// the window, opens the author's editor at the line of a script error, keeps the text of the
// current message with its script position for copying, and shows watched variables in the status
// bar. In a packaged game all of that does nothing. save_path serves every mode.
//
// The compiler is an outside program, "VaskelCompile", that lies in the folder of the source. It
// runs with the source folder as its working folder; its exit posts COMPILE_DONE_MESSAGE to the
// main window, whose handler sets the compile-finished flag that compile_source waits for.
//
// Games are downloaded: a game's loose folders choose development mode for reports, the recompile
// check and the watch list, but programs (the compiler, the editor) start only when the user asked
// for development, with DEVELOPMENT_SWITCH on the command line or DEVELOPMENT_VARIABLE=1. A game can
// ship a program named like the compiler and store an editor command in its own settings key;
// neither road is in its hands.
#pragma once

#include <cstdint>
#include <string>

// The path of a file under the save base folder; without a base folder, the argument itself.
// The result is valid until the next call.
const char* save_path(const char* relative);
// The save base folder (engine path); empty for none.
void save_base_folder_set(const char* folder);

// Whether the user asked for development (start-up decides once from the command line and the
// environment); programs start only then.
constexpr char DEVELOPMENT_SWITCH[] = "--development";
constexpr char DEVELOPMENT_VARIABLE[] = "VASKRUN_DEVELOPMENT";
bool development_requested(const char* command_line);
void development_asked_set(bool asked);
bool development_asked();

// The compile-state flags that the main window's compiler messages switch.
constexpr uint32_t COMPILE_STARTED_MESSAGE = 0x9002;
constexpr uint32_t COMPILE_DONE_MESSAGE = 0x9003;
void compile_finished_set(int flag);
int compile_finished_get();
void compile_running_set(int flag);
int compile_running_get();
// The longest the engine waits for the compiler before it goes on with the object it has.
constexpr uint32_t COMPILE_TIMEOUT_MS = 60000;

// Starts the compiler on a source file (engine path) and waits until it is done, draining window
// messages; nonzero when it started. Without the compiler in the source's folder nothing starts.
int compile_source(const char* source_path);
// The same for the last dropped file, without waiting.
int compile_dropped_source();
// Called before a script object is loaded: a missing or stale object is compiled from its source
// (".txt", else ".vks") and the scenario sources are registered again. A name that is neither an
// object nor a source (nor an object already loaded) is reported, and Retry tries again.
void LoadObject(const char* name);

// Opens the external editor (the Editor template, with "%fn%" for the source file and "%line%"
// for the line) at a line of a script object's source; nothing with an empty template.
void editor_open_at_line(const char* object_name, int32_t line);

// The error-line text: the script position of the current message and its text, which the C key
// copies. At most ERROR_LINE_SIZE - 1 bytes, cut on a character boundary.
constexpr size_t ERROR_LINE_SIZE = 8192;
void error_log_position();
void error_log_append(const char* text);
const std::string& error_line_text();

// Shows the watched variables in the status bar; called every interpreter pass and after a
// script error. Without the bar or a WatchList, or within 10 ms of the last update, nothing. Each
// word of WatchList that begins with "@" or "#" names an eternal or global variable ("@GLOBAL"
// added when it names no group), shown as "%d ", "%e ", "\"%s\" " or "??? " (an array, or none).
void watch_list_show();

// Forgets the compile flags, the error-line text, the last watch update and the user's ask; the
// base folder, which start-up sets once, stays (tests; a run keeps them all).
void devtools_reset();
