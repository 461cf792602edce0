// STAND-IN: see savefile.h.
#include "save/savefile.h"

void save_flags_reset() {}
void snapshot_reset() {}
void thumbnail_free() {}
void snapshot_table_free(snapshot_table) {}
void savefile_restore() {}
void savefile_sound_restore() {}
int32_t resume_value_get() { return 0; }
int save_allowed_get() { return 0; }
std::string save_slot_path(int) { return std::string(); }
bool savefile_write(const char*) { return false; }
