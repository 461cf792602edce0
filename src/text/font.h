// Script fonts: each script thread keeps a stack of text styles.
//
// STAND-IN: only the release that thread reset needs. The font module replaces this file.
#pragma once

struct font_descriptor;

// Frees a thread's style stack, following each descriptor's link to the one below.
void font_stack_free(font_descriptor* top);
