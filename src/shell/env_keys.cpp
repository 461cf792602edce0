// STAND-IN: the keys' defaults until the environment-keys module exists.
#include "shell/env_keys.h"

static int disabled = 0;
static int update_on_wait0 = 0;

int loadsave_disabled() { return disabled; }
int no_update_on_wait0() { return update_on_wait0; }
void loadsave_disabled_set(int value) { disabled = value; }
void no_update_on_wait0_set(int value) { update_on_wait0 = value; }
