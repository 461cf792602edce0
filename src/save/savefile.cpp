// STAND-IN: see savefile.h.
#include "save/savefile.h"

void save_flags_reset() {}
void snapshot_reset() {}
void thumbnail_free() {}
void snapshot_table_free(snapshot_table) {}
void savefile_restore() {}
void savefile_sound_restore() {}
int32_t resume_value_get() { return 0; }
