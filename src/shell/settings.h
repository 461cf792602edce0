// The settings store: the user's settings, kept in memory and mirrored in the settings file.
//
// STAND-IN: only what the script-error reporter and the dispatcher read or set. The settings
// module replaces this file.
#pragma once

// AutoOpenErrorLine: 1 when a script error opens the editor at the line.
int auto_open_error_line();
// The object the next run starts with instead of "start" (empty: "start").
void start_object_set(const char* name);

// Tests set the stand-in's answer.
void auto_open_error_line_set(int value);
