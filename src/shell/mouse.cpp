// STAND-IN: no click areas are made and the cursor is never hidden before the mouse module exists.
#include "shell/mouse.h"

void click_area_chain_free(click_area*) {}
void cursor_restore() {}
