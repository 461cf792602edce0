// Menu requests: menus and function keys queue a request code that the interpreter pass serves.
//
// STAND-IN: only the two calls of the interpreter pass and the VM reset's step. The menu-request
// module replaces this file. Until then nothing is ever queued.
#pragma once

// Fires the busy event when a request came while another was being served.
void request_busy_event();
// Serves the pending request; -1 when a save file was accepted for loading, else 0.
int request_dispatch();
// The VM reset's step: the pending, current and locked codes and the busy flag are cleared.
void request_reset();
