#include "save/vm_exit.h"

#include <cstdio>

#include "graphics/screen_geometry.h"
#include "graphics/sprite.h"
#include "save/eternal.h"
#include "save/loadsave_dialog.h"
#include "save/savefile.h"
#include "save/thumbnail.h"
#include "shell/exit_state.h"
#include "shell/input.h"
#include "shell/menu_request.h"
#include "shell/settings.h"
#include "sound/sound.h"
#include "text/glyph.h"
#include "text/message.h"
#include "text/message_log.h"
#include "vm/hooks.h"
#include "vm/readmark.h"
#include "vm/script_object.h"
#include "vm/skip.h"
#include "vm/thread.h"
#include "vm/variables.h"

// The first reset reads the eternal file and allocates the global table; later ones reuse both,
// until the exit sequence frees them.
static bool first_reset_done = false;

void vm_reset() {
  request_reset();
  save_flags_reset();

  readmark_load();
  input_init();
  screen_reset_offset();
  skip_reset();
  sound_reset();
  sprite_reset();
  hook_list_purge();
  console_state_reset();
  ForExec();

  if (!first_reset_done) {
    system_file_load();
    var_table_init(&var_global, THREAD_TABLE_CAPACITY);
    first_reset_done = true;
  } else {
    var_table_clear(&var_global);
  }
  snapshot_reset();
  message_log_reset();  // a load restores the saved log after this

  threads_destroy_all();
  thread_switch(thread_create(0));
  menu_refresh();
}

void ExecOut() {
  readmark_save();
  // Only eternal variables that were read are written: before the first reset, or after an
  // earlier exit sequence freed them, the table is empty and would replace the player's file.
  if (first_reset_done) system_file_save();
  font_cache_close();
  sound_reset();

  title_progress("thumbnail");
  thumbnail_free();
  title_progress("eternal");
  var_table_free(&var_eternal);
  title_progress("global");
  char label[64];
  for (int32_t i = 0; i < var_global.count; ++i) {
    value_cell* c = &var_global.cells[i];
    snprintf(label, sizeof label, "global_Item_free : %x / type : %d", c->hash, c->type);
    title_progress(label);
    value_release(c);
  }
  var_global.count = 0;
  // The table's address has no meaning to anyone who reads the title; its size does.
  snprintf(label, sizeof label, "global_free : %x", static_cast<unsigned>(var_global.capacity));
  title_progress(label);
  var_table_free(&var_global);
  title_progress("save_global");
  snapshot_table_free(SNAPSHOT_GLOBAL);
  title_progress("save_threadglobal");
  snapshot_table_free(SNAPSHOT_THREAD);
  title_progress("save_local");
  snapshot_table_free(SNAPSHOT_STACK);

  title_progress("VASKEL");
  threads_destroy_all();
  title_progress("ReleaseSpriteAll");
  sprite_release_all();
  title_progress("ReleaseEventAll");
  ReleaseEventAll();
  // Thread snapshots belong to their callers (thread_list_array), so no list is left to free.
  title_progress("FreeThreadList");
  title_progress("RemoveFont");
  font_release_all();
  title_progress("ForExec");
  ForExec();
  // The next reset reads the eternal file and makes the global table again.
  first_reset_done = false;
  title_progress("ExecOut - END");
}

void vm_lifecycle_reset() {
  first_reset_done = false;
  eternal_reset();
  save_module_reset();
  loadsave_reset();
}
