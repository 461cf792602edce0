// Mouse, cursor and click areas.
//
// STAND-IN: only the calls that the thread, object and interpreter modules need. The mouse
// module replaces this file.
#pragma once

struct click_area;

// Frees a thread's chain of click areas.
void click_area_chain_free(click_area* head);
// Shows the cursor again when a script hid it.
void cursor_restore();
// The cursor's position on the screen.
void cursor_pos_get(int* x, int* y);
