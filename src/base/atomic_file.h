// Player files: what the engine writes for the player (saves, the eternal file, read marks, glyph
// caches, settings) and reads back.
//
// A write goes whole to a new temporary file beside the target, "<name>.tmp-" and six letters or
// digits, which is renamed over the target, so a crash never leaves a half-written file. The
// temporary file is always created afresh (never opened through a link) with mode 0666 less the
// umask, like any file the user makes; the rename replaces a link at the target instead of writing
// where it leads. A save killed midway leaves its temporary file behind: start-up sweeps them.
//
// A read takes a regular file only, opened without waiting, so a FIFO or a device in a file's
// place is refused instead of hanging the engine. A player file found damaged is set aside under
// "<name>.damaged-<yyyymmdd-hhmmss>" before anything can replace it.
//
// A game comes from anywhere, and a "savedata" that it ships as a symbolic link could lead into
// another game's saves. Writes, renames and deletes in a game's folder (FOLDER_GAME) therefore
// take only a real folder of the user's own: it is opened without following a link, its owner
// checked, and the work is done inside it. A refused folder is named, with the reason, on stderr
// and in the text log, and the write fails. Folders the user chose in a dialog or that lie under
// the user's configuration folder (FOLDER_USER) are taken as they are: a user may well link them.
//
// Any write that fails says so: the file (or the refused folder) and the reason, on stderr and in
// the text log, and to a caller that shows a box as "<path>: <reason>" in engine text.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>

enum write_folder { FOLDER_USER, FOLDER_GAME };

// Writes the bytes to the engine path. false when the file could not be written; the old file, if
// any, is then untouched, and `why` (when given) holds "<path>: <reason>" in engine text.
bool atomic_file_write(std::string_view engine_path, const void* data, size_t size, write_folder where = FOLDER_USER,
                       std::string* why = nullptr);

// The same with the rest of an open stream as the file's bytes.
bool atomic_file_copy(std::string_view engine_path, FILE* source);

// Creates a folder (engine path) and the folders above it; true when it exists afterwards.
bool folder_create(std::string_view engine_path);

// Removes the temporary files that writes into the folder left behind (only names of the writer's
// own pattern, only regular files; with a stem, only those of the file of that name); the number
// removed. Run once at start-up, when no write of this game is under way.
int atomic_file_sweep(std::string_view engine_folder, write_folder where, std::string_view stem = {});

// A player file open for reading, or null when there is none or it is not a regular file.
FILE* player_file_open(std::string_view engine_path);
// The whole player file; false when it cannot be read (missing, not a regular file, over
// GAME_FILE_LIMIT, a read error).
bool player_file_read(std::string_view engine_path, std::string* out);

// Renames a damaged player file of a game's folder to "<name>.damaged-<local date and time>" (a
// number added when that name is taken) and logs it; the new engine path, or empty when it could
// not be renamed.
std::string player_file_set_aside(std::string_view engine_path);
// Deletes a player file of a game's folder; false when it was not deleted.
bool player_file_delete(std::string_view engine_path);
