// STAND-IN: no request is ever pending before the menu-request module exists.
#include "shell/menu_request.h"

void request_busy_event() {}
int request_dispatch() { return 0; }
void request_reset() {}
