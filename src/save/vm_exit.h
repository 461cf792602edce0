// The VM's exit sequence, its reset and the eternal variables.
//
// STAND-IN: only ExecOut, which the dispatcher's end built-in runs. The VM-exit module replaces
// this file.
#pragma once

// The exit sequence: read marks, eternal variables, glyph caches, sound, then variables,
// threads, sprites, hooks and fonts are freed.
void ExecOut();
