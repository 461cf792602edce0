// STAND-IN: there is no catch-up flag before the interpreter exists.
#include "vm/interpreter.h"

void catch_up_clear() {}
