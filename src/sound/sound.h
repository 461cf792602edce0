// The sound built-ins and their state.
//
// STAND-IN: only the calls of the dispatcher, the VM reset and the exit sequence. The sound module
// replaces this file. Until then nothing plays, so there is nothing to stop or keep.
#pragma once

// The next sound reset does nothing, so music plays on across a restart.
void sound_keep();
// Stops every stream and forgets the names, ids and pending levels (unless kept once).
void sound_reset();
