// Calls of the menu commands and requests into modules that do not offer them yet: the settings
// dialogs, the shell's own dialogs, screen capture, and the save file dialog.
//
// STAND-IN (seams): the module that builds one of these takes its definition out of
// command_seams.cpp. Until then a dialog tells the player that it is not built yet and does
// nothing.
#pragma once

#include <string>

// Settings dialogs.
void speed_config_dialog();
void volume_config_dialog();
void font_select_dialog();
void voice_setup_dialog();
void extra_setup_dialog();
// The shell's dialogs: the version box (debug: the development one), user support, screen options.
void about_dialog_open(int debug);
void user_support_dialog_open();
void screen_option_dialog_open();
// 0 when a capture file was written, else -1.
int capture_screen();

// The file dialog for saves: 0 with the chosen path, 1 when cancelled (save: save mode, with the
// snapshot's title in the default name).
int save_file_dialog(std::string& path, int save);

