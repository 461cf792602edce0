// Calls of neighbouring modules that the save built-ins need and that those modules do not offer
// yet. Each is a seam of its own name, so that the owner's real call can be put behind it without
// touching the save code.
//
// STAND-IN: the bodies do nothing (no lock, no pending request cleared, no movie moved) or answer
// what a machine without the module answers (the message window counts as disabled). The owners'
// modules replace the bodies: the menu requests (locked code, pending code), the movies
// (movie_hide, movie_show) and the message window (whether it is enabled).
#pragma once

// The system-request lock: 0 unlocks; any other code is refused while locked.
void save_seam_request_lock(int code);
// Drops the pending system request.
void save_seam_request_pending_clear();
// Moves a playing movie's window away and back (nested).
void save_seam_movie_hide();
void save_seam_movie_show();
// 1 when the message window is enabled.
int save_seam_console_enabled();
