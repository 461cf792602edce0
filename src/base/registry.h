// Registry access: the per-user store that outlives a run (settings, window position, the
// abnormal-exit flag, development options). Every value is text; integers are decimal text.
//
// On this host the store is a folder of key files under the user's configuration folder
// ($XDG_CONFIG_HOME, default ~/.config): the key "Software\<a>\<b>" of the current user is the
// GKeyFile "<a>/<b>.ini" there, and its subkeys live in the folder "<a>/<b>/". Key and value names
// compare case-blind (ASCII letters only, as everywhere in engine text). Every write replaces the
// key's file through a temporary file and a rename; the flushing writes also sync the folder, so
// the rename itself is on disk when they return.
//
// Keys are read from their file once and then kept in memory: a read costs no file access. The
// running program is the store's only writer (one instance per game).
//
// The machine-wide root has no meaning here: reads give the caller's default, writes and deletes
// fail.
#pragma once

#include <cstddef>
#include <string>

// Roots, with the numbers the engine has always used for them.
enum reg_root : unsigned { REG_ROOT_CURRENT_USER = 0x80000001u, REG_ROOT_LOCAL_MACHINE = 0x80000002u };

// Reads use a buffer of this size: a value of REG_VALUE_BUFFER bytes or more counts as missing.
constexpr size_t REG_VALUE_BUFFER = 512;

// The game key: the current user's "Software\<global>\<local>".
// 0 found, -1 not. out (size bytes) always holds the value or the default, cut to size - 1 bytes
// on a character boundary.
int reg_get_string(const char* global, const char* local, const char* name, const char* default_text,
                   char* out, size_t size);
// 0 written, -1 not (the key is created when missing).
int reg_set_string(const char* global, const char* local, const char* name, const char* text);
int reg_set_string_flush(const char* global, const char* local, const char* name, const char* text);
int reg_set_int(const char* global, const char* local, const char* name, int value);
// The value read as a decimal number (0 when it holds none), or the default when it is missing.
int reg_get_int(const char* global, const char* local, const char* name, int default_value);

// The same under any root and key path ("Software\..." for the current user).
int reg_get_string_at(reg_root root, const char* path, const char* name, const char* default_text, char* out,
                      size_t size);
int reg_set_string_at(reg_root root, const char* path, const char* name, const char* text, int flush);
int reg_get_string_machine(const char* global, const char* local, const char* name, const char* default_text,
                           char* out, size_t size);

// Deletes the key "Software\<global>\<local>" with all its subkeys as far as possible, then
// "Software\<global>" when nothing is left under it. 0 when "Software\<global>" existed, else -1.
int reg_delete_tree(const char* global, const char* local);
int reg_delete_tree_machine(const char* global, const char* local);
// Deletes the subkey of the key at parent_path and all its descendants, depth first. 1 when all of
// them are gone, 0 otherwise.
int reg_delete_subkeys(reg_root root, const char* parent_path, const char* subkey);

// Between these, writes change memory only and report 0; each changed key's file is written once
// when the outermost deferral ends (synced when any of its writes asked for it). Resume gives -1
// when a file could not be written (memory keeps the values). Start-up uses this so that its many
// small settings writes cost one file write.
void reg_writes_defer();
int reg_writes_resume();
// The process is ending (the session's end may come in the middle of start-up's deferral): every
// deferral ends and the writes go out now.
int reg_writes_finish();
// Removes what writes of the game key's file that were killed midway left beside it (its own
// temporary files only); the number removed. Run once at start-up, when this game writes nothing.
int reg_store_sweep(const char* global, const char* local);
// Key files replaced since the store was last reset (each a write and a sync of a whole file).
int reg_files_written();
// The host folder that holds the store.
const std::string& reg_store_folder();
// Forgets every key kept in memory and the store folder, so that the next call reads the files
// (and $XDG_CONFIG_HOME / $HOME) again. For tests.
void reg_store_reset();
