// STAND-IN: the keys' defaults until the environment-keys module exists.
#include "shell/env_keys.h"

static int disabled = 0;
static int aggskip = 0;

int loadsave_disabled() { return disabled; }
int agg_skip() { return aggskip; }
void loadsave_disabled_set(int value) { disabled = value; }
void agg_skip_set(int value) { aggskip = value; }
