// Environment keys and their defaults.
//
// STAND-IN: only the keys that the object and dispatcher modules read, at their defaults unless a
// test sets them. The environment-keys module replaces this file.
#pragma once

// LOADSAVEDISABLE: 1 when nothing may be written under "savedata".
int loadsave_disabled();
// NOUPDATEONWAIT0: 1 when a wait of 0 ms catches up instead of drawing.
int no_update_on_wait0();
// Tests set the stand-in's answers.
void loadsave_disabled_set(int value);
void no_update_on_wait0_set(int value);
