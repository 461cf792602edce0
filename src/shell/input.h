// Input: keys, virtual buttons and mouse.
//
// STAND-IN: only the call that the timing reset needs. The input module replaces this file.
#pragma once

// Clears the input block.
void input_unblock();
