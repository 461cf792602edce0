// Game paths on the host file system.
//
// The engine names files as it always did: "\" between folders, names in any case, text in CP932.
// This layer maps such a path to the host's: "\" becomes "/", each component that does not exist as
// written is looked up case-blind in its folder, and CP932 names become the file system's UTF-8
// names (the raw bytes are tried too, for names that were never converted).
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

// Engine text of a host name or path, as boxes and the log name it: CP932 when it converts, else
// the raw bytes.
std::string engine_name(const char* host);

// The host path for an engine path. Components that exist nowhere are converted as they stand, so
// the result also serves to create a new file.
std::string game_path_native(std::string_view engine_path);

// Every file the engine reads is opened here: a regular file of at most `limit` bytes, opened
// without waiting, so that a FIFO or a device put in a file's place (even after a stat) is refused
// instead of hanging the engine or being read without end. The descriptor (close-on-exec, reads
// block as usual), or -1 with errno: ENOENT when missing or no regular file, EFBIG when over the
// bound, else the system's reason. Every refusal but a missing file is logged on stderr.
int host_file_open(const std::string& host_path, uint64_t limit);
// The whole file through host_file_open; false (errno set) when it cannot be read whole within
// the bound.
bool host_file_read(const std::string& host_path, uint64_t limit, std::string* out);
// The first max bytes of a regular file of any size (all of a shorter one) through
// host_file_open; false (errno set) when it cannot be read.
bool host_file_read_prefix(const std::string& host_path, size_t max, std::string* out);
// The length of the line at the front of a file's text as a line buffer of max bytes takes it:
// through the first "\n", at most max bytes.
size_t file_line_length(std::string_view text, size_t max);

// Why the last file this thread could not open or list failed, when it was there but refused
// ("<path>: <reason>", engine text); empty after a missing file or a successful open. Taking it
// clears it.
//
// A reason belongs to the operation that met it: one that may end in an error box (a built-in
// call, a menu request, start-up, the load of a script object) runs between
// file_failure_scope_enter and file_failure_scope_leave. Only a refusal met inside such a scope is
// kept, and leaving the outermost one forgets it, so a box never names an earlier failure that
// nobody reported. Scopes nest; the inner ones share the outer one's reason.
std::string file_failure_take();
void file_failure_scope_enter();
void file_failure_scope_leave();
struct file_failure_scope {  // a scope that also ends when a fatal end unwinds through it
  file_failure_scope() { file_failure_scope_enter(); }
  ~file_failure_scope() { file_failure_scope_leave(); }
  file_failure_scope(const file_failure_scope&) = delete;
  file_failure_scope& operator=(const file_failure_scope&) = delete;
};

// Game files and player files: the engine's file sizes and archive offsets are 32-bit.
constexpr uint64_t GAME_FILE_LIMIT = UINT32_MAX;

// fopen/stat on an engine path. A read (a mode "r..." without "+") goes through host_file_open
// with GAME_FILE_LIMIT.
FILE* game_fopen(std::string_view engine_path, const char* mode);
bool game_path_stat(std::string_view engine_path, struct stat* st);
bool game_path_is_dir(std::string_view engine_path);
bool game_path_is_file(std::string_view engine_path);

// The absolute, resolved form of an existing path, as engine text; empty when it does not exist.
std::string game_path_absolute(std::string_view engine_path);

// True when a name given by a game or a script stays inside the folder it is looked up in: it is
// not absolute (a separator or a drive such as "C:" first) and no component of it is "..". Games
// are outside input: a name that fails is refused as if the file did not exist.
bool game_name_confined(std::string_view name);

// The name after a path's last "\" or "/" (the whole path when it has none).
std::string_view game_path_file_name(std::string_view path);

// Joins a folder and a name with "\" unless the folder already ends with a separator.
std::string game_path_join(std::string_view folder, std::string_view name);

// True when the text ends with "\" or "/" as a character of its own (not a trail byte).
bool game_path_ends_with_separator(std::string_view path);

// A folder's entries ("." and ".." left out), names as engine text, in case-blind name order (the order the engine's
// folder scans always met them in).
struct game_dir_entry {
  std::string name;
  bool is_dir;
};
bool game_dir_list(std::string_view engine_path, std::vector<game_dir_entry>& entries);
