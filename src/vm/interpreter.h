// The interpreter loop.
//
// STAND-IN: only the catch-up flag's reset that the timing reset needs. The interpreter module
// replaces this file.
#pragma once

// Clears the catch-up flag (passes run without drawing while it is set).
void catch_up_clear();
