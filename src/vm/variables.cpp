#include "vm/variables.h"

#include <cstdlib>

#include "base/memory.h"

var_table var_eternal;
var_table var_global;

void var_table_init(var_table* t, int32_t capacity) {
  t->cells = static_cast<value_cell*>(mem_alloc(sizeof(value_cell) * static_cast<size_t>(capacity)));
  t->count = 0;
  t->capacity = capacity;
}

void var_table_clear(var_table* t) {
  for (int32_t i = 0; i < t->count; ++i) value_release(&t->cells[i]);
  t->count = 0;
}

void var_table_free(var_table* t) {
  var_table_clear(t);
  free(t->cells);
  *t = var_table{};
}

value_cell* var_table_append(var_table* t) {
  int32_t index = t->count;
  // A table that was never given cells starts here too.
  if (index >= t->capacity - TABLE_HEADROOM) {
    int32_t capacity = t->capacity;
    while (index >= capacity - TABLE_HEADROOM) capacity += TABLE_GROWTH;
    t->cells = static_cast<value_cell*>(mem_resize(t->cells, sizeof(value_cell) * static_cast<size_t>(capacity)));
    t->capacity = capacity;
  }
  value_cell* c = &t->cells[index];
  *c = int_cell(0);
  t->count = index + 1;
  if (t->count >= t->capacity - TABLE_HEADROOM) {
    t->capacity += TABLE_GROWTH;
    t->cells = static_cast<value_cell*>(mem_resize(t->cells, sizeof(value_cell) * static_cast<size_t>(t->capacity)));
    c = &t->cells[index];
  }
  return c;
}

value_cell* var_table_find(var_table* t, uint32_t hash) {
  for (int32_t i = 0; i < t->count; ++i)
    if (t->cells[i].hash == hash) return &t->cells[i];
  return nullptr;
}

// Slot operands are unaligned 16-bit fields in the code.
static uint16_t hint_read(const uint8_t* hint) {
  uint16_t v;
  memcpy(&v, hint, 2);
  return v;
}
static void hint_write(uint8_t* hint, int32_t index) {
  if (!hint || index > 0xFFFF) return;  // a slot that does not fit stays a miss, found by search
  uint16_t v = static_cast<uint16_t>(index);
  memcpy(hint, &v, 2);
}

// The hint is read unsigned: a table may hold more than 32767 variables.
static value_cell* table_find_hinted(var_table* t, uint32_t hash, uint8_t* hint) {
  if (hint) {
    uint16_t slot = hint_read(hint);
    if (slot < t->count && t->cells[slot].hash == hash) return &t->cells[slot];
  }
  for (int32_t i = 0; i < t->count; ++i)
    if (t->cells[i].hash == hash) {
      hint_write(hint, i);
      return &t->cells[i];
    }
  return nullptr;
}

// A local: the stack cell at base + slot. Only cells below the frame's top are reachable, and
// never the dummy cell.
static value_cell* local_cell(const uint8_t* hint) {
  if (!hint || !vm_frame) return nullptr;
  int32_t index = vm_frame->base + static_cast<int16_t>(hint_read(hint));
  if (index < 1 || index >= vm_frame->top) return nullptr;
  return &vm_thread->stack[index];
}

value_cell* var_find(const value_cell* key, uint8_t* hint) {
  switch (key->scope) {
    case SCOPE_ETERNAL:
      return table_find_hinted(&var_eternal, key->hash, hint);
    case SCOPE_GLOBAL:
      return table_find_hinted(&var_global, key->hash, hint);
    case SCOPE_THREAD:
      return vm_thread ? table_find_hinted(&vm_thread->vars, key->hash, hint) : nullptr;
    case SCOPE_LOCAL:
      return local_cell(hint);
    default:
      return nullptr;
  }
}

value_cell* var_find_global(uint32_t hash) {
  if (value_cell* c = var_table_find(&var_eternal, hash)) return c;
  return var_table_find(&var_global, hash);
}

value_cell* var_find_any(uint32_t hash) {
  if (value_cell* c = var_find_global(hash)) return c;
  return vm_thread ? var_table_find(&vm_thread->vars, hash) : nullptr;
}

static value_cell* var_table_find_or_append(var_table* table, uint32_t hash, uint8_t* hint) {
  if (value_cell* found = table_find_hinted(table, hash, hint)) return found;
  hint_write(hint, table->count);
  return var_table_append(table);
}

value_cell* var_assign(const value_cell* src, uint8_t* hint) {
  // src may be a cell of the very table that the append below moves.
  value_cell v = *src;
  value_cell* dst = nullptr;
  switch (v.scope) {
    case SCOPE_ETERNAL:
    case SCOPE_GLOBAL:
      dst = var_table_find_or_append(v.scope == SCOPE_ETERNAL ? &var_eternal : &var_global, v.hash, hint);
      break;
    case SCOPE_THREAD:
      if (vm_thread) dst = var_table_find_or_append(&vm_thread->vars, v.hash, hint);
      break;
    case SCOPE_LOCAL:
      dst = local_cell(hint);
      break;
    default:
      break;
  }
  if (!dst) {
    value_release(&v);
    return nullptr;
  }
  value_release(dst);
  *dst = v;
  return dst;
}

void var_tables_free() {
  var_table_free(&var_eternal);
  var_table_free(&var_global);
}

void stack_grow(script_thread* t) {
  int32_t top = vm_frame && vm_thread == t ? vm_frame->top : t->frames[t->depth].top;
  int32_t capacity = t->stack_capacity;
  while (top >= capacity - TABLE_HEADROOM) capacity += TABLE_GROWTH;
  if (capacity == t->stack_capacity) return;
  t->stack = static_cast<value_cell*>(mem_resize(t->stack, sizeof(value_cell) * static_cast<size_t>(capacity)));
  t->stack_capacity = capacity;
}
