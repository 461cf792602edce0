// Screen capture and the text-file save dialog.
//
// The capture command saves the part of the front page that the window shows as a 24-bit BMP file,
// named after the title (or CAPTURE_NAME in a packaged game) and the local date and time, in the
// folder the user chose last (CapFolder). The text-file built-in asks through the same save dialog
// where a script's text file goes.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

// 0 when a file was written, -1 otherwise (no 24-bit front page, Cancel, a failure).
int capture_screen();
// The proposed file name: "%s(%s年%s月%s日 %s時%s分%s秒).bmp", two digits each.
std::string capture_file_name(const char* base, const std::tm& when);
// The BMP file of the visible part of the front page: 0 written, 1 when there is no front page,
// it is 8-bit, or the file cannot be written. The file appears whole or not at all.
int write_frontbuffer_bmp(const char* path);
// The BMP bytes of a w x h rectangle of 24-bit rows (stride bytes apart, top-down) from (x, y).
// Rows are padded to a multiple of 4 bytes and the sizes follow the padded length.
std::vector<uint8_t> bmp_encode(const uint8_t* bits, int stride, int x, int y, int width, int height);
// The save dialog for a script's text file, starting on the desktop with the default name: the
// chosen path, or "" when the user cancelled or the name was too long.
std::string text_save_dialog(const char* default_name);
// Paths of this many bytes or more are refused ("ファイル名が長すぎます").
constexpr size_t CAPTURE_PATH_LIMIT = 192;
// The system's file chooser over the main window, as the capture, the text-file and the save-file
// dialogs use it (IME on meanwhile, input reset after): the path chosen when it is shorter than
// CAPTURE_PATH_LIMIT bytes, else "" (a too long name and a failing dialog are told in a box).
struct file_dialog_spec;
std::string file_dialog_ask(const file_dialog_spec& spec);
// Forgets the cached CAPTURE_NAME (tests).
void capture_reset();
