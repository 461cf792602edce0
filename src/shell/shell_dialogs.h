// Dialogs of the shell and the exit handler that undoes what start-up changed in the system.
//
// STAND-IN for the dialogs (version, user support, screen options), which the shell-dialogs module
// adds to this file; the two calls below are complete.
#pragma once

// The exit handler that start-up registers first: the screen saver is allowed again (the idle
// inhibit ends).
void process_exit_restore();
// CLIENT_HEIGHT, or 3/4 of it while the stored WideMode is set.
int client_height_wide();
