// Environment keys and their defaults.
//
// STAND-IN: only loadsave_disabled and agg_skip. The environment-keys module replaces this file.
#pragma once

// LOADSAVEDISABLE: 1 when nothing may be written under "savedata".
int loadsave_disabled();
// AGGSKIP (0): how far the interpreter thins drawn frames while skipping.
int agg_skip();
// Tests set the stand-in's answers.
void loadsave_disabled_set(int value);
void agg_skip_set(int value);
