// STAND-IN: nothing plays before the sound module exists.
#include "sound/sound.h"

#include "save/save_header.h"

void sound_keep() {}
void sound_reset() {}
void voice(const char*, int, int, int, int) {}
// Nothing plays, so the block names no file and holds level 0.
void sound_save_state(save_header& header) {
  header.music_file[0] = header.music_loop[0] = 0;
  for (auto& slot : header.sound_slots) slot.file[0] = slot.loop[0] = 0;
}
void sound_load_state(const save_header&) {}
void music_volume_apply(int) {}
void sound_volume_apply(int) {}
void voice_volume_apply(int) {}
void sound_apply_config() {}
