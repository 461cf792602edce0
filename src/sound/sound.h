// The sound built-ins and their state.
//
// STAND-IN: only the reset of the VM reset and the exit sequence. The sound module replaces this
// file. Until then nothing plays, so there is nothing to stop.
#pragma once

// Stops every stream and forgets the names, ids and pending levels (unless kept once).
void sound_reset();
