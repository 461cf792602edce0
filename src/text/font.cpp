// STAND-IN: no descriptors are made before the font module exists.
#include "text/font.h"

void font_stack_free(font_descriptor*) {}
