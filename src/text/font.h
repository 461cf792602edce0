// Script fonts: each script thread keeps a stack of text styles (font_descriptor, glyph.h) for
// free text drawing ("fontout"), and the font built-ins drive the glyph machinery: render quality,
// glyph-cache files and private font files.
#pragma once

#include <cstdint>

struct font_descriptor;
struct script_thread;

// The top of the thread's stack; a thread with an empty stack first gets a default descriptor.
font_descriptor* font_stack_top(script_thread* thread);
// Pushes a new default descriptor (glyph.h's built-in default, aimed at the front page).
font_descriptor* font_stack_push(script_thread* thread);
// Pops and frees the top descriptor; nothing when the stack is empty.
void font_stack_pop(script_thread* thread);
// Frees a thread's style stack, following each descriptor's link to the one below.
void font_stack_free(font_descriptor* top);

// Built-ins.
int builtin_set_font_quality(int32_t n, int32_t drop);
int builtin_font_cache_open(int32_t n, int32_t drop);
int builtin_load_font(int32_t n, int32_t drop);
int builtin_fontout_state_push(int32_t n, int32_t drop);
int builtin_fontout_state_pop(int32_t n, int32_t drop);
int builtin_fontout_locate(int32_t n, int32_t drop);
int builtin_fontout_set_color(int32_t n, int32_t drop);
int builtin_fontout_set_font(int32_t n, int32_t drop);
int builtin_fontout(int32_t n, int32_t drop);
