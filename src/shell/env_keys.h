// Environment keys and their defaults.
//
// STAND-IN: only loadsave_disabled. The environment-keys module replaces this file.
#pragma once

// LOADSAVEDISABLE: 1 when nothing may be written under "savedata".
int loadsave_disabled();
// Tests set the stand-in's answer.
void loadsave_disabled_set(int value);
