// STAND-IN: nothing skips until the skip module exists.
#include "vm/skip.h"

bool is_skipping() { return false; }
void skip_suppress_clear() {}
