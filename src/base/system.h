// Small system services: clipboard text for error reports, free memory, the start-up wait dialog,
// and the host queries that choose code paths.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/window.h"

// Puts the text on the clipboard and remembers that the next clipboard_add_text appends to it.
int clipboard_copy_text(const char* text);
// Puts the text on the clipboard, after the clipboard's text when the append flag is set (as long
// as both fit in 4095 bytes); clears the flag. 0, or -1 when the clipboard refuses.
int clipboard_add_text(const char* text);

// Available physical memory in bytes.
uint64_t free_physical_memory();

// The modeless wait dialog: at most one is open. show gives 0 or -1; close gives 0, or 1 when no
// dialog was open. The dialog centres itself and ends on any of its buttons.
int message_dialog_show(window_handle owner, const char* template_name);
int message_dialog_close();

// Host queries, answered once and cached. This host answers as a modern NT-family system with
// MMX would, so the engine takes its usual code paths.
int os_is_nt();
int os_is_nt6_or_later();
int cpu_has_mmx();
int cpu_count();

// Shell special folders by their numbers (16 is the desktop folder), mapped to the user's folders.
// Fills path (260 bytes, engine text) and returns 1, or returns 0.
int get_special_folder_path(window_handle window, int csidl, char* path);
constexpr size_t SPECIAL_FOLDER_PATH_SIZE = 260;
