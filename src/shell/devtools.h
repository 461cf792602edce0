// Development tools and the save-path prefix.
//
// STAND-IN: only save_path with its base folder, and the watch list's refresh. The
// development-tools module replaces this file.
#pragma once

// The path of a file under the save base folder; without a base folder, the argument itself.
// The result is valid until the next call.
const char* save_path(const char* relative);
// The save base folder (engine path); empty for none.
void save_base_folder_set(const char* folder);
// Shows the watched variables in the status bar; called every interpreter pass.
void watch_list_show();
