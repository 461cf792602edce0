// Variables of the four scopes and the value stack.
//
// Eternal (#) and global (@) variables live in two module tables, thread variables (%) in the
// thread, locals (_) are cells of the value stack addressed from the frame's base. Lookups in all
// three tables go through a slot hint, a 16-bit operand in the code block that remembers where the
// variable was found last time and is patched in place (a wrong hint only costs a search).
//
// Pointers into a table or the stack stay valid only until the next append or push: both grow by
// reallocation.
#pragma once

#include <cstdint>
#include <cstring>

#include "vm/thread.h"
#include "vm/value.h"

extern var_table var_eternal;
extern var_table var_global;

// Table helpers for the reset and save code.
void var_table_init(var_table* t, int32_t capacity);
void var_table_clear(var_table* t);  // releases every value; count 0, capacity kept
void var_table_free(var_table* t);   // releases and frees
value_cell* var_table_append(var_table* t);  // a zeroed int cell at the end (the table may move)
value_cell* var_table_find(var_table* t, uint32_t hash);

// The variable of the key's scope named by its hash, or null. hint points at the 16-bit slot
// operand in the code (or is null). For locals the hint is the slot itself, signed, relative to
// the frame's base; a slot outside the stack finds nothing.
value_cell* var_find(const value_cell* key, uint8_t* hint);
value_cell* var_find_any(uint32_t hash);     // eternal, global, then the current thread's
value_cell* var_find_global(uint32_t hash);  // eternal, then global
// Finds or appends the variable of src's scope and hash, releases its old value and stores src
// there. src's reference moves to the variable; when there is nowhere to store it, it is released.
value_cell* var_assign(const value_cell* src, uint8_t* hint);

// Frees both module tables (test reset; the program's exit frees them through the save module).
void var_tables_free();

// The value stack of the current thread, at the current frame's top.
void stack_grow(script_thread* t);
inline value_cell* stack_top() { return &vm_thread->stack[vm_frame->top - 1]; }
// The caller's reference moves to the stack.
inline void stack_push_value(const value_cell* c) {
  script_thread* t = vm_thread;
  int32_t top = vm_frame->top;
  t->stack[top] = *c;
  vm_frame->top = ++top;
  if (top >= t->stack_capacity - TABLE_HEADROOM) stack_grow(t);
}
inline void push_int(int32_t v) {
  value_cell c = int_cell(v);
  stack_push_value(&c);
}
inline void push_float(float f) {
  value_cell c = float_cell(f);
  stack_push_value(&c);
}
inline void push_string(const char* text, size_t bytes) {
  value_cell c = string_cell(string_block_new(text, bytes));
  stack_push_value(&c);
}
inline void push_string(const char* text) { push_string(text, strlen(text)); }
// Releases the top cell. The dummy cell at index 0 is never popped.
inline void stack_pop() {
  if (vm_frame->top <= 1) return;
  value_release(&vm_thread->stack[--vm_frame->top]);
}
