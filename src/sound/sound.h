// The sound built-ins and their state.
//
// STAND-IN: only the calls of the dispatcher, the VM reset and the exit sequence. The sound module
// replaces this file. Until then nothing plays, so there is nothing to stop or keep.
#pragma once

struct save_header;

// The next sound reset does nothing, so music plays on across a restart.
void sound_keep();
// Stops every stream and forgets the names, ids and pending levels (unless kept once).
void sound_reset();

// The message layer's voice code plays a voice through here.
void voice(const char* name, int loop, int force, int male, int mute);
// The sound block of a save file: the playing music and looping sounds, and their levels.
void sound_save_state(save_header& header);
void sound_load_state(const save_header& header);
// The settings dialogs' master-volume hooks: the playing music, sound slots and voice follow a new
// master level at once; sound_apply_config restarts stored music and stops sounds switched off.
void music_volume_apply(int master);
void sound_volume_apply(int master);
void voice_volume_apply(int master);
void sound_apply_config();
