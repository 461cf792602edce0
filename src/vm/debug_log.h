// The text log "debugout.log" in the save base folder: one line per entry, stamped with the local
// date and time ("yymmdd_hhmm text").
#pragma once

constexpr char DEBUG_LOG_FILE[] = "debugout.log";

// Appends one line; nothing in the silent report mode or when the file cannot be opened. The
// line goes out in one append write, so lines from other writers never interleave with it and a
// crash leaves no half line behind.
void debug_log_append(const char* text);

// The menu command that opens the log with the user's program for text (window hook first, so a
// full-screen game steps aside).
void debug_log_open();
