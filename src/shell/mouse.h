// Mouse, cursor and click areas.
//
// STAND-IN: only the calls that the thread, object, interpreter and dispatcher modules need. The
// mouse module replaces this file.
#pragma once

#include <cstdint>

struct click_area;

// Frees a thread's chain of click areas.
void click_area_chain_free(click_area* head);
// Shows the cursor again when a script hid it.
void cursor_restore();
// The cursor's position on the screen.
void cursor_pos_get(int* x, int* y);
// The logical pointer to page point (x, y); x = -10000 puts it back on the real pointer.
void mouse_set_logical_pos(int32_t x, int32_t y);
// The same, and the system cursor moves there.
void mouse_set_pos(int32_t x, int32_t y);
// 1 when the pointer is over the front page inside the window.
int mouse_in_client();
