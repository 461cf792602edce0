#include "graphics/presentation.h"

// STAND-IN: see presentation.h.
static page* front_page = nullptr;

void front_page_set(page* p) { front_page = p; }

page* front_page_get() { return front_page; }
