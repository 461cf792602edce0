// Save files: the snapshot of the VM that a save writes, the files of the slots, and the restore
// of a loaded file into the VM.
//
// A snapshot (save_snapshot) copies script thread 0 (its frames, thread variables and value
// stack), the global variables, the sound block, the message log and a title into memory; a save
// writes it with the thumbnail to a file. A load names a file; the run loop then resets the VM and
// restores the file, and thread 0 resumes at the snapshot call, which runs again.
//
// File: the save header (save/save_header.h); the thumbnail when its width is not 0 (rows
// top-down of width x 3 bytes, blue-green-red); depth + 1 frame records of 168 bytes, outermost
// first; the global, thread-variable and stack cells; the blob (save/value_blob.h). Frame record:
// the object's name (128 bytes), then i32 code position, stack base, stack top, drop-result flag,
// line, the three skip labels, back label, return redirect; positions relative to the object's
// code start, labels 0 when none; the top frame's position is the snapshot call itself.
//
// Every file is written whole to a temporary file and renamed into place. A load is checked whole
// when it is asked for, while the game goes on: a damaged save is refused then. The restore checks
// the same bytes again into a staging copy before anything of the VM is touched; a file that fails
// any check there is foreign and leaves the VM as the reset made it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/atomic_file.h"
#include "save/save_header.h"
#include "save/thumbnail.h"
#include "vm/value.h"

struct script_object;

extern const char SAVE_MAGIC[16];
constexpr int FRAME_RECORD_SIZE = 168;
constexpr int SLOT_LAST = 10001;

// The save-allowed and snapshot-allowed flags are cleared: saving is off until a script allows it.
void save_flags_reset();
// Releases the snapshot tables' values and clears the message-log copies (allocates the tables
// and fills the header the first time).
void snapshot_reset();
// The exit sequence's step for each snapshot table (the thumbnail's is in save/thumbnail.h).
enum snapshot_table { SNAPSHOT_GLOBAL, SNAPSHOT_THREAD, SNAPSHOT_STACK };
void snapshot_table_free(snapshot_table table);

// The load of the run loop: reads the file of the load path into the VM (after vm_reset).
void savefile_restore();
// Hands the loaded header's sound state to the sound module (nothing after a foreign file).
void savefile_sound_restore();
// The loaded header's resume value, which the run loop hands to the start script.
int32_t resume_value_get();

// The save-allowed flag, read by the menu and the keys.
int save_allowed_get();
// The file of a slot (the last-save file, a numbered slot or a quick slot), under save_path.
std::string save_slot_path(int slot);
// Writes the current snapshot to path, then the eternal file; false when the save file was not
// written (LOADSAVEDISABLE, no snapshot taken yet, or a failed write, which is also shown). A
// slot's file lies in the game's folder; a file the user chose, in a folder the user chose.
bool savefile_write(const char* path, write_folder where = FOLDER_GAME);
// The file that the next restore reads, and the just-loaded flag (menu loads and saves set them).
void save_load_path_set(const char* path);
void save_just_loaded_set(int loaded);
// A file taken for loading: read and checked whole (savefile_parse, savefile_objects_resolve)
// while the game still runs, so a damaged save is refused with a box saying so before anything is
// reset, and false. Taken, it sets the load path, the just-loaded flag, and the interpreter leaves
// its loop for the run loop to restore the bytes checked. false without a box when the file is
// missing or not a regular file.
bool savefile_load_take(const char* path);

// A slot's title ("" for a missing or foreign file) and its file's last-write time in local time
// as "yy/mm/dd hh:mm:ss" ("" likewise).
std::string savefile_title(int slot);
std::string savefile_date(int slot);
// A slot's thumbnail (width 0 for none, a missing or foreign file, or sizes the file cannot hold).
thumbnail savefile_thumbnail_load(int slot);
// The current snapshot's title.
const char* snapshot_title();

// The bytes of the save file for the current snapshot (empty when no snapshot was taken).
std::string savefile_bytes();
// A save file read and checked, not yet in the VM.
struct frame_record {
  char name[128];
  int32_t code, base, top, drop_result, line;
  int32_t labels[3];  // decide, cancel, middle
  int32_t back, redirect;
};
struct staged_save {
  std::unique_ptr<save_header> header;
  std::vector<uint8_t> thumbnail;
  std::vector<frame_record> frames;
  std::vector<script_object*> objects;
  std::vector<value_cell> cells[3];  // global, thread, stack
  ~staged_save();
};
// Checks the bytes and rebuilds their cells; false for a foreign file (nothing kept).
bool savefile_parse(const uint8_t* data, size_t size, staged_save* out);
// Finds each frame's object and checks the positions against its code: each must be where an
// instruction starts. false when an object is missing or a position is not such a place.
bool savefile_objects_resolve(staged_save* save);

// Forgets the whole module state (tests).
void save_module_reset();

int builtin_save_snapshot(int32_t n, int32_t drop);
int builtin_save_to_slot(int32_t n, int32_t drop);
int builtin_load_from_slot(int32_t n, int32_t drop);
int builtin_save_delete(int32_t n, int32_t drop);
int builtin_save_title_get(int32_t n, int32_t drop);
int builtin_save_date_get(int32_t n, int32_t drop);
int builtin_thumbnail_capture(int32_t n, int32_t drop);
int builtin_thumbnail_draw(int32_t n, int32_t drop);
int builtin_save_thumbnail_draw(int32_t n, int32_t drop);
int builtin_make_thumbnail(int32_t n, int32_t drop);
int builtin_datetime_string(int32_t n, int32_t drop);
int builtin_save_title_current(int32_t n, int32_t drop);
int builtin_system_menu_begin(int32_t n, int32_t drop);
int builtin_system_menu_end(int32_t n, int32_t drop);
int builtin_snapshot_lock(int32_t n, int32_t drop);
int builtin_snapshot_unlock(int32_t n, int32_t drop);
int builtin_save_lock(int32_t n, int32_t drop);
int builtin_save_unlock(int32_t n, int32_t drop);
int builtin_is_save_locked(int32_t n, int32_t drop);
