// Development tools and the save-path prefix.
//
// STAND-IN: save_path and its base folder and the watch list are complete; the other development
// hooks that the interpreter, the script-error reporter and the dispatcher call do nothing here
// (as in a packaged game) except that editor requests are recorded for tests. The
// development-tools module replaces this file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The path of a file under the save base folder; without a base folder, the argument itself.
// The result is valid until the next call.
const char* save_path(const char* relative);
// The save base folder (engine path); empty for none.
void save_base_folder_set(const char* folder);

// Shows the watched variables in the status bar; called every interpreter pass and after a
// script error. Without the bar or a WatchList, or within 10 ms of the last update, nothing. Each
// word of WatchList that begins with "@" or "#" names an eternal or global variable ("@GLOBAL"
// added when it names no group), shown as "%d ", "%e ", "\"%s\" " or "??? " (an array, or none).
void watch_list_show();
// Forgets the last update (tests).
void watch_list_reset();
// Opens the external editor at a line of a script object's source.
void editor_open_at_line(const char* object_name, int32_t line);
// Called before a script object is loaded (recompiles a changed source in development mode).
void LoadObject(const char* name);

// Tests: the editor requests so far, as "NAME(line)", oldest first.
std::vector<std::string>& editor_requests();
