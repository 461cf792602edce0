// The setting built-ins and their native getters.
//
// STAND-IN: only the getter that start-up reads, which is complete. The setting built-ins module
// replaces this file.
#pragma once

// SaveScreenpos (default 1): the window's position is kept at exit and restored at start.
int save_screenpos_get();
