// STAND-IN for the display-mode module: the window never leaves its fixed size yet.
#include "shell/display_mode.h"

void display_scale_type_set(int /*type*/) {}
