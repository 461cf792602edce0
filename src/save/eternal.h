// The eternal file: the eternal variables (#) and the table of seen names, kept across runs in
// "savedata\vaskel_system.mss".
//
// STAND-IN: no file is read or written before the save-data module exists; the eternal table
// lives for the run only. The save-data module replaces this file.
#pragma once

// Reads the eternal file into the eternal table (the first VM reset of the run).
void system_file_load();
// Writes the eternal table to the eternal file.
void system_file_save();
