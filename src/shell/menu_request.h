// Menu requests: menus and function keys queue a request code that the interpreter pass serves.
//
// STAND-IN: the two calls of the interpreter pass, the queue and the VM reset's step, without the
// lock, the busy event or any request served. The menu-request module replaces this file.
#pragma once

// Fires the busy event when a request came while another was being served.
void request_busy_event();
// Serves the pending request; -1 when a save file was accepted for loading, else 0.
int request_dispatch();
// 0 when the code is the locked one; otherwise 1 (and the busy flag is set). Sources queue only
// on 1.
int request_allowed(int code);
// Makes the code the pending request.
void request_queue(int code);
// The request being served (the last one dispatched).
int request_current();
// The VM reset's step: the pending, current and locked codes and the busy flag are cleared.
void request_reset();
