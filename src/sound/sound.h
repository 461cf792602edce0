// The sound built-ins and their state.
//
// STAND-IN: only the call that the dispatcher makes. The sound module replaces this file.
#pragma once

// The next sound reset does nothing, so music plays on across a restart.
void sound_keep();
