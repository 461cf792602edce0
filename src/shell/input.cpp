// STAND-IN: input is never blocked before the input module exists.
#include "shell/input.h"

void input_unblock() {}
