// The VM's life cycle: the reset that brings it into its start state before every run and before
// a load, and the exit sequence that saves what must outlive the run and frees the rest.
//
// Both are fixed lists of the other subsystems' own reset and release steps, in the order below;
// a subsystem that keeps run state offers such a step and is called here in its place.
#pragma once

// Menu requests and the save flags, read marks (loaded once per process), input, screen offsets,
// skip and auto flags, sound, sprites, unmarked event hooks, the message window, the clock and
// interpreter state (ForExec); the eternal file the first time; then the global variables are
// emptied, the snapshot tables reset, every thread destroyed and thread 0 made current.
void vm_reset();

// Read marks and the eternal file are saved (the file only when a reset read it since the last
// exit sequence), the glyph cache closed and sound reset; then the thumbnail, the eternal, global
// and snapshot tables, the threads, sprites, event hooks and added fonts are freed, and ForExec
// runs; the next reset starts as the first. Each stage's label is shown in the development title
// bar.
void ExecOut();

// Forgets that the first reset happened, and the save module's state (tests: the eternal file is
// read and the global table allocated again at the next reset).
void vm_lifecycle_reset();
