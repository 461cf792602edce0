// STAND-IN: no click areas are made and the cursor is never hidden before the mouse module exists;
// the cursor stays at the screen's origin and never moves.
#include "shell/mouse.h"

void click_area_chain_free(click_area*) {}
void cursor_restore() {}
void cursor_pos_get(int* x, int* y) { *x = *y = 0; }
void mouse_set_logical_pos(int32_t, int32_t) {}
void mouse_set_pos(int32_t, int32_t) {}
int mouse_in_client() { return 0; }
