// Save files: the snapshot of the VM that a save writes, and the restore of a loaded file.
//
// STAND-IN: only the calls of the VM reset, the exit sequence and the run loop. There is no
// snapshot, no thumbnail and never a file to restore before the save-data module exists, so a load
// leaves the machine as the VM reset made it. The save-data module replaces this file.
#pragma once

#include <cstdint>
#include <string>

// The save-allowed and snapshot-allowed flags are cleared: saving is off until a script allows it.
void save_flags_reset();
// Releases the snapshot tables' values and clears the message-log copies (allocates the tables
// and fills the header the first time).
void snapshot_reset();
// The exit sequence's steps: the snapshot thumbnail, then each snapshot table.
enum snapshot_table { SNAPSHOT_GLOBAL, SNAPSHOT_THREAD, SNAPSHOT_STACK };
void thumbnail_free();
void snapshot_table_free(snapshot_table table);

// The load of the run loop: reads the file of the load path into the VM (after vm_reset).
void savefile_restore();
// Hands the loaded header's sound state to the sound module.
void savefile_sound_restore();
// The loaded header's resume value, which the run loop hands to the start script.
int32_t resume_value_get();

// The save-allowed flag, read by the menu and the keys.
int save_allowed_get();
// The file of a slot (the last-save file, a numbered slot or a quick slot).
std::string save_slot_path(int slot);
// Writes the current snapshot to path; false when nothing was written.
bool savefile_write(const char* path);
