// Calls of the menu commands and requests into modules that do not offer them yet: the save file
// dialog.
//
// STAND-IN (seams): the module that builds one of these takes its definition out of
// command_seams.cpp. Until then a dialog tells the player that it is not built yet and does
// nothing.
#pragma once

#include <string>

// The file dialog for saves: 0 with the chosen path, 1 when cancelled (save: save mode, with the
// snapshot's title in the default name).
int save_file_dialog(std::string& path, int save);

