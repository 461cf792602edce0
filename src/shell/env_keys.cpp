// STAND-IN: the key's default until the environment-keys module exists.
#include "shell/env_keys.h"

static int disabled = 0;

int loadsave_disabled() { return disabled; }
void loadsave_disabled_set(int value) { disabled = value; }
