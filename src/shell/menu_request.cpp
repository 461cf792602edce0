// STAND-IN: a queued request only becomes the current code when the pass dispatches it; nothing
// is served before the menu-request module exists.
#include "shell/menu_request.h"

static int pending = 0, current = 0;

void request_busy_event() {}

int request_dispatch() {
  if (pending) current = pending, pending = 0;
  return 0;
}

int request_allowed(int) { return 1; }
void request_queue(int code) { pending = code; }
int request_current() { return current; }
void request_reset() { pending = current = 0; }
