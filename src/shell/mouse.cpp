// STAND-IN: no click areas are made, the cursor is never hidden and the pointer never moves
// before the mouse module exists.
#include "shell/mouse.h"

void click_area_chain_free(click_area*) {}
void cursor_restore() {}
void mouse_set_logical_pos(int32_t, int32_t) {}
void mouse_set_pos(int32_t, int32_t) {}
int mouse_in_client() { return 0; }
